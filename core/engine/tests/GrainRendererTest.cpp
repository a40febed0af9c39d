// Grain parameters, the window, grains at the end of the music, the start
// fill, the final gain and where section parameters switch.
#include <gtest/gtest.h>

#include <cmath>

#include "core/engine/GrainRenderer.h"
#include "core/engine/tests/EngineTestSupport.h"
#include "core/model/Progress.h"
#include "core/model/Project.h"
#include "core/model/Random.h"

namespace dw {
namespace {

using test::SetGraph;

// A renderer set up on one planned section over `frames` output frames.
struct Rig {
    CProject project;
    std::vector<CPSection> sections;
    std::vector<StereoFrame> target;
    NullProgress progress;
    GrainRenderer renderer;

    explicit Rig(std::int32_t frames = 11025 * 10, bool loopMusic = false) {
        test::MakeSmallProject(project);
        project.properties.loopMusic = loopMusic;
        CPSection s;
        s.section = 0;
        s.outputEnd = frames;
        sections.push_back(s);
        target.assign(static_cast<std::size_t>(frames), StereoFrame{});
    }
    void SetUp() {
        renderer.SetUp(project, sections, target.data(), static_cast<std::int32_t>(target.size()), 11025, progress,
                       nullptr);
    }
};

struct SectionCase {
    const char* name;
    float granulation, smoothness, complexity;
    std::uint32_t grainLength;
    double density;
    std::int32_t hop;
    std::uint32_t spread;
};
void PrintTo(const SectionCase& c, std::ostream* os) { *os << c.name; }

class SectionParameters : public testing::TestWithParam<SectionCase> {};

TEST_P(SectionParameters, WorkedValuesAt11025Hz) {
    const SectionCase& c = GetParam();
    Rig rig;
    rig.project.matrix.rows[kGranulation][0] = c.granulation;
    rig.project.matrix.rows[kSmoothness][0] = c.smoothness;
    rig.project.matrix.rows[kComplexity][0] = c.complexity;
    rig.SetUp();
    rig.renderer.NextSection();
    EXPECT_EQ(rig.renderer.SectionIndex(), 0);
    EXPECT_EQ(rig.renderer.GrainLength(), c.grainLength);
    EXPECT_NEAR(rig.renderer.Density(), c.density, 1e-4);
    EXPECT_EQ(rig.renderer.Hop(), c.hop);
    EXPECT_EQ(rig.renderer.Spread(), c.spread);
    EXPECT_EQ(rig.renderer.Envelope().size(), c.grainLength);
}

INSTANTIATE_TEST_SUITE_P(
    Worked, SectionParameters,
    testing::Values(SectionCase{"Default", 0.15f, 0.15f, 0.15f, 22029, 152.75, 72, 9371},
                    // 2 s grains, 50 grains a second, 0.1 s of spread.
                    SectionCase{"AllZero", 0.0f, 0.0f, 0.0f, 22050, 50.0, 220, 1102},
                    // 0.5 s grains, 1500 grains a second, 5.1 s of spread.
                    SectionCase{"AllOne", 1.0f, 1.0f, 1.0f, 5512, 1500.0, 7, 56227}),
    [](const testing::TestParamInfo<SectionCase>& param) { return std::string(param.param.name); });

TEST(Envelope, PeriodicHannFromZeroToOneAtTheMiddle) {
    Rig rig;
    rig.project.matrix.rows[kGranulation][0] = 0.0f;  // 22050 frames, even
    rig.SetUp();
    rig.renderer.NextSection();
    const auto& e = rig.renderer.Envelope();
    ASSERT_EQ(e.size(), 22050u);
    EXPECT_EQ(e[0], 0.0f);
    EXPECT_EQ(e[11025], 1.0f);
    for (std::size_t i = 1; i < e.size(); ++i) {
        ASSERT_NEAR(e[i], e[e.size() - i], 1e-6f) << i;  // symmetric about the middle
        ASSERT_NEAR(e[i], (1.0 - std::cos(2.0 * M_PI * static_cast<double>(i) / 22050.0)) / 2.0, 1e-6) << i;
    }
}

TEST(FadeGain, LinearFadesAndTheFadeInWinsWhereTheyOverlap) {
    Rig rig;
    rig.project.properties.volume = 0.5;
    rig.project.properties.fadeIn = 3;
    rig.project.properties.fadeOut = 2;
    rig.SetUp();
    const GrainRenderer& r = rig.renderer;
    EXPECT_EQ(r.FadeInFrames(), 33075u);
    EXPECT_EQ(r.FadeGain(0), 0.0f);
    EXPECT_LT(r.FadeGain(33074), 0.5f);
    EXPECT_EQ(r.FadeGain(33075), 0.5f);  // the first frame at full gain
    EXPECT_EQ(r.FadeGain(50000), 0.5f);
    const std::uint32_t frames = 110250;
    EXPECT_EQ(r.FadeGain(frames - 22050), 0.5f);  // fade-out starts at 1
    EXPECT_EQ(r.FadeGain(frames - 1), 0.5f * (1.0f - 22049.0f / 22050.0f));

    Rig overlap;
    overlap.project.properties.volume = 1.0;
    overlap.project.properties.fadeIn = 10;
    overlap.project.properties.fadeOut = 10;
    overlap.SetUp();
    EXPECT_EQ(overlap.renderer.FadeGain(100000), 100000.0f / 110250.0f);

    Rig looping(110250, true);
    looping.project.properties.fadeIn = 3;
    looping.SetUp();
    EXPECT_EQ(looping.renderer.FadeInFrames(), 0u);
    EXPECT_EQ(looping.renderer.FadeGain(0), static_cast<float>(looping.project.properties.volume));
}

TEST(Normalize, PeakBecomesTheVolumeAndSilenceStaysSilent) {
    Rig rig;
    rig.project.properties.volume = 0.5;
    rig.project.properties.fadeIn = 0;
    rig.project.properties.fadeOut = 0;
    rig.SetUp();
    rig.target[100] = {0.25f, -2.0f};
    rig.target[200] = {1.0f, 0.0f};
    rig.renderer.Normalize();
    EXPECT_EQ(rig.target[100].right, -0.5f);
    EXPECT_EQ(rig.target[100].left, 0.0625f);
    EXPECT_EQ(rig.target[200].left, 0.25f);

    Rig silent;
    silent.SetUp();
    silent.renderer.Normalize();
    for (const StereoFrame& f : silent.target) {
        ASSERT_EQ(f.left, 0.0f);
        ASSERT_EQ(f.right, 0.0f);
    }
}

TEST(StartFill, SecondsSixToNineAreAddedIntoZeroToThreeFallingToZero) {
    Rig rig;
    rig.SetUp();
    const std::size_t a = 3 * 11025;
    for (std::size_t i = 0; i < rig.target.size(); ++i) rig.target[i] = {1.0f, 2.0f};
    rig.renderer.StartFill();
    EXPECT_EQ(rig.target[0].left, 2.0f);
    EXPECT_EQ(rig.target[0].right, 4.0f);
    EXPECT_EQ(rig.target[a - 1].left, 1.0f);
    EXPECT_EQ(rig.target[a / 2].left, 1.0f + (1.0f - static_cast<float>(a / 2) / static_cast<float>(a - 1)));
    EXPECT_EQ(rig.target[a].left, 1.0f);
}

struct PlanCase {
    const char* name;
    float texture;
};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class GrainPlanning : public testing::TestWithParam<PlanCase> {};

TEST_P(GrainPlanning, SpreadDrawThenRateDrawAroundTheScorePosition) {
    const PlanCase& c = GetParam();
    Rig rig;
    rig.project.matrix.rows[kTexture][0] = c.texture;
    rig.SetUp();
    rig.renderer.NextSection();
    CNoteSequence score;
    score.notes = {CNote{50000, 60000, 50250}};  // frame 0 reads source frame 50000
    score.length = 110250;
    score.range = rig.project.properties.sourceFrameCount;
    score.ResetCursor();
    Random draws(4);
    const double spreadDraw = draws.Fraction();
    const double rateDraw = draws.Fraction();
    Random random(4);
    const GrainRenderer::PlannedGrain g = rig.renderer.PlanGrain(score, 0, random);
    EXPECT_EQ(random.State(), draws.State()) << "the rate is drawn even when Texture is 0";
    const auto spread = static_cast<std::int64_t>(rig.renderer.Spread());
    EXPECT_EQ(g.position, 0);
    EXPECT_EQ(g.start, static_cast<std::int64_t>(spreadDraw * static_cast<double>(spread)) - spread / 2 + 50000);
    EXPECT_EQ(g.rate, 1.0 + (rateDraw - 0.5) * static_cast<double>(c.texture) * 0.15);
}

INSTANTIATE_TEST_SUITE_P(Draws, GrainPlanning,
                         testing::Values(PlanCase{"TextureZero", 0.0f}, PlanCase{"FullTexture", 1.0f}),
                         [](const testing::TestParamInfo<PlanCase>& param) { return std::string(param.param.name); });

class GrainAtTheEnd : public testing::TestWithParam<bool> {};

TEST_P(GrainAtTheEnd, TailWrapsWithLoopMusicOtherwiseIsDropped) {
    const bool loop = GetParam();
    Rig rig(110250, loop);
    rig.project.matrix.rows[kTexture][0] = 0.0f;  // rate 1: sample i reads frame start + i
    for (std::uint32_t i = 0; i < rig.project.properties.sourceFrameCount; ++i)
        rig.project.properties.sourceFrames[i] = {1.0f, 1.0f};
    rig.SetUp();
    rig.renderer.NextSection();
    rig.renderer.AddGrain({110250 - 100, 1000, 1.0});
    const auto& e = rig.renderer.Envelope();
    EXPECT_EQ(rig.target[110250 - 100].left, e[0]);
    EXPECT_EQ(rig.target[110249].left, e[99]);
    for (std::size_t o = 0; o + 100 < e.size(); ++o) {
        ASSERT_EQ(rig.target[o].left, loop ? e[o + 100] : 0.0f) << o;
    }
}

INSTANTIATE_TEST_SUITE_P(Loop, GrainAtTheEnd, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param) { return param.param ? "LoopMusic" : "NoLoop"; });

// Music shorter than one grain: a block then spans more than the music, and
// the production renderer hands its grains to the reference's loop. The
// engine never renders music this short; the renderer must agree regardless.
class MusicShorterThanAGrain : public testing::TestWithParam<bool> {};

TEST_P(MusicShorterThanAGrain, ProductionAndPortableGiveTheReferenceBytes) {
    Rig rig(3000, GetParam());
    rig.SetUp();
    CNoteSequence score;
    score.notes = {CNote{50000, 2000, 1000}};
    score.length = 3000;
    score.range = rig.project.properties.sourceFrameCount;
    Random random(5);
    ASSERT_TRUE(rig.renderer.Render(score, random));
    const auto reference = test::Bytes(rig.target.data(), rig.target.size());
    for (VectorKernels kernels : {VectorKernels::Widest, VectorKernels::Avx2, VectorKernels::None}) {
        rig.target.assign(rig.target.size(), StereoFrame{1.0f, 1.0f});  // the render clears it
        Random again(5);
        ASSERT_TRUE(rig.renderer.RenderParallel(score, again, 2, kernels));
        EXPECT_TRUE(test::Bytes(rig.target.data(), rig.target.size()) == reference) << static_cast<int>(kernels);
    }
}

INSTANTIATE_TEST_SUITE_P(Loop, MusicShorterThanAGrain, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param) { return param.param ? "LoopMusic" : "NoLoop"; });

TEST(Render, SectionBoundaryOnAGrainStartSwitchesForTheGrainAfterIt) {
    // Section 0 with hop 7 (Granulation and Smoothness 1) ends on frame 700,
    // the start of grain 100; section 1 has hop 220.
    for (bool production : {false, true}) {
        Rig rig(110250);
        rig.project.matrix.rows[kGranulation][0] = 1.0f;
        rig.project.matrix.rows[kSmoothness][0] = 1.0f;
        rig.project.matrix.rows[kGranulation][1] = 0.0f;
        rig.project.matrix.rows[kSmoothness][1] = 0.0f;
        rig.sections[0].outputEnd = 700;
        CPSection second;
        second.section = 1;
        second.outputStart = 700;
        second.outputEnd = 110250;
        rig.sections.push_back(second);
        rig.SetUp();
        std::vector<std::pair<std::int32_t, std::int32_t>> grains;  // position, section
        rig.renderer.SetGrainObserver([&](const GrainRenderer::PlannedGrain& g, std::int32_t section) {
            if (grains.size() < 103) grains.emplace_back(g.position, section);
        });
        CNoteSequence score;
        score.notes = {CNote{50000, 60000, 50250}};
        score.length = 110250;
        score.range = rig.project.properties.sourceFrameCount;
        Random random(1);
        ASSERT_TRUE(production ? rig.renderer.RenderParallel(score, random, 2) : rig.renderer.Render(score, random));
        ASSERT_EQ(grains.size(), 103u);
        EXPECT_EQ(grains[100], std::make_pair(700, 0)) << production;
        EXPECT_EQ(grains[101], std::make_pair(707, 1)) << production;
        EXPECT_EQ(grains[102], std::make_pair(927, 1)) << production;
    }
}

}  // namespace
}  // namespace dw
