#pragma once
// A modal progress window for long work that runs on the user-interface
// thread (writing a sound file): the work reports through IProgress, the
// window repaints and its Cancel button stays responsive between reports.

#include "model/Progress.h"

#include <QProgressDialog>

namespace dw {

class ProgressBox final : public IProgress {
public:
    ProgressBox(QWidget* owner, const QString& caption);
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;
    void SetProgress(int percent) override;
    bool IsRunning() const override;

private:
    QWidget* owner_;
    QProgressDialog dialog_;
};

}  // namespace dw
