// Background tiling and the picture choices of the custom controls.
#include "core/geometry/ControlGeometry.h"

#include <gtest/gtest.h>

#include <ostream>

namespace dw {

std::ostream& operator<<(std::ostream& os, const Tile& t) {
    return os << "tile at (" << t.x << ", " << t.y << ") " << t.w << " x " << t.h;
}

namespace {

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
