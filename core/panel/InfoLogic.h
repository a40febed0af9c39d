#pragma once
// The control panel's corrections and formats, free of Qt: what the music
// length picker and the base motif edit box make of what the user typed, how
// values are shown, and how the picker shows a stored length. Out-of-range
// input is corrected, never refused.

#include <cstdint>
#include <string>
#include <string_view>

namespace dw {

// The music length the picker's `secs` becomes: at least 10 s, at least the
// base motif length rounded up, at most 3599 s (the picker's mm:ss range).
std::uint32_t CorrectMusicLength(std::uint32_t secs, double baseMotifLength);

// The base motif length typed as `text`: its leading decimal number (none
// counts as 0); 2 or less, or no number, becomes 2; 20 or more becomes 20;
// then no more than `musicLength`.
double CorrectBaseMotifLength(std::string_view text, std::uint32_t musicLength);

// "%2.3f" after input, "%.3f" on a refresh.
std::string FormatMotifAfterInput(double seconds);
std::string FormatMotifOnRefresh(double seconds);

// A fraction 0 to 1 as a whole percentage, rounded to nearest (0.29 is 29,
// not the 28 that truncating 28.999999999999996 would give).
int PercentOf(double fraction);

// How the picker shows a stored length. Below one hour it is "mm:ss"; a
// longer length (only a project file from elsewhere can hold one) is shown
// with its hours, so the picker never shows a value other than the stored
// one. `displayable` is false past 23:59:59, which no time picker can show.
struct PickerTime {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    bool withHours = false;
    bool displayable = true;
};
PickerTime PickerTimeOf(std::uint32_t musicLength);

}  // namespace dw
