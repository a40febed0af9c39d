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

#include "model/Progress.h"

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
    void BeginStage(std::string_view label);
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
    int lastPercent_ = -1;
    bool barOpen_ = false;
};

// Ctrl+C (SIGINT) and SIGTERM ask the running work to stop instead of ending
// the process; ConsoleProgress::IsRunning then answers false.
void InstallCancelHandlers();
bool CancelRequested();
void ResetCancelForTests();

}  // namespace dw::cli
