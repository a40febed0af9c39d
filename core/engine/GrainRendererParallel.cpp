// The production renderer: same draws, same sums, same bytes as
// GrainRenderer::Render, spread over threads and vectorised.
#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/base/Processor.h"
#include "core/base/AllocationFault.h"
#include "core/base/Vectors.h"
#include "core/base/WorkerPool.h"
#include "core/engine/GrainRenderer.h"
#include "core/engine/Quotient.h"

namespace dw {
namespace {

// Output frames per task: the tile of the target one thread sums into. Each
// grain that overlaps a tile passes over it as one long run: its setup (a few
// divisions to find where its runs end) and the start of its streams through
// the caches are paid once per 32768 frames, and the source and envelope come
// in as long sequential reads that the processor fetches ahead. Measured
// against tiles that fit the first-level cache (4096 frames), this is about a
// sixth faster on two threads; the tile itself stays in the second level.
constexpr std::int64_t kTileFrames = 32768;
// Progress is reported after grains 0, 100, 200 ..., as by the reference.
constexpr std::uint64_t kReportEvery = 100;
// The frames of grain starts one block plans before it is mixed, and the
// grains it holds at most (a block's memory stays small at any rate).
constexpr std::int64_t kBlockFrames = 1 << 19;
constexpr std::size_t kBlockGrains = 1 << 16;
// Below this distance from 1 (but not 1 itself) a rate is served by the
// reference's per-sample division: the run arithmetic relies on trunc(i / rate) - i
// changing by at most one per sample, in one direction, which holds with a
// wide margin for |rate - 1| >= 2^-16 and grains shorter than 2^20 frames.
constexpr double kMinRunDeviation = 1.0 / 65536.0;

// t[2k + c] += e[k] * s[2k + c] for channels c = 0, 1: the envelope times the
// source, added into the target; one rounding for the product and one for the
// sum, as in the reference. The envelope is read once per frame and spread
// over both channels in registers, which keeps it half the size in cache.
void MixAddPortable(float* __restrict t, const float* __restrict e, const float* __restrict s, std::size_t frames) {
    for (std::size_t k = 0; k < frames; ++k) {
        t[2 * k] += e[k] * s[2 * k];
        t[2 * k + 1] += e[k] * s[2 * k + 1];
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DW_HAVE_AVX2_KERNEL 1
__attribute__((target("avx2"))) void MixAddAvx2(float* __restrict t, const float* __restrict e,
                                                 const float* __restrict s, std::size_t frames) {
    std::size_t k = 0;
    for (; k + 8 <= frames; k += 8) {
        const __m128 e0 = _mm_loadu_ps(e + k);
        const __m128 e1 = _mm_loadu_ps(e + k + 4);
        const __m256 d0 = _mm256_set_m128(_mm_unpackhi_ps(e0, e0), _mm_unpacklo_ps(e0, e0));
        const __m256 d1 = _mm256_set_m128(_mm_unpackhi_ps(e1, e1), _mm_unpacklo_ps(e1, e1));
        const __m256 p0 = _mm256_mul_ps(d0, _mm256_loadu_ps(s + 2 * k));
        const __m256 p1 = _mm256_mul_ps(d1, _mm256_loadu_ps(s + 2 * k + 8));
        _mm256_storeu_ps(t + 2 * k, _mm256_add_ps(_mm256_loadu_ps(t + 2 * k), p0));
        _mm256_storeu_ps(t + 2 * k + 8, _mm256_add_ps(_mm256_loadu_ps(t + 2 * k + 8), p1));
    }
    if (k + 4 <= frames) {
        const __m128 e0 = _mm_loadu_ps(e + k);
        const __m256 d0 = _mm256_set_m128(_mm_unpackhi_ps(e0, e0), _mm_unpacklo_ps(e0, e0));
        const __m256 p0 = _mm256_mul_ps(d0, _mm256_loadu_ps(s + 2 * k));
        _mm256_storeu_ps(t + 2 * k, _mm256_add_ps(_mm256_loadu_ps(t + 2 * k), p0));
        k += 4;
    }
    if (k < frames) {
        // The last one to three frames under a mask: masked-off lanes are
        // neither read nor written, and no scalar tail loop is needed.
        const int rest = static_cast<int>(frames - k);
        const __m128i envMask = _mm_cmpgt_epi32(_mm_set1_epi32(rest), _mm_setr_epi32(0, 1, 2, 3));
        const __m256i mask =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(2 * rest), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        const __m128 e0 = _mm_maskload_ps(e + k, envMask);
        const __m256 d0 = _mm256_set_m128(_mm_unpackhi_ps(e0, e0), _mm_unpacklo_ps(e0, e0));
        const __m256 p0 = _mm256_mul_ps(d0, _mm256_maskload_ps(s + 2 * k, mask));
        _mm256_maskstore_ps(t + 2 * k, mask, _mm256_add_ps(_mm256_maskload_ps(t + 2 * k, mask), p0));
    }
}
#endif

using MixAddFn = void (*)(float*, const float*, const float*, std::size_t);

MixAddFn ChooseMixAdd() {
#if defined(DW_HAVE_AVX2_KERNEL)
    if (ProcessorHasAvx2()) return MixAddAvx2;
#endif
    return MixAddPortable;
}

const MixAddFn kBestMixAdd = ChooseMixAdd();

const bool kHasAvx512 = ProcessorHasAvx512();

// The same with one source frame for every sample (grains clamped at an end
// of the source).
void MixAddConstant(float* __restrict t, const float* __restrict e, float left, float right, std::size_t frames) {
    for (std::size_t k = 0; k < frames; ++k) {
        t[2 * k] += e[k] * left;
        t[2 * k + 1] += e[k] * right;
    }
}

// First index after i (at most `end`) where trunc(k / rate) - k differs from
// d = trunc(i / rate) - i. That difference is monotone in k (see
// kMinRunDeviation), so two probes around an estimate usually settle it; a
// bisection covers a poor estimate.
// `slope` is 1 / |1 - 1 / rate|, the frames between run ends; the estimate
// only saves probes, the probes decide.
inline std::int64_t RunEnd(std::int64_t i, std::int64_t end, std::int64_t d, const QuotientOf& quotient,
                           double slope) {
    const double rate = quotient.rate;
    const double estimate = rate > 1.0 ? std::floor(static_cast<double>(-d) * slope) + 1.0
                                       : std::ceil(static_cast<double>(d + 1) * slope);
    std::int64_t est;
    if (!(estimate < static_cast<double>(end))) {
        est = end;
    } else if (!(estimate > static_cast<double>(i + 1))) {
        est = i + 1;
    } else {
        est = static_cast<std::int64_t>(estimate);
    }
    auto same = [&](std::int64_t k) { return quotient(k) - k == d; };
    // The usual case, decided by two probes that do not wait on each other.
    const bool before = same(est - 1);  // est - 1 >= i, and i holds d
    const bool after = same(est);
    if (before && (est == end || !after)) return est;
    std::int64_t lo = i;    // known to hold d
    std::int64_t hi = end;  // known not to (or the end)
    if (est - 1 > lo) {
        if (before) lo = est - 1; else hi = est - 1;
    }
    if (est > lo && est < hi) {
        if (after) lo = est; else hi = est;
    }
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (same(mid)) lo = mid; else hi = mid;
    }
    return hi;
}

struct MixContext {
    float* target;                 // the background as floats
    const StereoFrame* source;
    std::int64_t sourceFrames;
    const float* envelope;         // one value per grain sample
    MixAddFn mixAdd;               // the kernel for runs
    bool spanKernel;               // whole spans in one pass (AVX2)
    bool wideSpan;                 // ... sixteen frames at a time (AVX-512)
};

// Samples [a, b) of a grain whose source frame is off + i before clamping,
// written to output frame oBase + i.
void MixRun(const MixContext& c, std::int64_t oBase, std::int64_t a, std::int64_t b, std::int64_t off) {
    const std::int64_t lowEnd = std::clamp<std::int64_t>(-off, a, b);
    const std::int64_t highStart = std::clamp<std::int64_t>(c.sourceFrames - off, lowEnd, b);
    if (lowEnd > a) {
        const StereoFrame f = c.source[0];
        MixAddConstant(c.target + 2 * (oBase + a), c.envelope + a, f.left, f.right,
                       static_cast<std::size_t>(lowEnd - a));
    }
    if (highStart > lowEnd) {
        c.mixAdd(c.target + 2 * (oBase + lowEnd), c.envelope + lowEnd,
               reinterpret_cast<const float*>(c.source + off + lowEnd), static_cast<std::size_t>(highStart - lowEnd));
    }
    if (b > highStart) {
        const StereoFrame f = c.source[c.sourceFrames - 1];
        MixAddConstant(c.target + 2 * (oBase + highStart), c.envelope + highStart, f.left, f.right,
                       static_cast<std::size_t>(b - highStart));
    }
}

// Walks the runs of one grain's samples [.., last): `d` is trunc(i / rate) - i
// for every i below `end`, and Next() moves to the following run.
struct RunWalker {
    QuotientOf quotient;
    double slope;
    std::int64_t step;
    std::int64_t last;
    std::int64_t d;
    std::int64_t end;
    RunWalker(double r, std::int64_t i0, std::int64_t i1)
        : quotient(r), slope(r == 1.0 ? 0.0 : 1.0 / std::fabs(1.0 - 1.0 / r)), step(r > 1.0 ? -1 : 1), last(i1),
          d(quotient(i0) - i0), end(r == 1.0 ? i1 : RunEnd(i0, i1, d, quotient, slope)) {}
    void Next() {
        const std::int64_t from = end;
        d += step;
        end = RunEnd(from, last, d, quotient, slope);
    }
};

#if defined(DW_HAVE_AVX2_KERNEL)
// The vector steps of a group of frames, in the compiler's vector types so
// that one skeleton compiles for either instruction set: the wrapper's target
// decides the registers. Results go out through references (a wide vector
// returned from a function compiled without its instruction set would change
// the calling convention).
template <int kWidth>
struct Lanes;

// Eight frames a group, for AVX2.
template <>
struct Lanes<8> {
    using V = Float8;
    using I = Int8;
    static constexpr std::int64_t kFrames = 8;
    // The frame of each sample lane of the group's two halves.
    static constexpr I kLow = {0, 0, 1, 1, 2, 2, 3, 3};
    static constexpr I kHigh = {4, 4, 5, 5, 6, 6, 7, 7};
    [[gnu::always_inline]] static inline void Spread(const float* e, V& low, V& high) {
        V ev;
        std::memcpy(&ev, e, sizeof ev);
        low = __builtin_shufflevector(ev, ev, 0, 0, 1, 1, 2, 2, 3, 3);
        high = __builtin_shufflevector(ev, ev, 4, 4, 5, 5, 6, 6, 7, 7);
    }
};

// Sixteen frames a group, for AVX-512.
template <>
struct Lanes<16> {
    using V = Float16;
    using I = Int16;
    static constexpr std::int64_t kFrames = 16;
    static constexpr I kLow = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7};
    static constexpr I kHigh = {8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15};
    [[gnu::always_inline]] static inline void Spread(const float* e, V& low, V& high) {
        V ev;
        std::memcpy(&ev, e, sizeof ev);
        low = __builtin_shufflevector(ev, ev, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
        high = __builtin_shufflevector(ev, ev, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    }
};

// Samples [i0, i1) of a grain whose source frames all lie inside the source
// with a frame to spare at either end, a group of frames at a time across run
// ends: the run ends come every dozen frames or more, so a group holds at most
// one, where each lane takes its frame from the source as shifted before or
// after it. One pass over the span instead of a call per run; every lane adds
// e[i] * s into the target as the reference does.
template <class L>
[[gnu::always_inline]] inline void MixSpanBody(const MixContext& c, std::int64_t oBase, std::int64_t start,
                                               double rate, std::int64_t i0, std::int64_t i1) {
    using V = typename L::V;
    constexpr std::int64_t kGroup = L::kFrames;
    // Pointers are formed only at frames that exist (the grain's start and
    // output base may lie before either buffer).
    const float* const e = c.envelope;
    float* const target = c.target;
    const float* const source = reinterpret_cast<const float*>(c.source);
    RunWalker w(rate, i0, i1);
    auto one = [&](std::int64_t i, std::int64_t offset) {
        const float* f = source + 2 * (start + offset + i);
        float* o = target + 2 * (oBase + i);
        o[0] += e[i] * f[0];
        o[1] += e[i] * f[1];
    };
    auto load = [](const float* p, V& v) { std::memcpy(&v, p, sizeof v); };
    std::int64_t k = i0;
    for (; k + kGroup <= i1; k += kGroup) {
        while (w.end <= k) w.Next();
        V d0, d1;
        L::Spread(e + k, d0, d1);
        V s0, s1;
        if (w.end >= k + kGroup) {
            const float* f = source + 2 * (start + w.d + k);
            load(f, s0);
            load(f + kGroup, s1);
        } else {
            const std::int64_t b = w.end;
            const float* before = source + 2 * (start + w.d + k);
            w.Next();
            if (w.end < k + kGroup) {
                // Two run ends in one group: only rates far from any the
                // texture row can ask for come here.
                for (std::int64_t i = k; i < k + kGroup; ++i) one(i, Quotient(i, rate) - i);
                continue;
            }
            const float* after = source + 2 * (start + w.d + k);
            // Lanes of frames from the run end on take `after`.
            const auto rel = static_cast<std::int32_t>(b - k);
            V b0, b1, a0, a1;
            load(before, b0);
            load(before + kGroup, b1);
            load(after, a0);
            load(after + kGroup, a1);
            s0 = L::kLow >= rel ? a0 : b0;
            s1 = L::kHigh >= rel ? a1 : b1;
        }
        float* const o = target + 2 * (oBase + k);
        V t0, t1;
        load(o, t0);
        load(o + kGroup, t1);
        t0 += d0 * s0;
        t1 += d1 * s1;
        std::memcpy(o, &t0, sizeof t0);
        std::memcpy(o + kGroup, &t1, sizeof t1);
    }
    for (; k < i1; ++k) {
        while (w.end <= k) w.Next();
        one(k, w.d);
    }
}

__attribute__((target("avx2"))) void MixSpanAvx2(const MixContext& c, std::int64_t oBase, std::int64_t start,
                                                  double rate, std::int64_t i0, std::int64_t i1) {
    MixSpanBody<Lanes<8>>(c, oBase, start, rate, i0, i1);
}

__attribute__((target("avx512f,avx512vl,avx512dq,avx512bw"))) void MixSpanAvx512(const MixContext& c,
                                                                                   std::int64_t oBase,
                                                                                   std::int64_t start, double rate,
                                                                                   std::int64_t i0, std::int64_t i1) {
    MixSpanBody<Lanes<16>>(c, oBase, start, rate, i0, i1);
}
#endif

bool NeedsDivision(double rate) { return rate != 1.0 && std::fabs(rate - 1.0) < kMinRunDeviation; }

// Samples [i0, i1) of one grain whose rate is served by runs.
void MixGrain(const MixContext& c, const GrainRenderer::PlannedGrain& g, std::int64_t oBase, std::int64_t i0,
              std::int64_t i1) {
    const double rate = g.rate;
#if defined(DW_HAVE_AVX2_KERNEL)
    if (c.spanKernel && i1 - i0 >= 16) {
        // Source frames only grow with i, so the ends of the span bound them.
        const std::int64_t first = g.start + Quotient(i0, rate);
        const std::int64_t final = g.start + Quotient(i1 - 1, rate);
        if (first >= 1 && final <= c.sourceFrames - 2) {
            if (c.wideSpan) {
                MixSpanAvx512(c, oBase, g.start, rate, i0, i1);
            } else {
                MixSpanAvx2(c, oBase, g.start, rate, i0, i1);
            }
            return;
        }
    }
#endif
    // trunc(i / rate) - i steps by exactly one at each run end (down when
    // the grain plays faster, up when slower), so only the first is divided.
    RunWalker w(rate, i0, i1);
    std::int64_t i = i0;
    while (i < i1) {
        MixRun(c, oBase, i, w.end, g.start + w.d);
        i = w.end;
        if (i < i1) w.Next();
    }
}

}  // namespace

void GrainRenderer::MixBlock(const PlannedGrain* grains, std::size_t count, WorkerPool& pool, VectorKernels kernels) {
    if (count == 0) return;
    const std::int64_t frames = targetFrameCount_;
    const std::int64_t length = grainLength_;
    // The block's grains cover [lo, hi) of the unwrapped timeline; frames at
    // or past the end wrap to the start with loopMusic, or are dropped.
    const std::int64_t lo = grains[0].position;
    std::int64_t hi = static_cast<std::int64_t>(grains[count - 1].position) + length;
    if (!loopMusic_) hi = std::min(hi, frames);
    if (hi - lo > frames) {
        // Blocks are planned at most a quarter of the music long, so only a
        // grain longer than most of the music gets here; a wrap onto the
        // block's own frames would break the per-tile order, so the reference
        // renderer's loop takes over.
        for (std::size_t g = 0; g < count; ++g) AddGrain(grains[g]);
        return;
    }
    // Tiles of the unwrapped range, split at the end of the music so that
    // each tile maps onto consecutive frames.
    const std::int64_t firstEnd = std::min(hi, frames);
    const std::int64_t tilesBefore = (firstEnd - lo + kTileFrames - 1) / kTileFrames;
    const std::int64_t tilesAfter = hi > frames ? (hi - frames + kTileFrames - 1) / kTileFrames : 0;
    const MixAddFn mixAdd = kernels != VectorKernels::None ? kBestMixAdd : MixAddPortable;
#if defined(DW_HAVE_AVX2_KERNEL)
    const bool spanKernel = mixAdd == MixAddAvx2;
#else
    const bool spanKernel = false;
#endif
    const MixContext ctx{reinterpret_cast<float*>(target_), source_, sourceFrameCount_, envelope_.data(), mixAdd,
                         spanKernel, spanKernel && kernels == VectorKernels::Widest && kHasAvx512};
    const PlannedGrain* const end = grains + count;
    auto job = [&](std::size_t task) {
        AllocationPoint(AllocationStage::Creation);
        const auto t = static_cast<std::int64_t>(task);
        std::int64_t u0, u1;
        if (t < tilesBefore) {
            u0 = lo + t * kTileFrames;
            u1 = std::min(u0 + kTileFrames, firstEnd);
        } else {
            u0 = frames + (t - tilesBefore) * kTileFrames;
            u1 = std::min(u0 + kTileFrames, hi);
        }
        const std::int64_t shift = u0 >= frames ? frames : 0;
        // Positions grow with the grain number, so the grains that reach into
        // [u0, u1) are one run of the block: those starting after u0 - length
        // and before u1. They are summed in grain order.
        const PlannedGrain* first = std::partition_point(
            grains, end, [&](const PlannedGrain& g) { return g.position + length <= u0; });
        for (const PlannedGrain* g = first; g != end && g->position < u1; ++g) {
            const std::int64_t p = g->position;
            const std::int64_t i0 = std::max<std::int64_t>(0, u0 - p);
            const std::int64_t i1 = std::min<std::int64_t>(length, u1 - p);
            if (i0 >= i1) continue;
            // Rates a hair from 1 take the reference's loop: frame p + i
            // wraps onto p - shift + i, as the tile maps it.
            if (NeedsDivision(g->rate)) {
                AddSamples(*g, i0, i1);
            } else {
                MixGrain(ctx, *g, p - shift, i0, i1);
            }
        }
    };
    pool.Run(static_cast<std::size_t>(tilesBefore + tilesAfter), job);
}

bool GrainRenderer::RenderParallel(CNoteSequence& score, Random& random, unsigned threads, VectorKernels kernels) {
    WorkerPool pool(std::max(1u, threads));
    return RenderParallel(score, random, pool, kernels);
}

bool GrainRenderer::RenderParallel(CNoteSequence& score, Random& random, WorkerPool& pool, VectorKernels kernels) {
    running_ = true;
    Clear(pool);
    score.ResetCursor();
    sectionIndex_ = -1;
    sectionEnd_ = -1;
    std::int32_t position = 0;
    std::uint64_t k = 0;
    // A block spans this many frames of grain starts at most: long enough
    // that a tile meets most of its grains in one block, so it is loaded into
    // the cache about once; a quarter of the music at most, so that a block
    // never wraps onto itself.
    const std::int64_t blockSpan = std::max<std::int64_t>(1, std::min<std::int64_t>(kBlockFrames, targetFrameCount_ / 4));
    std::vector<PlannedGrain>& block = block_;
    while (running_ && position < targetFrameCount_) {
        // Plan a block: every draw in the reference's order, never across a
        // section boundary (the envelope changes there). Progress is reported
        // (and cancel noticed) at the same grains as by the reference.
        block.clear();
        std::int64_t blockStart = position;
        while (position < targetFrameCount_) {
            if (position > sectionEnd_) {
                if (!block.empty()) break;
                NextSection();
                if (!running_) break;
                blockStart = position;
            }
            if (position - blockStart >= std::max<std::int64_t>(blockSpan, 2 * static_cast<std::int64_t>(hop_)) ||
                block.size() >= kBlockGrains)
                break;
            block.push_back(PlanGrain(score, position, random));
            const bool report = k % kReportEvery == 0;
            const std::int32_t reportPosition = position;
            position = position + hop_;
            k = k + 1;
            if (report) {
                ReportGrain(reportPosition);
                if (!running_) break;  // cancelled: the render is thrown away
            }
        }
        if (running_) MixBlock(block.data(), block.size(), pool, kernels);
    }
    return Finish(pool);
}

}  // namespace dw
