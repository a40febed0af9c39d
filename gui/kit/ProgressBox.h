#pragma once
// A modal progress window for long work (writing a sound file). Run starts
// the work on the worker pool (BackgroundWork) and turns an event loop until
// it has ended: the window repaints, its Cancel button answers at once, and
// the work's reports and messages reach the window through queued signals.

#include "core/model/Progress.h"

#include <QProgressDialog>
#include <QString>

#include <functional>

namespace dw {

class ProgressBox final : public IProgress {
public:
    // `caption` is the text above the bar; the work's messages go to
    // `messages` (none are shown when it is null). `objectName` names the
    // window for those who look for it.
    ProgressBox(QWidget* owner, const QString& caption, IMessageSink* messages, const QString& objectName = {});

    // Runs `work` off the user-interface thread with this window showing its
    // progress; returns once the work has ended, with its exception rethrown.
    void Run(const std::function<void(IProgress&)>& work);

    // The window steps aside first, so that the message box is not hidden
    // behind a modal progress window.
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;
    void SetProgress(int percent) override;
    bool IsRunning() const override;

    QProgressDialog& window() { return dialog_; }
    // Shows `banner` above the bar in place of the caption line, as the
    // loading and creating windows do; the caption stays the label's text.
    void SetBanner(const QPixmap& banner);

private:
    IMessageSink* messages_;
    QProgressDialog dialog_;
};

}  // namespace dw
