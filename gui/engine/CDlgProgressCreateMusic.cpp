#include "gui/engine/CDlgProgressCreateMusic.h"

#include <new>
#include <string>

#include "core/model/Project.h"

namespace dw {

CDlgProgressCreateMusic::CDlgProgressCreateMusic(QWidget* parent, CMusicEngine* engine, CProject* project,
                                                 IMessageSink* messages)
    : CDlgProgress(parent, kBitmapId, messages), engine_(engine), project_(project) {
    setObjectName(QStringLiteral("CDlgProgressCreateMusic"));
}

CDlgProgressCreateMusic::~CDlgProgressCreateMusic() { StopWorkAndWait(); }

void CDlgProgressCreateMusic::OnCancel() {
    StopWork();
    // A creation still running ends at its next report; the dialog ends when
    // it has, so that nobody touches the music while the engine writes it.
    if (workBusy()) return;
    EndDialog(QDialog::Rejected);
}

void CDlgProgressCreateMusic::RunWork(IProgress& progress) {
    created_ = engine_ != nullptr && project_ != nullptr && engine_->Create(*project_, progress, options_);
}

void CDlgProgressCreateMusic::WorkFinished(std::exception_ptr error) {
    if (!running_) {
        EndDialog(QDialog::Rejected);
        return;
    }
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::bad_alloc&) {
            ShowMessage(0, "Not enough memory to create the music.", MessageIcon::Error);
        } catch (const std::exception& e) {
            ShowMessage(0, std::string("The music could not be created: ") + e.what(), MessageIcon::Error);
        }
        return;  // stays open until Cancel
    }
    if (!created_) return;  // stays open, with the engine's message, until Cancel
    // The bar stays full for a moment. A Cancel pressed meanwhile still
    // counts: the caller then treats the music as out of date.
    HoldAtFull([this] {
        if (running_ && project_->musicOutdated == 0) EndDialog(QDialog::Accepted);
    });
}

}  // namespace dw
