// Golden renders: a few whole creations at fixed seeds, each pinned by the
// FNV-1a hash of its output bytes, for every renderer.
//
// The agreement tests hold the production renderer to the reference, so a
// change made to both alike (a shared pass, the draws, the sequencing) slips
// past them; these figures catch it. They change only deliberately: a commit
// that changes a figure says why the music is meant to sound different.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>

#include "core/engine/MusicEngine.h"
#include "core/engine/tests/EngineTestSupport.h"
#include "core/model/Progress.h"
#include "core/model/Project.h"

namespace dw {
namespace {

// 64-bit FNV-1a over the interleaved float samples as bytes.
std::uint64_t Fnv1a(const StereoFrame* frames, std::size_t count) {
    const std::vector<std::uint8_t> bytes = test::Bytes(frames, count);
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

struct GoldenCase {
    const char* name;
    std::uint32_t sampleRate;
    std::uint32_t seed;
    std::function<void(CProject&)> edit;
    std::uint64_t hash;
};

// Short music at low rates, so that the sanitizer builds get through them in
// seconds.
const GoldenCase kGolden[] = {
    // The default sections and matrix with fades.
    {"DefaultMatrix11025", 11025, 7, [](CProject&) {}, 0x2d4ca4026a51efceull},
    // Light grains looping around the end of the music, no start fill.
    {"LoopMusic8000", 8000, 1234,
     [](CProject& p) {
         test::SetGraph(p, kGranulation, 0.0f);
         test::SetGraph(p, kSmoothness, 0.0f);
         p.properties.loopMusic = true;
     },
     0x0f87852491c25940ull},
    // Rates far from 1 and grains clamped at the ends of a short source.
    {"FullTextureShortSource22050", 22050, 99,
     [](CProject& p) {
         test::SetGraph(p, kGranulation, 0.0f);
         test::SetGraph(p, kSmoothness, 0.0f);
         test::SetGraph(p, kTexture, 1.0f);
         test::SetGraph(p, kComplexity, 1.0f);
         test::SetSyntheticSource(p, 3 * 22050);
     },
     0x0511987de2d3d081ull},
};

// Failures name the case rather than dump its bytes.
void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

struct ModeCase {
    const char* name;
    RenderMode mode;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

// Production takes the AVX-512 or AVX2 kernels where the processor has them.
const ModeCase kModes[] = {
    {"Reference", RenderMode::Reference},
    {"Production", RenderMode::Production},
    {"Avx2", RenderMode::Avx2},
    {"Portable", RenderMode::Portable},
};

class GoldenRender : public testing::TestWithParam<std::tuple<GoldenCase, ModeCase>> {};

TEST_P(GoldenRender, OutputHashIsPinned) {
    const auto& [golden, mode] = GetParam();
    CProject project;
    test::MakeSmallProject(project);
    project.properties.sampleRate = golden.sampleRate;
    test::SetSyntheticSource(project, 20 * golden.sampleRate);
    golden.edit(project);
    CreateOptions options;
    options.random = Random(golden.seed);
    options.renderer = mode.mode;
    options.threads = 2;
    NullProgress progress;
    CMusicEngine engine;
    ASSERT_TRUE(engine.Create(project, progress, options));
    ASSERT_EQ(engine.OutputFrameCount(), 10 * golden.sampleRate);
    EXPECT_EQ(Fnv1a(engine.Output(), engine.OutputFrameCount()), golden.hash)
        << std::hex << "0x" << Fnv1a(engine.Output(), engine.OutputFrameCount());
}

INSTANTIATE_TEST_SUITE_P(Pinned, GoldenRender, testing::Combine(testing::ValuesIn(kGolden), testing::ValuesIn(kModes)),
                         [](const testing::TestParamInfo<std::tuple<GoldenCase, ModeCase>>& param) {
                             return std::string(std::get<0>(param.param).name) + "_" + std::get<1>(param.param).name;
                         });

}  // namespace
}  // namespace dw
