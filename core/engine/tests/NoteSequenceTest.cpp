// Motifs, the fractal curve and the score cursor.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "core/engine/NoteSequence.h"
#include "core/model/Random.h"

namespace dw {
namespace {

double NoteSecondsFor(float dynamics) { return 0.25 + 1.75 * (1.0 - static_cast<double>(dynamics)); }

struct MotifCase {
    const char* name;
    double motifSeconds;
    float dynamics;
    std::size_t notes;
    std::int32_t body;
    std::int32_t blend;
};
void PrintTo(const MotifCase& c, std::ostream* os) { *os << c.name; }

class MotifCounts : public testing::TestWithParam<MotifCase> {};

TEST_P(MotifCounts, NoteCountAndLengths) {
    const MotifCase& c = GetParam();
    const auto m = static_cast<std::uint32_t>(11025 * c.motifSeconds);
    CNoteSequence motif;
    Random random;
    motif.InitMotif(1000, 50000, false, false, 11025, NoteSecondsFor(c.dynamics), m, random);
    ASSERT_EQ(motif.notes.size(), c.notes);
    for (const CNote& n : motif.notes) {
        EXPECT_EQ(n.body, c.body);
        EXPECT_EQ(n.blend, c.blend);
    }
    EXPECT_EQ(motif.current, 0);
    EXPECT_EQ(motif.next, 1);
    EXPECT_EQ(motif.currentLength, static_cast<std::uint32_t>(c.body + c.blend));
}

INSTANTIATE_TEST_SUITE_P(
    Worked, MotifCounts,
    testing::Values(MotifCase{"Dynamics02", 4.0, 0.2f, 2, 11025, 11025},
                    MotifCase{"Dynamics1", 4.0, 1.0f, 16, 1378, 1378},
                    MotifCase{"Dynamics0", 4.0, 0.0f, 2, 11025, 11025},
                    // 2.5 s: W = 2 whole seconds, so N = trunc(2 / 0.25) = 8 and
                    // 27562 / 8 = 3445 frames per note.
                    MotifCase{"TwoAndAHalfSeconds", 2.5, 1.0f, 8, 1722, 1723}),
    [](const testing::TestParamInfo<MotifCase>& param) { return std::string(param.param.name); });

TEST(Motif, EvenStepsWithoutFractalScanner) {
    CNoteSequence motif;
    Random random(12);
    motif.InitMotif(500, 100000, false, false, 11025, 1.3, 44100, random);  // 4 / 1.3 -> N = 3
    ASSERT_EQ(motif.notes.size(), 3u);
    EXPECT_EQ(motif.notes[0].position, 500);
    EXPECT_EQ(motif.notes[1].position, 500 + 33333);
    EXPECT_EQ(motif.notes[2].position, 500 + 66666);
    EXPECT_EQ(random.State(), 12u) << "even steps draw nothing";
}

TEST(Motif, FractalWithTwoNotesUsesExactlyTheTwoEndDraws) {
    Random draws(77);
    const float r1 = static_cast<float>(draws.Fraction());
    const float r2 = static_cast<float>(draws.Fraction());
    Random random(77);
    CNoteSequence motif;
    motif.InitMotif(1000, 60000, true, false, 11025, 2.0, 44100, random);
    ASSERT_EQ(motif.notes.size(), 2u);
    EXPECT_EQ(motif.notes[0].position, static_cast<std::int32_t>(static_cast<double>(r1) * 60000 + 1000));
    EXPECT_EQ(motif.notes[1].position, static_cast<std::int32_t>(static_cast<double>(r2) * 60000 + 1000));
    EXPECT_EQ(random.State(), draws.State());
}

TEST(Motif, LoopingMotifStartsWhereItEnds) {
    for (bool fractal : {false, true}) {
        Random random(5);
        CNoteSequence motif;
        motif.InitMotif(0, 200000, fractal, true, 11025, 0.25, 88200, random);
        ASSERT_GE(motif.notes.size(), 2u);
        EXPECT_EQ(motif.notes.front().position, motif.notes.back().position) << "fractal " << fractal;
    }
}

TEST(Motif, CopyResetsTheCursor) {
    CNoteSequence motif;
    Random random;
    motif.InitMotif(0, 100000, false, false, 11025, 0.5, 44100, random);
    for (std::int64_t p = 0; p < 20000; p += 100) motif.SourcePosition(p, random);
    ASSERT_GT(motif.current, 0);
    const CNoteSequence copy(motif);
    EXPECT_EQ(copy.current, 0);
    EXPECT_EQ(copy.next, 1);
    EXPECT_EQ(copy.currentStart, 0u);
    EXPECT_EQ(copy.notes, motif.notes);
    EXPECT_EQ(copy.range, motif.range);
}

TEST(FractalCurve, ThreePointsDisplaceTheMiddleByTheFirstDraw) {
    Random random(0);  // first draw 38
    CFractalCurve curve;
    curve.Init(3, 0.0f, 1.0f, 1.0f, random);
    EXPECT_EQ(curve.levels, 2u);
    // avg 0.5, amplitude 1, half 0.5: v = 0.25 + r * 0.5
    EXPECT_EQ(curve.values[1], static_cast<float>(0.5 - 0.25 + (38 / 32767.0) * 0.5));
    EXPECT_EQ(curve.At(0.0), 0.0f);
    EXPECT_EQ(curve.At(1.0), 1.0f);
    EXPECT_EQ(curve.At(0.5), curve.values[1]);
}

TEST(FractalCurve, DeeperLevelsAreDisplacedLessAndDrawsComeInPreOrder) {
    Random draws(9);
    const double r0 = draws.Fraction();
    const double r1 = draws.Fraction();
    const double r2 = draws.Fraction();
    Random random(9);
    CFractalCurve curve;
    curve.Init(5, 0.2f, 0.8f, 1.0f, random);
    EXPECT_EQ(curve.levels, 3u);  // trunc(log 5 / log 2) + 1
    EXPECT_EQ(random.State(), draws.State()) << "one draw per midpoint";
    // Middle first (depth 0, half 0.5), then the left quarter (depth 1,
    // amplitude 1 - 1/3, half 1/3), then the right quarter.
    const float mid = static_cast<float>(0.5f - 0.5 * 0.5f + r0 * 0.5f);
    EXPECT_EQ(curve.values[2], mid);
    const float half1 = (1.0f - 1.0f / 3.0f) * 0.5f;
    EXPECT_EQ(curve.values[1], static_cast<float>((0.2f + mid) * 0.5f - 0.5 * half1 + r1 * half1));
    EXPECT_EQ(curve.values[3], static_cast<float>((mid + 0.8f) * 0.5f - 0.5 * half1 + r2 * half1));
    for (float v : curve.values) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
    }
}

// A sequence of `length` frames over a 100000-frame source from frame 0, its
// cursor on the first note.
CNoteSequence Sequence(std::vector<CNote> notes, std::uint32_t length) {
    CNoteSequence s;
    s.notes = std::move(notes);
    s.length = length;
    s.base = 0;
    s.range = 100000;
    s.ResetCursor();
    return s;
}

// Two notes: 0 at position 1000, 1 at position 5000; each 100 body + 100 blend.
CNoteSequence TwoNotes() { return Sequence({CNote{1000, 100, 100}, CNote{5000, 100, 100}}, 400); }

TEST(SourcePosition, OutsideTheSequenceGivesTheEndNotes) {
    CNoteSequence s = TwoNotes();
    Random random;
    EXPECT_EQ(s.SourcePosition(-5, random), 1000);
    EXPECT_EQ(s.SourcePosition(400, random), 5000);
    EXPECT_EQ(s.SourcePosition(1000000, random), 5000);
}

TEST(SourcePosition, BodySweepsOneSinePeriodAsWideAsTheNote) {
    CNoteSequence s = TwoNotes();
    Random random;
    EXPECT_EQ(s.SourcePosition(0, random), 1000);
    // Near a quarter period the position swings forward by almost the note's
    // length (200), and behind the position near three quarters.
    EXPECT_EQ(s.SourcePosition(24, random), static_cast<std::int32_t>(1000 + std::sin(2.0 * M_PI * 24 / 99.0) * 200));
    EXPECT_EQ(s.SourcePosition(74, random), static_cast<std::int32_t>(1000 + std::sin(2.0 * M_PI * 74 / 99.0) * 200));
    EXPECT_GT(s.SourcePosition(25, random), 1195);
    EXPECT_LT(s.SourcePosition(75, random), 805);
}

TEST(SourcePosition, BlendStartsOnTheCurrentNoteAndEndsOnTheNext) {
    for (std::uint32_t seed = 0; seed < 50; ++seed) {
        Random random(seed);
        CNoteSequence s = TwoNotes();
        EXPECT_EQ(s.SourcePosition(100, random), 1000) << "t = 0, seed " << seed;
        EXPECT_EQ(s.SourcePosition(199, random), 5000) << "t = 1, seed " << seed;
    }
}

TEST(SourcePosition, CursorMovesOnlyPastTheNoteEnd) {
    CNoteSequence s = TwoNotes();
    Random random;
    s.SourcePosition(200, random);  // currentStart + currentLength == p: still note 0
    EXPECT_EQ(s.current, 0);
    s.SourcePosition(201, random);
    EXPECT_EQ(s.current, 1);
    EXPECT_EQ(s.currentStart, 200u);
}

TEST(SourcePosition, OneNoteSequenceBlendsTowardsItself) {
    CNoteSequence s = Sequence({CNote{777, 10, 50}}, 60);
    Random random;
    EXPECT_EQ(s.next, 0);
    for (std::int64_t p = 0; p < 100; ++p) {
        const std::int32_t q = s.SourcePosition(p, random);
        if (p >= 10) {
            EXPECT_EQ(q, 777) << p;
        }
    }
}

TEST(SourcePosition, BodyIsHeldInsideTheSource) {
    CNoteSequence s = Sequence({CNote{10, 1000, 0}, CNote{99990, 1000, 0}}, 2000);
    Random random;
    for (std::int64_t p = 0; p < 2000; ++p) {
        const std::int32_t q = s.SourcePosition(p, random);
        EXPECT_GE(q, 0);
        EXPECT_LE(q, 99999);
    }
}

}  // namespace
}  // namespace dw
