// The transport bar's arithmetic: layout, display digits and their places,
// the byte position of the play cursor and the section buttons' targets.

#include <cmath>

#include <gtest/gtest.h>

#include "core/transport/TransportLogic.h"
#include "core/model/Sections.h"

namespace dw {
namespace {

TEST(TransportLogic, LayoutCentresTheButtonRowInTheBand) {
    // Band 128 .. 1000 in a 1200 x 60 bar: x0 = (872 - 396) / 2 + 128 = 366.
    const ControlbarLayout l = ComputeControlbarLayout(128, 1000, 1200, 60);
    EXPECT_EQ(l.stop, 366);
    EXPECT_EQ(l.pause, 412);
    EXPECT_EQ(l.play, 458);
    EXPECT_EQ(l.display, 504);
    EXPECT_EQ(l.start, 630);
    EXPECT_EQ(l.previous, 676);
    EXPECT_EQ(l.next, 722);
    EXPECT_EQ(l.volume, 1200 - 177);
    EXPECT_EQ(l.y, 10);
    // A band narrower than the row puts it left of the band, never mirrored.
    EXPECT_EQ(ComputeControlbarLayout(128, 300, 400, 60).stop, (172 - 396) / 2 + 128);
}

TEST(TransportLogic, DigitPlacesLeaveTheColonAndPointVisible) {
    const std::array<int, 5> expected{13, 29, 53, 69, 93};
    EXPECT_EQ(DisplayDigitX(15), expected);
}

TEST(TransportLogic, DisplayDigitsReadMinutesSecondsTenths) {
    struct Case {
        const char* name;
        std::uint32_t length;
        double fraction;
        std::array<int, 5> digits;
    };
    const Case cases[] = {
        {"start", 64, 0.0, {0, 0, 0, 0, 0}},
        {"whole length", 64, 1.0, {0, 1, 0, 4, 0}},
        {"quarter of 64 s", 64, 0.25, {0, 0, 1, 6, 0}},
        {"tenths truncated", 100, 0.1234, {0, 0, 1, 2, 3}},
        {"ten minutes and more", 3599, 1.0, {5, 9, 5, 9, 0}},
        {"below 0 reads 0", 64, -0.5, {0, 0, 0, 0, 0}},
        {"above 1 reads 0", 64, 1.5, {0, 0, 0, 0, 0}},
        {"NaN reads 0", 64, std::nan(""), {0, 0, 0, 0, 0}},
        {"beyond the strip stays in it", 7200, 1.0, {2, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DisplayDigits(c.length, c.fraction), c.digits);
    }
}

TEST(TransportLogic, CursorBytePositionIsAWholeFrame) {
    EXPECT_EQ(CursorBytePosition(0.0, 11025, 64), 0u);
    EXPECT_EQ(CursorBytePosition(0.5, 11025, 64), 352800u * 8u);  // half of 705600 frames
    EXPECT_EQ(CursorBytePosition(1.0 / 3.0, 11025, 10), 36750u * 8u);            // 110250 / 3 = 36750
    EXPECT_EQ(CursorBytePosition(1.0, 48000, 3599), 48000u * 3599u * 8u);
    EXPECT_EQ(CursorBytePosition(-0.1, 48000, 60), 0u);
}

TEST(TransportLogic, SectionButtonsStopAtTheEnds) {
    CSections sections;  // [0, .25) [.25, .5) [.5, .75) [.75, 1]
    struct Case {
        const char* name;
        double cursor;
        int direction;
        std::optional<double> target;
    };
    const Case cases[] = {
        {"previous on the first does nothing", 0.1, -1, std::nullopt},
        {"next on the last does nothing", 0.9, +1, std::nullopt},
        {"next from the first", 0.0, +1, 0.25},
        {"previous from the last", 0.8, -1, 0.5},
        {"on a boundary the section starting there counts", 0.5, -1, 0.25},
        {"the cursor at 1 counts as the first section", 1.0, +1, 0.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SectionStepTarget(sections, c.cursor, 11025, 64, c.direction), c.target);
    }
    // 10 s at 11025 Hz: the start 0.25 lies between frames 27562 and 27563.
    // A cursor on it belongs to the section that starts there, so the
    // buttons move on instead of returning to the same start.
    EXPECT_EQ(SectionStepTarget(sections, 0.25, 11025, 10, +1), std::optional<double>(0.5));
    EXPECT_EQ(SectionStepTarget(sections, 0.25, 11025, 10, -1), std::optional<double>(0.0));
    EXPECT_EQ(SectionStepTarget(sections, 0.2499, 11025, 10, +1), std::optional<double>(0.25));
}

}  // namespace
}  // namespace dw
