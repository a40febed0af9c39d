#include "core/base/WorkerPool.h"

#include <algorithm>
#include <system_error>

namespace dw {

namespace {

// The pools whose batch this thread is working in, innermost first: a
// worker is always in its own pool, a caller while its batch runs. Kept on
// the threads' stacks, so marking costs no allocation.
struct InsideMark {
    const WorkerPool* pool;
    InsideMark* outer;
};
thread_local InsideMark* tInside = nullptr;

class Mark {
public:
    explicit Mark(const WorkerPool* pool) : mark_{pool, tInside} { tInside = &mark_; }
    ~Mark() { tInside = mark_.outer; }
    Mark(const Mark&) = delete;
    Mark& operator=(const Mark&) = delete;

private:
    InsideMark mark_;
};

bool Inside(const WorkerPool* pool) {
    for (const InsideMark* m = tInside; m != nullptr; m = m->outer)
        if (m->pool == pool) return true;
    return false;
}

}  // namespace

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
        std::lock_guard lock(jobMutex_);
        jobsStop_ = true;
    }
    jobWake_.notify_all();
    // The jobs may still run batches here: the workers stop after them.
    if (jobThread_.joinable()) jobThread_.join();
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void WorkerPool::BatchBase::Fail(std::exception_ptr e) noexcept {
    {
        std::lock_guard lock(errorMutex);
        if (!error) error = std::move(e);
    }
    stopped.store(true, std::memory_order_relaxed);
}

void WorkerPool::Batch::Drain(void* self) noexcept {
    auto& b = *static_cast<Batch*>(self);
    for (;;) {
        if (b.stopped.load(std::memory_order_relaxed) || (b.cancel != nullptr && b.cancel->Cancelled())) return;
        const std::size_t task = b.next.fetch_add(1, std::memory_order_relaxed);
        if (task >= b.tasks) return;
        try {
            b.call(b.fn, task);
        } catch (...) {
            b.Fail(std::current_exception());
        }
    }
}

bool WorkerPool::Spread(std::unique_lock<std::mutex>& turn) {
    if (workers_.empty() || Inside(this)) return false;
    // A task of another pool must not wait for this one: the batch holding
    // it may be waiting for that very task.
    if (tInside != nullptr) return turn.try_lock();
    turn.lock();
    return true;
}

void WorkerPool::RunBatch(Batch& batch) {
    if (batch.tasks == 0) return;
    std::unique_lock<std::mutex> turn(turn_, std::defer_lock);
    if (batch.tasks == 1 || !Spread(turn)) {
        // Inline: the first throw leaves the loop, which skips the rest.
        for (std::size_t i = 0; i < batch.tasks; ++i) {
            if (batch.cancel != nullptr && batch.cancel->Cancelled()) return;
            batch.call(batch.fn, i);
        }
        return;
    }
    Dispatch(&Batch::Drain, &Batch::Drain, &batch);
    if (batch.error) std::rethrow_exception(batch.error);
}

void WorkerPool::Dispatch(Participate work, Participate lead, void* context) {
    {
        std::lock_guard lock(mutex_);
        work_ = work;
        context_ = context;
        finished_ = 0;
        ++generation_;
    }
    wake_.notify_all();
    {
        const Mark mark(this);
        lead(context);
    }
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return finished_ == workers_.size(); });
    work_ = nullptr;
    context_ = nullptr;
}

void WorkerPool::WorkerLoop() {
    const Mark mark(this);
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) return;
        seen = generation_;
        const Participate work = work_;
        void* const context = context_;
        lock.unlock();
        work(context);
        lock.lock();
        // Every worker reports every batch, so Dispatch cannot return (and
        // the batch's state cannot leave the caller's stack) while a worker
        // still looks at it.
        if (++finished_ == workers_.size()) done_.notify_one();
    }
}

void WorkerPool::Enqueue(std::unique_ptr<Job> job) {
    {
        std::lock_guard lock(jobMutex_);
        jobs_.push_back(std::move(job));
        if (!jobThread_.joinable()) {
            try {
                jobThread_ = std::thread([this] { JobLoop(); });
            } catch (...) {
                jobs_.pop_back();  // never to run: the caller hears why
                throw;
            }
        }
    }
    jobWake_.notify_one();
}

void WorkerPool::JobLoop() {
    std::unique_lock lock(jobMutex_);
    for (;;) {
        jobWake_.wait(lock, [&] { return jobsStop_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and nothing left to run
        std::unique_ptr<Job> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job->Run();  // a packaged task: fn's exception goes to its future
        job.reset();
        lock.lock();
    }
}

WorkerPool& SharedPool() {
    static WorkerPool pool(std::max(1u, std::thread::hardware_concurrency()));
    return pool;
}

}  // namespace dw
