#pragma once
// A modal progress window for long work that runs on the user-interface
// thread (writing a sound file): the work reports through IProgress, the
// window repaints and its Cancel button stays responsive between reports.

#include "core/model/Progress.h"

#include <QProgressDialog>
#include <QString>

namespace dw {

class ProgressBox final : public IProgress {
public:
    // `caption` is the text above the bar; the work's messages go to
    // `messages` (none are shown when it is null). `objectName` names the
    // window for those who look for it.
    ProgressBox(QWidget* owner, const QString& caption, IMessageSink* messages, const QString& objectName = {});

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
