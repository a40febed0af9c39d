#pragma once
// The music engine: turns the project and its decoded source into the created
// music, `musicLength` x `sampleRate` frames of interleaved float stereo.
//
// Create runs four stages, each returning success; the first failure ends the
// creation and the later stages do not run:
//   A  AllocateOutput: the MusicBuffer, reused when its length is unchanged;
//   B  PlanSections, then Sequence: one motif per section, repeated into the
//      score;
//   C  AllocateBackground, then rendering of the grains into the
//      BackgroundBuffer and the start fill;
//   D  the final gain and fades, written into the MusicBuffer by the same
//      pass that computes them (no separate copy).
// With renderInPlace the BackgroundBuffer is the MusicBuffer itself.
// Only a creation that passes all four clears the project's musicOutdated;
// a cancelled or failed one leaves the previous music in the MusicBuffer
// (silence when the length changed).
//
// Deterministic: every random draw comes from the generator the creation is
// given (model/Random.h), which nothing else draws from; planning, sequencing
// and rendering draw from it in a fixed order, so the same seed and project
// give the same bytes, for any thread count and either renderer.
//
// Progress, cancel and the messages 61002 to 61004 go through the IProgress:
// stage B reports 100 * i / (sections - 1) after each section and after each
// motif repetition of section i (only with two sections or more) and 100 after
// planning; stage C reports after grains 0, 100, 200 ... the grain's start as
// a percentage of the music, then 100. Cancel (IsRunning false) is noticed
// after each report, in stage B as well as in stage C. The engine never
// sleeps or waits; pausing at 100 % is the progress window's business.
//
// Call from one thread; Create starts and joins its render threads itself.
// Free of I/O and of any user interface.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/base/WorkerPool.h"
#include "core/engine/GrainRenderer.h"
#include "core/engine/NoteSequence.h"
#include "core/engine/Sequencing.h"
#include "core/model/Random.h"
#include "core/model/StereoFrame.h"

namespace dw {

class CProject;
class IProgress;

enum class RenderMode {
    Production,  // threads over the output range, vectorised; the default
    Reference,   // the plain scalar renderer the production one is held to
    Portable,    // Production without the vector kernels, as machines without AVX2 run it
    Avx2,        // Production with at most AVX2, as machines without AVX-512 run it
};

struct CreateOptions {
    // The seeded generator the creation draws from; without one, a
    // generator seeded with CreationSeed's default (the time seed).
    std::optional<Random> random;
    // Render threads; 0 means one per core.
    unsigned threads = 0;
    RenderMode renderer = RenderMode::Production;
    // Bytes the new buffers of one creation may take (MusicBuffer when it is
    // reallocated, BackgroundBuffer, envelopes); 0 means no limit. A buffer
    // over the limit fails as an allocation failure does, with its message.
    std::uint64_t allocationLimitBytes = 0;
    // Renders straight into the MusicBuffer, without the BackgroundBuffer:
    // half the memory, for callers no player listens to (the command line).
    // The previous music is gone once rendering begins: a creation cancelled
    // or failed from then on leaves no music (OutputFrameCount 0).
    bool renderInPlace = false;
};

class CMusicEngine {
public:
    CMusicEngine() = default;
    CMusicEngine(const CMusicEngine&) = delete;
    CMusicEngine& operator=(const CMusicEngine&) = delete;

    // Creates the music of `project` from its decoded source
    // (properties.sourceFrames). True on success, when musicOutdated has been
    // cleared. A project the engine cannot render (no source, an unsupported
    // sample rate or music length, a matrix that does not match the
    // sections) is refused with a message before anything changes.
    bool Create(CProject& project, IProgress& progress, const CreateOptions& options = {});

    // Runs stages C and D again from the plan and score of the last
    // successful Create, with a copy of the generator as stage B left it
    // (`options.random` is not used), so the
    // result equals that creation's (the project must be unchanged). For
    // comparing renderers and thread counts, and for timing rendering alone.
    bool Rerender(IProgress& progress, const CreateOptions& options = {});

    // Seconds the stages of the last Create (or Rerender) took: planning and
    // sequencing, the grains, and the passes after them (start fill, peak,
    // gain and fades into the MusicBuffer). For benchmarks and the command
    // line's figures; no effect on the music.
    struct StageSeconds {
        double plan = 0.0;
        double render = 0.0;
        double finish = 0.0;
    };
    const StageSeconds& LastStageSeconds() const { return stageSeconds_; }

    // The MusicBuffer; null before the first allocation.
    const StereoFrame* Output() const { return output.get(); }
    // For finishing the music in place where no player holds it (the command line).
    StereoFrame* MutableOutput() { return output.get(); }
    std::uint32_t OutputFrameCount() const { return output ? outputFrameCount : 0; }
    // Sample rate of the last creation.
    std::uint32_t SampleRate() const { return sampleRate; }
    // The seed of the last creation (given, or the time seed).
    std::uint32_t Seed() const { return seed_; }

    // What the last creation planned; complete after a successful Create.
    std::int32_t SectionCount() const { return sectionCount; }
    const std::vector<CPSection>& PlannedSections() const { return plannedSections; }
    const CNoteSequence& Score() const { return score; }

private:
    bool CheckProject(const CProject& proj, IProgress& progress) const;
    bool AllocateOutput(IProgress& progress);
    bool PlanSections(IProgress& progress);
    void PlanMotif(CPSection& planned);
    bool Sequence(IProgress& progress);
    bool AllocateBackground(IProgress& progress, bool inPlace);
    bool RenderBackground(IProgress& progress, const CreateOptions& options);
    void ClearFreshOutput();
    bool Report(IProgress& progress, int percent) const;

    CProject* project = nullptr;
    std::uint32_t sampleRate = 0;
    // Music buffers are allocated without being written (AllocateFrames), on
    // huge pages where the system has them: the render threads touch their
    // pages first, in parallel, instead of the creating thread.

    std::unique_ptr<WorkerPool> pool_;
    FrameBuffer output;
    bool outputFresh_ = false;  // allocated by this creation, not yet written
    std::uint32_t outputFrameCount = 0;
    FrameBuffer background;
    std::uint32_t backgroundFrameCount = 0;
    std::int32_t sectionCount = 0;
    std::vector<CPSection> plannedSections;
    CNoteSequence score;
    GrainRenderer renderer;

    std::uint32_t seed_ = 0;
    Random random_;        // the creation's generator, drawn from by stages B and C
    Random renderRandom_;  // the generator as stage C begins
    bool planned_ = false;           // plan and score are complete
    AllocationBudget budget_;
    StageSeconds stageSeconds_;
};

}  // namespace dw
