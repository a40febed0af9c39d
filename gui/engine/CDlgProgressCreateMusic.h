#pragma once
// The progress dialog that creates the music: runs CMusicEngine::Create for
// the project with itself as the progress, and ends with Accepted (IDOK) when
// the music is ready (musicOutdated cleared), Rejected (IDCANCEL) when the
// user cancelled. After a failed stage it stays open at its last position,
// with the message shown, until the user presses Cancel.

#include "core/engine/MusicEngine.h"
#include "gui/engine/CDlgProgress.h"

namespace dw {

class CProject;

class CDlgProgressCreateMusic final : public CDlgProgress {
    Q_OBJECT
public:
    // Banner 142: creating music.
    static constexpr int kBitmapId = 142;

    CDlgProgressCreateMusic(QWidget* parent, CMusicEngine* engine, CProject* project,
                            IMessageSink* messages = nullptr);

    // Options handed to the engine (tests fix the seed and the threads).
    void SetCreateOptions(const CreateOptions& options) { options_ = options; }

    // The window may go while its work runs (the program quits): the work
    // is stopped and waited for first.
    ~CDlgProgressCreateMusic() override;

    // Cancel and Escape: the running creation stops at its next report and the
    // dialog ends with IDCANCEL.
    void OnCancel() override;

protected:
    void RunWork(IProgress& progress) override;
    void WorkFinished(std::exception_ptr error) override;

private:
    bool created_ = false;
    CMusicEngine* engine_;
    CProject* project_;
    CreateOptions options_;
};

}  // namespace dw
