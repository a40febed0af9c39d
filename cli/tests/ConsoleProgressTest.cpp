// The progress display: what a terminal, a log and --quiet each get.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

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

TEST_F(ConsoleProgressTest, LinesModePrintsOneLinePerTenth) {
    ConsoleProgress progress = Make(ProgressMode::Lines);
    progress.BeginStage("Loading music");
    for (int p : {0, 3, 9, 10, 15, 55, 100, 100}) progress.SetProgress(p);
    EXPECT_EQ(err.str(),
              "Loading music: 0% (0:00)\n"
              "Loading music: 10% (0:00)\n"
              "Loading music: 55% (0:00)\n"
              "Loading music: 100% (0:00)\n");
}

TEST(OverallPercent, PassesFillTheirShareOfOneBar) {
    const std::vector<int> weights = {1, 1, 98};
    const struct {
        std::size_t pass;
        int percent;
        int overall;
    } cases[] = {
        {0, 0, 0}, {0, 100, 1}, {1, 50, 1}, {1, 100, 2}, {2, 0, 2}, {2, 50, 51}, {2, 100, 100},
        {7, 100, 100},  // more passes than announced stay in the last
        {2, 250, 100},  // clamped
    };
    for (const auto& c : cases) EXPECT_EQ(OverallPercent(weights, c.pass, c.percent), c.overall) << c.pass << " " << c.percent;
    EXPECT_EQ(OverallPercent({}, 3, 42), 42) << "no weights: one pass";
}

TEST_F(ConsoleProgressTest, WorkInSeveralPassesRunsOneBarOnceAndNeverBack) {
    // Planning, sequencing and rendering each report 0 to 100.
    ConsoleProgress progress = Make(ProgressMode::Lines);
    progress.BeginStage("Creating music", {10, 10, 80});
    for (int p : {0, 50, 100, 100}) progress.SetProgress(p);
    for (int p : {0, 100}) progress.SetProgress(p);
    for (int p : {0, 25, 50, 75, 100}) progress.SetProgress(p);
    EXPECT_EQ(err.str(),
              "Creating music: 0% (0:00)\n"
              "Creating music: 10% (0:00)\n"
              "Creating music: 20% (0:00)\n"
              "Creating music: 40% (0:00)\n"
              "Creating music: 60% (0:00)\n"
              "Creating music: 80% (0:00)\n"
              "Creating music: 100% (0:00)\n");
    // A new stage starts its own bar from the start.
    err.str("");
    progress.BeginStage("Writing out.wav");
    progress.SetProgress(0);
    EXPECT_EQ(err.str(), "Writing out.wav: 0% (0:00)\n");
}

TEST_F(ConsoleProgressTest, TheTimeLeftStaysSteadyAcrossPasses) {
    // Two short passes then the long one, at a steady pace: the estimate
    // must not jump back up when a pass starts over.
    ConsoleProgress progress = Make(ProgressMode::Bar);
    progress.BeginStage("Creating music", {1, 1, 98});
    progress.SetProgress(100);
    progress.SetProgress(0);
    progress.SetProgress(100);
    for (int p = 0; p <= 50; p += 10) {
        now += std::chrono::milliseconds(980);  // 9.8 s for 10 % of the last pass
        progress.SetProgress(p);
    }
    const std::string text = err.str();
    EXPECT_NE(text.find(" 51%  0:06 elapsed, 0:06 left"), std::string::npos) << text;
    // Every redraw shows at least what the one before showed.
    int shown = -1;
    for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
        const int percent = std::stoi(text.substr(text.find(']', at) + 1, 4));
        EXPECT_GE(percent, shown) << text;
        shown = percent;
    }
    EXPECT_EQ(shown, 51);
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
