#pragma once
// Pure geometry of the main window and its chrome: the panel layout, the
// minimum size, the toolbar's button row, the tiling of backgrounds and the
// picture choices of the custom controls. The windows only paint and move
// what these functions compute, so every number here is tested without Qt.

#include <array>
#include <vector>

namespace dw {

// Left, top, right, bottom in client pixels; right and bottom exclusive when
// used as a widget rectangle (width = right - left).
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

inline Rect RectXYWH(int x, int y, int w, int h) { return Rect{x, y, x + w, y + h}; }

// The control panel's own size: its 170 x 312 dialog-unit template converted
// at 1.5 pixels per horizontal and 1.625 per vertical unit.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
constexpr int kControlPanelDialogUnitsW = 170;
constexpr int kControlPanelDialogUnitsH = 312;

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

// One copy of the bitmap's top-left part to (x, y), w x h pixels.
struct Tile {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool operator==(const Tile&) const = default;
};
// The tiles that cover the rectangle (l, t, r, b) with a bw x bh bitmap, where
// the right and bottom coordinates are reached inclusively: the last column
// ends on pixel column r and the last row on pixel row b.
std::vector<Tile> ComputeTiles(const Rect& area, int bw, int bh);

// Which third of a state strip a picture button shows: pressed wins over
// hovered, hovered over normal. Returns the x of the picture in the strip.
int StatePictureX(int stateWidth, bool pressed, bool hovered);

// Where the skinned slider draws its channel (stretched to chW x chH) inside a
// client of cw x ch, and its thumb (tw x th) inside the trackbar's thumb rect.
struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};
Point SliderChannelOrigin(const Rect& client, int chW, int chH);
Point SliderThumbOrigin(const Rect& thumbRect, int tw, int th);

}  // namespace dw

namespace dw {
// a * b / c rounded to the nearest integer, halves away from zero; the rule
// fonts are sized with (points, pixels per inch, 72). 0 when c is 0.
int MulDiv(int a, int b, int c);
}  // namespace dw
