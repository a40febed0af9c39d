#include "core/audio/Chorus.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "core/audio/EffectsShared.h"
#include "core/base/Vectors.h"

namespace dw {

namespace {
using effects::avx2;
using effects::MaskOf;
using effects::Uses;
}  // namespace

void Chorus::Prepare(double sampleRate) {
    rate_ = sampleRate;
    size_ = static_cast<std::size_t>(kMaxSweepUs * 1e-6 * rate_) + 4;
    line_.assign(size_ * 4, 0.0f);
    SetParams(ChorusParams{});
    Reset();
}

void Chorus::SetParams(const ChorusParams& p) {
    p_ = p;
    p_.feedback = std::clamp(p.feedback, -0.95f, 0.95f);
    p_.minSweep = std::clamp(p.minSweep, 0.0f, kMaxSweepUs);
    p_.maxSweep = std::clamp(p.maxSweep, p_.minSweep, kMaxSweepUs);
    p_.rate = std::clamp(p.rate, 0.0f, 20000.0f);
    mask_ = MaskOf(p.channels);
}

void Chorus::Reset() {
    std::fill(line_.begin(), line_.end(), 0.0f);
    pos_ = 0;
    phase_ = 0.0;
}

void Chorus::SetPhase(double phase) { phase_ = phase - std::floor(phase); }

namespace {

// Chorus::Process: the sweep of a stretch of frames, then block by block
// where each read falls, the reads and the writes; compiled twice (see
// Chorus::Process).
[[gnu::always_inline]] inline void ChorusBody(const ChorusParams& params, double rate, int mask, float* line,
                                              std::size_t ringFrames, std::size_t& pos, double& phase,
                                              float* frames, std::size_t count) {
    const double minD = params.minSweep * 1e-6 * rate;
    const double depth = (params.maxSweep - params.minSweep) * 1e-6 * rate;
    const double step = params.rate / 1000.0 / rate;
    // The sweep turns by rotation; the right side runs a quarter period
    // ahead, which is the cosine of the left's angle. Four rotations a frame
    // apart (the lanes) each turn four steps at a time, so that no frame
    // waits on the one before it. Exact values at the start of every call
    // keep rounding from building up.
    constexpr std::size_t kLanes = 4;
    const double turn = 2.0 * std::numbers::pi * step;
    const double cosStep = std::cos(kLanes * turn), sinStep = std::sin(kLanes * turn);
    Double4 sinNow, cosNow;
    for (std::size_t j = 0; j < kLanes; ++j) {
        sinNow[j] = std::sin(2.0 * std::numbers::pi * phase + static_cast<double>(j) * turn);
        cosNow[j] = std::cos(2.0 * std::numbers::pi * phase + static_cast<double>(j) * turn);
    }
    // A side the chorus leaves alone keeps its dry signal: 1 x + 0 y.
    const float dry[2] = {Uses(mask, 0) ? params.dryMix : 1.0f, Uses(mask, 1) ? params.dryMix : 1.0f};
    const float wet[2] = {Uses(mask, 0) ? params.wetMix : 0.0f, Uses(mask, 1) ? params.wetMix : 0.0f};
    const float feedback = params.feedback;
    const auto size = static_cast<double>(ringFrames);
    // Every read lies at least the shortest delay back, so a block of fewer
    // frames reads only what was written before it: all its reads can come
    // first and all its writes after, each a plain loop. The ring is held
    // twice over, a ring's length apart, so neither wraps inside a block.
    // A block goes in three loops: where each read falls (four frames at a
    // time, in double precision as one frame at a time would), the reads and
    // the writes. The sweep's values come before, for a whole stretch of
    // frames four at a time: taken a frame at a time out of the rotations,
    // each value waited for the processor to forward it from the store of
    // the whole rotation.
    constexpr std::size_t kMaxBlock = 64;
    constexpr std::size_t kStretch = 256;  // whole fours, so the lanes stay a frame apart across stretches
    const std::size_t block = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(1.0, minD)) - 1, 1, kMaxBlock);
    // Room for a block rounded up to whole fours.
    alignas(64) double sweep[2][kStretch + kLanes] = {};
    alignas(64) std::int32_t at[2][kMaxBlock + 3];
    alignas(64) float part[2][kMaxBlock + 3];
    alignas(64) float y[2][kMaxBlock];
    for (std::size_t i = 0; i < count;) {
        const std::size_t stretch = std::min(kStretch, count - i);
        for (std::size_t k = 0; k < stretch; k += kLanes) {
            const Double4 left = 0.5 + 0.5 * sinNow, right = 0.5 + 0.5 * cosNow;
            std::memcpy(&sweep[0][k], &left, sizeof left);
            std::memcpy(&sweep[1][k], &right, sizeof right);
            const Double4 nextSin = sinNow * cosStep + cosNow * sinStep;
            cosNow = cosNow * cosStep - sinNow * sinStep;
            sinNow = nextSin;
        }
        for (std::size_t from = 0; from < stretch;) {
            const std::size_t n = std::min({block, stretch - from, ringFrames - pos});
            const Double4 offsets = {0.0, 1.0, 2.0, 3.0};
            for (int c = 0; c < 2; ++c)
                for (std::size_t k = 0; k < n; k += 4) {
                    Double4 sw;
                    std::memcpy(&sw, &sweep[c][from + k], sizeof sw);
                    Double4 d = minD + depth * sw;
                    d = d > 1.0 ? d : 1.0;  // std::max(1.0, d), lane by lane
                    // Whole frames as 32-bit integers: the ring holds far fewer.
                    const Double4 read = (static_cast<double>(pos + k) + offsets) + size - d;
                    const Int4 whole = __builtin_convertvector(read, Int4);
                    const Float4 frac = __builtin_convertvector(read - __builtin_convertvector(whole, Double4), Float4);
                    std::memcpy(&at[c][k], &whole, sizeof whole);
                    std::memcpy(&part[c][k], &frac, sizeof frac);
                }
            for (int c = 0; c < 2; ++c)
                for (std::size_t k = 0; k < n; ++k) {
                    const auto i0 = static_cast<std::size_t>(at[c][k]);
                    const float frac = part[c][k];
                    y[c][k] = line[2 * i0 + c] * (1.0f - frac) + line[2 * i0 + 2 + c] * frac;
                }
            float* __restrict f = frames + 2 * (i + from);
            float* __restrict first = line + 2 * pos;
            float* __restrict second = line + 2 * (pos + ringFrames);
            for (std::size_t k = 0; k < n; ++k)
                for (std::size_t c = 0; c < 2; ++c) {
                    const float x = f[2 * k + c];
                    const float w = x + feedback * y[c][k];
                    first[2 * k + c] = w;
                    second[2 * k + c] = w;
                    f[2 * k + c] = dry[c] * x + wet[c] * y[c][k];
                }
            pos += n;
            if (pos == ringFrames) pos = 0;
            from += n;
        }
        i += stretch;
    }
    phase += step * static_cast<double>(count);
    phase -= std::floor(phase);
}

void ChorusBaseline(const ChorusParams& p, double rate, int mask, float* line, std::size_t size, std::size_t& pos,
                    double& phase, float* frames, std::size_t count) {
    ChorusBody(p, rate, mask, line, size, pos, phase, frames, count);
}

#if defined(DW_EFFECTS_AVX2)
// AVX2 works out four frames' reads at a time in double precision, where the
// baseline has registers for two.
__attribute__((target("avx2"))) void ChorusAvx2(const ChorusParams& p, double rate, int mask, float* line,
                                                 std::size_t size, std::size_t& pos, double& phase, float* frames,
                                                 std::size_t count) {
    ChorusBody(p, rate, mask, line, size, pos, phase, frames, count);
}
#endif

}  // namespace

void Chorus::Process(float* frames, std::size_t count) {
#if defined(DW_EFFECTS_AVX2)
    if (avx2.load(std::memory_order_relaxed)) {
        ChorusAvx2(p_, rate_, mask_, line_.data(), size_, pos_, phase_, frames, count);
        return;
    }
#endif
    ChorusBaseline(p_, rate_, mask_, line_.data(), size_, pos_, phase_, frames, count);
}

}  // namespace dw
