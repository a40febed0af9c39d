// Motif variation, the transition at a section's end, and the score that
// sequencing lays out for small hand-checkable projects.
#include <gtest/gtest.h>

#include "core/engine/MusicEngine.h"
#include "core/engine/Sequencing.h"
#include "core/engine/tests/EngineTestSupport.h"
#include "core/model/Progress.h"
#include "core/model/Random.h"

namespace dw {
namespace {

using test::SetGraph;
using test::SetSyntheticSource;

CNoteSequence Motif(std::vector<CNote> notes, std::uint32_t length, bool loop = false) {
    CNoteSequence m;
    m.notes = std::move(notes);
    m.length = length;
    m.loop = loop;
    m.sampleRate = 11025;
    m.range = 1000000;
    m.ResetCursor();
    return m;
}

TEST(Vary, EveryNoteMovesByExactlyFiveSecondsTimesTheAmount) {
    const CNoteSequence src = Motif({{100000, 10, 10}, {200000, 10, 10}, {300000, 10, 10}}, 60);
    Random draws(21);
    std::vector<int> signs;
    for (int i = 0; i < 3; ++i) signs.push_back(draws.Fraction() >= 0.5 ? 1 : -1);
    Random random(21);
    // 0.1f * 10 * 11025 = 11025.0000164...: V = 11025, each note moves 5512.
    const CNoteSequence varied = Vary(src, 0, 1000000, static_cast<double>(0.1f), random);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(varied.notes[i].position, src.notes[i].position + signs[i] * 5512) << i;
        EXPECT_EQ(varied.notes[i].body, src.notes[i].body);
    }
}

TEST(Vary, DrawsOncePerNoteEvenWithoutDisplacementAndClamps) {
    const CNoteSequence src = Motif({{100, 1, 1}, {5000, 1, 1}, {9990, 1, 1}}, 6);
    Random draws(3);
    draws.Draw();
    draws.Draw();
    draws.Draw();
    Random random(3);
    const CNoteSequence same = Vary(src, 0, 100000, 0.0, random);
    EXPECT_EQ(random.State(), draws.State());
    EXPECT_EQ(same.notes, src.notes);

    const CNoteSequence held = Vary(src, 1000, 9000, 1.0, random);  // moves of 55125 frames
    for (const CNote& n : held.notes) {
        EXPECT_TRUE(n.position == 1000 || n.position == 9000) << n.position;
    }
}

TEST(Vary, LoopingMotifOfTwoNotesKeepsBothAndDrawsNothing) {
    const CNoteSequence src = Motif({{4000, 5, 5}, {4000, 5, 5}}, 20, true);
    Random random(8);
    const CNoteSequence varied = Vary(src, 0, 100000, 0.9, random);
    EXPECT_EQ(random.State(), 8u);
    EXPECT_EQ(varied.notes, src.notes);
}

struct TransitionCase {
    const char* name;
    std::vector<CNote> notes;
    std::uint32_t length;
    double amount;
    std::vector<CNote> expected;
};
void PrintTo(const TransitionCase& c, std::ostream* os) { *os << c.name; }

class Transition : public testing::TestWithParam<TransitionCase> {};

TEST_P(Transition, LastFramesBecomeOneBlend) {
    const TransitionCase& c = GetParam();
    CNoteSequence m = Motif(c.notes, c.length);
    ShortenForTransition(m, c.amount);
    EXPECT_EQ(m.notes, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Worked, Transition,
    testing::Values(
        // T = 22050: the walk stops at the last note, which becomes all blend.
        TransitionCase{"Half", {{1, 11025, 11025}, {2, 11025, 11025}}, 44100, 0.5,
                       {{1, 11025, 11025}, {2, 0, 22050}}},
        // Transition 0 merges the last blend into its body.
        TransitionCase{"Zero", {{1, 11025, 11025}, {2, 11025, 11025}}, 44100, 0.0,
                       {{1, 11025, 11025}, {2, 22050, 0}}},
        // T = 33075 reaches into the first note: one note, body 11025.
        TransitionCase{"ThreeQuarters", {{1, 11025, 11025}, {2, 11025, 11025}}, 44100, 0.75,
                       {{1, 11025, 33075}}},
        // Notes that add up to less than T: the walk ends before note 0,
        // which keeps the whole motif with a body slightly below zero.
        TransitionCase{"LongerThanTheNotes", {{1, 11025, 11025}, {2, 11025, 11025}}, 44101, 1.0,
                       {{1, -1, 44101}}}),
    [](const testing::TestParamInfo<TransitionCase>& param) { return std::string(param.param.name); });

// One section of 10 s at 11025 Hz (110250 frames, 2.5 motifs of 4 s: Q = 3)
// over a source range whose drift room D is exactly 90000 frames:
// 90000 + 2 x 5512 (grains at Granulation 1) + 44100 motif frames.
void MakeDriftProject(CProject& project, float progression) {
    test::MakeSmallProject(project);
    project.sections.items.resize(1);
    project.sections.items[0] = {0.0, 1.0, 0.0, 1.0};
    for (auto& row : project.matrix.rows) row.resize(1);
    project.matrix.columnCount = 1;
    SetSyntheticSource(project, 90000 + 2 * 5512 + 44100);
    project.properties.fractalScanner = false;
    SetGraph(project, kGranulation, 1.0f);
    SetGraph(project, kProgression, progression);
    SetGraph(project, kVariations, 0.0f);
    SetGraph(project, kTransition, 0.0f);
    SetGraph(project, kDynamics, 0.2f);  // two notes of 22050 frames
}

struct DriftCase {
    const char* name;
    float progression;
    bool loopMusic;
    std::vector<std::int32_t> positions;
};
void PrintTo(const DriftCase& c, std::ostream* os) { *os << c.name; }

class Drift : public testing::TestWithParam<DriftCase> {};

TEST_P(Drift, RepetitionsDriftThroughTheSourceRange) {
    const DriftCase& c = GetParam();
    CProject project;
    MakeDriftProject(project, c.progression);
    project.properties.loopMusic = c.loopMusic;
    CMusicEngine engine;
    NullProgress progress;
    ASSERT_TRUE(engine.Create(project, progress, CreateOptions{Random(1), 1}));
    const CNoteSequence& score = engine.Score();
    std::vector<std::int32_t> positions;
    for (const CNote& n : score.notes) positions.push_back(n.position);
    EXPECT_EQ(positions, c.positions);
    EXPECT_EQ(score.length, 110250u);
    EXPECT_EQ(score.base, 0);
    EXPECT_EQ(score.range, 145124u);
    // The last repetition (j = Q - 1 = 2) took the transition: Transition 0
    // leaves its last note all body.
    const CNote& last = score.notes[5];
    EXPECT_EQ(last.blend, 0);
    EXPECT_EQ(last.body, 22050);
}

INSTANTIATE_TEST_SUITE_P(
    Worked, Drift,
    testing::Values(
        // Progression 1: R = M, so the motif's notes step by 22050; the
        // repetitions are shifted by 0, 45000 and 90000.
        DriftCase{"ProgressionOne", 1.0f, false, {0, 22050, 45000, 67050, 90000, 112050}},
        // Progression 0: R = the whole range (145124), step 72562, no shift.
        DriftCase{"ProgressionZero", 0.0f, false, {0, 72562, 0, 72562, 0, 72562}},
        // Looping music closes the score on a copy of its first note.
        DriftCase{"LoopMusic", 1.0f, true, {0, 22050, 45000, 67050, 90000, 112050, 0}}),
    [](const testing::TestParamInfo<DriftCase>& param) { return std::string(param.param.name); });

TEST(Sequence, SectionOfOneMotifGetsOneUnshiftedRepetitionWithTheTransition) {
    CProject project;
    MakeDriftProject(project, 1.0f);
    project.properties.baseMotifLength = 10.0;  // M = 110250: Q = 1
    SetGraph(project, kTransition, 0.5f);
    SetGraph(project, kDynamics, 1.0f);  // N = trunc(10 / 0.25) = 40 notes of 2756 frames
    CMusicEngine engine;
    NullProgress progress;
    ASSERT_TRUE(engine.Create(project, progress, CreateOptions{Random(1), 1}));
    const CNoteSequence& score = engine.Score();
    const CNoteSequence& motif = engine.PlannedSections()[0].motif;
    ASSERT_EQ(motif.notes.size(), 40u);
    // T = 55125 frames: the walk covers 20 notes (55120) and stops in the
    // 21st from the end, note 19, which becomes the blend.
    ASSERT_EQ(score.notes.size(), 20u);
    for (std::size_t i = 0; i < 19; ++i) EXPECT_EQ(score.notes[i], motif.notes[i]) << i;
    EXPECT_EQ(score.notes[19].position, motif.notes[19].position);
    EXPECT_EQ(score.notes[19].blend, 55125);
    EXPECT_EQ(score.notes[19].body, 21 * 2756 - 55125);
    EXPECT_EQ(score.NotesLength(), 40 * 2756);
}

}  // namespace
}  // namespace dw
