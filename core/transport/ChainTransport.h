#pragma once
// The Qt-free arithmetic of the program's long listening: the duration typed
// or chosen for Write Music to File, the sleep timer's fade and the time it
// shows, and when endless play starts creating the next variation and where
// it crossfades it in. The widgets only show these numbers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dw {

// A duration as a person types it: seconds ("600"), h:mm:ss or m:ss
// ("1:30:00", "90:00"), or a number with a unit ("90m", "8h", "45s",
// "1.5h"). Surrounding spaces are ignored. None when it is not one; a zero is
// returned as 0 (the caller refuses it).
std::optional<double> ParseDurationText(std::string_view text);

// The longest chain the program writes; beyond it a mistyped unit is likelier than a wish.
inline constexpr double kLongestWrittenChainSeconds = 1000.0 * 3600.0;
// The chain's crossfade: 30 s, or half a piece when pieces are shorter than a minute.
double ChainCrossfadeSeconds(std::uint32_t pieceSeconds);

// ---------------------------------------------------------------- sleep timer
// The offered sleep timers in minutes; 0 is Off.
std::vector<int> SleepTimerChoices();
// The fade: the last minute of the timer. The gain follows a quarter sine
// from 1 at a minute left down to 0 at the end, so the fall is gentle at first
// and the music is inaudible before it stops.
inline constexpr double kSleepFadeSeconds = 60.0;
float SleepGain(double secondsLeft);
// The time left as the bar shows it: "1:29:59", "14:05", "0:09" (rounded up,
// so "0:00" is shown only when the timer ran out).
std::string SleepLeftText(double secondsLeft);

// A countdown of playing time: it runs only while the music plays.
class SleepCountdown {
public:
    // `minutes` 0 switches the timer off.
    void Set(int minutes);
    int Minutes() const { return minutes_; }
    bool On() const { return minutes_ > 0; }
    // Counts `seconds` of playing.
    void Advance(double seconds);
    double SecondsLeft() const;
    float Gain() const { return On() ? SleepGain(SecondsLeft()) : 1.0f; }
    // True once an armed timer has run out: playback must stop.
    bool Expired() const { return On() && SecondsLeft() <= 0.0; }

private:
    int minutes_ = 0;
    double played_ = 0.0;
};

// ---------------------------------------------------------------- endless play
// Endless play joins variation k + 1 to variation k as a chain does: the
// last C frames of the playing piece sound with the first C of the next.
struct EndlessSchedule {
    std::uint64_t pieceFrames = 0;      // L
    std::uint64_t crossfadeFrames = 0;  // C (at most L / 2)
    // How long before the crossfade the next creation starts, so that even
    // a slow creation is ready in time: half the piece, at least.
    std::uint64_t CreationLeadFrames() const;
    // The frame of the playing piece at which the next one fades in.
    std::uint64_t CrossfadeStart() const { return pieceFrames - crossfadeFrames; }
    // Whether, at `position` of the playing piece, the next one should be
    // being created.
    bool ShouldCreateNext(std::uint64_t position) const;
    // Where the next piece goes on after the swap: the crossfade's frames of
    // it have already sounded.
    std::uint64_t PositionAfterSwap() const { return crossfadeFrames; }
};

}  // namespace dw
