// Long work off the user-interface thread: the window's event loop keeps
// turning while the work runs, Cancel reaches the work, messages and the end
// come back on the user-interface thread in the order the work sent them.
#include "gui/kit/BackgroundWork.h"
#include "gui/kit/ProgressBox.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace dw {
namespace {

struct RecordingSink final : IMessageSink {
    std::vector<std::string> texts;
    bool allOnWindowThread = true;
    void ShowMessage(int, std::string_view text, MessageIcon) override {
        allOnWindowThread = allOnWindowThread && QThread::currentThread() == qApp->thread();
        texts.emplace_back(text);
    }
};

// Turns the event loop until `work` has finished (or 10 s have passed).
void WaitForFinished(BackgroundWork& work) {
    QEventLoop loop;
    QObject::connect(&work, &BackgroundWork::Finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (work.Busy()) loop.exec();
}

TEST(BackgroundWork, TheWindowsLoopTurnsWhileTheWorkRuns) {
    RecordingSink sink;
    BackgroundWork work(&sink);
    std::promise<void> timerRan;
    std::future<void> seen = timerRan.get_future();
    bool releasedByTheWindow = false;
    work.Start([&](IProgress&) {
        // Only the user-interface thread's timer can let the work go on.
        releasedByTheWindow = seen.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    });
    QTimer::singleShot(20, [&] { timerRan.set_value(); });
    WaitForFinished(work);
    EXPECT_FALSE(work.Busy());
    EXPECT_TRUE(releasedByTheWindow);
    EXPECT_EQ(work.Error(), nullptr);
}

TEST(BackgroundWork, CancelReachesTheWorkAtItsNextCheck) {
    BackgroundWork work(nullptr);
    int checks = 0;
    work.Start([&](IProgress& progress) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (progress.IsRunning() && std::chrono::steady_clock::now() < giveUp) {
            ++checks;
            progress.SetProgress(checks % 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QTimer::singleShot(30, [&] { work.Cancel(); });
    WaitForFinished(work);
    EXPECT_TRUE(work.Cancelled());
    EXPECT_GT(checks, 0);
    EXPECT_FALSE(work.Busy());
}

TEST(BackgroundWork, MessagesProgressAndTheEndArriveInOrderOnTheWindowThread) {
    RecordingSink sink;
    BackgroundWork work(&sink);
    std::vector<std::string> order;
    QObject::connect(&work, &BackgroundWork::Progressed, [&](int p) { order.push_back("progress " + std::to_string(p)); });
    QObject::connect(&work, &BackgroundWork::Finished, [&] { order.push_back("finished"); });
    std::vector<std::size_t> shownBeforeGoingOn;
    work.Start([&](IProgress& progress) {
        progress.ShowMessage(0, "first", MessageIcon::Information);
        shownBeforeGoingOn.push_back(sink.texts.size());  // the work waited for the box
        progress.SetProgress(50);
        progress.SetProgress(50);  // unchanged: not sent again
        progress.ShowMessage(0, "second", MessageIcon::Exclamation);
        shownBeforeGoingOn.push_back(sink.texts.size());
        progress.SetProgress(100);
    });
    WaitForFinished(work);
    EXPECT_EQ(sink.texts, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(sink.allOnWindowThread);
    EXPECT_EQ(shownBeforeGoingOn, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(order, (std::vector<std::string>{"progress 50", "progress 100", "finished"}));
}

TEST(BackgroundWork, WhatTheWorkThrowsComesBackToTheWindow) {
    BackgroundWork work(nullptr);
    work.Start([](IProgress&) { throw std::runtime_error("disk gone"); });
    WaitForFinished(work);
    ASSERT_NE(work.Error(), nullptr);
    EXPECT_THROW(std::rethrow_exception(work.Error()), std::runtime_error);
    // The same object runs the next work.
    bool ran = false;
    work.Start([&](IProgress&) { ran = true; });
    WaitForFinished(work);
    EXPECT_TRUE(ran);
    EXPECT_EQ(work.Error(), nullptr);
}

TEST(BackgroundWork, GoingAwayCancelsAndWaitsEvenWhileAMessageWaits) {
    RecordingSink sink;
    bool sawCancel = false;
    {
        BackgroundWork work(&sink);
        std::promise<void> started;
        work.Start([&](IProgress& progress) {
            started.set_value();
            // Nobody turns the loop before the object goes: the message is
            // never shown, and the work must not wait for it forever.
            progress.ShowMessage(0, "never shown", MessageIcon::Error);
            sawCancel = !progress.IsRunning();
        });
        started.get_future().wait();
    }
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(sink.texts.empty());
}

TEST(ProgressBox, RunsTheWorkOffTheWindowThreadAndRethrows) {
    RecordingSink sink;
    ProgressBox box(nullptr, QStringLiteral("Writing Music"), &sink);
    QThread* workThread = nullptr;
    box.Run([&](IProgress& progress) {
        workThread = QThread::currentThread();
        progress.SetProgress(40);
    });
    EXPECT_NE(workThread, qApp->thread());
    EXPECT_EQ(box.window().value(), 40);
    EXPECT_THROW(box.Run([](IProgress&) { throw std::runtime_error("full"); }), std::runtime_error);
}

}  // namespace
}  // namespace dw
