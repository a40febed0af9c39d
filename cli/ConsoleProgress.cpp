#include "cli/ConsoleProgress.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <utility>

namespace dw::cli {

namespace {

volatile std::sig_atomic_t g_cancel = 0;

extern "C" void OnCancelSignal(int signal) { g_cancel = signal; }

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

int OverallPercent(const std::vector<int>& weights, std::size_t pass, int percent) {
    percent = std::clamp(percent, 0, 100);
    if (weights.empty()) return percent;
    pass = std::min(pass, weights.size() - 1);
    long total = 0, before = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        total += weights[i];
        if (i < pass) before += weights[i];
    }
    if (total <= 0) return percent;
    return static_cast<int>((before * 100 + static_cast<long>(weights[pass]) * percent) / total);
}

void ConsoleProgress::BeginStage(std::string_view label, std::vector<int> passWeights) {
    EndStage();
    label_ = label;
    started_ = now_();
    passWeights_ = std::move(passWeights);
    pass_ = 0;
    lastReported_ = -1;
    lastPercent_ = -1;
}

void ConsoleProgress::EndStage() {
    if (barOpen_) {
        err_ << '\n' << std::flush;
        barOpen_ = false;
    }
}

void ConsoleProgress::SetProgress(int reported) {
    // Work that stops for a cancel may still report its end on the way out;
    // a bar that then reaches 100% would tell of work that was not done.
    if (CancelRequested()) return;
    reported = std::clamp(reported, 0, 100);
    if (reported < lastReported_ && pass_ + 1 < passWeights_.size()) ++pass_;
    lastReported_ = reported;
    // Never back: a pass that reports less than the bar shows waits for it.
    const int percent = std::max(OverallPercent(passWeights_, pass_, reported), lastPercent_);
    if (mode_ == ProgressMode::Quiet || percent == lastPercent_) return;
    const double elapsed = std::chrono::duration<double>(now_() - started_).count();
    if (mode_ == ProgressMode::Bar) {
        // Erase to the end of the line: the remaining-time part can shrink.
        err_ << '\r' << FormatProgressBar(label_, percent, elapsed) << "\x1b[K" << std::flush;
        barOpen_ = true;
    } else {
        // One line per tenth.
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
        // The bar is drawn again at the next report, where it was.
        lastPercent_ = std::max(lastPercent_ - 1, -1);
    }
}

void InstallCancelHandlers() {
    struct sigaction action {};
    action.sa_handler = OnCancelSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CancelRequested() { return g_cancel != 0; }

int CancelSignal() { return g_cancel; }

void ResetCancelForTests() { g_cancel = 0; }

}  // namespace dw::cli
