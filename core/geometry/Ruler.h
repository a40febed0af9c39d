#pragma once
// The time ruler that the timeline and the trim dialog draw: 50 ticks across
// the width, every fifth one long and labelled with minutes and seconds.

#include <string>
#include <vector>

namespace dw {

// One of the 50 ruler ticks. Ticks at multiples of 5 are long (4 pixels) and,
// except the first, carry a label; the others are 2 pixels long.
struct RulerTick {
    int x = 0;
    int length = 2;
    std::string label;  // empty when the tick has none
};

// "%2.2d:%2.2d" of whole minutes and seconds.
std::string FormatMinutesSeconds(double seconds);

// Tick i at trunc(i × width / 50) + 1 (the step is a double), labelled with
// i / 50 of `seconds`, the time the whole width stands for.
std::vector<RulerTick> RulerTicks(int width, double seconds);

}  // namespace dw
