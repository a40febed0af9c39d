#include "gui/audio/CDlgProgressLoadMusic.h"

#include <new>
#include <string>

#include "core/audio/SourceLoader.h"
#include "core/model/Properties.h"
#include "core/resources/StringTable.h"

namespace dw {

CDlgProgressLoadMusic::CDlgProgressLoadMusic(QWidget* parent, CProperties* properties, IMessageSink* messages)
    : CDlgProgress(parent, kBitmapId, messages), properties_(properties) {
    setObjectName(QStringLiteral("CDlgProgressLoadMusic"));
}

CDlgProgressLoadMusic::~CDlgProgressLoadMusic() { StopWorkAndWait(); }

void CDlgProgressLoadMusic::OnCancel() {
    const bool decoding = workBusy();
    StopWork();
    if (decoding) return;  // the decoding stops at its next report and ends the dialog
    if (holding() || !workDone()) {
        // Cancel before the decoding began, or during the last second, still
        // cancels: the source is not loaded.
        Conclude(false);
        return;
    }
    EndDialog(QDialog::Rejected);
}

void CDlgProgressLoadMusic::RunWork(IProgress& progress) {
    warnings_.clear();
    loaded_ = properties_ != nullptr && LoadSourceSamples(*properties_, progress, &warnings_);
}

void CDlgProgressLoadMusic::WorkFinished(std::exception_ptr error) {
    if (properties_ == nullptr) {
        EndDialog(QDialog::Rejected);
        return;
    }
    if (error) {
        loaded_ = false;
        try {
            std::rethrow_exception(error);
        } catch (const std::bad_alloc&) {
            ShowMessage(0, "Not enough memory to load the music source.", MessageIcon::Error);
        } catch (const std::exception& e) {
            ShowMessage(0, std::string("The music source could not be loaded: ") + e.what(), MessageIcon::Error);
        }
    }
    if (loaded_ && running_) {
        HoldAtFull([this] { Conclude(running_); });
        return;
    }
    Conclude(false);
}

void CDlgProgressLoadMusic::Conclude(bool loaded) {
    if (ended()) return;
    if (loaded) {
        properties_->sourceLoaded = true;
        properties_->sourceMissing = false;
        EndDialog(QDialog::Accepted);
        // Told once the bar has gone: the source is loaded and usable, but
        // not what its file promised.
        for (const int id : warnings_) ShowMessage(id, LoadString(id), MessageIcon::Exclamation);
    } else {
        // The project keeps naming its source (a save must not drop it); the
        // control panel marks it, and Play or Trim ask for another.
        properties_->sourceLoaded = false;
        properties_->sourceMissing = running_;
        EndDialog(QDialog::Rejected);
    }
}

}  // namespace dw
