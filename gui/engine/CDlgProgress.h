#pragma once
// The modal progress dialogs that run the long work of the program (decoding
// the source, creating the music) on the user-interface thread: a banner
// picture, a progress bar and a Cancel button.
//
// The dialog is the work's IProgress. Once it is shown, a zero-period one-shot
// timer (id 2) runs the work inside the dialog's own event loop; every report
// moves the bar and dispatches the waiting events (PumpMessages), so that the
// dialog repaints and Cancel is seen while the work runs. When the work is
// done the bar stays full for about one second before the dialog ends.
//
// Subclasses choose the banner and implement RunWork and OnCancel.

#include <QDialog>
#include <QPixmap>

#include <functional>
#include <string_view>

#include "core/model/Progress.h"

class QProgressBar;
class QPushButton;

namespace dw {

// Dispatches every event waiting for the user-interface thread.
void PumpMessages();

class CDlgProgress : public QDialog, public IProgress {
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

    // IProgress: the bar follows `percent` (0 to 100) and the events waiting
    // are dispatched.
    void SetProgress(int percent) override;
    bool IsRunning() const override { return running_; }
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;

    // The Cancel button and Escape.
    virtual void OnCancel() = 0;

    QProgressBar* progressBar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }
    const QPixmap& banner() const { return banner_; }
    // True once the work has run (or was skipped because the dialog ended first).
    bool workDone() const { return workDone_; }

    // What the tests hook into: `onStart` runs when the dialog is shown, just
    // before the work starts (it may cancel); `onReport` after every report;
    // `holdRounds` is the number of 10 ms rounds at 100 % (100 in the program).
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
    // The work; runs once, inside the first timer event.
    virtual void RunWork() = 0;
    // Keeps the full bar on screen for about a second, dispatching events.
    void HoldAtFull();
    // Ends the dialog unless it has already ended.
    void EndDialog(int result);

    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override { OnCancel(); }

    bool running_ = false;

private:
    int bitmapId_;
    QPixmap banner_;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    IMessageSink* messages_;
    int timerId_ = 0;
    bool initialised_ = false;
    bool workDone_ = false;
    bool ended_ = false;
};

}  // namespace dw
