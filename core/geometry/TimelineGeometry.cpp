#include "core/geometry/TimelineGeometry.h"

#include <algorithm>
#include <cmath>

namespace dw {

std::vector<RulerTick> TimelineTicks(int width, std::uint32_t musicLength) { return RulerTicks(width, musicLength); }

std::vector<MotifBlock> MotifBlocks(int width, std::uint32_t musicLength, double baseMotifLength) {
    std::vector<MotifBlock> blocks;
    if (musicLength == 0 || !(baseMotifLength > 0.0) || width <= 0) return blocks;
    const double count = std::ceil(musicLength / baseMotifLength);
    const double e = width * baseMotifLength / musicLength;
    // A motif shorter than a pixel column would only draw a grey smear; the
    // count is bounded by the width so that a bad length cannot make it huge.
    const int n = static_cast<int>(std::min(count, static_cast<double>(width) + 1.0));
    blocks.reserve(n);
    for (int i = 0; i < n; ++i) blocks.push_back({static_cast<int>(e * i), static_cast<int>(e), i % 2 == 0});
    return blocks;
}

double CursorFromX(int x, int width) {
    if (width <= 0) return 0.0;
    const double f = static_cast<double>(x) / width;
    if (f <= 0.0) return 0.0;
    if (f >= 1.0) return 1.0;
    return f;
}

int CursorX(double cursor, int width) { return static_cast<int>(width * cursor); }

std::uint32_t MusicFrames(std::uint32_t sampleRate, std::uint32_t musicLength) { return sampleRate * musicLength; }

std::uint32_t SeekFrame(double fraction, std::uint32_t frames) {
    if (!(fraction > 0.0)) return 0;
    if (fraction >= 1.0) return frames;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(fraction * frames));
}

double PlayedFraction(std::uint64_t frame, std::uint32_t frames) {
    if (frames < 2) return 0.0;
    return static_cast<double>(frame) / (frames - 1);
}

double CurrentFractionOf(bool active, std::uint64_t frame, std::uint32_t frames, int mouseX, int width,
                         double playCursor) {
    if (active) return PlayedFraction(frame, frames);
    if (mouseX != -1 && width > 1) return static_cast<double>(mouseX) / (width - 1);
    return playCursor;
}

}  // namespace dw
