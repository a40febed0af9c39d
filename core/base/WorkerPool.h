#pragma once
// The one way long work leaves the calling thread: a pool of threads that
// lives as long as it is kept (the engine keeps one; SharedPool() serves the
// rest of the program).
//
// What runs where
// - Run(tasks, fn): fn(0) .. fn(tasks - 1), spread over the workers and the
//   calling thread, taken in increasing order from a shared counter so the
//   load evens out whatever the tasks cost. Returns when every task of the
//   batch has stopped. No allocation on this path: the renderer calls it for
//   every block.
// - RunOrdered(tasks, window, produce, consume): produce(i) on the workers
//   and the calling thread, consume(i, value) on the calling thread only, in
//   increasing i. At most `window` values are alive at once (being produced,
//   waiting or being consumed), so a long stream holds bounded memory.
// - Start(fn): fn once on the pool's job thread (made on first use, kept;
//   jobs run one after another in the order started). The future returns
//   fn's result or rethrows its exception. fn may run batches on any pool.
//
// Exceptions and cancel
// - Once a task (or a consume) throws, or `cancel` is set, tasks not yet
//   begun are skipped; those running finish. The first exception is rethrown
//   on the caller after every task of the batch has stopped, so no worker
//   ever runs on a returned frame, and the pool is as good as new after.
// - A cancel is no error: the batch returns normally with tasks skipped; the
//   caller asks its flag what happened.
//
// Several callers, nested batches
// - Batches from different threads take turns. A task that runs a batch on
//   the pool it runs on gets it inline on its own thread (the workers are
//   busy with the outer batch); so does a task of one pool that finds another
//   pool busy, which could otherwise wait on work that waits on it.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace dw {

// A cancel flag shared by whoever may cancel and the tasks that look at it.
class CancelFlag {
public:
    void Cancel() noexcept { cancelled_.store(true, std::memory_order_release); }
    bool Cancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }
    void Reset() noexcept { cancelled_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> cancelled_{false};
};

class WorkerPool {
public:
    // `threads` counts the calling thread: 1 starts no worker. Where the
    // system gives fewer threads, the pool runs with those it got.
    explicit WorkerPool(unsigned threads);
    // Runs the jobs already started to their end, then stops the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

    template <class F>
    void Run(std::size_t tasks, F&& fn, const CancelFlag* cancel = nullptr) {
        using Fn = std::remove_reference_t<F>;
        Batch batch;
        batch.call = [](void* f, std::size_t i) { (*static_cast<Fn*>(f))(i); };
        batch.fn = const_cast<void*>(static_cast<const void*>(std::addressof(fn)));
        batch.tasks = tasks;
        batch.cancel = cancel;
        RunBatch(batch);
    }

    template <class P, class C>
    void RunOrdered(std::size_t tasks, std::size_t window, P&& produce, C&& consume,
                    const CancelFlag* cancel = nullptr) {
        using V = std::decay_t<std::invoke_result_t<P&, std::size_t>>;
        if (tasks == 0) return;
        std::unique_lock<std::mutex> turn(turn_, std::defer_lock);
        if (tasks == 1 || !Spread(turn)) {
            for (std::size_t i = 0; i < tasks && !(cancel != nullptr && cancel->Cancelled()); ++i)
                consume(i, produce(i));
            return;
        }
        Ordered<V, std::remove_reference_t<P>, std::remove_reference_t<C>> ordered(produce, consume, tasks, window,
                                                                                   cancel);
        Dispatch(&decltype(ordered)::Work, &decltype(ordered)::Lead, &ordered);
        if (ordered.error) std::rethrow_exception(ordered.error);
    }

    template <class F>
    auto Start(F&& fn) -> std::future<std::invoke_result_t<std::decay_t<F>>> {
        using R = std::invoke_result_t<std::decay_t<F>>;
        auto job = std::make_unique<TaskJob<R>>(std::packaged_task<R()>(std::forward<F>(fn)));
        std::future<R> result = job->task.get_future();
        Enqueue(std::move(job));
        return result;
    }

private:
    // What every kind of batch shares: the first exception and the stop.
    struct BatchBase {
        std::atomic<bool> stopped{false};
        std::mutex errorMutex;
        std::exception_ptr error;
        void Fail(std::exception_ptr e) noexcept;
    };

    struct Batch : BatchBase {
        using Call = void (*)(void*, std::size_t);
        Call call = nullptr;
        void* fn = nullptr;
        std::size_t tasks = 0;
        const CancelFlag* cancel = nullptr;
        std::atomic<std::size_t> next{0};
        static void Drain(void* self) noexcept;
    };

    template <class V, class P, class C>
    struct Ordered : BatchBase {
        Ordered(P& p, C& c, std::size_t t, std::size_t w, const CancelFlag* f)
            : produce(p), consume(c), tasks(t), window(w == 0 ? 1 : w), cancel(f), pending(window) {}
        P& produce;
        C& consume;
        const std::size_t tasks;
        const std::size_t window;
        const CancelFlag* cancel;
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::optional<V>> pending;  // value i waits in pending[i % window]
        std::size_t next = 0;                 // the next value to produce
        std::size_t consumed = 0;             // values consumed (or being consumed: they still count)

        bool Stopping() const { return stopped.load(std::memory_order_relaxed) || (cancel && cancel->Cancelled()); }
        void StopAll() noexcept {
            {
                std::lock_guard lock(mutex);
                stopped.store(true, std::memory_order_relaxed);
            }
            changed.notify_all();
        }
        // Produces value k into its slot; on a throw, stops the batch.
        void Produce(std::size_t k) noexcept {
            try {
                V value = produce(k);
                {
                    std::lock_guard lock(mutex);
                    pending[k % window].emplace(std::move(value));
                }
                changed.notify_all();
            } catch (...) {
                Fail(std::current_exception());
                StopAll();
            }
        }
        // A worker: produces while the window has room.
        static void Work(void* self) noexcept {
            auto& o = *static_cast<Ordered*>(self);
            std::unique_lock lock(o.mutex);
            for (;;) {
                o.changed.wait(lock, [&] { return o.Stopping() || o.next >= o.tasks || o.next < o.consumed + o.window; });
                if (o.Stopping() || o.next >= o.tasks) return;
                const std::size_t k = o.next++;
                lock.unlock();
                o.Produce(k);
                lock.lock();
            }
        }
        // The caller: consumes in order, producing itself what no worker has
        // taken rather than wait idle.
        static void Lead(void* self) noexcept {
            auto& o = *static_cast<Ordered*>(self);
            for (std::size_t k = 0; k < o.tasks; ++k) {
                std::unique_lock lock(o.mutex);
                std::optional<V>& slot = o.pending[k % o.window];
                for (;;) {
                    if (o.Stopping()) {
                        lock.unlock();
                        o.StopAll();  // wakes workers that wait for room
                        return;
                    }
                    if (slot) break;
                    if (o.next < o.tasks && o.next < o.consumed + o.window) {
                        const std::size_t j = o.next++;
                        lock.unlock();
                        o.Produce(j);
                        lock.lock();
                        continue;
                    }
                    o.changed.wait(lock);
                }
                V value = std::move(*slot);
                slot.reset();
                lock.unlock();
                try {
                    o.consume(k, std::move(value));
                } catch (...) {
                    o.Fail(std::current_exception());
                    o.StopAll();
                    return;
                }
                lock.lock();
                ++o.consumed;
                lock.unlock();
                o.changed.notify_all();
            }
        }
    };

    struct Job {
        virtual ~Job() = default;
        virtual void Run() = 0;
    };
    template <class R>
    struct TaskJob final : Job {
        explicit TaskJob(std::packaged_task<R()> t) : task(std::move(t)) {}
        void Run() override { task(); }
        std::packaged_task<R()> task;
    };

    using Participate = void (*)(void*) noexcept;
    void RunBatch(Batch& batch);
    // True when the batch is to be spread over the workers, with `turn`
    // taken; false when it is to run inline on this thread.
    bool Spread(std::unique_lock<std::mutex>& turn);
    // The workers run `work`, the calling thread `lead`, on `context`;
    // returns once every worker is done with it.
    void Dispatch(Participate work, Participate lead, void* context);
    void WorkerLoop();
    void Enqueue(std::unique_ptr<Job> job);
    void JobLoop();

    std::vector<std::thread> workers_;
    std::mutex turn_;  // held by the batch being spread
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    Participate work_ = nullptr;
    void* context_ = nullptr;
    std::size_t finished_ = 0;      // workers done with the current batch
    std::uint64_t generation_ = 0;  // bumped for every batch
    bool stop_ = false;

    std::mutex jobMutex_;
    std::condition_variable jobWake_;
    std::deque<std::unique_ptr<Job>> jobs_;
    std::thread jobThread_;
    bool jobsStop_ = false;
};

// The process's pool, as many threads as the processor has; made on first use.
WorkerPool& SharedPool();

}  // namespace dw
