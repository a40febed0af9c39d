#include "core/audio/Effects.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/base/Processor.h"

// The AVX2 loops are compiled where the compiler can target them.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DW_EFFECTS_AVX2 1
#endif

namespace dw {

namespace {

bool Uses(int mask, int channel) { return mask == -1 || (mask & (1 << channel)) != 0; }

int MaskOf(int channels) { return channels == -1 ? 3 : (channels & 3); }

const bool kHasAvx2 = ProcessorHasAvx2();
// Whether the effects' AVX2 loops run (see UseWiderVectors).
std::atomic<bool> avx2{kHasAvx2};

}  // namespace

// ---------------------------------------------------------------- low-pass

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
using Double4 = double __attribute__((vector_size(32)));

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
    using Float4 = float __attribute__((vector_size(16)));
    using Float8 = float __attribute__((vector_size(32)));
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

// ---------------------------------------------------------------- reverb

namespace {
// Loop lengths in milliseconds, mutually prime-ish so the echoes do not line
// up; the right side is a little longer than the left for width.
constexpr std::array<double, 8> kCombMs = {29.7, 31.3, 33.7, 35.9, 37.1, 39.4, 41.1, 43.7};
constexpr std::array<double, 4> kAllPassMs = {12.6, 10.0, 7.7, 5.1};
constexpr double kRightSpreadMs = 0.53;
constexpr float kAllPassGain = 0.5f;
constexpr float kCombDamping = 0.25f;  // high frequencies die a little faster
constexpr float kInputGain = 0.3f;  // wet at level 1.0 about as loud as the dry signal
}  // namespace

void Reverb::Prepare(double sampleRate) {
    rate_ = sampleRate;
    for (int c = 0; c < 2; ++c) {
        const double spread = c == 1 ? kRightSpreadMs : 0.0;
        for (int i = 0; i < kCombs; ++i) {
            const auto len = static_cast<std::size_t>((kCombMs[i] + spread) * rate_ / 1000.0);
            combs_[c][i].buf.assign(std::max<std::size_t>(len, 1), 0.0f);
        }
        for (int i = 0; i < kAllPasses; ++i) {
            const auto len = static_cast<std::size_t>((kAllPassMs[i] + spread) * rate_ / 1000.0);
            allPasses_[c][i].buf.assign(std::max<std::size_t>(len, 1), 0.0f);
            allPasses_[c][i].gain = kAllPassGain;
        }
    }
    dcPole_ = static_cast<float>(std::exp(-2.0 * std::numbers::pi * 20.0 / rate_));
    block_ = kBlock;
    for (const auto& side : combs_)
        for (const Line& l : side) block_ = std::min(block_, l.buf.size());
    for (const auto& side : allPasses_)
        for (const Line& l : side) block_ = std::min(block_, l.buf.size());
    SetParams(ReverbParams{});
    Reset();
}

void Reverb::SetParams(const ReverbParams& p) {
    level_ = std::clamp(p.level, 0.0f, 4.0f);
    const double seconds = std::clamp(p.delayMs, 1, 60000) / 1000.0;
    for (auto& side : combs_) {
        for (auto& comb : side) {
            // Gain per trip round the loop so that the echoes fall 60 dB in `seconds`.
            const double trip = static_cast<double>(comb.buf.size()) / rate_;
            comb.gain = static_cast<float>(std::pow(10.0, -3.0 * trip / seconds));
        }
    }
}

void Reverb::Reset() {
    dcIn_ = dcOut_ = 0.0f;
    for (auto& side : combs_)
        for (auto& l : side) {
            std::fill(l.buf.begin(), l.buf.end(), 0.0f);
            l.pos = 0;
            l.damp = 0.0f;
        }
    for (auto& side : allPasses_)
        for (auto& l : side) {
            std::fill(l.buf.begin(), l.buf.end(), 0.0f);
            l.pos = 0;
        }
}

namespace {

// Four floats as one vector: SSE on x86, NEON on Arm, plain code elsewhere.
using V4 = float __attribute__((vector_size(16)));

V4 Load4(const float* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store4(float* p, V4 v) { std::memcpy(p, &v, sizeof v); }

using I4 = std::int32_t __attribute__((vector_size(16)));

V4 Abs4(V4 v) {
    I4 bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= 0x7fffffff;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Rows become columns: four lines' next four frames turn into four frames'
// values of the four lines, and back.
void Transpose4(V4& a, V4& b, V4& c, V4& d) {
    const V4 ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const V4 ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const V4 cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const V4 cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(ab01, cd01, 0, 1, 4, 5);
    b = __builtin_shufflevector(ab01, cd01, 2, 3, 6, 7);
    c = __builtin_shufflevector(ab23, cd23, 0, 1, 4, 5);
    d = __builtin_shufflevector(ab23, cd23, 2, 3, 6, 7);
}

constexpr int kSideCombs = 8;
constexpr int kSideAllPasses = 4;

// The eight combs of one side over `n` frames that no loop wraps inside. The
// vectors hold four combs each: eight independent recursions in flight at
// once, and four frames of each line moved at a time. A one-pole low-pass in every
// loop's feedback (`damp`) is the recursion that keeps frames in order.
void CombRun(const std::array<float*, kSideCombs>& lines, std::array<float, kSideCombs>& damp,
             const std::array<float, kSideCombs>& gain, const float* __restrict in, float* __restrict wet,
             std::size_t n) {
    constexpr float keep = kCombDamping, take = 1.0f - kCombDamping;
    constexpr int kGroups = kSideCombs / 4;
    V4 d[kGroups], g[kGroups];
    for (int q = 0; q < kGroups; ++q) {
        d[q] = Load4(damp.data() + 4 * q);
        g[q] = Load4(gain.data() + 4 * q);
    }
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        V4 y[kGroups][4];
        for (int q = 0; q < kGroups; ++q)
            for (int i = 0; i < 4; ++i) y[q][i] = Load4(lines[4 * q + i] + k);
        // The wet signal is the sum of the eight lines' outputs.
        Store4(wet + k, ((y[0][0] + y[0][1]) + (y[0][2] + y[0][3])) + ((y[1][0] + y[1][1]) + (y[1][2] + y[1][3])));
        for (int q = 0; q < kGroups; ++q) Transpose4(y[q][0], y[q][1], y[q][2], y[q][3]);
        for (int j = 0; j < 4; ++j) {
            const float x = in[k + j];
            for (int q = 0; q < kGroups; ++q) {
                d[q] = y[q][j] * take + d[q] * keep;
                y[q][j] = x + d[q] * g[q];
            }
        }
        for (int q = 0; q < kGroups; ++q) {
            Transpose4(y[q][0], y[q][1], y[q][2], y[q][3]);
            for (int i = 0; i < 4; ++i) Store4(lines[4 * q + i] + k, y[q][i]);
        }
    }
    for (int q = 0; q < kGroups; ++q) Store4(damp.data() + 4 * q, d[q]);
    // The last frames of a run, one at a time with the same arithmetic.
    for (; k < n; ++k) {
        float y[kSideCombs];
        for (int i = 0; i < kSideCombs; ++i) y[i] = lines[i][k];
        wet[k] = ((y[0] + y[1]) + (y[2] + y[3])) + ((y[4] + y[5]) + (y[6] + y[7]));
        for (int i = 0; i < kSideCombs; ++i) {
            damp[i] = y[i] * take + damp[i] * keep;
            lines[i][k] = in[k] + damp[i] * gain[i];
        }
    }
}


#if defined(DW_EFFECTS_AVX2)
// Both sides' combs at once where the processor has AVX2: eight lanes hold a
// side's eight combs, so each frame takes one recursion a side, the two
// sides' waiting on each other's never. Four frames of each line are turned
// into lines-by-frame in registers and back, as CombRun does a group of four
// at a time; every lane does CombRun's arithmetic in CombRun's order, so the
// bytes are the same. No helper takes or returns an eight-wide vector (it
// would cross a call compiled without AVX).
__attribute__((target("avx2"))) void CombRunBothAvx2(const std::array<float*, 2 * kSideCombs>& lines,
                                                      std::array<float, 2 * kSideCombs>& damp,
                                                      const std::array<float, 2 * kSideCombs>& gain,
                                                      const float* __restrict in, float* __restrict wetLeft,
                                                      float* __restrict wetRight, std::size_t n) {
    using V8 = float __attribute__((vector_size(32)));
    constexpr float keep = kCombDamping, take = 1.0f - kCombDamping;
    V8 d[2], g[2];
    for (int s = 0; s < 2; ++s) {
        std::memcpy(&d[s], damp.data() + kSideCombs * s, sizeof(V8));
        std::memcpy(&g[s], gain.data() + kSideCombs * s, sizeof(V8));
    }
    float* const wet[2] = {wetLeft, wetRight};
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        V8 f[2][4];
        for (int s = 0; s < 2; ++s) {
            // z[i]: four frames of line i, then four of line 4 + i.
            V8 z[4];
            for (int i = 0; i < 4; ++i)
                z[i] = __builtin_shufflevector(Load4(lines[kSideCombs * s + i] + k),
                                               Load4(lines[kSideCombs * s + 4 + i] + k), 0, 1, 2, 3, 4, 5, 6, 7);
            // The side's wet signal: ((y0 + y1) + (y2 + y3)) + ((y4 + y5) + (y6 + y7)).
            const V8 sum = (z[0] + z[1]) + (z[2] + z[3]);
            Store4(wet[s] + k, __builtin_shufflevector(sum, sum, 0, 1, 2, 3) + __builtin_shufflevector(sum, sum, 4, 5, 6, 7));
            // Within each half, four lines by four frames become four frames
            // by four lines: lane l of f[s][j] is the side's line l at frame j.
            const V8 lo01 = __builtin_shufflevector(z[0], z[1], 0, 8, 1, 9, 4, 12, 5, 13);
            const V8 hi01 = __builtin_shufflevector(z[0], z[1], 2, 10, 3, 11, 6, 14, 7, 15);
            const V8 lo23 = __builtin_shufflevector(z[2], z[3], 0, 8, 1, 9, 4, 12, 5, 13);
            const V8 hi23 = __builtin_shufflevector(z[2], z[3], 2, 10, 3, 11, 6, 14, 7, 15);
            f[s][0] = __builtin_shufflevector(lo01, lo23, 0, 1, 8, 9, 4, 5, 12, 13);
            f[s][1] = __builtin_shufflevector(lo01, lo23, 2, 3, 10, 11, 6, 7, 14, 15);
            f[s][2] = __builtin_shufflevector(hi01, hi23, 0, 1, 8, 9, 4, 5, 12, 13);
            f[s][3] = __builtin_shufflevector(hi01, hi23, 2, 3, 10, 11, 6, 7, 14, 15);
        }
        for (int j = 0; j < 4; ++j) {
            const float x = in[k + j];
            for (int s = 0; s < 2; ++s) {
                d[s] = f[s][j] * take + d[s] * keep;
                f[s][j] = x + d[s] * g[s];
            }
        }
        for (int s = 0; s < 2; ++s) {
            // And back: the same turn undoes itself.
            const V8 lo01 = __builtin_shufflevector(f[s][0], f[s][1], 0, 8, 1, 9, 4, 12, 5, 13);
            const V8 hi01 = __builtin_shufflevector(f[s][0], f[s][1], 2, 10, 3, 11, 6, 14, 7, 15);
            const V8 lo23 = __builtin_shufflevector(f[s][2], f[s][3], 0, 8, 1, 9, 4, 12, 5, 13);
            const V8 hi23 = __builtin_shufflevector(f[s][2], f[s][3], 2, 10, 3, 11, 6, 14, 7, 15);
            const V8 z[4] = {
                __builtin_shufflevector(lo01, lo23, 0, 1, 8, 9, 4, 5, 12, 13),
                __builtin_shufflevector(lo01, lo23, 2, 3, 10, 11, 6, 7, 14, 15),
                __builtin_shufflevector(hi01, hi23, 0, 1, 8, 9, 4, 5, 12, 13),
                __builtin_shufflevector(hi01, hi23, 2, 3, 10, 11, 6, 7, 14, 15),
            };
            for (int i = 0; i < 4; ++i) {
                Store4(lines[kSideCombs * s + i] + k, __builtin_shufflevector(z[i], z[i], 0, 1, 2, 3));
                Store4(lines[kSideCombs * s + 4 + i] + k, __builtin_shufflevector(z[i], z[i], 4, 5, 6, 7));
            }
        }
    }
    for (int s = 0; s < 2; ++s) std::memcpy(damp.data() + kSideCombs * s, &d[s], sizeof(V8));
    // The last frames of a run, one at a time with the same arithmetic.
    for (; k < n; ++k)
        for (int s = 0; s < 2; ++s) {
            float y[kSideCombs];
            for (int i = 0; i < kSideCombs; ++i) y[i] = lines[kSideCombs * s + i][k];
            wet[s][k] = ((y[0] + y[1]) + (y[2] + y[3])) + ((y[4] + y[5]) + (y[6] + y[7]));
            for (int i = 0; i < kSideCombs; ++i) {
                float& dq = damp[kSideCombs * s + i];
                dq = y[i] * take + dq * keep;
                lines[kSideCombs * s + i][k] = in[k] + dq * gain[kSideCombs * s + i];
            }
        }
}

#endif

// Both sides' sixteen combs (lines 0..7 the left's, 8..15 the right's) over
// `n` frames that no loop wraps inside.
void CombRunBoth(const std::array<float*, 2 * kSideCombs>& lines, std::array<float, 2 * kSideCombs>& damp,
                 const std::array<float, 2 * kSideCombs>& gain, const float* in, float* wetLeft, float* wetRight,
                 std::size_t n) {
#if defined(DW_EFFECTS_AVX2)
    if (avx2.load(std::memory_order_relaxed)) {
        CombRunBothAvx2(lines, damp, gain, in, wetLeft, wetRight, n);
        return;
    }
#endif
    float* const wet[2] = {wetLeft, wetRight};
    for (int s = 0; s < 2; ++s) {
        std::array<float*, kSideCombs> sideLines;
        std::array<float, kSideCombs> sideDamp, sideGain;
        for (int i = 0; i < kSideCombs; ++i) {
            sideLines[i] = lines[kSideCombs * s + i];
            sideDamp[i] = damp[kSideCombs * s + i];
            sideGain[i] = gain[kSideCombs * s + i];
        }
        CombRun(sideLines, sideDamp, sideGain, in, wet[s], n);
        for (int i = 0; i < kSideCombs; ++i) damp[kSideCombs * s + i] = sideDamp[i];
    }
}

// One side's four all-passes in series over `n` frames that none of their
// loops wraps inside. Each frame reads what was written a whole loop ago, so
// the frames of a block shorter than the loops do not depend on one another:
// a vector of frames goes through all four before it is stored.
template <class V>
[[gnu::always_inline]] inline void AllPassesBody(float* const* lines, const float* gains, float* __restrict wet,
                                                 std::size_t n) {
    constexpr std::size_t kWidth = sizeof(V) / sizeof(float);
    std::size_t k = 0;
    for (; k + kWidth <= n; k += kWidth) {
        V w;
        std::memcpy(&w, wet + k, sizeof w);
        for (int a = 0; a < kSideAllPasses; ++a) {
            V delayed;
            std::memcpy(&delayed, lines[a] + k, sizeof delayed);
            const V y = delayed - gains[a] * w;
            const V back = w + gains[a] * y;
            std::memcpy(lines[a] + k, &back, sizeof back);
            w = y;
        }
        std::memcpy(wet + k, &w, sizeof w);
    }
    for (; k < n; ++k) {
        float w = wet[k];
        for (int a = 0; a < kSideAllPasses; ++a) {
            const float delayed = lines[a][k];
            const float y = delayed - gains[a] * w;
            lines[a][k] = w + gains[a] * y;
            w = y;
        }
        wet[k] = w;
    }
}

void AllPassesFour(float* const* lines, const float* gains, float* wet, std::size_t n) {
    AllPassesBody<V4>(lines, gains, wet, n);
}

#if defined(DW_EFFECTS_AVX2)
using V8 = float __attribute__((vector_size(32)));

__attribute__((target("avx2"))) void AllPassesEight(float* const* lines, const float* gains, float* wet,
                                                     std::size_t n) {
    AllPassesBody<V8>(lines, gains, wet, n);
}
#endif

void AllPassesRun(float* const* lines, const float* gains, float* wet, std::size_t n) {
#if defined(DW_EFFECTS_AVX2)
    if (avx2.load(std::memory_order_relaxed)) {
        AllPassesEight(lines, gains, wet, n);
        return;
    }
#endif
    AllPassesFour(lines, gains, wet, n);
}

}  // namespace

// A high-pass at 20 Hz on the reverb's input: a loop that feeds back with
// gain g holds a constant at 1 / (1 - g), so without it an offset or a rumble
// under the music came out of the combs sixteen times as strong. Four frames
// a step, each from the output before the four, so that the recursion waits
// on itself once per four frames: y[j] = u[j] + r u[j-1] + ... + r^(j+1) y.
void Reverb::BlockDc(float* x, std::size_t n) {
    const float r = dcPole_, r2 = r * r, r3 = r2 * r, r4 = r2 * r2;
    float last = dcIn_, y = dcOut_;
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const float u0 = x[k] - last, u1 = x[k + 1] - x[k], u2 = x[k + 2] - x[k + 1], u3 = x[k + 3] - x[k + 2];
        last = x[k + 3];
        const float p1 = u1 + r * u0, p2 = u2 + r * p1, p3 = u3 + r * p2;
        x[k] = u0 + r * y;
        x[k + 1] = p1 + r2 * y;
        x[k + 2] = p2 + r3 * y;
        y = p3 + r4 * y;
        x[k + 3] = y;
    }
    for (; k < n; ++k) {
        const float u = x[k] - last;
        last = x[k];
        y = u + r * y;
        x[k] = y;
    }
    dcIn_ = last;
    dcOut_ = std::fabs(y) < 1e-20f ? 0.0f : y;
}

void Reverb::Process(float* frames, std::size_t count) {
    static_assert(kCombs == kSideCombs, "CombRun takes one side's combs");
    static_assert(kAllPasses == kSideAllPasses, "the all-pass runs take one side's all-passes");
    std::array<float, kBlock> in;
    std::array<std::array<float, kBlock>, 2> wet;
    for (std::size_t done = 0; done < count;) {
        // A block never spans a whole loop of any line.
        const std::size_t n = std::min(count - done, block_);
        float* f = frames + 2 * done;
        {
            // Both sides mixed down, four frames at a time.
            std::size_t k = 0;
            for (; k + 4 <= n; k += 4) {
                const V4 a = Load4(f + 2 * k), b = Load4(f + 2 * k + 4);
                const V4 left = __builtin_shufflevector(a, b, 0, 2, 4, 6);
                const V4 right = __builtin_shufflevector(a, b, 1, 3, 5, 7);
                Store4(in.data() + k, (left + right) * 0.5f * kInputGain);
            }
            for (; k < n; ++k) in[k] = (f[2 * k] + f[2 * k + 1]) * 0.5f * kInputGain;
            BlockDc(in.data(), n);
        }
        for (std::size_t at = 0; at < n;) {
            std::size_t run = n - at;
            for (const auto& side : combs_)
                for (const Line& l : side) run = std::min(run, l.buf.size() - l.pos);
            std::array<float*, 2 * kCombs> lines;
            std::array<float, 2 * kCombs> damp, gain;
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < kCombs; ++i) {
                    Line& l = combs_[c][i];
                    lines[kCombs * c + i] = l.buf.data() + l.pos;
                    damp[kCombs * c + i] = l.damp;
                    gain[kCombs * c + i] = l.gain;
                }
            CombRunBoth(lines, damp, gain, in.data() + at, wet[0].data() + at, wet[1].data() + at, run);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < kCombs; ++i) {
                    Line& l = combs_[c][i];
                    const float v = damp[kCombs * c + i];
                    l.damp = std::fabs(v) < 1e-20f ? 0.0f : v;
                    l.pos += run;
                    if (l.pos == l.buf.size()) l.pos = 0;
                }
            at += run;
        }
        for (int c = 0; c < 2; ++c) {
            auto& side = allPasses_[c];
            for (std::size_t at = 0; at < n;) {
                std::size_t run = n - at;
                for (const Line& l : side) run = std::min(run, l.buf.size() - l.pos);
                std::array<float*, kAllPasses> lines;
                std::array<float, kAllPasses> gains;
                for (int i = 0; i < kAllPasses; ++i) {
                    lines[i] = side[i].buf.data() + side[i].pos;
                    gains[i] = side[i].gain;
                }
                AllPassesRun(lines.data(), gains.data(), wet[c].data() + at, run);
                for (Line& l : side) {
                    l.pos += run;
                    if (l.pos == l.buf.size()) l.pos = 0;
                }
                at += run;
            }
        }
        // Mixed in four frames at a time; a tail fallen to denormal size is
        // left out.
        {
            const float level = level_;
            const V4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
            std::size_t k = 0;
            for (; k + 4 <= n; k += 4) {
                V4 wl = Load4(wet[0].data() + k), wr = Load4(wet[1].data() + k);
                wl = Abs4(wl) < 1e-25f ? zero : wl * level;
                wr = Abs4(wr) < 1e-25f ? zero : wr * level;
                Store4(f + 2 * k, Load4(f + 2 * k) + __builtin_shufflevector(wl, wr, 0, 4, 1, 5));
                Store4(f + 2 * k + 4, Load4(f + 2 * k + 4) + __builtin_shufflevector(wl, wr, 2, 6, 3, 7));
            }
            for (; k < n; ++k) {
                const float wl = wet[0][k], wr = wet[1][k];
                f[2 * k] += std::fabs(wl) < 1e-25f ? 0.0f : level * wl;
                f[2 * k + 1] += std::fabs(wr) < 1e-25f ? 0.0f : level * wr;
            }
        }
        done += n;
    }
}

// ---------------------------------------------------------------- chorus

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
            using Int4 = std::int32_t __attribute__((vector_size(16)));
            using Float4 = float __attribute__((vector_size(16)));
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

void UseWiderVectors(bool on) { avx2.store(on && kHasAvx2, std::memory_order_relaxed); }

}  // namespace dw
