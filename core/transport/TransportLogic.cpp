#include "core/transport/TransportLogic.h"

#include <algorithm>

#include "core/model/Sections.h"

namespace dw {

ControlbarLayout ComputeControlbarLayout(int bandLeft, int bandRight, int clientWidth, int clientHeight) {
    const int x0 = (bandRight - bandLeft - 396) / 2 + bandLeft;
    ControlbarLayout l{};
    l.stop = x0;
    l.pause = x0 + 46;
    l.play = x0 + 92;
    l.display = x0 + 138;
    l.start = x0 + 264;
    l.previous = x0 + 310;
    l.next = x0 + 356;
    l.volume = clientWidth - 177;
    l.y = (clientHeight - 40) / 2;
    return l;
}

std::array<int, 5> DisplayDigits(std::uint32_t musicLength, double fraction) {
    if (!(fraction >= 0.0 && fraction <= 1.0)) fraction = 0.0;  // NaN too
    const double t = musicLength * fraction;
    const auto secs = static_cast<std::uint64_t>(t);
    const auto tenths = static_cast<int>((t - static_cast<double>(secs)) * 10.0);
    // The strip has the digits 0 to 9 only; music below 100 minutes never
    // needs more, and a longer one shows its minutes modulo 100 rather than
    // reading outside the strip.
    return {static_cast<int>((secs / 600) % 10), static_cast<int>(secs / 60 - (secs / 600) * 10),
            static_cast<int>((secs % 60) / 10), static_cast<int>((secs % 60) % 10), std::min(tenths, 9)};
}

std::array<int, 5> DisplayDigitX(int w) {
    std::array<int, 5> x{};
    x[0] = 13;
    x[1] = x[0] + w + 1;
    x[2] = x[1] + w + 9;
    x[3] = x[2] + w + 1;
    x[4] = x[3] + w + 9;
    return x;
}

std::uint32_t CursorBytePosition(double cursor, std::uint32_t sampleRate, std::uint32_t musicLength) {
    const std::uint32_t frames = sampleRate * musicLength;  // unsigned 32-bit, as the stream counts
    if (!(cursor > 0.0)) return 0;
    if (cursor > 1.0) cursor = 1.0;
    return static_cast<std::uint32_t>(cursor * frames) * 8u;
}

std::optional<double> SectionStepTarget(const CSections& sections, double cursor, std::uint32_t sampleRate,
                                        std::uint32_t musicLength, int direction) {
    // The current section is found on whole frames, with the section starts
    // rounded down the same way as the cursor. Comparing the rounded cursor
    // with the exact starts would put a cursor that stands on a start which
    // is not a whole frame (0.25 of 110250 frames) into the section before,
    // and Next would then return to the same start for ever.
    const std::uint32_t frames = sampleRate * musicLength;
    int i = 0;
    if (frames == 0) {
        i = sections.FindSection(cursor);
    } else if (cursor >= 0.0 && cursor < 1.0) {
        const auto at = static_cast<std::uint64_t>(cursor * frames);
        for (int k = 0; k < sections.Count(); ++k)
            if (static_cast<std::uint64_t>(sections.At(k).start * frames) <= at) i = k;
    }
    const int target = i + (direction < 0 ? -1 : 1);
    if (target < 0 || target >= sections.Count()) return std::nullopt;
    return sections.At(target).start;
}

}  // namespace dw
