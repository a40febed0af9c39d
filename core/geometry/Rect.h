#pragma once
// The one rectangle of the window code: the main window's layout, the
// controls' chrome and the editors' cells all speak it. Plain C++, so the
// geometry that computes rectangles is tested without Qt.

namespace dw {

// Left, top, right, bottom in client pixels; right and bottom exclusive when
// used as a widget rectangle or a cell (width = right - left). The bitmap
// tiling and the painted boxes of the main window read right and bottom
// inclusively; their functions say so.
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

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

}  // namespace dw
