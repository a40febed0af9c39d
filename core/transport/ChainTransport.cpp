#include "core/transport/ChainTransport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace dw {

namespace {

std::optional<double> Number(std::string_view text) {
    if (text.empty() || text.size() > 32) return std::nullopt;
    int dots = 0;
    for (const char c : text) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    if (dots > 1 || text == ".") return std::nullopt;
    const std::string copy(text);
    const double value = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> ParseDurationText(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    const char unit = text.back();
    if (unit == 'h' || unit == 'm' || unit == 's') {
        std::string_view number = text.substr(0, text.size() - 1);
        while (!number.empty() && number.back() == ' ') number.remove_suffix(1);
        const auto n = Number(number);
        if (!n) return std::nullopt;
        return *n * (unit == 'h' ? 3600.0 : unit == 'm' ? 60.0 : 1.0);
    }
    double total = 0.0;
    int parts = 0;
    for (std::size_t start = 0;;) {
        const std::size_t colon = text.find(':', start);
        const std::string_view part = text.substr(start, colon == std::string_view::npos ? colon : colon - start);
        const auto n = Number(part);
        if (!n || ++parts > 3) return std::nullopt;
        // After a colon, minutes and seconds are below 60; only the last part may have a fraction.
        if (parts > 1 && *n >= 60.0) return std::nullopt;
        total = total * 60.0 + *n;
        if (colon == std::string_view::npos) break;
        if (part.find('.') != std::string_view::npos) return std::nullopt;
        start = colon + 1;
    }
    return total;
}

double ChainCrossfadeSeconds(std::uint32_t pieceSeconds) {
    return std::min(30.0, std::floor(pieceSeconds / 2.0));
}

std::vector<int> SleepTimerChoices() { return {0, 15, 30, 60, 90}; }

float SleepGain(double secondsLeft) {
    if (!(secondsLeft > 0.0)) return 0.0f;
    if (secondsLeft >= kSleepFadeSeconds) return 1.0f;
    return static_cast<float>(std::sin(0.5 * 3.14159265358979323846 * secondsLeft / kSleepFadeSeconds));
}

std::string SleepLeftText(double secondsLeft) {
    const auto whole = static_cast<long long>(std::ceil(std::max(0.0, secondsLeft)));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

void SleepCountdown::Set(int minutes) {
    minutes_ = std::max(0, minutes);
    played_ = 0.0;
}

void SleepCountdown::Advance(double seconds) {
    if (On() && seconds > 0.0) played_ += seconds;
}

double SleepCountdown::SecondsLeft() const { return std::max(0.0, minutes_ * 60.0 - played_); }

std::uint64_t EndlessSchedule::CreationLeadFrames() const { return std::max<std::uint64_t>(pieceFrames / 2, 1); }

bool EndlessSchedule::ShouldCreateNext(std::uint64_t position) const {
    const std::uint64_t start = CrossfadeStart();
    const std::uint64_t lead = CreationLeadFrames();
    return position + lead >= start;
}

}  // namespace dw
