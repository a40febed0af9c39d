// The main window's layout, minimum size and painted areas, the toolbar row,
// background tiling and the picture choices of the custom controls.
#include "app/platform/Geometry.h"

#include <gtest/gtest.h>

#include <ostream>

namespace dw {

std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
std::ostream& operator<<(std::ostream& os, const Tile& t) {
    return os << "tile at (" << t.x << ", " << t.y << ") " << t.w << " x " << t.h;
}

namespace {

TEST(MainLayout, PanelsAtAGivenClientSize) {
    // 1920 x 1000 client, control panel 255 x 507 (its template at 96 DPI).
    const MainLayout l = ComputeMainLayout(1920, 1000, 255, 507);
    EXPECT_EQ(l.toolbar, RectXYWH(0, 0, 1920, 40));
    EXPECT_EQ(l.transportBar, RectXYWH(0, 940, 1920, 60));
    EXPECT_EQ(l.controlPanel, RectXYWH(1661, 44, 255, 507));
    EXPECT_EQ(l.timeline, RectXYWH(128, 906, 1529, 30));
    EXPECT_EQ(l.rowHeaders, RectXYWH(4, 44, 120, 862));
    EXPECT_EQ(l.matrixEditor, RectXYWH(128, 44, 1529, 862));
    EXPECT_EQ(l.transportBarRect, (Rect{0, 940, 1920, 1000}));
    EXPECT_EQ(l.controlPanelRect, (Rect{1661, 44, 1916, 551}));
    EXPECT_EQ(l.headerColumn, (Rect{4, 44, 124, 906}));
    EXPECT_EQ(l.transportBand, (Rect{128, 940, 1657, 1000}));
    // The editors end where the timeline begins; the timeline ends 4 pixels
    // above the transport bar.
    EXPECT_EQ(l.matrixEditor.bottom, l.timeline.top);
    EXPECT_EQ(l.rowHeaders.bottom, l.timeline.top);
    EXPECT_EQ(l.timeline.bottom + 4, l.transportBar.top);
}

TEST(MainLayout, ControlPanelSizeFromItsDialogUnits) {
    EXPECT_EQ(DialogUnitsToPixelsX(kControlPanelDialogUnitsW), 255);
    EXPECT_EQ(DialogUnitsToPixelsY(kControlPanelDialogUnitsH), 507);
}

TEST(MainLayout, PaintedAreasBetweenThePanels) {
    const MainPaintAreas a = ComputeMainPaintAreas(ComputeMainLayout(1920, 1000, 255, 507));
    EXPECT_EQ(a.tiledBelowControlPanel, (Rect{1662, 556, 1914, 935}));
    EXPECT_EQ(a.timelineLeftBox, (Rect{4, 911, 124, 936}));
}

TEST(MinimumSize, ScalesWithDpiAndStopsAtTheScreen) {
    struct Case {
        int dpi, sw, sh;
        MinSize expected;
    };
    const Case cases[] = {
        {96, 1920, 1080, {880, 700}},
        {120, 1920, 1080, {1100, 875}},
        {120, 1024, 768, {1024, 768}},
        {144, 1920, 1080, {1320, 1050}},
        {97, 1920, 1080, {889, 707}},  // rounded down
    };
    for (const auto& c : cases) {
        const MinSize m = MinimumTrackSize(c.dpi, c.sw, c.sh);
        EXPECT_EQ(m.width, c.expected.width) << c.dpi;
        EXPECT_EQ(m.height, c.expected.height) << c.dpi;
    }
}

TEST(Toolbar, ButtonsInTwoGroups) {
    const auto rects = ToolbarButtonRects(40);
    const int lefts[] = {6, 40, 74, 108, 142, 188, 222, 256};
    for (int i = 0; i < kToolbarButtonCount; ++i) {
        EXPECT_EQ(rects[i], RectXYWH(lefts[i], 6, 28, 28)) << "button " << i + 1;
    }
    // Another height moves the whole row by the new margin.
    EXPECT_EQ(ToolbarButtonRects(50)[5], RectXYWH(11 + 182, 11, 28, 28));
}

TEST(TileBitmap, FortyPixelBitmapOverAHundredByForty) {
    const std::vector<Tile> expected{
        {0, 0, 40, 40}, {40, 0, 40, 40}, {80, 0, 21, 40},
        {0, 40, 40, 1}, {40, 40, 40, 1}, {80, 40, 21, 1},
    };
    EXPECT_EQ(ComputeTiles(Rect{0, 0, 100, 40}, 40, 40), expected);
}

TEST(TileBitmap, EdgeCases) {
    EXPECT_TRUE(ComputeTiles(Rect{0, 10, 100, 9}, 40, 40).empty()) << "top below bottom";
    EXPECT_EQ(ComputeTiles(Rect{5, 5, 5, 5}, 40, 40).size(), 0u) << "no column when left == right";
    EXPECT_EQ(ComputeTiles(Rect{0, 0, 39, 39}, 40, 40), (std::vector<Tile>{{0, 0, 40, 40}}));
    EXPECT_TRUE(ComputeTiles(Rect{0, 0, 10, 10}, 0, 40).empty()) << "empty bitmap";
    // Every pixel of the inclusive rectangle is covered exactly once.
    const Rect area{3, 7, 130, 95};
    long covered = 0;
    for (const Tile& t : ComputeTiles(area, 60, 60)) {
        EXPECT_LE(t.x + t.w - 1, area.right);
        EXPECT_LE(t.y + t.h - 1, area.bottom);
        covered += static_cast<long>(t.w) * t.h;
    }
    EXPECT_EQ(covered, static_cast<long>(area.right - area.left + 1) * (area.bottom - area.top + 1));
}

TEST(HoverButton, StatePictureSelection) {
    struct Case {
        bool pressed, hovered;
        int x;
    };
    const Case cases[] = {{false, false, 0}, {true, false, 28}, {false, true, 56}, {true, true, 28}};
    for (const auto& c : cases) EXPECT_EQ(StatePictureX(28, c.pressed, c.hovered), c.x);
}

TEST(SkinSlider, ChannelAndThumbPlacement) {
    EXPECT_EQ(SliderChannelOrigin(RectXYWH(0, 0, 123, 20), 123, 20), (Point{0, 0}));
    EXPECT_EQ(SliderChannelOrigin(RectXYWH(0, 0, 123, 21), 123, 20), (Point{0, 0}));
    EXPECT_EQ(SliderChannelOrigin(RectXYWH(0, 0, 124, 21), 123, 20), (Point{1, 0}));
    EXPECT_EQ(SliderThumbOrigin(RectXYWH(40, 0, 11, 22), 11, 22), (Point{40, 0}));
    EXPECT_EQ(SliderThumbOrigin(RectXYWH(40, 0, 21, 30), 11, 22), (Point{45, 4}));
}

}  // namespace
}  // namespace dw
