// The render threads: a threaded render gives the one-thread bytes. Also runs
// under ThreadSanitizer (the pool's own tests are in core/base/tests).
#include <gtest/gtest.h>

#include "core/base/WorkerPool.h"
#include "core/engine/MusicEngine.h"
#include "core/engine/tests/EngineTestSupport.h"
#include "core/model/Progress.h"

namespace dw {
namespace {

TEST(ThreadedRender, GivesTheOneThreadBytes) {
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
