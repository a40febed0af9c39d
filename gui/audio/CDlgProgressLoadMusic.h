#pragma once
// The progress dialog that decodes the music source into the SourceBuffer at
// the project's sample rate. Ends with Accepted (IDOK) and `sourceLoaded` set
// when the buffer is complete; with Rejected (IDCANCEL) when the decoding
// failed or was cancelled: `sourceLoaded` clear, `sourcePath` kept, and
// `sourceMissing` set when the file failed. Its messages are its own; the
// warnings about a source that loaded (far shorter than announced, silent)
// are shown after the dialog has ended.

#include "core/audio/SourceLoader.h"
#include "gui/engine/CDlgProgress.h"

namespace dw {

class CProperties;

class CDlgProgressLoadMusic final : public CDlgProgress {
    Q_OBJECT
public:
    // Banner 143: loading music.
    static constexpr int kBitmapId = 143;

    CDlgProgressLoadMusic(QWidget* parent, CProperties* properties, IMessageSink* messages = nullptr);

    // The window may go while its work runs (the program quits): the work
    // is stopped and waited for first.
    ~CDlgProgressLoadMusic() override;

    // Cancel and Escape: while decoding, the loop stops at its next report and
    // the dialog then ends itself; otherwise the dialog closes at once.
    void OnCancel() override;

protected:
    void RunWork(IProgress& progress) override;
    void WorkFinished(std::exception_ptr error) override;

private:
    // Ends the dialog: loaded and usable, or not.
    void Conclude(bool loaded);

    CProperties* properties_;
    bool loaded_ = false;
    SourceWarnings warnings_;
};

}  // namespace dw
