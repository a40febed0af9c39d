#pragma once
// Long work of a window (loading the source, creating the music, writing a
// sound file) run off the user-interface thread, on the job thread of the
// process's worker pool, while the window's own event loop goes on: the
// window repaints, its timers run and Cancel is seen at once. Nothing here
// pumps events.
//
// The work reports through the IProgress this object gives it, on the work's
// thread. Progress, messages and the end reach the window on the
// user-interface thread through queued signals:
//   Progressed(percent)  when the percentage changes (at most 101 a run);
//   a message            is shown by the window's sink, and the work waits
//                        until the user has closed it, as it would on one
//                        thread;
//   Finished()           once the work has returned or thrown (Error()).
// Cancel sets a flag that the work reads through IsRunning at its next check.
//
// Threads: construct, Start, Cancel, Wait and destroy on the user-interface
// thread; the IProgress calls come from the work's thread. The destructor
// cancels a work still running and waits for it, releasing a message it is
// waiting on, so the window never outlives its own work.

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <string_view>

#include "core/model/Progress.h"

namespace dw {

class BackgroundWork final : public QObject, public IProgress {
    Q_OBJECT
public:
    // `messages` shows the work's messages on the user-interface thread.
    explicit BackgroundWork(IMessageSink* messages, QObject* parent = nullptr);
    ~BackgroundWork() override;

    // Starts `work` on the pool and returns at once; Finished follows.
    void Start(std::function<void(IProgress&)> work);
    void Cancel();
    // Cancels a work still running and waits until it has ended, releasing a
    // message it waits on. For owners that must outlive their work's use of
    // them (a dialog whose subclass the work calls into).
    void CancelAndWait();
    bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }
    // True from Start until Finished has been delivered.
    bool Busy() const { return busy_; }
    // What the last work threw (null when it returned), once Finished.
    std::exception_ptr Error() const { return error_; }

    // When set, every report waits until the window has taken it, so that a
    // test acting at a given report sees the work stand there.
    void SetReportsInStep(bool inStep) { inStep_.store(inStep, std::memory_order_release); }

    // IProgress, called by the work on its own thread.
    void SetProgress(int percent) override;
    bool IsRunning() const override { return !Cancelled(); }
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;

signals:
    void Progressed(int percent);
    void Finished();

private:
    // Runs `deliver` on the user-interface thread and waits until it has run
    // (or the window has gone).
    void OnWindowThread(std::function<void()> deliver);
    void Release();

    IMessageSink* messages_;
    std::future<void> running_;
    std::exception_ptr error_;
    bool busy_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> inStep_{false};
    std::atomic<int> lastPercent_{-1};

    std::mutex mutex_;
    std::condition_variable delivered_;
    std::uint64_t sent_ = 0;      // deliveries asked for by the work
    std::uint64_t done_ = 0;      // deliveries that have run
    bool abandoned_ = false;      // the window is going: no one will deliver
};

}  // namespace dw
