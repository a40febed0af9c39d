#pragma once
// How the command line shows long work (decoding, creating, writing): a bar
// redrawn in place on standard error when it is a terminal, a plain line per
// tenth otherwise (logs, pipes, CI), nothing with --quiet. The core's messages
// always reach standard error, quiet or not, because they explain a failure.
//
// Used on the one thread that runs the work. Ctrl+C does not kill the program
// half-way through a write: it asks the work to stop at its next check, which
// leaves no partial output behind.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/Progress.h"

namespace dw::cli {

enum class ProgressMode { Bar, Lines, Quiet };

// Bar on a terminal, lines otherwise, Quiet when asked.
ProgressMode ProgressModeFor(bool quiet, bool terminal);

// "Creating music  [##########..........]  50%  0:04 elapsed, 0:04 left"; the
// remaining time is left out until there is something to estimate it from.
std::string FormatProgressBar(std::string_view label, int percent, double elapsedSeconds);

// "1:05" for 65 seconds; hours when needed ("1:02:03").
std::string FormatDuration(double seconds);

class ConsoleProgress final : public IProgress {
public:
    using Clock = std::chrono::steady_clock;

    ConsoleProgress(std::ostream& err, ProgressMode mode,
                    std::function<Clock::time_point()> now = Clock::now);

    // Starts showing a new piece of work ("Loading music", "Creating music").
    // Work that reports in several passes, each from 0 to 100 (the engine
    // plans, sequences, then renders), names their shares of the bar in
    // `passWeights`: a report below the one before starts the next pass, so
    // the bar runs once from 0 to 100 and never goes back.
    void BeginStage(std::string_view label, std::vector<int> passWeights = {});
    // Finishes the current bar's line, if any.
    void EndStage();

    void SetProgress(int percent) override;
    bool IsRunning() const override;
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;

private:
    void BreakBarLine();

    std::ostream& err_;
    ProgressMode mode_;
    std::function<Clock::time_point()> now_;
    std::string label_;
    Clock::time_point started_{};
    std::vector<int> passWeights_;
    std::size_t pass_ = 0;
    int lastReported_ = -1;  // the work's own last percentage, within its pass
    int lastPercent_ = -1;   // the bar's
    bool barOpen_ = false;
};

// The whole stage's percentage for a report of `percent` within pass `pass`
// of passes weighing `weights` (an empty list: one pass).
int OverallPercent(const std::vector<int>& weights, std::size_t pass, int percent);

// Ctrl+C (SIGINT) and SIGTERM ask the running work to stop instead of ending
// the process; ConsoleProgress::IsRunning then answers false. A second one
// ends the process at once (the writer leaves nothing behind either way).
void InstallCancelHandlers();
bool CancelRequested();
// The signal that asked to stop (SIGINT or SIGTERM), 0 when none did.
int CancelSignal();
void ResetCancelForTests();

}  // namespace dw::cli
