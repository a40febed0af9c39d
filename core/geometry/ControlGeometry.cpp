#include "core/geometry/ControlGeometry.h"

namespace dw {

std::vector<Tile> ComputeTiles(const Rect& a, int bw, int bh) {
    std::vector<Tile> tiles;
    if (bw <= 0 || bh <= 0 || a.top > a.bottom) return tiles;
    for (int y = a.top; y <= a.bottom; y += bh) {
        const int rowH = (y + bh - 1 > a.bottom) ? a.bottom - y + 1 : bh;
        for (int x = a.left; x < a.right; x += bw) {
            const int tileW = (x + bw - 1 > a.right) ? a.right - x + 1 : bw;
            tiles.push_back(Tile{x, y, tileW, rowH});
        }
    }
    return tiles;
}

int StatePictureX(int stateWidth, bool pressed, bool hovered) {
    if (pressed) return stateWidth;
    if (hovered) return 2 * stateWidth;
    return 0;
}

Point SliderChannelOrigin(const Rect& c, int chW, int chH) {
    return Point{c.left + (c.width() / 2 - chW / 2), c.top + (c.height() / 2 - chH / 2)};
}

Point SliderThumbOrigin(const Rect& r, int tw, int th) {
    return Point{r.left + (r.width() / 2 - tw / 2), r.top + (r.height() / 2 - th / 2)};
}

}  // namespace dw
