#pragma once
// The modal progress dialogs of the long work of the program (decoding the
// source, creating the music): a banner picture, a progress bar and a Cancel
// button.
//
// Once the dialog is shown, a zero-period one-shot timer (id 2) starts the
// work on the worker pool (BackgroundWork); the dialog's own event loop goes
// on meanwhile, so it repaints and Cancel is seen at once. Progress and the
// end come back through queued signals: every report moves the bar, and
// WorkFinished runs on the user-interface thread once the work has ended.
// When the work is done the bar stays full for about one second (a timer,
// not a wait) before the dialog ends.
//
// Subclasses choose the banner and implement RunWork (on the work's thread:
// no widget may be touched there), WorkFinished and OnCancel.

#include <QDialog>
#include <QPixmap>

#include <functional>
#include <string_view>

#include "core/model/Progress.h"
#include "gui/kit/BackgroundWork.h"

class QProgressBar;
class QPushButton;

namespace dw {

class CDlgProgress : public QDialog, public IMessageSink {
    Q_OBJECT
public:
    static constexpr int kProgressBarId = 1080;
    static constexpr int kCancelId = 2;
    static constexpr int kTimerId = 2;
    // The banners are 375 x 120; the controls sit below them.
    static constexpr int kBannerWidth = 375;
    static constexpr int kBannerHeight = 120;

    // `bitmapId` is the banner's resource number. Messages of the work go to
    // `messages` (a message box of this dialog when null).
    CDlgProgress(QWidget* parent, int bitmapId, IMessageSink* messages = nullptr);
    ~CDlgProgress() override;

    // The bar follows `percent` (0 to 100); called on the user-interface
    // thread for every report of the work.
    void SetProgress(int percent);
    bool IsRunning() const { return running_; }
    // The work's messages, on the user-interface thread.
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;

    // The Cancel button and Escape.
    virtual void OnCancel() = 0;

    QProgressBar* progressBar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }
    const QPixmap& banner() const { return banner_; }
    // True once the work has run (or was skipped because the dialog ended first).
    bool workDone() const { return workDone_; }
    // True while the work runs on its thread.
    bool workBusy() const { return work_.Busy(); }

    // What the tests hook into: `onStart` runs when the dialog is shown, just
    // before the work starts (it may cancel); `onReport` after every report;
    // `holdRounds` is the number of 10 ms rounds at 100 % (100 in the program).
    // With `onReport` set, the work waits at every report until the hook has
    // run, so that a test acts at a given report.
    struct TestHooks {
        std::function<void(CDlgProgress&)> onStart;
        std::function<void(CDlgProgress&, int percent)> onReport;
        int holdRounds = 100;
    };
    static TestHooks& Hooks();

protected:
    // Lays the dialog out around its banner. False when the banner cannot be
    // loaded (the dialog keeps its plain layout then).
    bool OnInitDialog();
    // The work; runs once, on the work's thread, started by the first timer
    // event. It reports through `progress` and touches no widget.
    virtual void RunWork(IProgress& progress) = 0;
    // On the user-interface thread once RunWork has returned (or thrown:
    // `error`, shown as a message unless the subclass does more).
    virtual void WorkFinished(std::exception_ptr error) = 0;
    // Shows the full bar for about a second, then runs `then` unless the
    // dialog has ended meanwhile.
    void HoldAtFull(std::function<void()> then);
    // Stops the work: it sees the cancel at its next check.
    void StopWork();
    // Stops the work and waits until it has ended. Every subclass calls it
    // in its destructor: the work runs RunWork, the subclass's own.
    void StopWorkAndWait();
    // Ends the dialog unless it has already ended.
    void EndDialog(int result);

    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override { OnCancel(); }

    bool running_ = false;
    bool ended() const { return ended_; }
    bool holding() const { return holding_; }

private:
    void OnWorkFinished();

    int bitmapId_;
    QPixmap banner_;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    IMessageSink* messages_;
    int timerId_ = 0;
    bool initialised_ = false;
    bool workDone_ = false;
    bool ended_ = false;
    bool holding_ = false;
    BackgroundWork work_{this};
};

}  // namespace dw
