#include "core/panel/InfoLogic.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/model/Properties.h"

namespace dw {

std::uint32_t CorrectMusicLength(std::uint32_t secs, double baseMotifLength) {
    if (secs <= kMinMusicLength) secs = kMinMusicLength;
    if (secs < baseMotifLength) secs = static_cast<std::uint32_t>(std::ceil(baseMotifLength));
    if (secs > kMaxMusicLength) secs = kMaxMusicLength;
    return secs;
}

double CorrectBaseMotifLength(std::string_view text, std::uint32_t musicLength) {
    // The leading number, as the C library reads it (leading blanks skipped);
    // the text is copied so that it ends with a terminator. strtod reads in
    // the C locale here: the program never changes LC_NUMERIC.
    const std::string s(text);
    const char* begin = s.c_str();
    char* end = nullptr;
    double v = std::strtod(begin, &end);
    const bool parsed = end != begin;
    if (!parsed || std::isnan(v) || v <= kMinBaseMotifLength)
        v = kMinBaseMotifLength;
    else if (v >= kMaxBaseMotifLength)  // also "inf" and numbers too large for a double
        v = kMaxBaseMotifLength;
    if (v > musicLength) v = musicLength;
    return v;
}

std::string FormatMotifAfterInput(double seconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2.3f", seconds);
    return buf;
}

std::string FormatMotifOnRefresh(double seconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", seconds);
    return buf;
}

int PercentOf(double fraction) { return static_cast<int>(std::lround(fraction * 100.0)); }

PickerTime PickerTimeOf(std::uint32_t musicLength) {
    PickerTime t;
    t.withHours = musicLength >= 3600;
    t.displayable = musicLength < 24u * 3600u;
    const std::uint32_t shown = t.displayable ? musicLength : 24u * 3600u - 1u;
    t.hours = static_cast<int>(shown / 3600);
    t.minutes = static_cast<int>((shown / 60) % 60);
    t.seconds = static_cast<int>(shown % 60);
    return t;
}

}  // namespace dw
