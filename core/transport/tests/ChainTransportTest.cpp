#include "core/transport/ChainTransport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace dw {
namespace {

struct DurationCase {
    const char* name;
    const char* text;
    std::optional<double> seconds;
};

class DurationTextTest : public ::testing::TestWithParam<DurationCase> {};

TEST_P(DurationTextTest, ReadsWhatPeopleType) {
    const DurationCase& c = GetParam();
    EXPECT_EQ(ParseDurationText(c.text), c.seconds) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DurationTextTest,
    ::testing::Values(DurationCase{"Seconds", "600", 600.0}, DurationCase{"Hours", "8h", 8 * 3600.0},
                      DurationCase{"FractionOfHours", "1.5h", 5400.0}, DurationCase{"Minutes", "90m", 5400.0},
                      DurationCase{"SecondsUnit", "45s", 45.0}, DurationCase{"Clock", "1:30:00", 5400.0},
                      DurationCase{"MinutesSeconds", "2:05", 125.0}, DurationCase{"Spaces", "  3h ", 3 * 3600.0},
                      DurationCase{"SpaceBeforeUnit", "20 m", 1200.0}, DurationCase{"Zero", "0", 0.0},
                      DurationCase{"Empty", "", std::nullopt}, DurationCase{"Words", "an hour", std::nullopt},
                      DurationCase{"Negative", "-1h", std::nullopt}, DurationCase{"SixtyMinutes", "1:60:00", std::nullopt},
                      DurationCase{"FourParts", "1:1:1:1", std::nullopt}, DurationCase{"TwoDots", "1.2.3", std::nullopt},
                      DurationCase{"FractionBeforeColon", "1.5:00", std::nullopt},
                      DurationCase{"UnknownUnit", "3d", std::nullopt}, DurationCase{"UnitOnly", "h", std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ChainCrossfade, ThirtySecondsOrHalfAShortPiece) {
    EXPECT_EQ(ChainCrossfadeSeconds(600), 30.0);
    EXPECT_EQ(ChainCrossfadeSeconds(60), 30.0);
    EXPECT_EQ(ChainCrossfadeSeconds(10), 5.0);
    EXPECT_EQ(ChainCrossfadeSeconds(11), 5.0);
}

struct GainCase {
    const char* name;
    double left;
    float gain;
};

class SleepGainTest : public ::testing::TestWithParam<GainCase> {};

TEST_P(SleepGainTest, FadesOverTheLastMinute) {
    EXPECT_NEAR(SleepGain(GetParam().left), GetParam().gain, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SleepGainTest,
                         ::testing::Values(GainCase{"HourLeft", 3600.0, 1.0f}, GainCase{"MinuteLeft", 60.0, 1.0f},
                                           GainCase{"HalfMinute", 30.0, static_cast<float>(std::sqrt(0.5))},
                                           GainCase{"Ended", 0.0, 0.0f}, GainCase{"Past", -5.0, 0.0f}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(SleepGain, FallsSteadilyWithinTheFade) {
    float before = SleepGain(60.0);
    for (double left = 59.5; left > 0.0; left -= 0.5) {
        const float g = SleepGain(left);
        ASSERT_LT(g, before) << left;
        before = g;
    }
}

struct LeftCase {
    const char* name;
    double left;
    const char* text;
};

class SleepLeftTextTest : public ::testing::TestWithParam<LeftCase> {};

TEST_P(SleepLeftTextTest, ShowsMinutesAndSecondsRoundedUp) {
    EXPECT_EQ(SleepLeftText(GetParam().left), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, SleepLeftTextTest,
                         ::testing::Values(LeftCase{"NinetyMinutes", 5400.0, "1:30:00"},
                                           LeftCase{"JustUnderAnHour", 3599.2, "1:00:00"},
                                           LeftCase{"Minutes", 845.0, "14:05"}, LeftCase{"Tenth", 0.1, "0:01"},
                                           LeftCase{"Out", 0.0, "0:00"}, LeftCase{"Negative", -3.0, "0:00"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(SleepCountdown, CountsPlayingTimeFadesThenExpires) {
    SleepCountdown timer;
    EXPECT_FALSE(timer.On());
    timer.Advance(10.0);
    EXPECT_EQ(timer.Gain(), 1.0f) << "off: no fade";
    EXPECT_FALSE(timer.Expired());

    timer.Set(15);
    EXPECT_EQ(timer.SecondsLeft(), 900.0);
    timer.Advance(840.0);
    EXPECT_EQ(timer.Gain(), 1.0f);
    timer.Advance(30.0);
    EXPECT_NEAR(timer.Gain(), std::sqrt(0.5), 1e-6);
    EXPECT_FALSE(timer.Expired());
    timer.Advance(-100.0);  // a clock going back counts nothing
    EXPECT_EQ(timer.SecondsLeft(), 30.0);
    timer.Advance(31.0);
    EXPECT_TRUE(timer.Expired());
    EXPECT_EQ(timer.Gain(), 0.0f);

    timer.Set(30);  // a new choice starts again from its full length
    EXPECT_EQ(timer.SecondsLeft(), 1800.0);
    timer.Set(0);
    EXPECT_FALSE(timer.Expired());
}

struct ScheduleCase {
    const char* name;
    std::uint64_t piece, crossfade, position;
    bool create;
};

class EndlessScheduleTest : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(EndlessScheduleTest, StartsCreatingHalfAPieceBeforeTheCrossfade) {
    const ScheduleCase& c = GetParam();
    const EndlessSchedule s{c.piece, c.crossfade};
    EXPECT_EQ(s.ShouldCreateNext(c.position), c.create);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndlessScheduleTest,
                         ::testing::Values(ScheduleCase{"Start", 600, 30, 0, false},
                                           ScheduleCase{"JustBeforeLead", 600, 30, 269, false},
                                           ScheduleCase{"AtLead", 600, 30, 270, true},
                                           ScheduleCase{"InCrossfade", 600, 30, 580, true},
                                           ScheduleCase{"ShortPieceAtOnce", 10, 5, 0, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(EndlessSchedule, TheNextPieceGoesOnAfterItsCrossfade) {
    const EndlessSchedule s{110250, 55125};
    EXPECT_EQ(s.CrossfadeStart(), 55125u);
    EXPECT_EQ(s.PositionAfterSwap(), 55125u);
}

}  // namespace
}  // namespace dw
