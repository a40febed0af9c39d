// The progress display: what a terminal, a log and --quiet each get.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ConsoleProgress.h"

namespace dw::cli {
namespace {

TEST(FormatDuration, MinutesSecondsAndHours) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0.0, "0:00"}, {-3.0, "0:00"}, {4.4, "0:04"}, {4.6, "0:05"}, {65.0, "1:05"}, {3599.0, "59:59"}, {3723.0, "1:02:03"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDuration(c.seconds), c.text) << c.seconds;
}

TEST(FormatProgressBar, ShowsPercentElapsedAndRemaining) {
    EXPECT_EQ(FormatProgressBar("Creating music", 50, 4.0),
              "Creating music  [############............]  50%  0:04 elapsed, 0:04 left");
    // Nothing to extrapolate from at 0%, nothing left at 100%.
    EXPECT_EQ(FormatProgressBar("Loading music", 0, 0.0),
              "Loading music  [........................]   0%  0:00 elapsed");
    EXPECT_EQ(FormatProgressBar("Loading music", 100, 7.0),
              "Loading music  [########################] 100%  0:07 elapsed");
    // Out-of-range reports are drawn clamped rather than overrunning the bar.
    EXPECT_EQ(FormatProgressBar("x", 250, 1.0), FormatProgressBar("x", 100, 1.0));
    EXPECT_EQ(FormatProgressBar("x", -5, 1.0), FormatProgressBar("x", 0, 1.0));
}

class ConsoleProgressTest : public ::testing::Test {
protected:
    ConsoleProgress::Clock::time_point now{};
    std::ostringstream err;
    ConsoleProgress Make(ProgressMode mode) {
        return ConsoleProgress(err, mode, [this] { return now; });
    }
};

TEST_F(ConsoleProgressTest, LinesModePrintsOneLinePerTenthAndEachNewPass) {
    ConsoleProgress progress = Make(ProgressMode::Lines);
    progress.BeginStage("Creating music");
    for (int p : {0, 3, 9, 10, 15, 55, 100, 100}) progress.SetProgress(p);
    progress.SetProgress(0);  // the next pass of the work starts over
    EXPECT_EQ(err.str(),
              "Creating music: 0% (0:00)\n"
              "Creating music: 10% (0:00)\n"
              "Creating music: 55% (0:00)\n"
              "Creating music: 100% (0:00)\n"
              "Creating music: 0% (0:00)\n");
}

TEST_F(ConsoleProgressTest, BarModeRedrawsInPlaceAndKeepsMessagesOnTheirOwnLine) {
    ConsoleProgress progress = Make(ProgressMode::Bar);
    progress.BeginStage("Loading music");
    progress.SetProgress(10);
    now += std::chrono::seconds(2);
    progress.SetProgress(20);
    progress.ShowMessage(61001, "Error: Open failed for the music source file", MessageIcon::Exclamation);
    const std::string text = err.str();
    EXPECT_NE(text.find("\rLoading music  [##"), std::string::npos) << text;
    EXPECT_NE(text.find(" 20%  0:02 elapsed, 0:08 left"), std::string::npos) << text;
    // The message starts on a fresh line and ends with one.
    EXPECT_NE(text.find("\x1b[K\ndriftwell-cli: Error: Open failed for the music source file\n"), std::string::npos)
        << text;
}

TEST_F(ConsoleProgressTest, QuietShowsOnlyMessages) {
    ConsoleProgress progress = Make(ProgressMode::Quiet);
    progress.BeginStage("Creating music");
    for (int p = 0; p <= 100; p += 5) progress.SetProgress(p);
    progress.EndStage();
    EXPECT_EQ(err.str(), "");
    progress.ShowMessage(0, "Error: Output allocation failed", MessageIcon::Exclamation);
    EXPECT_EQ(err.str(), "driftwell-cli: Error: Output allocation failed\n");
}

}  // namespace
}  // namespace dw::cli
