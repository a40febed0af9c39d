#include "core/audio/HighCut.h"

#include <algorithm>
#include <array>
#include <cmath>
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

void LowPassFilter::Prepare(double sampleRate) {
    rate_ = sampleRate;
    SetParams(LowPassParams{});
    Reset();
}

void LowPassFilter::SetParams(const LowPassParams& p) {
    mask_ = MaskOf(p.channels);
    const double fc = std::clamp(static_cast<double>(p.cutoffHz), 10.0, 0.49 * rate_);
    const double q = std::clamp(static_cast<double>(p.resonance), 0.1, 20.0);
    const double w0 = 2.0 * std::numbers::pi * fc / rate_;
    const double cw = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    b0_ = (1.0 - cw) / 2.0 / a0;
    b1_ = (1.0 - cw) / a0;
    b2_ = b0_;
    a1_ = -2.0 * cw / a0;
    a2_ = (1.0 - alpha) / a0;
    // What each input of a group of four, and each of the two inputs and two
    // outputs before the group, adds to each of its four outputs: the
    // recursion run from a single one.
    const auto run = [&](const std::array<double, 4>& in, const std::array<double, 4>& state) {
        auto [x1, x2, y1, y2] = state;
        std::array<double, 4> out{};
        for (int j = 0; j < 4; ++j) {
            const double y = b0_ * in[j] + b1_ * x1 + b2_ * x2 - a1_ * y1 - a2_ * y2;
            x2 = x1;
            x1 = in[j];
            y2 = y1;
            y1 = y;
            out[j] = y;
        }
        return out;
    };
    for (int k = 0; k < 4; ++k) {
        std::array<double, 4> one{};
        one[k] = 1.0;
        fromInput_[k] = run(one, {});
        fromState_[k] = run({}, one);
    }
}

void LowPassFilter::Reset() { z_ = {}; }

namespace {

// The high-cut four frames at a time: each output of a group is a fixed sum
// of the group's four inputs and the two inputs and two outputs before it,
// so the recursion waits on itself once a group, not once a frame. Both
// sides in one pass, a vector of the group's four outputs each; `mask` says
// which sides are written back. `groups` whole groups of four frames.

[[gnu::always_inline]] inline void HighCutBody(const std::array<std::array<double, 4>, 4>& fromInput,
                                               const std::array<std::array<double, 4>, 4>& fromState,
                                               std::array<std::array<double, 4>, 2>& z, int mask, float* frames,
                                               std::size_t groups) {
    Double4 in[4], st[4];
    for (int k = 0; k < 4; ++k) {
        std::memcpy(&in[k], fromInput[k].data(), sizeof(Double4));
        std::memcpy(&st[k], fromState[k].data(), sizeof(Double4));
    }
    // The state as vectors of one value in every lane: the last output's
    // lane is spread over a vector without leaving the vector registers.
    Double4 x1[2], x2[2], y1[2], y2[2];
    for (int c = 0; c < 2; ++c) {
        const auto [a, b, p, q] = z[c];
        x1[c] = Double4{a, a, a, a};
        x2[c] = Double4{b, b, b, b};
        y1[c] = Double4{p, p, p, p};
        y2[c] = Double4{q, q, q, q};
    }
    for (std::size_t g = 0; g < groups; ++g) {
        float* f = frames + 8 * g;
        Float4 out[2];
        for (int c = 0; c < 2; ++c) {
            const double a = f[c], b = f[2 + c], p = f[4 + c], q = f[6 + c];
            const Double4 u0 = {a, a, a, a}, u1 = {b, b, b, b}, u2 = {p, p, p, p}, u3 = {q, q, q, q};
            // Everything but the last outputs first, so that a group waits on
            // the one before only for two products and two sums.
            const Double4 ahead = ((in[0] * u0 + in[1] * u1) + (in[2] * u2 + in[3] * u3)) + (st[0] * x1[c] + st[1] * x2[c]);
            const Double4 y = ahead + (st[2] * y1[c] + st[3] * y2[c]);
            x1[c] = u3;
            x2[c] = u2;
            y1[c] = __builtin_shufflevector(y, y, 3, 3, 3, 3);
            y2[c] = __builtin_shufflevector(y, y, 2, 2, 2, 2);
            out[c] = __builtin_convertvector(y, Float4);
        }
        if (mask == 3) {
            const Float8 both = __builtin_shufflevector(out[0], out[1], 0, 4, 1, 5, 2, 6, 3, 7);
            std::memcpy(f, &both, sizeof both);
        } else {
            for (int c = 0; c < 2; ++c)
                if ((mask & (1 << c)) != 0)
                    for (int j = 0; j < 4; ++j) f[2 * j + c] = out[c][j];
        }
    }
    for (int c = 0; c < 2; ++c) z[c] = {x1[c][0], x2[c][0], y1[c][0], y2[c][0]};
}

void HighCutBaseline(const std::array<std::array<double, 4>, 4>& fromInput,
                     const std::array<std::array<double, 4>, 4>& fromState, std::array<std::array<double, 4>, 2>& z,
                     int mask, float* frames, std::size_t groups) {
    HighCutBody(fromInput, fromState, z, mask, frames, groups);
}

#if defined(DW_EFFECTS_AVX2)
__attribute__((target("avx2"))) void HighCutAvx2(const std::array<std::array<double, 4>, 4>& fromInput,
                                                  const std::array<std::array<double, 4>, 4>& fromState,
                                                  std::array<std::array<double, 4>, 2>& z, int mask, float* frames,
                                                  std::size_t groups) {
    HighCutBody(fromInput, fromState, z, mask, frames, groups);
}
#endif

}  // namespace

void LowPassFilter::Process(float* frames, std::size_t count) {
    const std::size_t groups = count / 4;
#if defined(DW_EFFECTS_AVX2)
    if (avx2.load(std::memory_order_relaxed))
        HighCutAvx2(fromInput_, fromState_, z_, mask_, frames, groups);
    else
#endif
        HighCutBaseline(fromInput_, fromState_, z_, mask_, frames, groups);
    // The last frames of a call one at a time, in direct form I.
    const double b0 = b0_, b1 = b1_, b2 = b2_, a1 = a1_, a2 = a2_;
    for (int c = 0; c < 2; ++c) {
        auto [x1, x2, y1, y2] = z_[c];
        for (std::size_t i = 4 * groups; i < count; ++i) {
            const double x = frames[2 * i + c];
            const double y = ((b0 * x + b1 * x1) + (b2 * x2 - a2 * y2)) - a1 * y1;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            if (Uses(mask_, c)) frames[2 * i + c] = static_cast<float>(y);
        }
        z_[c] = {x1, x2, y1, y2};
    }
    // Keep denormals out of the state when the input falls silent.
    for (auto& z : z_)
        for (double& v : z)
            if (std::fabs(v) < 1e-20) v = 0.0;
}

}  // namespace dw
