#pragma once
// Pure geometry of the main window: the panel layout, the minimum size, the
// areas painted between the panels and the toolbar's button row. The windows
// only move and paint what these functions compute, so every number here is
// tested without Qt.

#include <array>

#include "core/geometry/Rect.h"

namespace dw {

// The control panel's own size: its 170 x 312 dialog-unit template converted
// at 1.5 pixels per horizontal and 1.625 per vertical unit.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
constexpr int kControlPanelDialogUnitsW = 170;
constexpr int kControlPanelDialogUnitsH = 350;

// Where each panel of the main window stands for client width W, client
// height B and the control panel's size pw x ph. Values do not scale with DPI.
struct MainLayout {
    Rect toolbar;
    Rect transportBar;
    Rect controlPanel;
    Rect timeline;
    Rect rowHeaders;
    Rect matrixEditor;
    // Remembered by the main window for painting.
    Rect headerColumn;
    Rect controlPanelRect;
    Rect transportBarRect;
    // The band of the transport bar that lines up with the matrix editor.
    Rect transportBand;
};
MainLayout ComputeMainLayout(int W, int B, int pw, int ph);

// The smallest size the main window may be dragged to at `dpi` horizontal
// logical pixels per inch, limited to the screen.
struct MinSize {
    int width = 0;
    int height = 0;
};
MinSize MinimumTrackSize(int dpi, int screenWidth, int screenHeight);

// The two rectangles the main window paints between its panels, in the
// inclusive coordinates of the tiling and rectangle drawing.
struct MainPaintAreas {
    Rect tiledBelowControlPanel;  // inclusive right/bottom, as TileBitmap takes it
    Rect timelineLeftBox;         // the dark box left of the timeline
};
MainPaintAreas ComputeMainPaintAreas(const MainLayout& layout);

// The toolbar's eight 28 x 28 buttons for a client height: two groups,
// 6 pixels apart inside a group and 18 between the groups.
constexpr int kToolbarButtonCount = 8;
std::array<Rect, kToolbarButtonCount> ToolbarButtonRects(int clientHeight);

}  // namespace dw

namespace dw {
// a * b / c rounded to the nearest integer, halves away from zero; the rule
// fonts are sized with (points, pixels per inch, 72). 0 when c is 0.
int MulDiv(int a, int b, int c);
}  // namespace dw
