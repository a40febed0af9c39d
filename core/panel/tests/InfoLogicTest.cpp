// The control panel's corrections: music length and base motif length input,
// the motif formats, percentages and how the picker shows a stored length.

#include <gtest/gtest.h>

#include "core/panel/InfoLogic.h"

namespace dw {
namespace {

TEST(InfoLogic, MusicLengthCorrections) {
    struct Case {
        const char* name;
        std::uint32_t secs;
        double motif;
        std::uint32_t stored;
    };
    const Case cases[] = {
        {"00:05 becomes 00:10", 5, 2.0, 10},
        {"00:00 becomes 00:10", 0, 2.0, 10},
        {"exactly 10 stays", 10, 2.0, 10},
        {"00:11 with a 12.5 s motif becomes 00:13", 11, 12.5, 13},
        {"00:05 with a 12.5 s motif becomes 00:13", 5, 12.5, 13},
        {"a whole motif length is enough", 15, 15.0, 15},
        {"ordinary value kept", 754, 4.0, 754},
        {"59:59 kept", 3599, 20.0, 3599},
        {"an hour or more is brought below the hour", 3600, 2.0, 3599},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CorrectMusicLength(c.secs, c.motif), c.stored);
    }
}

TEST(InfoLogic, BaseMotifLengthCorrections) {
    struct Case {
        const char* text;
        std::uint32_t musicLength;
        double stored;
        const char* shown;
    };
    const Case cases[] = {
        {"1", 64, 2.0, "2.000"},
        {"25", 64, 20.0, "20.000"},
        {"abc", 64, 2.0, "2.000"},
        {"", 64, 2.0, "2.000"},
        {"18", 15, 15.0, "15.000"},
        {"2", 64, 2.0, "2.000"},
        {"20", 64, 20.0, "20.000"},
        {"12.5", 64, 12.5, "12.500"},
        {"  7.25s", 64, 7.25, "7.250"},  // leading blanks skipped, trailing text ignored
        {"-5", 64, 2.0, "2.000"},
        {"nan", 64, 2.0, "2.000"},
        {"inf", 64, 20.0, "20.000"},
        {"1e400", 64, 20.0, "20.000"},
        {"3.14159", 64, 3.14159, "3.142"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const double v = CorrectBaseMotifLength(c.text, c.musicLength);
        EXPECT_DOUBLE_EQ(v, c.stored);
        EXPECT_EQ(FormatMotifAfterInput(v), c.shown);
    }
    EXPECT_EQ(FormatMotifOnRefresh(4.0), "4.000");
    EXPECT_EQ(FormatMotifOnRefresh(12.3456), "12.346");
}

TEST(InfoLogic, PercentagesRoundToNearest) {
    struct Case {
        double fraction;
        int percent;
    };
    const Case cases[] = {{0.29, 29}, {0.57, 57}, {0.58, 58}, {1.0, 100}, {0.0, 0}, {0.004, 0}, {0.005, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fraction);
        EXPECT_EQ(PercentOf(c.fraction), c.percent);
    }
}

TEST(InfoLogic, PickerShowsTheStoredLength) {
    struct Case {
        std::uint32_t length;
        int h, m, s;
        bool withHours, displayable;
    };
    const Case cases[] = {
        {64, 0, 1, 4, false, true},
        {3599, 0, 59, 59, false, true},
        {3600, 1, 0, 0, true, true},
        {7384, 2, 3, 4, true, true},
        {86400, 23, 59, 59, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const PickerTime t = PickerTimeOf(c.length);
        EXPECT_EQ(t.hours, c.h);
        EXPECT_EQ(t.minutes, c.m);
        EXPECT_EQ(t.seconds, c.s);
        EXPECT_EQ(t.withHours, c.withHours);
        EXPECT_EQ(t.displayable, c.displayable);
    }
}

}  // namespace
}  // namespace dw
