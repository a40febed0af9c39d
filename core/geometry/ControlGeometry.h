#pragma once
// Pure geometry of the custom controls and the tiled backgrounds: which
// picture of a state strip a button shows, where the skinned slider draws its
// channel and thumb, and the copies of a bitmap that cover an area. The
// controls only paint what these functions compute.

#include <vector>

#include "core/geometry/Rect.h"

namespace dw {

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
Point SliderChannelOrigin(const Rect& client, int chW, int chH);
Point SliderThumbOrigin(const Rect& thumbRect, int tw, int th);

}  // namespace dw
