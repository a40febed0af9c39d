#include "cli/ConsoleProgress.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <utility>

namespace dw::cli {

namespace {

volatile std::sig_atomic_t g_cancel = 0;

extern "C" void OnCancelSignal(int) { g_cancel = 1; }

constexpr int kBarWidth = 24;

}  // namespace

ProgressMode ProgressModeFor(bool quiet, bool terminal) {
    if (quiet) return ProgressMode::Quiet;
    return terminal ? ProgressMode::Bar : ProgressMode::Lines;
}

std::string FormatDuration(double seconds) {
    const long total = seconds > 0.0 ? static_cast<long>(seconds + 0.5) : 0;
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string FormatProgressBar(std::string_view label, int percent, double elapsedSeconds) {
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kBarWidth / 100;
    std::string line(label);
    line += "  [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBarWidth - filled), '.');
    char tail[16];
    std::snprintf(tail, sizeof tail, "] %3d%%  ", percent);
    line += tail;
    line += FormatDuration(elapsedSeconds) + " elapsed";
    // Before 1% there is nothing to extrapolate from.
    if (percent > 0 && percent < 100) {
        const double remaining = elapsedSeconds * (100 - percent) / percent;
        line += ", " + FormatDuration(remaining) + " left";
    }
    return line;
}

ConsoleProgress::ConsoleProgress(std::ostream& err, ProgressMode mode,
                                 std::function<Clock::time_point()> now)
    : err_(err), mode_(mode), now_(std::move(now)) {}

void ConsoleProgress::BeginStage(std::string_view label) {
    EndStage();
    label_ = label;
    started_ = now_();
    lastPercent_ = -1;
}

void ConsoleProgress::EndStage() {
    if (barOpen_) {
        err_ << '\n' << std::flush;
        barOpen_ = false;
    }
}

void ConsoleProgress::SetProgress(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (mode_ == ProgressMode::Quiet || percent == lastPercent_) return;
    const double elapsed = std::chrono::duration<double>(now_() - started_).count();
    if (mode_ == ProgressMode::Bar) {
        // Erase to the end of the line: the remaining-time part can shrink.
        err_ << '\r' << FormatProgressBar(label_, percent, elapsed) << "\x1b[K" << std::flush;
        barOpen_ = true;
    } else {
        // One line per tenth, and one more each time the work starts a new pass
        // (the engine plans, then renders, each from 0 to 100).
        if (lastPercent_ < 0 || percent / 10 != lastPercent_ / 10)
            err_ << label_ << ": " << percent << "% (" << FormatDuration(elapsed) << ")\n" << std::flush;
    }
    lastPercent_ = percent;
}

bool ConsoleProgress::IsRunning() const { return !CancelRequested(); }

void ConsoleProgress::ShowMessage(int, std::string_view text, MessageIcon) {
    BreakBarLine();
    err_ << "driftwell-cli: " << text << '\n' << std::flush;
}

void ConsoleProgress::BreakBarLine() {
    // A message must not be drawn over by the next bar, nor glued to its end.
    if (barOpen_) {
        err_ << '\n';
        barOpen_ = false;
        lastPercent_ = -1;
    }
}

void InstallCancelHandlers() {
    struct sigaction action {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CancelRequested() { return g_cancel != 0; }

void ResetCancelForTests() { g_cancel = 0; }

}  // namespace dw::cli
