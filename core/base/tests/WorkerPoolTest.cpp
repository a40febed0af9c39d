// The pool: every task once per batch, the first exception back on the caller
// after all have stopped, cancel, ordered consumption within its window,
// jobs, two callers at once and batches inside batches. Also runs under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/base/WorkerPool.h"

namespace dw {
namespace {

void Nap() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }

// Every task ran exactly once: the pool is whole again.
void ExpectWhole(WorkerPool& pool) {
    std::vector<std::atomic<int>> counts(50);
    pool.Run(counts.size(), [&](std::size_t i) { counts[i].fetch_add(1); });
    for (std::size_t i = 0; i < counts.size(); ++i) ASSERT_EQ(counts[i].load(), 1) << "task " << i;
}

TEST(WorkerPool, EveryTaskOnceInEveryJob) {
    for (unsigned threads : {1u, 2u, 4u}) {
        WorkerPool pool(threads);
        EXPECT_EQ(pool.Threads(), threads);
        std::vector<int> counts(97, 0);  // each task writes only its own slot
        for (int job = 0; job < 200; ++job) {
            const std::size_t tasks = static_cast<std::size_t>(job % 97) + 1;
            pool.Run(tasks, [&](std::size_t i) { counts[i] += 1; });
            // The next job starts only after this one's tasks have all run.
        }
        for (std::size_t i = 0; i < counts.size(); ++i) {
            int expected = 0;
            for (int job = 0; job < 200; ++job)
                if (static_cast<std::size_t>(job % 97) + 1 > i) ++expected;
            ASSERT_EQ(counts[i], expected) << "task " << i << ", " << threads << " threads";
        }
    }
}

// Where a batch's task throws.
enum class Thrower { Caller, Worker, Every };

struct ThrowCase {
    const char* name;
    Thrower thrower;
    unsigned threads;
};

void PrintTo(const ThrowCase& c, std::ostream* os) { *os << c.name; }

class WorkerPoolThrow : public testing::TestWithParam<ThrowCase> {};

TEST_P(WorkerPoolThrow, RethrownOnceOnTheCallerAfterAllStopped) {
    const ThrowCase& c = GetParam();
    WorkerPool pool(c.threads);
    const auto caller = std::this_thread::get_id();
    constexpr std::size_t kTasks = 400;
    std::atomic<int> running{0}, started{0}, thrown{0};
    bool caught = false;
    try {
        pool.Run(kTasks, [&](std::size_t) {
            running.fetch_add(1);
            started.fetch_add(1);
            struct Leave {
                std::atomic<int>& r;
                ~Leave() { r.fetch_sub(1); }
            } leave{running};
            const bool onCaller = std::this_thread::get_id() == caller;
            const bool throws = c.thrower == Thrower::Every || (c.thrower == Thrower::Caller) == onCaller;
            Nap();
            if (throws) {
                thrown.fetch_add(1);
                throw std::runtime_error(onCaller ? "caller" : "worker");
            }
        });
    } catch (const std::runtime_error& e) {
        caught = true;
        // Nothing of the batch runs any more once Run has left.
        EXPECT_EQ(running.load(), 0);
        if (c.thrower == Thrower::Caller) {
            EXPECT_EQ(std::string(e.what()), "caller");
        } else if (c.thrower == Thrower::Worker) {
            EXPECT_EQ(std::string(e.what()), "worker");
        }
    }
    ASSERT_TRUE(caught);
    EXPECT_GE(thrown.load(), 1);
    // Tasks not begun when the first throw came were skipped.
    EXPECT_LT(started.load(), static_cast<int>(kTasks));
    ExpectWhole(pool);
}

INSTANTIATE_TEST_SUITE_P(Throws, WorkerPoolThrow,
                         testing::Values(ThrowCase{"OnTheCaller", Thrower::Caller, 4},
                                         ThrowCase{"OnAWorker", Thrower::Worker, 4},
                                         ThrowCase{"OnEveryThread", Thrower::Every, 4},
                                         ThrowCase{"WithoutWorkers", Thrower::Caller, 1}),
                         [](const testing::TestParamInfo<ThrowCase>& i) { return std::string(i.param.name); });

TEST(WorkerPool, CancelSkipsTheTasksNotBegun) {
    WorkerPool pool(3);
    CancelFlag cancel;
    std::atomic<int> started{0};
    pool.Run(
        1000,
        [&](std::size_t i) {
            started.fetch_add(1);
            if (i == 5) cancel.Cancel();
            Nap();
        },
        &cancel);
    EXPECT_LT(started.load(), 1000);
    // A flag already set runs nothing; reset, it runs everything again.
    started = 0;
    pool.Run(10, [&](std::size_t) { started.fetch_add(1); }, &cancel);
    EXPECT_EQ(started.load(), 0);
    cancel.Reset();
    pool.Run(10, [&](std::size_t) { started.fetch_add(1); }, &cancel);
    EXPECT_EQ(started.load(), 10);
}

struct OrderedCase {
    const char* name;
    unsigned threads;
    std::size_t tasks;
    std::size_t window;
};

void PrintTo(const OrderedCase& c, std::ostream* os) { *os << c.name; }

class WorkerPoolOrdered : public testing::TestWithParam<OrderedCase> {};

TEST_P(WorkerPoolOrdered, ConsumesInOrderWithinTheWindow) {
    const OrderedCase& c = GetParam();
    WorkerPool pool(c.threads);
    const auto caller = std::this_thread::get_id();
    std::atomic<int> alive{0}, most{0};
    std::vector<std::size_t> order;
    bool consumedElsewhere = false;
    pool.RunOrdered(
        c.tasks, c.window,
        [&](std::size_t i) {
            const int now = alive.fetch_add(1) + 1;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {}
            if (i % 3 == 0) Nap();  // uneven costs: values come out of order
            return std::vector<std::size_t>(4, i * 7);
        },
        [&](std::size_t i, std::vector<std::size_t> value) {
            consumedElsewhere = consumedElsewhere || std::this_thread::get_id() != caller;
            EXPECT_EQ(value, std::vector<std::size_t>(4, i * 7));
            order.push_back(i);
            alive.fetch_sub(1);
        });
    ASSERT_EQ(order.size(), c.tasks);
    for (std::size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], i);
    EXPECT_FALSE(consumedElsewhere);
    EXPECT_LE(most.load(), static_cast<int>(std::max<std::size_t>(1, c.window)));
}

INSTANTIATE_TEST_SUITE_P(Windows, WorkerPoolOrdered,
                         testing::Values(OrderedCase{"OneThread", 1, 20, 4}, OrderedCase{"WindowOfOne", 4, 30, 1},
                                         OrderedCase{"WindowOfZeroMeansOne", 3, 10, 0},
                                         OrderedCase{"NarrowWindow", 4, 200, 3},
                                         OrderedCase{"WideWindow", 3, 100, 64}, OrderedCase{"OneTask", 4, 1, 8}),
                         [](const testing::TestParamInfo<OrderedCase>& i) { return std::string(i.param.name); });

TEST(WorkerPool, OrderedStopsAtAThrowInProduceOrConsumeAndAtCancel) {
    WorkerPool pool(4);
    for (const char* where : {"produce", "consume"}) {
        std::size_t consumed = 0;
        try {
            pool.RunOrdered(
                100, 4,
                [&](std::size_t i) {
                    if (std::string(where) == "produce" && i == 10) throw std::runtime_error(where);
                    return i;
                },
                [&](std::size_t i, std::size_t) {
                    if (std::string(where) == "consume" && i == 10) throw std::runtime_error(where);
                    ++consumed;
                });
            ADD_FAILURE() << "no throw from " << where;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), where);
        }
        // In order, nothing from the failed one on; a failed produce may
        // also stop values made before it from being consumed.
        if (std::string(where) == "consume") {
            EXPECT_EQ(consumed, 10u);
        } else {
            EXPECT_LE(consumed, 10u);
        }
        ExpectWhole(pool);
    }
    CancelFlag cancel;
    std::size_t consumed = 0;
    pool.RunOrdered(
        100, 4, [](std::size_t i) { return i; },
        [&](std::size_t i, std::size_t) {
            ++consumed;
            if (i == 20) cancel.Cancel();
        },
        &cancel);
    EXPECT_EQ(consumed, 21u);
}

TEST(WorkerPool, StartGivesTheResultOrTheException) {
    WorkerPool pool(3);
    auto sum = pool.Start([&pool] {
        // A job may spread its own batches over the pool that runs it.
        std::atomic<long> total{0};
        pool.Run(100, [&](std::size_t i) { total.fetch_add(static_cast<long>(i)); });
        return total.load();
    });
    auto fails = pool.Start([]() -> int { throw std::runtime_error("job failed"); });
    auto after = pool.Start([] { return std::string("after"); });
    EXPECT_EQ(sum.get(), 4950);
    EXPECT_THROW(fails.get(), std::runtime_error);
    EXPECT_EQ(after.get(), "after");  // a failed job stops no other
}

TEST(WorkerPool, TwoCallersAtOnce) {
    WorkerPool pool(3);
    std::vector<std::atomic<int>> counts(2 * 40);
    auto caller = [&](std::size_t base) {
        for (int round = 0; round < 100; ++round)
            pool.Run(40, [&](std::size_t i) { counts[base + i].fetch_add(1); });
    };
    std::thread other(caller, 40);
    caller(0);
    other.join();
    for (std::size_t i = 0; i < counts.size(); ++i) ASSERT_EQ(counts[i].load(), 100) << "task " << i;
}

TEST(WorkerPool, BatchesInsideBatchesRunInline) {
    WorkerPool pool(3), other(2);
    std::vector<std::atomic<int>> counts(8 * 8 * 4);
    // A task of `pool` spreads on `other`, whose tasks come back to `pool`,
    // busy with the outer batch: they must run where they are.
    pool.Run(8, [&](std::size_t i) {
        pool.Run(8, [&](std::size_t j) {
            other.Run(4, [&](std::size_t k) {
                pool.Run(2, [&](std::size_t) { counts[(i * 8 + j) * 4 + k].fetch_add(1); });
            });
        });
    });
    for (std::size_t i = 0; i < counts.size(); ++i) ASSERT_EQ(counts[i].load(), 2) << "task " << i;
    ExpectWhole(pool);
    ExpectWhole(other);
}

TEST(WorkerPool, SharedPoolHasEveryCore) {
    EXPECT_EQ(SharedPool().Threads(), std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_EQ(&SharedPool(), &SharedPool());
}

}  // namespace
}  // namespace dw
