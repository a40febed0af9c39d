#include "gui/engine/CDlgProgressCreateMusic.h"

#include "core/model/Project.h"

namespace dw {

CDlgProgressCreateMusic::CDlgProgressCreateMusic(QWidget* parent, CMusicEngine* engine, CProject* project,
                                                 IMessageSink* messages)
    : CDlgProgress(parent, kBitmapId, messages), engine_(engine), project_(project) {
    setObjectName(QStringLiteral("CDlgProgressCreateMusic"));
}

void CDlgProgressCreateMusic::OnCancel() {
    running_ = false;
    EndDialog(QDialog::Rejected);
}

void CDlgProgressCreateMusic::RunWork() {
    if (engine_ == nullptr || project_ == nullptr) return;
    if (!engine_->Create(*project_, *this, options_)) return;  // stays open until Cancel
    // The bar stays full for a moment. A Cancel pressed meanwhile still
    // counts: the caller then treats the music as out of date.
    HoldAtFull();
    if (running_ && project_->musicOutdated == 0) EndDialog(QDialog::Accepted);
}

}  // namespace dw
