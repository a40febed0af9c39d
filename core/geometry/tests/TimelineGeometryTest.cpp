#include "core/geometry/TimelineGeometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dw {
namespace {

std::vector<std::string> Labels(const std::vector<RulerTick>& ticks) {
    std::vector<std::string> labels;
    for (const RulerTick& t : ticks)
        if (!t.label.empty()) labels.push_back(t.label);
    return labels;
}

TEST(TimelineRuler, SixtyFourSecondsAreLabelledAtEveryFifthTick) {
    const auto ticks = TimelineTicks(800, 64);
    ASSERT_EQ(ticks.size(), 50u);
    EXPECT_EQ(Labels(ticks), (std::vector<std::string>{"00:06", "00:12", "00:19", "00:25", "00:32", "00:38", "00:44",
                                                      "00:51", "00:57"}));
    // The first tick stands at x = 1 without a label; none stands at the right end.
    EXPECT_EQ(ticks.front().x, 1);
    EXPECT_EQ(ticks.front().length, 4);
    EXPECT_TRUE(ticks.front().label.empty());
    EXPECT_EQ(ticks[1].length, 2);
    EXPECT_EQ(ticks.back().x, 785);  // 49 × 16 + 1
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].length, i % 5 == 0 ? 4 : 2) << i;
}

TEST(TimelineRuler, StepIsFractionalOnWidthsNotDivisibleByFifty) {
    const auto ticks = TimelineTicks(777, 3599);
    EXPECT_EQ(ticks[1].x, 16);   // trunc(15.54) + 1
    EXPECT_EQ(ticks[49].x, 762);  // trunc(761.46) + 1
    EXPECT_EQ(ticks[45].label, "53:59");  // 0.9 × 3599 = 3239.1 s
}

struct MotifCase {
    const char* name;
    int width;
    unsigned length;
    double motif;
    std::vector<MotifBlock> blocks;
};

TEST(MotifBlocks, AlternateFromDarkAndMayRunPastTheEnd) {
    std::vector<MotifBlock> sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back({i * 50, 50, i % 2 == 0});
    const MotifCase cases[] = {
        {"64 s of 4 s motifs", 800, 64, 4.0, sixteen},
        {"10 s of 4 s motifs: the third is cut off", 800, 10, 4.0, {{0, 320, true}, {320, 320, false}, {640, 320, true}}},
        {"motif as long as the music", 800, 20, 20.0, {{0, 800, true}}},
        {"zero music length", 800, 0, 4.0, {}},
        {"zero motif length", 800, 64, 0.0, {}},
    };
    for (const MotifCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MotifBlocks(c.width, c.length, c.motif), c.blocks);
    }
}

TEST(PlayCursor, FollowsTheMouseAndIsExactAtAndBeyondTheEdges) {
    struct Case {
        int x;
        double cursor;
    };
    const Case cases[] = {{-30, 0.0}, {0, 0.0}, {200, 0.25}, {799, 799.0 / 800}, {800, 1.0}, {5000, 1.0}};
    for (const Case& c : cases) EXPECT_EQ(CursorFromX(c.x, 800), c.cursor) << c.x;
    EXPECT_EQ(CursorFromX(10, 0), 0.0);
}

TEST(PlayCursor, SeeksToFramesOfTheWholeMusic) {
    const std::uint32_t frames = MusicFrames(11025, 64);
    EXPECT_EQ(frames, 705600u);
    EXPECT_EQ(SeekFrame(0.0, frames), 0u);
    EXPECT_EQ(SeekFrame(0.5, frames), 352800u);
    EXPECT_EQ(SeekFrame(1.0, frames), frames);
    EXPECT_EQ(SeekFrame(1.0 / 3.0, frames), 235200u);
    // The longest music at the highest rate still fits the 32-bit product.
    EXPECT_EQ(MusicFrames(48000, 3599), 172752000u);
}

TEST(CurrentFraction, PlaybackThenHoverThenCursor) {
    const std::uint32_t frames = 1001;
    // Playing: frame / (frames - 1), so the last frame is exactly 1.
    EXPECT_DOUBLE_EQ(CurrentFractionOf(true, 500, frames, 100, 800, 0.3), 0.5);
    EXPECT_DOUBLE_EQ(CurrentFractionOf(true, 1000, frames, -1, 800, 0.3), 1.0);
    // Hovering: x / (W - 1), the last column is exactly 1.
    EXPECT_DOUBLE_EQ(CurrentFractionOf(false, 500, frames, 799, 800, 0.3), 1.0);
    EXPECT_DOUBLE_EQ(CurrentFractionOf(false, 500, frames, 0, 800, 0.3), 0.0);
    // Neither: the play cursor.
    EXPECT_DOUBLE_EQ(CurrentFractionOf(false, 500, frames, -1, 800, 0.3), 0.3);
    // No music yet: no division by zero.
    EXPECT_DOUBLE_EQ(CurrentFractionOf(true, 0, 0, -1, 800, 0.3), 0.0);
}

}  // namespace
}  // namespace dw
