#include "core/audio/Reverb.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "core/audio/EffectsShared.h"
#include "core/base/Vectors.h"

namespace dw {

namespace {
using effects::avx2;
}  // namespace

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

Float4 Load4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store4(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

Float4 Abs4(Float4 v) {
    Int4 bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= 0x7fffffff;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Rows become columns: four lines' next four frames turn into four frames'
// values of the four lines, and back.
void Transpose4(Float4& a, Float4& b, Float4& c, Float4& d) {
    const Float4 ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const Float4 ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const Float4 cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const Float4 cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
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
    Float4 d[kGroups], g[kGroups];
    for (int q = 0; q < kGroups; ++q) {
        d[q] = Load4(damp.data() + 4 * q);
        g[q] = Load4(gain.data() + 4 * q);
    }
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        Float4 y[kGroups][4];
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
    constexpr float keep = kCombDamping, take = 1.0f - kCombDamping;
    Float8 d[2], g[2];
    for (int s = 0; s < 2; ++s) {
        std::memcpy(&d[s], damp.data() + kSideCombs * s, sizeof(Float8));
        std::memcpy(&g[s], gain.data() + kSideCombs * s, sizeof(Float8));
    }
    float* const wet[2] = {wetLeft, wetRight};
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        Float8 f[2][4];
        for (int s = 0; s < 2; ++s) {
            // z[i]: four frames of line i, then four of line 4 + i.
            Float8 z[4];
            for (int i = 0; i < 4; ++i)
                z[i] = __builtin_shufflevector(Load4(lines[kSideCombs * s + i] + k),
                                               Load4(lines[kSideCombs * s + 4 + i] + k), 0, 1, 2, 3, 4, 5, 6, 7);
            // The side's wet signal: ((y0 + y1) + (y2 + y3)) + ((y4 + y5) + (y6 + y7)).
            const Float8 sum = (z[0] + z[1]) + (z[2] + z[3]);
            Store4(wet[s] + k, __builtin_shufflevector(sum, sum, 0, 1, 2, 3) + __builtin_shufflevector(sum, sum, 4, 5, 6, 7));
            // Within each half, four lines by four frames become four frames
            // by four lines: lane l of f[s][j] is the side's line l at frame j.
            const Float8 lo01 = __builtin_shufflevector(z[0], z[1], 0, 8, 1, 9, 4, 12, 5, 13);
            const Float8 hi01 = __builtin_shufflevector(z[0], z[1], 2, 10, 3, 11, 6, 14, 7, 15);
            const Float8 lo23 = __builtin_shufflevector(z[2], z[3], 0, 8, 1, 9, 4, 12, 5, 13);
            const Float8 hi23 = __builtin_shufflevector(z[2], z[3], 2, 10, 3, 11, 6, 14, 7, 15);
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
            const Float8 lo01 = __builtin_shufflevector(f[s][0], f[s][1], 0, 8, 1, 9, 4, 12, 5, 13);
            const Float8 hi01 = __builtin_shufflevector(f[s][0], f[s][1], 2, 10, 3, 11, 6, 14, 7, 15);
            const Float8 lo23 = __builtin_shufflevector(f[s][2], f[s][3], 0, 8, 1, 9, 4, 12, 5, 13);
            const Float8 hi23 = __builtin_shufflevector(f[s][2], f[s][3], 2, 10, 3, 11, 6, 14, 7, 15);
            const Float8 z[4] = {
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
    for (int s = 0; s < 2; ++s) std::memcpy(damp.data() + kSideCombs * s, &d[s], sizeof(Float8));
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
    AllPassesBody<Float4>(lines, gains, wet, n);
}

#if defined(DW_EFFECTS_AVX2)
__attribute__((target("avx2"))) void AllPassesEight(float* const* lines, const float* gains, float* wet,
                                                     std::size_t n) {
    AllPassesBody<Float8>(lines, gains, wet, n);
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
                const Float4 a = Load4(f + 2 * k), b = Load4(f + 2 * k + 4);
                const Float4 left = __builtin_shufflevector(a, b, 0, 2, 4, 6);
                const Float4 right = __builtin_shufflevector(a, b, 1, 3, 5, 7);
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
            const Float4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
            std::size_t k = 0;
            for (; k + 4 <= n; k += 4) {
                Float4 wl = Load4(wet[0].data() + k), wr = Load4(wet[1].data() + k);
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

}  // namespace dw
