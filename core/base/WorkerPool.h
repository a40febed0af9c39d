#pragma once
// A small fork-join pool for long work (the renderer, finishing a file): Run(tasks, fn) calls fn(0) ..
// fn(tasks - 1) spread over the workers and the calling thread, and returns
// when all have finished. Tasks are taken in increasing order from a shared
// counter, so the load evens out whatever the tasks cost. No allocation per
// Run; the workers live as long as the pool.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace dw {

class WorkerPool {
public:
    // `threads` counts the calling thread: 1 starts no worker. Where the
    // system gives fewer threads, the pool runs with those it got.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

    template <class F>
    void Run(std::size_t tasks, F&& fn) {
        using Fn = std::remove_reference_t<F>;
        RunRaw(tasks, [](void* f, std::size_t i) { (*static_cast<Fn*>(f))(i); },
               const_cast<void*>(static_cast<const void*>(&fn)));
    }

    // Long work off the calling thread (what the windows load, create and
    // write): runs fn once on the pool's job thread (made on first use and
    // kept; jobs run one after another in the order started). fn may run
    // batches on any pool. get() on the future returns fn's result or
    // rethrows its exception.
    template <class F>
    auto Start(F&& fn) -> std::future<std::invoke_result_t<std::decay_t<F>>> {
        using R = std::invoke_result_t<std::decay_t<F>>;
        auto task = std::make_shared<std::packaged_task<R()>>(std::forward<F>(fn));
        std::future<R> result = task->get_future();
        StartRaw([task] { (*task)(); });
        return result;
    }

private:
    void StartRaw(std::function<void()> job);
    void JobLoop();
    std::thread jobThread_;
    std::deque<std::function<void()>> jobs_;
    std::condition_variable jobWake_;
    using Call = void (*)(void*, std::size_t);
    void RunRaw(std::size_t tasks, Call call, void* fn);
    void WorkerLoop();
    void Drain(Call call, void* fn, std::size_t tasks);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    Call call_ = nullptr;
    void* fn_ = nullptr;
    std::size_t taskCount_ = 0;
    std::atomic<std::size_t> nextTask_{0};
    std::size_t finished_ = 0;      // workers done with the current job
    std::uint64_t generation_ = 0;  // bumped for every job
    bool stop_ = false;
};

// The process's pool, as many threads as the processor has; made on first use.
WorkerPool& SharedPool();

}  // namespace dw
