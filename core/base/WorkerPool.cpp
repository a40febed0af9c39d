#include "core/base/WorkerPool.h"

#include <algorithm>
#include <system_error>

namespace dw {

WorkerPool::WorkerPool(unsigned threads) {
    for (unsigned i = 1; i < threads; ++i) {
        try {
            workers_.emplace_back([this] { WorkerLoop(); });
        } catch (const std::system_error&) {
            // The system gives no more threads: the pool works with those it
            // has, the calling thread at least, and the results are the same.
            break;
        }
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    jobWake_.notify_all();
    for (std::thread& t : workers_) t.join();
    if (jobThread_.joinable()) jobThread_.join();
}

void WorkerPool::StartRaw(std::function<void()> job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (!jobThread_.joinable()) jobThread_ = std::thread([this] { JobLoop(); });
    jobWake_.notify_one();
}

void WorkerPool::JobLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        jobWake_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();  // a packaged task: its exception goes to the future
        lock.lock();
    }
}

WorkerPool& SharedPool() {
    static WorkerPool pool(std::max(1u, std::thread::hardware_concurrency()));
    return pool;
}

void WorkerPool::Drain(Call call, void* fn, std::size_t tasks) {
    for (;;) {
        const std::size_t task = nextTask_.fetch_add(1, std::memory_order_relaxed);
        if (task >= tasks) return;
        call(fn, task);
    }
}

void WorkerPool::WorkerLoop() {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) return;
        seen = generation_;
        const Call call = call_;
        void* const fn = fn_;
        const std::size_t tasks = taskCount_;
        lock.unlock();
        Drain(call, fn, tasks);
        lock.lock();
        // Every worker reports every job, so Run cannot return (and the next
        // job cannot reset the counter) while a worker still holds this one.
        if (++finished_ == workers_.size()) done_.notify_one();
    }
}

void WorkerPool::RunRaw(std::size_t tasks, Call call, void* fn) {
    if (tasks == 0) return;
    if (workers_.empty() || tasks == 1) {
        for (std::size_t i = 0; i < tasks; ++i) call(fn, i);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        call_ = call;
        fn_ = fn;
        taskCount_ = tasks;
        nextTask_.store(0, std::memory_order_relaxed);
        finished_ = 0;
        ++generation_;
    }
    wake_.notify_all();
    Drain(call, fn, tasks);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return finished_ == workers_.size(); });
    call_ = nullptr;
    fn_ = nullptr;
}

}  // namespace dw
