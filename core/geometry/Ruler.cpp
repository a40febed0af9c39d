#include "core/geometry/Ruler.h"

#include <cmath>
#include <cstdio>

namespace dw {

std::string FormatMinutesSeconds(double seconds) {
    const int minutes = static_cast<int>(seconds / 60.0);
    const int rest = static_cast<int>(std::fmod(seconds, 60.0));
    char text[32];
    std::snprintf(text, sizeof text, "%2.2d:%2.2d", minutes, rest);
    return text;
}

std::vector<RulerTick> RulerTicks(int width, double seconds) {
    std::vector<RulerTick> ticks;
    ticks.reserve(50);
    const double step = width / 50.0;
    for (int i = 0; i < 50; ++i) {
        RulerTick tick;
        tick.x = static_cast<int>(i * step) + 1;
        tick.length = i % 5 == 0 ? 4 : 2;
        if (i % 5 == 0 && i != 0) tick.label = FormatMinutesSeconds(i / 50.0 * seconds);
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

}  // namespace dw
