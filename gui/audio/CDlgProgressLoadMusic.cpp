#include "gui/audio/CDlgProgressLoadMusic.h"

#include "core/audio/SourceLoader.h"
#include "core/model/Properties.h"
#include "core/resources/StringTable.h"

namespace dw {

CDlgProgressLoadMusic::CDlgProgressLoadMusic(QWidget* parent, CProperties* properties, IMessageSink* messages)
    : CDlgProgress(parent, kBitmapId, messages), properties_(properties) {
    setObjectName(QStringLiteral("CDlgProgressLoadMusic"));
}

void CDlgProgressLoadMusic::OnCancel() {
    if (running_ && !workDone()) {
        running_ = false;  // the work ends the dialog
        return;
    }
    running_ = false;
    EndDialog(QDialog::Rejected);
}

void CDlgProgressLoadMusic::RunWork() {
    if (properties_ == nullptr) {
        EndDialog(QDialog::Rejected);
        return;
    }
    SourceWarnings warnings;
    bool ok = LoadSourceSamples(*properties_, *this, &warnings);
    if (ok) {
        HoldAtFull();
        ok = running_;  // Cancel during the last second still cancels
    }
    if (ok) {
        properties_->sourceLoaded = true;
        properties_->sourceMissing = false;
        EndDialog(QDialog::Accepted);
        // Told once the bar has gone: the source is loaded and usable, but
        // not what its file promised.
        for (const int id : warnings) ShowMessage(id, LoadString(id), MessageIcon::Exclamation);
    } else {
        // The project keeps naming its source (a save must not drop it); the
        // control panel marks it, and Play or Trim ask for another.
        properties_->sourceLoaded = false;
        properties_->sourceMissing = running_;
        EndDialog(QDialog::Rejected);
    }
}

}  // namespace dw
