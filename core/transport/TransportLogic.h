#pragma once
// The arithmetic of the transport bar and its time display, free of Qt so
// that it is tested on its own: where each control stands, which digits the
// display shows, the byte position Play starts at, and where the previous and
// next section buttons move the play cursor.

#include <array>
#include <cstdint>
#include <optional>

namespace dw {

class CSections;

// x of each control of the transport bar for a band from `bandLeft` to
// `bandRight`; the volume window sits at the right end of the client area.
struct ControlbarLayout {
    int stop, pause, play, display, start, previous, next, volume;
    int y;  // every control is 40 high and vertically centred
};
ControlbarLayout ComputeControlbarLayout(int bandLeft, int bandRight, int clientWidth, int clientHeight);

// The five digits of the display (minutes tens and units, seconds tens and
// units, tenths) for fraction `fraction` of a music of `musicLength` seconds.
// A fraction outside 0 to 1 counts as 0.
std::array<int, 5> DisplayDigits(std::uint32_t musicLength, double fraction);

// x of each of the five digits for digits `digitWidth` wide: one pixel between
// the digits of a pair, nine where the colon and the decimal point stand.
std::array<int, 5> DisplayDigitX(int digitWidth);

// The byte position of the play cursor in music of `sampleRate` x
// `musicLength` frames: truncate(cursor x frames) x 8, the frame count taken
// as an unsigned 32-bit value.
std::uint32_t CursorBytePosition(double cursor, std::uint32_t sampleRate, std::uint32_t musicLength);

// Where the previous (`direction` -1) or next (+1) section button moves the
// play cursor; nothing at the first or last section. The current section is
// the one under the play cursor rounded down to a whole frame.
std::optional<double> SectionStepTarget(const CSections& sections, double cursor, std::uint32_t sampleRate,
                                        std::uint32_t musicLength, int direction);

}  // namespace dw
