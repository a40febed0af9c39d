#include "core/geometry/MatrixGeometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dw {
namespace {

const std::vector<SectionBounds> kDefaultSections{{0.0, 0.25}, {0.25, 0.5}, {0.5, 0.75}, {0.75, 1.0}};

TEST(RowTiling, FirstRowsOfAnUnevenHeightAreOnePixelTaller) {
    const auto rows = TileRows(803, 8);
    const std::vector<int> heights{101, 101, 101, 100, 100, 100, 100, 100};
    ASSERT_EQ(rows.size(), heights.size());
    int top = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(rows[i].top, top);
        EXPECT_EQ(rows[i].bottom - rows[i].top, heights[i]);
        top = rows[i].bottom;
    }
    EXPECT_EQ(top, 803);
}

TEST(RowTiling, TilesEveryHeightExactly) {
    for (int height : {0, 7, 8, 9, 100, 799, 800, 801}) {
        for (int n : {1, 3, 8}) {
            SCOPED_TRACE(std::to_string(height) + " px, " + std::to_string(n) + " rows");
            const auto rows = TileRows(height, n);
            EXPECT_EQ(rows.front().top, 0);
            EXPECT_EQ(rows.back().bottom, height);
            for (int i = 1; i < n; ++i) EXPECT_EQ(rows[i].top, rows[i - 1].bottom);
        }
    }
}

TEST(RowTiling, HuesWrapAroundFromTheStartHue) {
    EXPECT_FLOAT_EQ(RowHue(0, 8), 0.67f);
    EXPECT_FLOAT_EQ(RowHue(2, 8), 0.92f);
    EXPECT_NEAR(RowHue(3, 8), 0.045f, 1e-6f);  // 1.045 wraps
    for (int i = 0; i < 8; ++i) {
        EXPECT_GE(RowHue(i, 8), 0.0f);
        EXPECT_LE(RowHue(i, 8), 1.0f);
    }
}

TEST(ValueBars, FillTheShrunkCellFromTheBottom) {
    const Rect cell{10, 100, 60, 201};  // shrunk: 103 to 200
    EXPECT_EQ(ValueBar(cell, 0.0f), (Rect{10, 200, 60, 200}));
    EXPECT_EQ(ValueBar(cell, 1.0f), (Rect{10, 103, 60, 200}));
    EXPECT_EQ(ValueBar(cell, 0.5f), (Rect{10, 151, 60, 200}));  // 200 - 48.5
}

TEST(ValueDrag, IsExactBeyondTheCell) {
    struct Case {
        const char* name;
        int y;
        float value;
    };
    const Case cases[] = {
        {"far above", -50, 1.0f}, {"top edge", 100, 1.0f},  {"middle", 150, 0.5f},
        {"bottom edge", 200, 0.0f}, {"far below", 999, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ValueFromY(c.y, 100, 200), c.value);
    }
}

struct HitCase {
    const char* name;
    int x;
    int y;
    int row;
    int section;
};

TEST(HitTest, EdgesBelongToTheLowerRowAndTheLeftSection) {
    // W = 800, H = 803: row 0 is 0..101, row 1 101..202; section 0 ends at x = 200.
    const HitCase cases[] = {
        {"inside the first cell", 50, 50, 0, 0},
        {"on the edge between rows 0 and 1", 50, 101, 1, 0},
        {"on the boundary between sections 0 and 1", 200, 50, 0, 0},
        {"one pixel right of the boundary", 201, 50, 0, 1},
        {"on the last row's bottom edge", 799, 803, 7, 3},
        {"on the right edge of the window", 800, 400, 3, 3},
    };
    for (const HitCase& c : cases) {
        SCOPED_TRACE(c.name);
        Hover hover;
        EXPECT_TRUE(HitTest(hover, c.x, c.y, 800, 803, 8, kDefaultSections));
        EXPECT_EQ(hover.row, c.row);
        EXPECT_EQ(hover.section, c.section);
    }
}

TEST(HitTest, OutsideKeepsTheOldHoverAndReportsNoChange) {
    Hover hover{2, 1};
    EXPECT_FALSE(HitTest(hover, -5, -5, 800, 803, 8, kDefaultSections));
    EXPECT_EQ(hover.row, 2);
    EXPECT_EQ(hover.section, 1);
    EXPECT_FALSE(HitTest(hover, 300, 250, 800, 803, 8, kDefaultSections));  // same cell
    EXPECT_TRUE(HitTest(hover, 300, 350, 800, 803, 8, kDefaultSections));
    EXPECT_EQ(hover.row, 3);
}

TEST(Boundaries, OnlyInnerEdgesWithinFourPixelsCount) {
    struct Case {
        const char* name;
        int section;
        int x;
        bool near;
    };
    const Case cases[] = {
        {"outer left edge of the first section", 0, 0, false},
        {"outer right edge of the last section", 3, 799, false},
        {"4 px left of an inner boundary", 0, 196, true},
        {"5 px left of an inner boundary", 0, 195, false},
        {"4 px right of an inner boundary", 1, 204, true},
        {"5 px right of an inner boundary", 1, 205, false},
        {"no hovered section", -1, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NearBoundary(c.section, c.x, 800, kDefaultSections), c.near);
    }
}

// Fractions of 1024 so that every column edge is exact in binary.
constexpr double Px(int pixels) { return pixels / 1024.0; }

TEST(Boundaries, PressPicksTheNearerBoundaryWithTiesToTheLeft) {
    // Section 1 is a 6 px column, 509..515, so that a press can be 3 px from both edges.
    const std::vector<SectionBounds> sections{{0.0, Px(509)}, {Px(509), Px(515)}, {Px(515), 1.0}};
    const BoundaryGrab tie = PickBoundary(1, 512, 1024, sections);
    EXPECT_EQ(tie.leftSection, 0);
    EXPECT_EQ(tie.rightSection, 1);
    const BoundaryGrab right = PickBoundary(1, 514, 1024, sections);
    EXPECT_EQ(right.leftSection, 1);
    EXPECT_EQ(right.rightSection, 2);
    // The accepted range: 10 px inside the outer edges of the two sections.
    EXPECT_EQ(right.minX, 509 + 10);
    EXPECT_EQ(right.maxX, 1024 - 10);
}

TEST(Boundaries, NarrowOuterSectionsGrabTheirOnlyInnerBoundary) {
    // First and last columns of 4 px: a press near their outer edge used to
    // name the boundary before the first or after the last section.
    const std::vector<SectionBounds> sections{{0.0, Px(4)}, {Px(4), Px(1020)}, {Px(1020), 1.0}};
    Hover hover;
    HitTest(hover, 1, 10, 1024, 800, 8, sections);
    ASSERT_EQ(hover.section, 0);
    ASSERT_TRUE(NearBoundary(0, 1, 1024, sections));
    const BoundaryGrab first = PickBoundary(0, 1, 1024, sections);
    EXPECT_EQ(first.leftSection, 0);
    EXPECT_EQ(first.rightSection, 1);
    HitTest(hover, 1023, 10, 1024, 800, 8, sections);
    ASSERT_EQ(hover.section, 2);
    ASSERT_TRUE(NearBoundary(2, 1023, 1024, sections));
    const BoundaryGrab last = PickBoundary(2, 1023, 1024, sections);
    EXPECT_EQ(last.leftSection, 1);
    EXPECT_EQ(last.rightSection, 2);
}

TEST(Boundaries, DragStaysTenPixelsInsideTheTwoSections) {
    const BoundaryGrab grab = PickBoundary(0, 199, 800, kDefaultSections);  // between 0 and 1: 0..400
    ASSERT_EQ(grab.leftSection, 0);
    EXPECT_EQ(grab.minX, 10);
    EXPECT_EQ(grab.maxX, 390);
    struct Case {
        const char* name;
        int x;
        double boundary;
    };
    const Case cases[] = {
        {"far left", -100, 10.0 / 800}, {"at the limit", 10, 10.0 / 800}, {"inside", 300, 0.375},
        {"at the right limit", 390, 390.0 / 800}, {"far right", 5000, 390.0 / 800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(BoundaryFromX(c.x, grab, 800, kDefaultSections), c.boundary);
    }
}

TEST(Boundaries, TooNarrowPairDoesNotMove) {
    // Two sections sharing 12 px: no position keeps both 10 px wide, and the
    // raw formula would push the boundary past the right section's end.
    const std::vector<SectionBounds> sections{{0.0, Px(512)}, {Px(512), Px(518)}, {Px(518), Px(524)}, {Px(524), 1.0}};
    ASSERT_TRUE(NearBoundary(1, 518, 1024, sections));
    const BoundaryGrab grab = PickBoundary(1, 518, 1024, sections);
    ASSERT_EQ(grab.leftSection, 1);
    ASSERT_GT(grab.minX, grab.maxX);
    for (int x : {0, 512, 518, 524, 1024}) EXPECT_DOUBLE_EQ(BoundaryFromX(x, grab, 1024, sections), Px(518));
}

TEST(PopupMenu, SplitIsGrayedOnColumnsOfTwentyPixelsOrLess) {
    struct Case {
        const char* name;
        SectionBounds section;
        int width;
        bool allowed;
    };
    const Case cases[] = {
        {"20 px column", {0.0, Px(20)}, 1024, false},
        {"21 px column", {Px(100), Px(121)}, 1024, true},
        {"default section in a wide window", {0.25, 0.5}, 800, true},
        {"same section in an 80 px window", {0.25, 0.5}, 80, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SplitAllowed(c.section, c.width), c.allowed);
    }
}

TEST(SectionSource, DefaultRangeFollowsTheTrimRange) {
    const FractionRange range = SectionDefaultRange({0.25, 0.5}, 0.05, 0.95);
    EXPECT_DOUBLE_EQ(range.start, 0.05 + 0.25 * 0.9);
    EXPECT_DOUBLE_EQ(range.end, 0.05 + 0.5 * 0.9);
}

TEST(SectionSource, DialogOpensWithTheSectionsOwnRangeOrTheDefault) {
    const FractionRange def{0.275, 0.5};
    EXPECT_EQ(InitialSectionRange(-1.0, -1.0, def), def);
    EXPECT_EQ(InitialSectionRange(0.1, 0.2, def), (FractionRange{0.1, 0.2}));
    EXPECT_EQ(InitialSectionRange(0.0, 0.2, def), (FractionRange{0.0, 0.2}));
    // An own start with a default end: the default range's end, never before the start.
    EXPECT_EQ(InitialSectionRange(0.1, -1.0, def), (FractionRange{0.1, 0.5}));
    EXPECT_EQ(InitialSectionRange(0.7, -1.0, def), (FractionRange{0.7, 0.7}));
}

TEST(SectionSource, ConfirmingTheDefaultStoresNoRangeOfItsOwn) {
    const FractionRange def = SectionDefaultRange({0.25, 0.5}, 0.05, 0.95);
    EXPECT_EQ(StoredSectionRange(def, def), (FractionRange{-1.0, -1.0}));
    const FractionRange moved{def.start, def.end + 1e-12};
    EXPECT_EQ(StoredSectionRange(moved, def), moved);
    EXPECT_EQ(StoredSectionRange({0.3, 0.4}, def), (FractionRange{0.3, 0.4}));
}

}  // namespace
}  // namespace dw
