#pragma once
// Grain rendering, start fill and final gain: stage C of a creation.
//
// The created music is a cloud of overlapping windowed grains read from the
// source along the score. Grains start every `hop` frames; their length,
// density, spread and rate deviation change at each section boundary. After
// the last grain the thin first seconds are filled in (unless the music loops)
// and the whole buffer is scaled to the volume with the fades.
//
// Two renderers share this state and give the same bytes:
//  - Render: the plain scalar renderer, one grain after the other, one sample
//    after the other. It is the reference the tests hold the other one to.
//  - RenderParallel: plans the grains of a block (all random draws, in the
//    same order) on the calling thread, then lets worker threads split the
//    block's output frames into chunks. Inside a chunk every output sample
//    still sums its grains in grain order, so the float sums are the same
//    operations in the same order as the scalar renderer's, for any number of
//    threads. The per-sample `i / rate` division is replaced by runs of
//    contiguous source frames whose ends are found with the same division,
//    so the inner loop is a plain vectorisable multiply-add.
//
// Runs on the creating thread (plus the workers RenderParallel starts and
// joins); progress, cancel and messages go through the IProgress.
// Build with -ffp-contract=off: a fused multiply-add would round differently
// from the reference.

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/Sequencing.h"
#include "model/StereoFrame.h"

namespace dw {

class CProject;
class IProgress;

// Bytes the buffers of one creation may still take; 0 means no limit. Lets
// the caller cap memory, and the tests provoke the allocation failures.
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

class GrainRenderer {
public:
    // One planned grain of RenderParallel's current block.
    struct PlannedGrain {
        std::int32_t position;  // output frame of the grain's first sample
        std::int64_t start;     // source frame of sample 0, before clamping
        double rate;            // playback rate
    };

    // Everything rendering needs, copied from the engine and the project.
    // `sections` must outlive the render.
    void SetUp(const CProject& project, const std::vector<CPSection>& plannedSections,
               StereoFrame* background, std::int32_t backgroundFrameCount, std::int32_t rate,
               IProgress& progressSink, AllocationBudget* budget);

    // The scalar reference renderer. True when it ran to the end (not
    // cancelled, no allocation failure).
    bool Render(CNoteSequence& score);

    // The production renderer; `threads` >= 1. Same result, same progress
    // reports, same cancel points as Render. Without `vectorKernels` it mixes
    // with the portable loops that machines without AVX2 run.
    bool RenderParallel(CNoteSequence& score, unsigned threads, bool vectorKernels = true);

    // Enters the next planned section: grain length, density, spread, rate
    // deviation and a new envelope.
    void NextSection();
    // Periodic Hann window of `grainLength` values; false (and `running`
    // cleared, message 61004 shown) when it cannot be allocated.
    bool BuildEnvelope();
    // Adds one grain whose sample 0 reads source frame `start` at `position`.
    void AddGrain(std::int64_t start);
    // Adds seconds 6 to 9 into seconds 0 to 3 with a falling weight.
    void StartFill();
    // Scales to `volume` with the fades; a silent buffer stays silent.
    void Normalize();
    // volume x fade factor of frame i, in 32-bit floats.
    float FadeGain(std::uint32_t i) const;

    bool running = false;
    std::int32_t sampleRate = 0;
    const std::vector<CPSection>* sections = nullptr;
    const CProject* project = nullptr;
    IProgress* progress = nullptr;
    std::int32_t sectionIndex = -1;
    std::int32_t sectionEnd = -1;
    double grainSeconds = 0.0;
    double density = 0.0;
    double texture = 0.0;
    double complexity = 0.0;
    double volume = 0.0;
    bool loopMusic = false;
    std::uint32_t fadeInFrames = 0;
    std::uint32_t fadeOutFrames = 0;
    const StereoFrame* source = nullptr;
    std::int32_t sourceFrameCount = 0;
    StereoFrame* target = nullptr;
    std::int32_t targetFrameCount = 0;
    std::vector<float> envelope;
    std::uint32_t grainLength = 0;
    std::uint32_t spread = 0;
    std::int32_t position = 0;
    std::int32_t hop = 0;

    // Told of every grain as it is planned (both renderers), with the section
    // whose parameters it takes; for diagnostics and tests. Empty by default.
    std::function<void(const PlannedGrain&, std::int32_t sectionIndex)> onGrain;

private:
    // Start of one grain in the order of the reference: the score's source
    // position, the spread draw, the rate draw.
    PlannedGrain PlanGrain(CNoteSequence& score);
    void ReportGrain(std::int32_t grainPosition);
    void MixBlock(const PlannedGrain* grains, std::size_t count, class WorkerPool& pool, bool vectorKernels);

    AllocationBudget* budget_ = nullptr;
    std::uint32_t propertiesSampleRate_ = 0;
    std::uint64_t envelopeBytes_ = 0;
};

}  // namespace dw
