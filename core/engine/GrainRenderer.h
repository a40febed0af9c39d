#pragma once
// Grain rendering, start fill and final gain: stage C of a creation.
//
// The created music is a cloud of overlapping windowed grains read from the
// source along the score. Grains start every `hop` frames; their length,
// density, spread and rate deviation change at each section boundary. After
// the last grain the thin first seconds are filled in (unless the music loops)
// and the whole buffer is scaled to the volume with the fades.
//
// Two renderers share this state, the grain planning (every random draw) and
// the passes after the last grain, and give the same bytes:
//  - Render: the plain scalar renderer, one grain after the other, one sample
//    after the other. It is the reference the tests hold the other one to.
//  - RenderParallel: plans a block of grains (all random draws, in the
//    same order) on the calling thread, then lets worker threads split the
//    block's output frames into tiles small enough for the first-level cache.
//    A tile sums every grain of the block that overlaps it, in grain order,
//    so every output sample still sums its grains in grain order: the float
//    sums are the same operations in the same order as the scalar renderer's,
//    for any number of threads. The per-sample `i / rate` division is replaced
//    by runs of contiguous source frames whose ends are found with the same
//    division, so the inner loop is a plain vectorisable multiply-add.
//
// Runs on the creating thread (plus the workers RenderParallel starts and
// joins); progress, cancel and messages go through the IProgress.
// Build with -ffp-contract=off: a fused multiply-add would round differently
// from the reference.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "core/engine/Sequencing.h"
#include "core/model/StereoFrame.h"

namespace dw {

class CProject;
class IProgress;

// Bytes the buffers of one creation may still take; 0 means no limit. Lets
// the caller cap memory, and the tests provoke the allocation failures.
// The vector instructions the production renderer may mix with; each level
// gives the same bytes.
enum class VectorKernels {
    None,    // portable loops, as other architectures run them
    Avx2,    // at most AVX2, as x86 processors without AVX-512 run it
    Widest,  // AVX-512 where the processor has it
};

struct AllocationBudget {
    std::uint64_t limit = 0;
    std::uint64_t used = 0;
    bool Take(std::uint64_t bytes) {
        if (limit != 0 && (bytes > limit || used > limit - bytes)) return false;
        used += bytes;
        return true;
    }
    void Give(std::uint64_t bytes) { used = bytes > used ? 0 : used - bytes; }
};

class WorkerPool;
class Random;

class GrainRenderer {
public:
    // One grain as planned: where it plays and what it reads.
    struct PlannedGrain {
        std::int32_t position;  // output frame of the grain's first sample
        std::int64_t start;     // source frame of sample 0, before clamping
        double rate;            // playback rate
    };
    using GrainObserver = std::function<void(const PlannedGrain&, std::int32_t sectionIndex)>;

    // Everything rendering needs, copied from the engine and the project.
    // `plannedSections` must outlive the render.
    void SetUp(const CProject& project, const std::vector<CPSection>& plannedSections,
               StereoFrame* background, std::int32_t backgroundFrameCount, std::int32_t rate,
               IProgress& progressSink, AllocationBudget* budget);

    // Where the last pass (gain and fades) writes the music: the render
    // target itself unless set. SetUp resets it.
    void SetDestination(StereoFrame* destination) { destination_ = destination; }
    // Seconds the passes after the last grain took in the last render.
    double FinishSeconds() const { return finishSeconds_; }

    // The scalar reference renderer; every draw comes from `random`. True
    // when it ran to the end (not cancelled, no allocation failure).
    bool Render(CNoteSequence& score, Random& random);

    // The production renderer; `threads` >= 1. Same result, same progress
    // reports, same cancel points as Render. `kernels` caps the vector
    // instructions it mixes with (the processor's widest by default), so
    // that the loops of machines without AVX-512 or AVX2 run here too.
    bool RenderParallel(CNoteSequence& score, Random& random, unsigned threads,
                        VectorKernels kernels = VectorKernels::Widest);
    // The same on a pool the caller keeps (and may use for its own passes).
    bool RenderParallel(CNoteSequence& score, Random& random, WorkerPool& pool,
                        VectorKernels kernels = VectorKernels::Widest);

    // Told of every grain as it is planned (both renderers), with the section
    // whose parameters it takes; for diagnostics and tests. Empty by default.
    void SetGrainObserver(GrainObserver observer) { onGrain_ = std::move(observer); }

    // The steps a render is made of, one at a time.

    // Enters the next planned section: grain length, density, spread, rate
    // deviation and a new envelope.
    void NextSection();
    // The grain at output frame `position`, with the score's source position
    // there, the spread draw and the rate draw, in that order, all from
    // `random`.
    PlannedGrain PlanGrain(CNoteSequence& score, std::int32_t position, Random& random);
    // Mixes one grain into the buffer, sample by sample.
    void AddGrain(const PlannedGrain& grain);
    // Adds seconds 6 to 9 into seconds 0 to 3 with a falling weight.
    void StartFill();
    // Scales to `volume` with the fades; a silent buffer stays silent.
    void Normalize();
    // volume x fade factor of frame i, in 32-bit floats.
    float FadeGain(std::uint32_t i) const;

    // The section in force and its parameters.
    std::int32_t SectionIndex() const { return sectionIndex_; }
    std::uint32_t GrainLength() const { return grainLength_; }
    double Density() const { return density_; }
    std::int32_t Hop() const { return hop_; }
    std::uint32_t Spread() const { return spread_; }
    const std::vector<float>& Envelope() const { return envelope_; }
    std::uint32_t FadeInFrames() const { return fadeInFrames_; }

private:
    // Periodic Hann window of `grainLength_` values; false (and `running_`
    // cleared, message 61004 shown) when it cannot be allocated.
    bool BuildEnvelope();
    // Samples [i0, i1) of a grain with the reference arithmetic: one
    // division per sample, the source frame clamped to the source, frames
    // past the end of the music wrapped with loopMusic or dropped.
    void AddSamples(const PlannedGrain& grain, std::int64_t i0, std::int64_t i1);
    void ReportGrain(std::int32_t grainPosition);
    void MixBlock(const PlannedGrain* grains, std::size_t count, WorkerPool& pool, VectorKernels kernels);
    // The passes over the whole buffer, in pieces the pool runs: a pool of
    // one thread runs them in order on the calling thread, as the reference
    // renderer does.
    void Clear(WorkerPool& pool);
    bool Finish(WorkerPool& pool);
    void StartFill(WorkerPool& pool);
    void Normalize(WorkerPool& pool);
    // The a of the start fill (three seconds, at most a third of the music),
    // 0 when there is nothing to fill.
    std::int64_t StartFillFrames() const;
    // Frames [from, to) of the start fill: reads [2a, 3a), writes [0, a).
    void StartFillFrames(std::int64_t a, std::int64_t from, std::int64_t to);
    // The largest magnitude in frames [from, to).
    float PeakOf(std::int64_t from, std::int64_t to) const;
    // Frames [from, to) scaled by 1 / peak and the fade gain into `into`.
    void ScaleFrames(StereoFrame* into, float peak, std::int64_t from, std::int64_t to) const;

    bool running_ = false;
    std::int32_t sampleRate_ = 0;
    const std::vector<CPSection>* sections_ = nullptr;
    const CProject* project_ = nullptr;
    IProgress* progress_ = nullptr;
    std::int32_t sectionIndex_ = -1;
    std::int32_t sectionEnd_ = -1;
    double density_ = 0.0;
    double texture_ = 0.0;
    double volume_ = 0.0;
    bool loopMusic_ = false;
    std::uint32_t fadeInFrames_ = 0;
    std::uint32_t fadeOutFrames_ = 0;
    const StereoFrame* source_ = nullptr;
    std::int32_t sourceFrameCount_ = 0;
    StereoFrame* target_ = nullptr;
    StereoFrame* destination_ = nullptr;  // null: the target
    double finishSeconds_ = 0.0;
    std::int32_t targetFrameCount_ = 0;
    std::vector<float> envelope_;
    std::uint32_t grainLength_ = 0;
    std::uint32_t spread_ = 0;
    std::int32_t hop_ = 0;
    GrainObserver onGrain_;
    std::vector<PlannedGrain> block_;  // the grains planned and not yet mixed

    AllocationBudget* budget_ = nullptr;
    std::uint32_t propertiesSampleRate_ = 0;
    std::uint64_t envelopeBytes_ = 0;
};

}  // namespace dw
