#include "core/geometry/TrimGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dw {

namespace {
// Pixels to fractions: the last column stands for the end of the source. A
// wave area narrower than two columns has no room for a range: it maps to 0.
double Fraction(int p, int width) { return width > 1 ? static_cast<double>(p) / (width - 1) : 0.0; }
}  // namespace

TrimLayout TrimLayoutFor(int frameWidth, int frameHeight) {
    TrimLayout layout;
    layout.width = std::max(frameWidth - 4, 0);
    layout.waveHeight = std::max(frameHeight - 4 - TrimLayout::kPositionBarHeight, 0);
    return layout;
}

std::uint32_t ColumnFrame(int column, int width, std::uint32_t frameCount) {
    if (width <= 1 || frameCount == 0) return 0;
    return static_cast<std::uint32_t>(static_cast<double>(column) / (width - 1) * (frameCount - 1u));
}

Peak PeakAt(const float* frames, std::uint32_t frameCount, std::uint32_t n) {
    Peak peak;
    if (!frames || frameCount == 0) return peak;
    const std::uint32_t first = n > 500 ? n - 500 : 0;
    const std::uint32_t last = std::min<std::uint64_t>(std::uint64_t{n} + 500, frameCount - 1u);
    for (std::uint64_t i = first; i <= last; i += 100) {
        peak.left = std::max(peak.left, std::fabs(frames[2 * i]));
        peak.right = std::max(peak.right, std::fabs(frames[2 * i + 1]));
    }
    return peak;
}

const std::vector<Peak>& WavePeakCache::Get(const float* frames, std::uint32_t frameCount, int width) {
    if (frames != frames_ || frameCount != frameCount_ || width != width_) {
        frames_ = frames;
        frameCount_ = frameCount;
        width_ = width;
        peaks_.assign(static_cast<std::size_t>(std::max(width, 0)), Peak{});
        for (int i = 0; i < width; ++i) peaks_[i] = PeakAt(frames, frameCount, ColumnFrame(i, width, frameCount));
    }
    return peaks_;
}

void WavePeakCache::Clear() {
    frames_ = nullptr;
    frameCount_ = 0;
    width_ = -1;
    peaks_.clear();
}

TrimEdge GrabEdge(int x, const FractionRange& range, int width) {
    const int s = static_cast<int>(width * range.start);
    const int e = static_cast<int>(width * range.end);
    if (std::abs(x - s) < 5) return TrimEdge::Start;
    if (std::abs(x - e) < 5) return TrimEdge::End;
    return TrimEdge::None;
}

int ClampToWave(int x, int width) { return std::clamp(x, 0, std::max(width - 1, 0)); }

TrimEdge MoveEdge(FractionRange& range, TrimEdge grabbed, int x, int width) {
    const double f = Fraction(ClampToWave(x, width), width);
    if (grabbed == TrimEdge::Start)
        range.start = f;
    else if (grabbed == TrimEdge::End)
        range.end = f;
    else
        return grabbed;
    if (range.end < range.start) {
        std::swap(range.start, range.end);
        grabbed = grabbed == TrimEdge::Start ? TrimEdge::End : TrimEdge::Start;
    }
    if (range.start == range.end && width > 1) {
        // An edge dropped on the other would leave an empty range: keep one
        // pixel between them, on the side the grabbed edge came from.
        const double pixel = 1.0 / (width - 1);
        if (grabbed == TrimEdge::Start)
            range.start >= pixel ? range.start -= pixel : range.end += pixel;
        else
            range.end + pixel <= 1.0 ? range.end += pixel : range.start -= pixel;
    }
    return grabbed;
}

FractionRange NewSelection(int anchor, int x, int width) {
    int lo = std::min(anchor, x);
    int hi = std::max(anchor, x);
    lo = std::max(lo, 0);
    hi = std::min(hi, width - 1);
    if (hi - lo < 5) {
        hi = lo + 5;
        // Near the right end the five pixels grow leftwards, so that a click
        // there still selects something rather than an empty range at 1.
        if (hi > width - 1) {
            hi = std::max(width - 1, 0);
            lo = std::max(hi - 5, 0);
        }
    }
    FractionRange range{Fraction(lo, width), Fraction(hi, width)};
    range.start = std::max(range.start, 0.0);
    range.end = std::min(range.end, 1.0);
    return range;
}

TrimCursor CursorAt(int x, int y, const FractionRange& range, const TrimLayout& layout) {
    const bool inColumns = x >= 0 && x < layout.width;
    const bool inWave = inColumns && y >= 0 && y < layout.waveHeight;
    if (inWave) {
        const int s = static_cast<int>(layout.width * range.start);
        const int e = static_cast<int>(layout.width * range.end);
        if (std::abs(x - s) < 5) return TrimCursor::StartEdge;
        if (std::abs(x - e) < 5) return TrimCursor::EndEdge;
    }
    if (inColumns && y >= layout.waveHeight && y < layout.Height()) return TrimCursor::Position;
    return TrimCursor::Arrow;
}

std::uint32_t MarkerFrame(int marker, int width, std::uint32_t frameCount) {
    return static_cast<std::uint32_t>(Fraction(marker, width) * frameCount);
}

int MarkerForFrame(std::uint64_t frame, std::uint32_t frameCount, int width) {
    if (frameCount == 0) return 0;
    return static_cast<int>(static_cast<double>(frame) / frameCount * width);
}

TrimTick TrimTimerStep(bool active, bool playRange, std::uint64_t frame, std::uint32_t frameCount,
                       const FractionRange& range) {
    if (!active) return TrimTick::Ended;
    if (playRange && frameCount > 0) {
        const double played = static_cast<double>(frame) / frameCount;
        if (played < range.start || played > range.end) return TrimTick::RestartRange;
    }
    return TrimTick::Follow;
}

std::vector<RulerTick> SourceTicks(int width, std::uint32_t sourceFrameCount, std::uint32_t sampleRate) {
    const std::uint32_t wholeSeconds = sampleRate ? sourceFrameCount / sampleRate : 0;
    return RulerTicks(width, wholeSeconds);
}

}  // namespace dw
