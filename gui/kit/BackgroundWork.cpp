#include "gui/kit/BackgroundWork.h"

#include <QMetaObject>
#include <QPointer>

#include <string>

#include "core/base/WorkerPool.h"

namespace dw {

BackgroundWork::BackgroundWork(IMessageSink* messages, QObject* parent) : QObject(parent), messages_(messages) {}

BackgroundWork::~BackgroundWork() { CancelAndWait(); }

void BackgroundWork::CancelAndWait() {
    if (!running_.valid()) return;
    Cancel();
    Release();
    running_.wait();
}

void BackgroundWork::Start(std::function<void(IProgress&)> work) {
    if (busy_) return;
    busy_ = true;
    error_ = nullptr;
    cancelled_.store(false, std::memory_order_release);
    lastPercent_.store(-1, std::memory_order_relaxed);
    {
        std::lock_guard lock(mutex_);
        abandoned_ = false;
    }
    running_ = SharedPool().Start([this, work = std::move(work)] {
        std::exception_ptr error;
        try {
            work(*this);
        } catch (...) {
            error = std::current_exception();
        }
        // Queued: delivered on the user-interface thread once its loop turns,
        // after every report and message this work sent before.
        QMetaObject::invokeMethod(
            this,
            [this, error] {
                error_ = error;
                busy_ = false;
                emit Finished();
            },
            Qt::QueuedConnection);
    });
}

void BackgroundWork::Cancel() { cancelled_.store(true, std::memory_order_release); }

void BackgroundWork::SetProgress(int percent) {
    if (inStep_.load(std::memory_order_acquire)) {
        lastPercent_.store(percent, std::memory_order_relaxed);
        OnWindowThread([this, percent] { emit Progressed(percent); });
        return;
    }
    if (lastPercent_.exchange(percent, std::memory_order_relaxed) == percent) return;
    QMetaObject::invokeMethod(this, [this, percent] { emit Progressed(percent); }, Qt::QueuedConnection);
}

void BackgroundWork::ShowMessage(int stringId, std::string_view text, MessageIcon icon) {
    if (messages_ == nullptr) return;
    OnWindowThread([this, stringId, text = std::string(text), icon] { messages_->ShowMessage(stringId, text, icon); });
}

void BackgroundWork::OnWindowThread(std::function<void()> deliver) {
    std::uint64_t ticket;
    {
        std::lock_guard lock(mutex_);
        if (abandoned_) return;
        ticket = ++sent_;
    }
    QMetaObject::invokeMethod(
        this,
        [this, deliver = std::move(deliver)] {
            deliver();
            {
                std::lock_guard lock(mutex_);
                ++done_;
            }
            delivered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    delivered_.wait(lock, [&] { return abandoned_ || done_ >= ticket; });
}

void BackgroundWork::Release() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    delivered_.notify_all();
}

}  // namespace dw
