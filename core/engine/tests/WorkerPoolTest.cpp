// The render threads: every task runs exactly once per job, jobs follow each
// other without overlap, and a threaded render gives the one-thread bytes.
// Also runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "core/base/WorkerPool.h"
#include "core/engine/MusicEngine.h"
#include "core/engine/tests/EngineTestSupport.h"
#include "core/model/Progress.h"

namespace dw {
namespace {

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

TEST(WorkerPool, ThreadedRenderGivesTheOneThreadBytes) {
    CProject project;
    test::MakeLightProject(project);
    test::SetGraph(project, kTexture, 0.6f);
    NullProgress progress;
    CMusicEngine engine;
    CreateOptions options;
    options.random = Random(5);
    options.threads = 1;
    ASSERT_TRUE(engine.Create(project, progress, options));
    const auto one = test::Bytes(engine.Output(), engine.OutputFrameCount());
    options.threads = 3;
    ASSERT_TRUE(engine.Rerender(progress, options));
    EXPECT_TRUE(test::Bytes(engine.Output(), engine.OutputFrameCount()) == one);
}

}  // namespace
}  // namespace dw
