#include "audio/TruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace dw {

namespace {

// Each in-between point sums this many frames around it: the filter spans
// six frames either side.
constexpr int kTaps = 12;
constexpr int kBefore = 5;   // frames before the point's left neighbour
constexpr int kAfter = 6;    // frames from its right neighbour on
constexpr int kMaxPhases = 3;
constexpr std::size_t kBlock = 1024;  // frames deinterleaved at a time

struct Filter {
    int phases = 0;  // in-between points per frame: factor - 1
    std::array<std::array<float, kTaps>, kMaxPhases> taps{};
};

// The point a fraction p/factor past frame n is sum over m of
// x[n + m] * h(m - p/factor) for m = -5 .. 6, where h is the sinc shaped by a
// Hann window reaching zero six frames either side.
Filter MakeFilter(int factor) {
    Filter f;
    f.phases = factor - 1;
    for (int p = 1; p < factor; ++p)
        for (int t = 0; t < kTaps; ++t) {
            const double tau = static_cast<double>(t - kBefore) - static_cast<double>(p) / factor;
            const double x = std::numbers::pi * tau;
            const double sinc = std::fabs(tau) < 1e-9 ? 1.0 : std::sin(x) / x;
            const double hann = 0.5 * (1.0 + std::cos(std::numbers::pi * tau / (kTaps / 2.0)));
            f.taps[static_cast<std::size_t>(p - 1)][static_cast<std::size_t>(t)] = static_cast<float>(sinc * hann);
        }
    return f;
}

const Filter& FilterFor(std::uint32_t sampleRate) {
    static const Filter four = MakeFilter(4);
    static const Filter two = MakeFilter(2);
    static const Filter none = MakeFilter(1);
    return sampleRate < 96000 ? four : sampleRate < 192000 ? two : none;
}

// Four floats as one vector: SSE on x86, NEON on Arm, plain code elsewhere.
using V4 = float __attribute__((vector_size(16)));
using I4 = std::int32_t __attribute__((vector_size(16)));

V4 Load4(const float* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

V4 Abs4(V4 v) {
    I4 bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= 0x7fffffff;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

V4 Max4(V4 a, V4 b) { return a > b ? a : b; }

// The highest magnitude among the samples and in-between points of `n`
// frames of one channel (`n` a multiple of four); `x` holds them with kBefore
// frames before and kAfter after. Four neighbouring points of every phase at
// a time, each window of frames loaded once for all phases.
float ChannelPeak(const Filter& f, const float* __restrict x, std::size_t n) {
    V4 peak = {0.0f, 0.0f, 0.0f, 0.0f};
    for (std::size_t i = 0; i < n; i += 4) {
        const float* w = x + i;
        peak = Max4(peak, Abs4(Load4(w + kBefore)));
        V4 acc[kMaxPhases] = {};
        for (int t = 0; t < kTaps; ++t) {
            const V4 v = Load4(w + t);
            for (int p = 0; p < kMaxPhases; ++p) acc[p] += v * f.taps[static_cast<std::size_t>(p)][static_cast<std::size_t>(t)];
        }
        for (int p = 0; p < kMaxPhases; ++p) peak = Max4(peak, Abs4(acc[p]));
    }
    return std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
}

}  // namespace

float TruePeakOf(std::span<const StereoFrame> music, std::uint32_t sampleRate, std::size_t begin, std::size_t end) {
    end = std::min(end, music.size());
    if (begin >= end) return 0.0f;
    const Filter& filter = FilterFor(sampleRate);
    const auto total = static_cast<std::ptrdiff_t>(music.size());
    // Room for a block rounded up to whole vectors, with the frames around it.
    std::array<std::array<float, kBlock + 4 + kTaps>, 2> lane;
    float peak = 0.0f;
    for (std::size_t at = begin; at < end; at += kBlock) {
        const std::size_t n = std::min(kBlock, end - at);
        const std::size_t padded = (n + 3) / 4 * 4;
        // One channel after the other, with the frames around the block;
        // outside the music the waveform is silent. Rounding the block up to
        // whole vectors measures up to three points of the frames after it:
        // points of the same waveform, so the peak of the piece is unchanged.
        const auto first = static_cast<std::ptrdiff_t>(at) - kBefore;
        for (std::size_t i = 0; i < padded + kTaps - 1; ++i) {
            const std::ptrdiff_t f = first + static_cast<std::ptrdiff_t>(i);
            const bool inside = f >= 0 && f < total;
            lane[0][i] = inside ? music[static_cast<std::size_t>(f)].left : 0.0f;
            lane[1][i] = inside ? music[static_cast<std::size_t>(f)].right : 0.0f;
        }
        for (int c = 0; c < 2; ++c)
            peak = std::max(peak, ChannelPeak(filter, lane[static_cast<std::size_t>(c)].data(), padded));
    }
    return peak;
}

}  // namespace dw
