// The creation driver: determinism, the two renderers, progress and cancel,
// buffers and their failures, and projects that try to push the engine out
// of its buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "core/engine/MusicEngine.h"
#include "core/engine/tests/EngineTestSupport.h"
#include "core/model/Progress.h"
#include "core/model/Project.h"
#include "core/model/Random.h"

namespace dw {

// GoogleTest finds a parameter's printer beside its type: here, for the
// renderer tables, the mode by its name instead of its bytes.
void PrintTo(RenderMode mode, std::ostream* os) { *os << (mode == RenderMode::Production ? "Production" : "Reference"); }

namespace {

using test::Bytes;
using test::MakeLightProject;
using test::MakeSmallProject;
using test::SetGraph;
using test::SetSyntheticSource;

CreateOptions Seeded(std::uint32_t seed, RenderMode mode = RenderMode::Production, unsigned threads = 0) {
    CreateOptions o;
    o.random = Random(seed);
    o.renderer = mode;
    o.threads = threads;
    return o;
}

std::vector<std::uint8_t> OutputBytes(const CMusicEngine& engine) {
    return Bytes(engine.Output(), engine.OutputFrameCount());
}

float Peak(const CMusicEngine& engine) {
    float peak = 0.0f;
    for (std::uint32_t i = 0; i < engine.OutputFrameCount(); ++i) {
        peak = std::max({peak, std::fabs(engine.Output()[i].left), std::fabs(engine.Output()[i].right)});
    }
    return peak;
}

TEST(MusicEngine, SameSeedSameBytesAndDifferentSeedDifferentBytes) {
    CProject project;
    MakeSmallProject(project);
    CMusicEngine a, b, c;
    NullProgress progress;
    ASSERT_TRUE(a.Create(project, progress, Seeded(42)));
    EXPECT_EQ(project.musicOutdated, 0u);
    ASSERT_TRUE(b.Create(project, progress, Seeded(42)));
    ASSERT_TRUE(c.Create(project, progress, Seeded(43)));
    EXPECT_EQ(a.Seed(), 42u);
    EXPECT_EQ(OutputBytes(a), OutputBytes(b));
    EXPECT_NE(OutputBytes(a), OutputBytes(c));
}

TEST(MusicEngine, WithoutSeedTheTimeSeedIsUsedAndReported) {
    CProject project;
    MakeSmallProject(project);
    CMusicEngine engine;
    NullProgress progress;
    const std::uint32_t expectedNearby = TimeSeedFrom(static_cast<std::int64_t>(std::time(nullptr)));
    ASSERT_TRUE(engine.Create(project, progress));
    const std::uint32_t later = TimeSeedFrom(static_cast<std::int64_t>(std::time(nullptr)));
    EXPECT_TRUE(engine.Seed() == expectedNearby || engine.Seed() == later);
}

// Projects that exercise every path of the production renderer: rates far
// from and a hair from 1, clamping at both ends of the source, wrapping
// grains, several sections, motif loops, fractal and even layouts.
struct RenderCase {
    const char* name;
    std::function<void(CProject&)> edit;
};
void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }

const RenderCase kRenderCases[] = {
    {"Defaults", [](CProject&) {}},
    {"LoopMusicWrapsGrains", [](CProject& p) { p.properties.loopMusic = true; }},
    {"FullTexture", [](CProject& p) { SetGraph(p, kTexture, 1.0f); }},
    {"TextureAHairFromZero", [](CProject& p) { SetGraph(p, kTexture, 1e-4f); }},
    {"TextureZero", [](CProject& p) { SetGraph(p, kTexture, 0.0f); }},
    // Rates a few times the division path's threshold from 1: runs of
    // thousands of frames, whose ends the estimate must still find exactly.
    {"TextureNearTheDivisionPath", [](CProject& p) { SetGraph(p, kTexture, 0.002f); }},
    {"TinySourceClampsEveryGrain",
     [](CProject& p) {
         SetSyntheticSource(p, 3);
         SetGraph(p, kTexture, 0.7f);
     }},
    {"ShortSourceClampsAtBothEnds",
     [](CProject& p) {
         SetSyntheticSource(p, 30000);
         SetGraph(p, kComplexity, 1.0f);
         SetGraph(p, kTexture, 0.5f);
     }},
    {"EvenStepsLoopedMotifs",
     [](CProject& p) {
         p.properties.fractalScanner = false;
         p.properties.loopMotifs = true;
     }},
    {"ShortGrains", [](CProject& p) { SetGraph(p, kGranulation, 1.0f); }},
    {"DefaultMatrix",
     [](CProject& p) {
         SetGraph(p, kGranulation, 0.15f);
         SetGraph(p, kSmoothness, 0.15f);
     }},
    {"OneSectionNoFades",
     [](CProject& p) {
         p.sections.items.resize(1);
         p.sections.items[0].end = 1.0;
         p.properties.fadeIn = 0;
         p.properties.fadeOut = 0;
     }},
};

class RendererAgreement : public testing::TestWithParam<RenderCase> {};

TEST_P(RendererAgreement, ProductionEqualsReferenceForEveryThreadCount) {
    CProject project;
    MakeLightProject(project);
    GetParam().edit(project);
    NullProgress progress;
    CMusicEngine engine;
    ASSERT_TRUE(engine.Create(project, progress, Seeded(7, RenderMode::Reference)));
    const auto reference = OutputBytes(engine);
    ASSERT_GT(Peak(engine), 0.0f);
    for (unsigned threads : {1u, 2u, 3u}) {
        ASSERT_TRUE(engine.Rerender(progress, Seeded(7, RenderMode::Production, threads)));
        EXPECT_TRUE(OutputBytes(engine) == reference) << threads << " threads";
    }
    // The loops that machines without AVX-512, without AVX2 (and other
    // architectures) run.
    ASSERT_TRUE(engine.Rerender(progress, Seeded(7, RenderMode::Avx2, 2)));
    EXPECT_TRUE(OutputBytes(engine) == reference) << "AVX2 kernels";
    ASSERT_TRUE(engine.Rerender(progress, Seeded(7, RenderMode::Portable, 2)));
    EXPECT_TRUE(OutputBytes(engine) == reference) << "portable kernels";
}

TEST(MusicEngine, WholeCreationsOfBothRenderersGiveTheSameBytes) {
    CProject project;
    MakeSmallProject(project);
    NullProgress progress;
    CMusicEngine reference, production;
    ASSERT_TRUE(reference.Create(project, progress, Seeded(9, RenderMode::Reference)));
    ASSERT_TRUE(production.Create(project, progress, Seeded(9, RenderMode::Production, 2)));
    EXPECT_TRUE(OutputBytes(production) == OutputBytes(reference));
}

INSTANTIATE_TEST_SUITE_P(Projects, RendererAgreement, testing::ValuesIn(kRenderCases),
                         [](const testing::TestParamInfo<RenderCase>& param) { return std::string(param.param.name); });

// Rendering in place (no BackgroundBuffer) is the same music from one
// buffer: for both renderers, for a whole creation and for a rerender.
class InPlace : public testing::TestWithParam<RenderMode> {};

TEST_P(InPlace, GivesTheSameBytesAsTheBufferedCreation) {
    CProject project;
    MakeLightProject(project);
    NullProgress progress;
    CMusicEngine buffered, inPlace;
    ASSERT_TRUE(buffered.Create(project, progress, Seeded(5, GetParam(), 2)));
    CreateOptions options = Seeded(5, GetParam(), 2);
    options.renderInPlace = true;
    ASSERT_TRUE(inPlace.Create(project, progress, options));
    EXPECT_TRUE(OutputBytes(inPlace) == OutputBytes(buffered));
    ASSERT_TRUE(inPlace.Rerender(progress, options));
    EXPECT_TRUE(OutputBytes(inPlace) == OutputBytes(buffered)) << "rerendered in place";
}

INSTANTIATE_TEST_SUITE_P(Renderers, InPlace, testing::Values(RenderMode::Production, RenderMode::Reference),
                         [](const testing::TestParamInfo<RenderMode>& param) { return testing::PrintToString(param.param); });

TEST(MusicEngine, InPlaceCreationFitsInOneMusicBuffer) {
    CProject project;
    MakeLightProject(project);
    NullProgress progress;
    CMusicEngine probe;
    ASSERT_TRUE(probe.Create(project, progress, Seeded(5)));
    // One music buffer and the envelopes, with room to spare for neither a
    // second buffer.
    const std::uint64_t buffer = static_cast<std::uint64_t>(probe.OutputFrameCount()) * sizeof(StereoFrame);
    CreateOptions options = Seeded(5);
    options.allocationLimitBytes = buffer + buffer / 2;
    CMusicEngine buffered;
    EXPECT_FALSE(buffered.Create(project, progress, options)) << "the background buffer should not fit";
    options.renderInPlace = true;
    CMusicEngine inPlace;
    ASSERT_TRUE(inPlace.Create(project, progress, options));
    EXPECT_TRUE(OutputBytes(inPlace) == OutputBytes(probe));
}

TEST(MusicEngine, PeakEqualsVolumeOutsideTheFades) {
    CProject project;
    MakeSmallProject(project);
    project.properties.volume = 0.5;
    project.properties.fadeIn = 0;
    project.properties.fadeOut = 0;
    CMusicEngine engine;
    NullProgress progress;
    ASSERT_TRUE(engine.Create(project, progress, Seeded(1)));
    EXPECT_EQ(Peak(engine), 0.5f);
}

TEST(MusicEngine, SilentSourceGivesSilentMusicNotNaN) {
    CProject project;
    MakeSmallProject(project);
    for (std::uint32_t i = 0; i < project.properties.sourceFrameCount; ++i) project.properties.sourceFrames[i] = {};
    for (RenderMode mode : {RenderMode::Reference, RenderMode::Production}) {
        CMusicEngine engine;
        NullProgress progress;
        ASSERT_TRUE(engine.Create(project, progress, Seeded(1, mode)));
        for (std::uint32_t i = 0; i < engine.OutputFrameCount(); ++i) {
            ASSERT_EQ(engine.Output()[i].left, 0.0f) << i;
            ASSERT_EQ(engine.Output()[i].right, 0.0f) << i;
        }
    }
}

// Cancels at the first report of a given stage, told apart by the bar going
// back: planning climbs to 100, sequencing starts again from 0 and climbs to
// 100 (with two sections or more), rendering starts again from 0.
class CancelAtStage final : public IProgress {
public:
    explicit CancelAtStage(int drops) : drops_(drops) {}
    std::vector<int> positions;
    void ShowMessage(int, std::string_view, MessageIcon) override {}
    void SetProgress(int percent) override {
        if (!positions.empty() && percent < positions.back()) --drops_;
        if (drops_ <= 0) cancelled_ = true;
        positions.push_back(percent);
    }
    bool IsRunning() const override { return !cancelled_; }

private:
    int drops_;
    bool cancelled_ = false;
};
constexpr int kPlanning = 0;
constexpr int kSequencing = 1;
constexpr int kRendering = 2;

TEST(MusicEngine, PlannedSectionsOfTheDefaultProject) {
    CProject project;
    project.SetDefaults();  // 64 s at 11025 Hz: 705600 frames
    SetSyntheticSource(project, 1000000);
    CMusicEngine engine;
    CancelAtStage progress(kRendering);
    EXPECT_FALSE(engine.Create(project, progress, Seeded(3)));
    EXPECT_EQ(engine.OutputFrameCount(), 705600u);
    const std::vector<CPSection>& plan = engine.PlannedSections();
    ASSERT_EQ(plan.size(), 4u);
    const std::pair<int, int> spans[] = {{0, 176400}, {176400, 352800}, {352800, 529200}, {529200, 705600}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(plan[i].section, static_cast<int>(i));
        EXPECT_EQ(plan[i].outputStart, spans[i].first) << i;
        EXPECT_EQ(plan[i].outputEnd, spans[i].second) << i;
    }
    EXPECT_EQ(plan[0].sourceStart, 50000);
    EXPECT_EQ(plan[0].sourceEnd, 274999);
    EXPECT_EQ(plan[3].sourceStart, 724999);
    EXPECT_EQ(plan[3].sourceEnd, 949999);
    // The score covers the music; its notes follow each other without gaps.
    EXPECT_EQ(engine.Score().length, 705600u);
    EXPECT_GE(engine.Score().NotesLength(), 705600);
    EXPECT_EQ(project.musicOutdated, 1u) << "a cancelled creation leaves the music out of date";
}

TEST(MusicEngine, TheSeedFeedsPlanningFirst) {
    // Seeded with 0 the first draw is 38: with the fractal scanner it is the
    // first end point of section 0's motif curve, so note 0 sits at
    // trunc(float(38 / 32767) x R + first source frame).
    CProject project;
    MakeSmallProject(project);
    project.properties.loopMotifs = false;
    CMusicEngine engine;
    CancelAtStage progress(kSequencing);
    EXPECT_FALSE(engine.Create(project, progress, Seeded(0)));
    ASSERT_EQ(engine.PlannedSections().size(), 4u);
    const CPSection& first = engine.PlannedSections()[0];
    const CNoteSequence& motif = first.motif;
    const float r1 = static_cast<float>(38 / 32767.0);
    EXPECT_EQ(motif.notes[0].position,
              static_cast<std::int32_t>(static_cast<double>(r1) * motif.range + first.sourceStart));
    // Dynamics 0.2 and a 4 s motif: two notes, so the curve drew twice and
    // section 1's motif starts from the third draw.
    EXPECT_EQ(motif.notes.size(), 2u);
    Random draws(0);
    draws.Draw();
    draws.Draw();
    const float third = static_cast<float>(draws.Fraction());
    const CPSection& second = engine.PlannedSections()[1];
    EXPECT_EQ(second.motif.notes[0].position,
              static_cast<std::int32_t>(static_cast<double>(third) * second.motif.range + second.sourceStart));
}

struct CancelCase {
    const char* name;
    int stage;
};
void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class CancelInEachStage : public testing::TestWithParam<CancelCase> {};

TEST_P(CancelInEachStage, LeavesThePreviousMusicAndTheFlag) {
    CProject project;
    MakeLightProject(project);
    CMusicEngine engine;
    NullProgress quiet;
    ASSERT_TRUE(engine.Create(project, quiet, Seeded(11)));
    const auto before = OutputBytes(engine);
    const StereoFrame* buffer = engine.Output();

    project.musicOutdated = 1;
    SetGraph(project, kTexture, 0.9f);  // an edit: the new music would differ
    for (RenderMode mode : {RenderMode::Production, RenderMode::Reference}) {
        CancelAtStage progress(GetParam().stage);
        EXPECT_FALSE(engine.Create(project, progress, Seeded(12, mode)));
        EXPECT_EQ(project.musicOutdated, 1u);
        EXPECT_EQ(engine.Output(), buffer);
        EXPECT_TRUE(OutputBytes(engine) == before);
        // Nothing is reported after the stage that was cancelled, except the
        // 100 that closes a cancelled render.
        int drops = 0;
        for (std::size_t i = 1; i < progress.positions.size(); ++i)
            if (progress.positions[i] < progress.positions[i - 1]) ++drops;
        EXPECT_EQ(drops, GetParam().stage);
        if (GetParam().stage == kRendering) {
            EXPECT_EQ(progress.positions.back(), 100);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stages, CancelInEachStage,
                         testing::Values(CancelCase{"Planning", kPlanning}, CancelCase{"Sequencing", kSequencing},
                                         CancelCase{"Rendering", kRendering}),
                         [](const testing::TestParamInfo<CancelCase>& param) { return std::string(param.param.name); });

TEST(MusicEngine, InPlaceCreationCancelledWhileRenderingLeavesNoMusic) {
    CProject project;
    MakeLightProject(project);
    CMusicEngine engine;
    NullProgress quiet;
    CreateOptions options = Seeded(11);
    options.renderInPlace = true;
    ASSERT_TRUE(engine.Create(project, quiet, options));
    const auto first = OutputBytes(engine);

    project.musicOutdated = 1;
    CancelAtStage cancel(kRendering);
    EXPECT_FALSE(engine.Create(project, cancel, options));
    EXPECT_EQ(project.musicOutdated, 1u);
    EXPECT_EQ(engine.Output(), nullptr) << "a partial render must not pass for music";
    EXPECT_EQ(engine.OutputFrameCount(), 0u);
    EXPECT_FALSE(engine.Rerender(quiet, options));

    // The engine stays usable: the next creation gives the first one's bytes.
    ASSERT_TRUE(engine.Create(project, quiet, options));
    EXPECT_TRUE(OutputBytes(engine) == first);
}

TEST(MusicEngine, CancelDuringRenderingStopsAtTheNextHundredthGrain) {
    CProject project;
    MakeSmallProject(project);
    // Reports of rendering come after grains 0, 100, 200 ...; cancel at the
    // third and count the grains the renderer still planned.
    for (RenderMode mode : {RenderMode::Production, RenderMode::Reference}) {
        CMusicEngine engine;
        CancelAtStage progress(kRendering);
        ASSERT_FALSE(engine.Create(project, progress, Seeded(5, mode)));
        // Cancelled right at grain 0: reported 0 then the closing 100.
        ASSERT_GE(progress.positions.size(), 2u);
        EXPECT_EQ(progress.positions[progress.positions.size() - 2], 0);
        EXPECT_EQ(progress.positions.back(), 100);
    }
}

TEST(MusicEngine, ProgressOfOneSectionJumpsTo100AfterPlanning) {
    CProject project;
    MakeSmallProject(project);
    project.sections.items.resize(1);
    project.sections.items[0].end = 1.0;
    CMusicEngine engine;
    RecordingProgress progress;
    ASSERT_TRUE(engine.Create(project, progress, Seeded(1)));
    ASSERT_GE(progress.positions.size(), 3u);
    EXPECT_EQ(progress.positions[0], 100);  // stage B: no intermediate positions
    EXPECT_EQ(progress.positions[1], 0);    // grain 0
    EXPECT_EQ(progress.positions.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.positions.begin() + 1, progress.positions.end()));
    // Grains 0, 100, 200 ...: hop 72 at the default matrix' first column
    // (Granulation 0.15, Smoothness 0.15), so grain 100 starts at 7200.
    EXPECT_EQ(progress.positions[2], static_cast<int>(7200.0 / (110250 - 1) * 100));
    EXPECT_TRUE(progress.messages.empty());
}

TEST(MusicEngine, ProgressOfStageBFollowsTheSections) {
    CProject project;
    MakeSmallProject(project);  // four sections of 2.5 s, motif 4 s
    CMusicEngine engine;
    RecordingProgress progress;
    ASSERT_TRUE(engine.Create(project, progress, Seeded(1)));
    // Planning: 100 * i / 3 after each section, then 100. Sequencing: the
    // first section's one repetition (filled 44100 >= 27562), the second's
    // (88200 >= 55125), the third needs none beyond one (132300 >= 82687),
    // and the fourth one (176400 >= 110250).
    const std::vector<int> stageB = {0, 33, 66, 100, 100, 0, 33, 66, 100};
    ASSERT_GT(progress.positions.size(), stageB.size());
    EXPECT_EQ(std::vector<int>(progress.positions.begin(), progress.positions.begin() + 9), stageB);
    EXPECT_EQ(progress.positions[9], 0);  // rendering starts
}

TEST(MusicEngine, MusicBufferIsReusedUntilTheLengthChanges) {
    CProject project;
    project.SetDefaults();
    SetSyntheticSource(project, 300000);
    CMusicEngine engine;
    const auto allocate = [&] {
        CancelAtStage progress(kPlanning);  // stage A has run by then
        engine.Create(project, progress, Seeded(1));
        return engine.Output();
    };
    const StereoFrame* first = allocate();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(engine.OutputFrameCount(), 705600u);
    EXPECT_EQ(allocate(), first);
    project.properties.musicLength = 65;
    allocate();
    EXPECT_EQ(engine.OutputFrameCount(), 716625u);
}

TEST(MusicEngine, AllocationFailuresShowTheirMessagesAndKeepTheMusic) {
    CProject project;
    MakeSmallProject(project);
    CMusicEngine engine;
    NullProgress quiet;
    ASSERT_TRUE(engine.Create(project, quiet, Seeded(1)));
    const auto before = OutputBytes(engine);
    const std::uint64_t bufferBytes = engine.OutputFrameCount() * 8ull;

    struct Case {
        const char* name;
        std::uint32_t musicLength;
        std::uint64_t limit;
        int message;
        const char* text;
    };
    const Case cases[] = {
        // The MusicBuffer of the same length is reused, so only the
        // background and the envelopes count against the limit.
        {"background", 10, bufferBytes - 1, 61003, "Error: background allocation failed"},
        {"envelope", 10, bufferBytes + 1000, 61004, "Error: Envelope allocation failed"},
        // A new length needs a new MusicBuffer; the old one is gone then.
        {"output", 11, 1000, 61002, "Error: Output allocation failed"},
    };
    for (const Case& c : cases) {
        for (RenderMode mode : {RenderMode::Production, RenderMode::Reference}) {
            project.properties.musicLength = c.musicLength;
            project.musicOutdated = 1;
            RecordingProgress progress;
            CreateOptions options = Seeded(1, mode);
            options.allocationLimitBytes = c.limit;
            EXPECT_FALSE(engine.Create(project, progress, options)) << c.name;
            ASSERT_EQ(progress.messages.size(), 1u) << c.name;
            EXPECT_EQ(progress.messages[0].stringId, c.message);
            EXPECT_EQ(progress.messages[0].text, c.text);
            EXPECT_EQ(progress.messages[0].icon, MessageIcon::Exclamation);
            EXPECT_EQ(project.musicOutdated, 1u);
            if (c.musicLength == 10) {
                EXPECT_TRUE(OutputBytes(engine) == before) << c.name;
            } else {
                EXPECT_EQ(engine.Output(), nullptr);
                EXPECT_EQ(engine.OutputFrameCount(), 0u);
            }
        }
    }
}

// Projects that a damaged or hand-made file can hold. Each must either be
// created (peak within the volume) or refused with a message; none may read
// or write outside a buffer, which the sanitizer build checks.
struct HostileCase {
    const char* name;
    std::function<void(CProject&)> edit;
    bool created;
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

const HostileCase kHostile[] = {
    {"SourceRangeShorterThanAMotif",
     [](CProject& p) {
         p.sections.items[1].sourceStart = 0.30;
         p.sections.items[1].sourceEnd = 0.3001;
     },
     true},
    {"MixedSourceRange",
     [](CProject& p) {
         p.sections.items[2].sourceStart = 0.5;
         p.sections.items[2].sourceEnd = -1.0;
     },
     true},
    {"EmptySourceRange",
     [](CProject& p) {
         p.sections.items[0].sourceStart = 0.4;
         p.sections.items[0].sourceEnd = 0.4;
     },
     true},
    {"BackwardSourceRangeAtTheEnd",
     [](CProject& p) {
         p.sections.items[3].sourceStart = 1.0;
         p.sections.items[3].sourceEnd = 0.2;
     },
     true},
    {"OneNoteScore",
     [](CProject& p) {
         p.sections.items.resize(1);
         p.sections.items[0].end = 1.0;
         p.properties.baseMotifLength = 10.0;
         SetGraph(p, kTransition, 1.0f);
     },
     true},
    {"MotifLongerThanTheMusic", [](CProject& p) { p.properties.baseMotifLength = 20.0; }, true},
    {"SourceOfAFewFrames", [](CProject& p) { SetSyntheticSource(p, 5); }, true},
    {"SourceOfOneFrame", [](CProject& p) { SetSyntheticSource(p, 1); }, true},
    {"LoopMusicWithTinySource",
     [](CProject& p) {
         SetSyntheticSource(p, 2);
         p.properties.loopMusic = true;
         p.properties.loopMotifs = true;
     },
     true},
    {"NaNAndOutOfRangeMatrixValues",
     [](CProject& p) {
         p.matrix.rows[kGranulation][0] = std::numeric_limits<float>::quiet_NaN();
         p.matrix.rows[kTexture][1] = 40.0f;
         p.matrix.rows[kComplexity][2] = -3.0f;
         p.matrix.rows[kTransition][3] = std::numeric_limits<float>::infinity();
     },
     true},
    {"SectionsOutOfOrderAndOutside",
     [](CProject& p) {
         p.sections.items[0] = {0.6, 0.2, -1.0, -1.0};
         p.sections.items[1] = {-4.0, 7.0, 2.0, -5.0};
         p.sections.items[2].start = std::numeric_limits<double>::quiet_NaN();
         p.sections.items[3].end = 0.9;
     },
     true},
    {"TrimRangeReversed",
     [](CProject& p) {
         p.properties.trimStart = 0.9;
         p.properties.trimEnd = 0.1;
     },
     true},
    {"HugeFadesAndVolume",
     [](CProject& p) {
         p.properties.fadeIn = 4000000000u;
         p.properties.fadeOut = 4000000000u;
         p.properties.volume = 1e30;
     },
     true},
    {"ZeroLengthSource",
     [](CProject& p) {
         p.properties.sourceFrames.reset();
         p.properties.sourceFrameCount = 0;
     },
     false},
    {"MusicShorterThanTenSeconds", [](CProject& p) { p.properties.musicLength = 5; }, false},
    {"MusicOfFourBillionSeconds", [](CProject& p) { p.properties.musicLength = 4000000000u; }, false},
    {"SampleRateZero", [](CProject& p) { p.properties.sampleRate = 0; }, false},
    {"MotifOfNoLength", [](CProject& p) { p.properties.baseMotifLength = 0.0; }, false},
    {"MotifNaN", [](CProject& p) { p.properties.baseMotifLength = std::numeric_limits<double>::quiet_NaN(); }, false},
    {"NoSections", [](CProject& p) { p.sections.items.clear(); }, false},
    {"MatrixNarrowerThanTheSections",
     [](CProject& p) {
         for (auto& row : p.matrix.rows) row.resize(2);
         p.matrix.columnCount = 2;
     },
     false},
};

class HostileProjects : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileProjects, AreCreatedSafelyOrRefusedWithAMessage) {
    CProject project;
    MakeLightProject(project);
    GetParam().edit(project);
    for (RenderMode mode : {RenderMode::Production, RenderMode::Reference}) {
        CMusicEngine engine;
        RecordingProgress progress;
        const bool ok = engine.Create(project, progress, Seeded(3, mode, 2));
        EXPECT_EQ(ok, GetParam().created);
        if (ok) {
            EXPECT_TRUE(progress.messages.empty());
            EXPECT_EQ(project.musicOutdated, 0u);
            const float volume = static_cast<float>(std::clamp(project.properties.volume, 0.0, 1.0));
            EXPECT_LE(Peak(engine), volume);
            project.musicOutdated = 1;
        } else {
            ASSERT_EQ(progress.messages.size(), 1u);
            EXPECT_FALSE(progress.messages[0].text.empty());
            EXPECT_EQ(project.musicOutdated, 1u);
            EXPECT_EQ(engine.Output(), nullptr);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HostileProjects, testing::ValuesIn(kHostile),
                         [](const testing::TestParamInfo<HostileCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace dw
