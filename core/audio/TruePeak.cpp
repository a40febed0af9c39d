#include "core/audio/TruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/base/Processor.h"
#include "core/base/Vectors.h"

namespace dw {

namespace {

// Each in-between point sums this many frames around it: the filter spans
// six frames either side.
constexpr int kTaps = 12;
constexpr int kBefore = 5;   // frames before the point's left neighbour
constexpr int kAfter = 6;    // frames from its right neighbour on
static_assert(kBefore + 1 + kAfter == kTaps, "the taps are the frames before, the left neighbour and after");
constexpr int kMaxPhases = 3;
constexpr std::size_t kBlock = 1024;  // frames deinterleaved at a time
constexpr std::size_t kRound = 16;    // blocks are measured in whole sixteens of frames
static_assert(kBefore == kTruePeakReachBack && kAfter + kRound - 1 == kTruePeakReachAhead,
              "the reach the header tells is the filter's and the rounding's");

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

// Vectors of floats (core/base/Vectors.h): four wide everywhere, eight wide
// where the processor has AVX2, sixteen where it has AVX-512. Every lane does
// the same additions in the same order, so all widths read the same peak.

// The highest magnitude among the samples and in-between points of `n`
// frames of one channel (`n` a multiple of kRound); `x` holds them with
// kBefore frames before and kAfter after. Neighbouring points of every phase
// a vector at a time, each window of frames loaded once for all phases.
template <class V>
[[gnu::always_inline]] inline float PeakOf(const Filter& f, const float* __restrict x, std::size_t n) {
    constexpr std::size_t kWidth = sizeof(V) / sizeof(float);
    // No helper functions taking or returning vectors: wider ones would
    // cross a call boundary compiled without AVX.
    V peak = {};
    for (std::size_t i = 0; i < n; i += kWidth) {
        const float* w = x + i;
        V v;
        std::memcpy(&v, w + kBefore, sizeof v);
        v = v < 0.0f ? -v : v;
        peak = peak > v ? peak : v;
        V acc[kMaxPhases] = {};
        for (int t = 0; t < kTaps; ++t) {
            std::memcpy(&v, w + t, sizeof v);
            for (int p = 0; p < kMaxPhases; ++p)
                acc[p] += v * f.taps[static_cast<std::size_t>(p)][static_cast<std::size_t>(t)];
        }
        for (int p = 0; p < kMaxPhases; ++p) {
            v = acc[p] < 0.0f ? -acc[p] : acc[p];
            peak = peak > v ? peak : v;
        }
    }
    float most = 0.0f;
    for (std::size_t l = 0; l < kWidth; ++l) most = std::max(most, peak[l]);
    return most;
}

float ChannelPeakFour(const Filter& f, const float* x, std::size_t n) { return PeakOf<Float4>(f, x, n); }

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) float ChannelPeakEight(const Filter& f, const float* x, std::size_t n) {
    return PeakOf<Float8>(f, x, n);
}

__attribute__((target("avx512f,avx512vl,avx512dq,avx512bw"))) float ChannelPeakSixteen(const Filter& f,
                                                                                      const float* x, std::size_t n) {
    return PeakOf<Float16>(f, x, n);
}
#endif

using ChannelPeakFn = float (*)(const Filter&, const float*, std::size_t);

ChannelPeakFn ChooseChannelPeak() {
#if defined(__x86_64__) || defined(__i386__)
    if (ProcessorHasAvx512()) return ChannelPeakSixteen;
    if (ProcessorHasAvx2()) return ChannelPeakEight;
#endif
    return ChannelPeakFour;
}

}  // namespace

float TruePeakOf(std::span<const StereoFrame> music, std::uint32_t sampleRate, std::size_t begin, std::size_t end) {
    end = std::min(end, music.size());
    if (begin >= end) return 0.0f;
    const Filter& filter = FilterFor(sampleRate);
    const auto total = static_cast<std::ptrdiff_t>(music.size());
    static const ChannelPeakFn channelPeak = ChooseChannelPeak();
    // Room for a block rounded up to whole sixteens, with the frames around it.
    std::array<std::array<float, kBlock + kRound + kTaps>, 2> lane;
    float peak = 0.0f;
    for (std::size_t at = begin; at < end; at += kBlock) {
        const std::size_t n = std::min(kBlock, end - at);
        const std::size_t padded = (n + kRound - 1) / kRound * kRound;
        // One channel after the other, with the frames around the block;
        // outside the music the waveform is silent. Rounding the block up to
        // whole sixteens measures up to fifteen points of the frames after it:
        // points of the same waveform, so the peak of the piece is unchanged.
        const auto first = static_cast<std::ptrdiff_t>(at) - kBefore;
        const std::size_t span = padded + kTaps - 1;
        if (first >= 0 && first + static_cast<std::ptrdiff_t>(span) <= total) {
            const StereoFrame* from = music.data() + first;
            for (std::size_t i = 0; i < span; ++i) {
                lane[0][i] = from[i].left;
                lane[1][i] = from[i].right;
            }
        } else {
            for (std::size_t i = 0; i < span; ++i) {
                const std::ptrdiff_t f = first + static_cast<std::ptrdiff_t>(i);
                const bool inside = f >= 0 && f < total;
                lane[0][i] = inside ? music[static_cast<std::size_t>(f)].left : 0.0f;
                lane[1][i] = inside ? music[static_cast<std::size_t>(f)].right : 0.0f;
            }
        }
        for (int c = 0; c < 2; ++c)
            peak = std::max(peak, channelPeak(filter, lane[static_cast<std::size_t>(c)].data(), padded));
    }
    return peak;
}

}  // namespace dw
