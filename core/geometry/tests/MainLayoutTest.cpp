// The main window's layout, minimum size and painted areas, and the toolbar row.
#include "core/geometry/MainLayout.h"

#include <gtest/gtest.h>

#include <ostream>

namespace dw {

std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
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
    EXPECT_EQ(DialogUnitsToPixelsY(kControlPanelDialogUnitsH), 568);
    // At the smallest window the panel still ends above the transport bar,
    // with the tiled gap between them.
    const MinSize smallest = MinimumTrackSize(96, 1920, 1080);
    const MainLayout l = ComputeMainLayout(smallest.width, smallest.height, 255, 568);
    EXPECT_LT(l.controlPanelRect.bottom + 5, l.transportBarRect.top - 5);
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

}  // namespace
}  // namespace dw
