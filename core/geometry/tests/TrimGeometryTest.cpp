#include "core/geometry/TrimGeometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace dw {
namespace {

TEST(TrimLayout, FrameShrinksByTwoAndKeepsThirtyPixelsForThePositionBar) {
    const TrimLayout layout = TrimLayoutFor(604, 234);
    EXPECT_EQ(layout.width, 600);
    EXPECT_EQ(layout.waveHeight, 200);
    EXPECT_EQ(layout.Height(), 230);
    const TrimLayout tiny = TrimLayoutFor(3, 20);
    EXPECT_EQ(tiny.width, 0);
    EXPECT_EQ(tiny.waveHeight, 0);
}

TEST(Waveform, ColumnsSpanTheWholeSourceFirstToLast) {
    EXPECT_EQ(ColumnFrame(0, 600, 1000000), 0u);
    EXPECT_EQ(ColumnFrame(599, 600, 1000000), 999999u);
    EXPECT_EQ(ColumnFrame(300, 600, 1000000), 500834u);  // trunc(300 / 599 × 999999)
    EXPECT_EQ(ColumnFrame(5, 1, 1000), 0u);
    EXPECT_EQ(ColumnFrame(5, 600, 0), 0u);
}

// A source whose every frame is silent except the given ones.
std::vector<float> Spikes(std::uint32_t frames, std::initializer_list<std::pair<std::uint32_t, float>> spikes) {
    std::vector<float> data(2 * frames, 0.0f);
    for (auto [frame, level] : spikes) {
        data[2 * frame] = level;
        data[2 * frame + 1] = -level / 2;
    }
    return data;
}

TEST(Waveform, PeaksLookAtEveryHundredthFrameOfAThousandAndOneFrameWindow) {
    struct Case {
        const char* name;
        std::uint32_t spike;
        std::uint32_t at;
        bool seen;
    };
    const Case cases[] = {
        {"spike on the window's first frame", 1500, 2000, true},
        {"spike on the window's last frame", 2500, 2000, true},
        {"spike just outside the window", 2501, 2000, false},
        {"spike between the sampled frames", 2050, 2000, false},
        {"window clipped at the start samples from frame 0", 100, 30, true},
        {"window clipped at the start, off the grid", 130, 30, false},
        {"window clipped at the end", 4999, 4800, false},  // samples 4300, 4400 ... 4900
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto data = Spikes(5000, {{c.spike, 0.8f}});
        const Peak peak = PeakAt(data.data(), 5000, c.at);
        EXPECT_EQ(peak.left, c.seen ? 0.8f : 0.0f);
        EXPECT_EQ(peak.right, c.seen ? 0.4f : 0.0f);  // absolute value of the negative right channel
    }
    EXPECT_EQ(PeakAt(nullptr, 0, 0), Peak{});
}

TEST(Waveform, CacheRecomputesOnlyWhenTheSourceOrWidthChanges) {
    auto data = Spikes(100000, {{50000, 0.5f}});
    WavePeakCache cache;
    const auto& peaks = cache.Get(data.data(), 100000, 101);  // column 50 shows frame 49999
    ASSERT_EQ(peaks.size(), 101u);
    EXPECT_EQ(peaks[50], (Peak{0.0f, 0.0f}));  // 49499 + k × 100 never hits 50000
    data[2 * 49999] = 0.9f;  // the same buffer changed behind the cache's back: still cached
    EXPECT_EQ(cache.Get(data.data(), 100000, 101)[50].left, 0.0f);
    EXPECT_EQ(cache.Get(data.data(), 100000, 100).size(), 100u);
    cache.Clear();
    EXPECT_EQ(cache.Get(data.data(), 100000, 101)[50].left, 0.9f);
}

TEST(TrimMouse, PressPicksAnEdgeWithinFourPixelsStartFirst) {
    const FractionRange range{0.25, 0.26};  // s = 150, e = 156 at w = 600
    struct Case {
        const char* name;
        int x;
        TrimEdge edge;
    };
    const Case cases[] = {
        {"4 px left of the start", 146, TrimEdge::Start}, {"5 px left of the start", 145, TrimEdge::None},
        {"both edges within reach", 153, TrimEdge::Start}, {"nearer the end but start in reach", 154, TrimEdge::Start},
        {"end only", 159, TrimEdge::End},  {"5 px right of the end", 161, TrimEdge::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GrabEdge(c.x, range, 600), c.edge);
    }
}

TEST(TrimMouse, DraggingAnEdgePastTheOtherSwapsThem) {
    FractionRange range{0.2, 0.4};
    TrimEdge grabbed = MoveEdge(range, TrimEdge::Start, 300, 601);  // 300 / 600
    EXPECT_EQ(grabbed, TrimEdge::End);
    EXPECT_DOUBLE_EQ(range.start, 0.4);
    EXPECT_DOUBLE_EQ(range.end, 0.5);
    grabbed = MoveEdge(range, grabbed, 900, 601);  // clamped to the last column
    EXPECT_EQ(grabbed, TrimEdge::End);
    EXPECT_DOUBLE_EQ(range.end, 1.0);
    grabbed = MoveEdge(range, grabbed, -40, 601);  // back past the start: swaps again
    EXPECT_EQ(grabbed, TrimEdge::Start);
    EXPECT_DOUBLE_EQ(range.start, 0.0);
    EXPECT_DOUBLE_EQ(range.end, 0.4);
}

TEST(TrimMouse, AnEdgeDroppedOnTheOtherLeavesOnePixel) {
    FractionRange range{0.25, 0.5};
    EXPECT_EQ(MoveEdge(range, TrimEdge::Start, 300, 601), TrimEdge::Start);
    EXPECT_DOUBLE_EQ(range.start, 299.0 / 600);
    EXPECT_DOUBLE_EQ(range.end, 0.5);
    range = {0.25, 0.5};
    EXPECT_EQ(MoveEdge(range, TrimEdge::End, 150, 601), TrimEdge::End);
    EXPECT_DOUBLE_EQ(range.start, 0.25);
    EXPECT_DOUBLE_EQ(range.end, 151.0 / 600);
    range = {0.0, 0.5};  // no room left of 0: the other edge gives way
    EXPECT_EQ(MoveEdge(range, TrimEdge::End, -10, 601), TrimEdge::End);
    EXPECT_DOUBLE_EQ(range.start, 0.0);
    EXPECT_DOUBLE_EQ(range.end, 1.0 / 600);
}

TEST(TrimMouse, NewSelectionIsAtLeastFivePixelsAndInsideTheSource) {
    struct Case {
        const char* name;
        int anchor;
        int x;
        FractionRange range;
    };
    const Case cases[] = {
        {"dragged right", 100, 300, {100.0 / 600, 300.0 / 600}},
        {"dragged left", 300, 100, {100.0 / 600, 300.0 / 600}},
        {"a click", 120, 120, {120.0 / 600, 125.0 / 600}},
        {"3 px wide", 120, 123, {120.0 / 600, 125.0 / 600}},
        {"past both ends", 300, -50, {0.0, 300.0 / 600}},
        {"click in the last column", 600, 600, {595.0 / 600, 1.0}},
        {"click 2 px from the end", 598, 598, {595.0 / 600, 1.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FractionRange r = NewSelection(c.anchor, c.x, 601);
        EXPECT_DOUBLE_EQ(r.start, c.range.start);
        EXPECT_DOUBLE_EQ(r.end, c.range.end);
        EXPECT_LT(r.start, r.end);
    }
}

TEST(TrimMouse, CursorShowsWhatAPressWouldDo) {
    const TrimLayout layout{600, 200};
    const FractionRange range{0.25, 0.5};  // s = 150, e = 300
    struct Case {
        const char* name;
        int x, y;
        TrimCursor cursor;
    };
    const Case cases[] = {
        {"start edge", 152, 50, TrimCursor::StartEdge}, {"end edge", 297, 50, TrimCursor::EndEdge},
        {"inside the range", 200, 50, TrimCursor::Arrow}, {"position bar", 152, 210, TrimCursor::Position},
        {"below the position bar", 152, 230, TrimCursor::Arrow}, {"left of the area", -1, 50, TrimCursor::Arrow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CursorAt(c.x, c.y, range, layout), c.cursor);
    }
}

TEST(TrimPlayback, MarkerAndPlayedFramesConvertBothWays) {
    EXPECT_EQ(MarkerFrame(0, 601, 44100), 0u);
    EXPECT_EQ(MarkerFrame(600, 601, 44100), 44100u);
    EXPECT_EQ(MarkerFrame(300, 601, 44100), 22050u);
    EXPECT_EQ(MarkerForFrame(22050, 44100, 600), 300);
    EXPECT_EQ(MarkerForFrame(5, 0, 600), 0);
}

TEST(TrimPlayback, TimerEndsFollowsOrRepeatsTheRange) {
    const FractionRange range{0.25, 0.5};
    struct Case {
        const char* name;
        bool active, playRange;
        std::uint64_t frame;
        TrimTick tick;
    };
    const Case cases[] = {
        {"source played to its end", false, false, 1000, TrimTick::Ended},
        {"whole source", true, false, 900, TrimTick::Follow},
        {"inside the range", true, true, 400, TrimTick::Follow},
        {"past the range end", true, true, 501, TrimTick::RestartRange},
        {"before the range start", true, true, 249, TrimTick::RestartRange},
        {"range end exactly", true, true, 500, TrimTick::Follow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TrimTimerStep(c.active, c.playRange, c.frame, 1000, range), c.tick);
    }
}

TEST(TrimRuler, LabelsCountTheSourceInWholeSeconds) {
    struct Case {
        const char* name;
        std::uint32_t frames, rate;
        const char* fifthLabel;  // tick 5 stands for a tenth of the source
        const char* lastLabel;   // tick 45, nine tenths
    };
    const Case cases[] = {
        {"ten and a half seconds count as ten", 115762, 11025, "00:01", "00:09"},
        {"ten minutes", 26460000, 44100, "01:00", "09:00"},
        {"under a second", 11000, 11025, "00:00", "00:00"},
        {"no rate", 11025, 0, "00:00", "00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto ticks = SourceTicks(600, c.frames, c.rate);
        ASSERT_EQ(ticks.size(), 50u);
        EXPECT_EQ(ticks[1].x, 13);  // trunc(12.0) + 1
        EXPECT_EQ(ticks[5].label, c.fifthLabel);
        EXPECT_EQ(ticks[45].label, c.lastLabel);
    }
}

}  // namespace
}  // namespace dw
