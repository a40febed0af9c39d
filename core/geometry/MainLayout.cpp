#include "core/geometry/MainLayout.h"

#include <algorithm>

namespace dw {

// Dialog units of an 8-point dialog font at 96 DPI: 6 x 13 pixel base units,
// so 4 horizontal units are 6 pixels and 8 vertical units are 13 pixels.
int DialogUnitsToPixelsX(int units) { return (units * 6) / 4; }
int DialogUnitsToPixelsY(int units) { return (units * 13) / 8; }

MainLayout ComputeMainLayout(int W, int B, int pw, int ph) {
    MainLayout l;
    l.toolbar = RectXYWH(0, 0, W, 40);
    l.transportBar = RectXYWH(0, B - 60, W, 60);
    l.controlPanel = RectXYWH(W - pw - 4, 44, pw, ph);
    l.timeline = RectXYWH(128, B - 94, W - pw - 136, 30);
    l.rowHeaders = RectXYWH(4, 44, 120, B - 138);
    l.matrixEditor = RectXYWH(128, 44, W - pw - 136, B - 138);
    l.transportBarRect = Rect{0, B - 60, W, B};
    l.controlPanelRect = Rect{W - pw - 4, 44, W - 4, 44 + ph};
    l.headerColumn = Rect{4, 44, 124, B - 94};
    l.transportBand = Rect{128, B - 60, W - pw - 8, B};
    return l;
}

MinSize MinimumTrackSize(int dpi, int screenWidth, int screenHeight) {
    return MinSize{std::min(880 * dpi / 96, screenWidth), std::min(700 * dpi / 96, screenHeight)};
}

MainPaintAreas ComputeMainPaintAreas(const MainLayout& l) {
    MainPaintAreas a;
    a.tiledBelowControlPanel = Rect{l.controlPanelRect.left + 1, l.controlPanelRect.bottom + 5,
                                    l.controlPanelRect.right - 2, l.transportBarRect.top - 5};
    a.timelineLeftBox = Rect{l.headerColumn.left, l.headerColumn.bottom + 5, l.headerColumn.right,
                             l.transportBarRect.top - 4};
    return a;
}

std::array<Rect, kToolbarButtonCount> ToolbarButtonRects(int clientHeight) {
    const int m = (clientHeight - 28) / 2;
    static constexpr std::array<int, kToolbarButtonCount> offsets{0, 34, 68, 102, 136, 182, 216, 250};
    std::array<Rect, kToolbarButtonCount> rects{};
    for (int i = 0; i < kToolbarButtonCount; ++i) rects[i] = RectXYWH(m + offsets[i], m, 28, 28);
    return rects;
}

}  // namespace dw

namespace dw {
int MulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    const long long p = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    const bool negative = (p < 0) != (c < 0);
    const long long mag = ((p < 0 ? -p : p) + half) / (c < 0 ? -c : c);
    return static_cast<int>(negative ? -mag : mag);
}
}  // namespace dw
