#pragma once
// A small fork-join pool for long work (the renderer, finishing a file): Run(tasks, fn) calls fn(0) ..
// fn(tasks - 1) spread over the workers and the calling thread, and returns
// when all have finished. Tasks are taken in increasing order from a shared
// counter, so the load evens out whatever the tasks cost. No allocation per
// Run; the workers live as long as the pool.

#include <atomic>
#include <condition_variable>
#include <cstddef>
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

private:
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

}  // namespace dw
