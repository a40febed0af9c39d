#include "core/engine/MusicEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "core/model/Progress.h"
#include "core/model/Project.h"
#include "core/model/Random.h"
#include "core/resources/StringTable.h"

namespace dw {
namespace {

// Limits of what the engine renders; outside them it refuses with a message.
constexpr std::uint32_t kMinSampleRate = 8000;
constexpr std::uint32_t kMaxSampleRate = 192000;
constexpr double kMinMotifSeconds = 1.0;

// A fraction of the music or of the source held in [0, 1]; NaN reads as 0.
double Fraction(double f) {
    if (!(f > 0.0)) return 0.0;
    return f < 1.0 ? f : 1.0;
}

// A section source bound: the default marker stays, anything else becomes a
// fraction (NaN: the default).
double SourceFraction(double f) {
    if (f == kDefaultSourceRange || std::isnan(f)) return kDefaultSourceRange;
    return Fraction(f);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::uint32_t MotifFrames(std::uint32_t rate, double baseMotifLength) {
    return static_cast<std::uint32_t>(static_cast<double>(rate) * baseMotifLength);
}

}  // namespace

bool CMusicEngine::Report(IProgress& progress, int percent) const {
    progress.SetProgress(percent);
    return progress.IsRunning();
}

bool CMusicEngine::CheckProject(const CProject& proj, IProgress& progress) const {
    const CProperties& p = proj.properties;
    std::string problem;
    if (p.sourceFrames == nullptr || p.sourceFrameCount == 0) {
        problem = "Error: The music source holds no sound to create music from";
    } else if (p.sourceFrameCount > kMaxSourceFrameCount) {
        problem = "Error: The music source is too long";
    } else if (p.sampleRate < kMinSampleRate || p.sampleRate > kMaxSampleRate) {
        problem = "Error: The sample rate of the project is not supported";
    } else if (p.musicLength < kMinMusicLength || p.musicLength > kMaxMusicLength) {
        problem = "Error: The music length must lie between 10 and 3599 seconds";
    } else if (!(p.baseMotifLength >= kMinMotifSeconds && p.baseMotifLength <= kMaxMusicLength)) {
        problem = "Error: The base motif length is out of range";
    } else if (proj.sections.items.empty()) {
        problem = "Error: The project has no sections";
    } else {
        const std::size_t count = proj.sections.items.size();
        bool matches = proj.matrix.columnCount >= 0 && static_cast<std::size_t>(proj.matrix.columnCount) >= count;
        for (const auto& row : proj.matrix.rows) matches = matches && row.size() >= count;
        if (!matches) problem = "Error: The matrix does not match the sections";
    }
    if (problem.empty()) return true;
    progress.ShowMessage(0, problem, MessageIcon::Exclamation);
    return false;
}

bool CMusicEngine::Create(CProject& proj, IProgress& progress, const CreateOptions& options) {
    if (!CheckProject(proj, progress)) return false;
    random_ = options.random ? *options.random : Random(CreationSeed(std::nullopt));
    seed_ = random_.Seed();
    project = &proj;
    sampleRate = proj.properties.sampleRate;
    planned_ = false;
    budget_ = AllocationBudget{options.allocationLimitBytes, 0};
    stageSeconds_ = StageSeconds{};

    if (!AllocateOutput(progress)) return false;  // stage A
    const auto planStart = std::chrono::steady_clock::now();
    const bool plannedOk = PlanSections(progress);  // stage B (Sequence included)
    stageSeconds_.plan = SecondsSince(planStart);
    if (!plannedOk) {
        ClearFreshOutput();
        return false;
    }
    renderRandom_ = random_;
    planned_ = true;
    if (!RenderBackground(progress, options)) return false;  // stages C and D
    proj.musicOutdated = 0;
    return true;
}

bool CMusicEngine::Rerender(IProgress& progress, const CreateOptions& options) {
    if (!planned_ || project == nullptr || !output) return false;
    budget_ = AllocationBudget{options.allocationLimitBytes, 0};
    stageSeconds_ = StageSeconds{};
    random_ = renderRandom_;
    return RenderBackground(progress, options);
}

bool CMusicEngine::AllocateOutput(IProgress& progress) {
    const std::uint32_t n = project->properties.musicLength * sampleRate;  // checked to fit
    if (output && n == outputFrameCount) return true;
    output.reset();
    outputFrameCount = 0;
    const std::uint64_t bytes = static_cast<std::uint64_t>(n) * sizeof(StereoFrame);
    if (budget_.Take(bytes)) output = AllocateFrames(n);
    if (!output) {
        progress.ShowMessage(IDS_OUTPUT_ALLOC_FAILED, LoadString(IDS_OUTPUT_ALLOC_FAILED), MessageIcon::Exclamation);
        return false;
    }
    outputFresh_ = true;
    outputFrameCount = n;
    return true;
}

// A creation that fails before its music is written leaves a new MusicBuffer
// silent, as its length promises, rather than holding whatever the
// allocation returned.
void CMusicEngine::ClearFreshOutput() {
    if (!output || !outputFresh_) return;
    std::fill(output.get(), output.get() + outputFrameCount, StereoFrame{});
    outputFresh_ = false;
}

bool CMusicEngine::PlanSections(IProgress& progress) {
    const CProperties& props = project->properties;
    sectionCount = static_cast<std::int32_t>(project->sections.items.size());
    plannedSections.clear();
    plannedSections.reserve(static_cast<std::size_t>(sectionCount));

    // The section list as the planning reads it: fractions held in [0, 1], so
    // that a damaged project cannot push a frame index outside the buffers.
    // Valid projects pass unchanged.
    CSections safe;
    safe.items = project->sections.items;
    for (CSection& s : safe.items) {
        s.start = Fraction(s.start);
        s.end = Fraction(s.end);
        s.sourceStart = SourceFraction(s.sourceStart);
        s.sourceEnd = SourceFraction(s.sourceEnd);
    }
    const double trimStart = Fraction(props.trimStart);
    const double trimEnd = Fraction(props.trimEnd);
    const double frames = static_cast<double>(outputFrameCount);
    const std::int64_t sourceFrames = props.sourceFrameCount;

    for (std::int32_t i = 0; i < sectionCount; ++i) {
        const CSection& s = safe.items[static_cast<std::size_t>(i)];
        CPSection planned;
        planned.section = i;
        planned.outputStart = static_cast<std::int32_t>(s.start * frames);
        planned.outputEnd = static_cast<std::int32_t>(s.end * frames);
        const FrameRange range = safe.ResolveSourceRange(i, props.sourceFrameCount, trimStart, trimEnd);
        planned.sourceStart = static_cast<std::int32_t>(std::clamp<std::int64_t>(range.first, 0, sourceFrames));
        planned.sourceEnd = static_cast<std::int32_t>(std::clamp<std::int64_t>(range.end, 0, sourceFrames));
        PlanMotif(planned);
        plannedSections.push_back(std::move(planned));
        if (sectionCount >= 2 && !Report(progress, 100 * i / (sectionCount - 1))) return false;
    }
    if (!Report(progress, 100)) return false;
    return Sequence(progress);
}

void CMusicEngine::PlanMotif(CPSection& planned) {
    const CProperties& props = project->properties;
    const CMatrix& matrix = project->matrix;
    const int column = planned.section;
    const std::uint32_t m = MotifFrames(sampleRate, props.baseMotifLength);
    std::int64_t freeSpan = static_cast<std::int64_t>(planned.sourceEnd) - planned.sourceStart - m;
    if (freeSpan < 0) freeSpan = 0;
    // R = trunc(M + S x (1 - Progression)) in doubles; the free span S is
    // signed, so a range shorter than a motif gives 0, not a huge unsigned.
    const double progression = MatrixValue(matrix, kProgression, column);
    const auto range = static_cast<std::uint32_t>(static_cast<double>(m) + static_cast<double>(freeSpan) * (1.0 - progression));
    const double noteSeconds = 0.25 + 1.75 * (1.0 - MatrixValue(matrix, kDynamics, column));
    planned.motif.InitMotif(planned.sourceStart, range, props.fractalScanner, props.loopMotifs,
                            static_cast<std::int32_t>(sampleRate), noteSeconds, m, random_);
}

bool CMusicEngine::Sequence(IProgress& progress) {
    const CProperties& props = project->properties;
    const CMatrix& matrix = project->matrix;
    score = CNoteSequence();
    std::uint64_t filled = 0;
    const std::uint32_t m = MotifFrames(sampleRate, props.baseMotifLength);
    const auto rate = static_cast<std::int64_t>(sampleRate);

    for (std::size_t i = 0; i < plannedSections.size(); ++i) {
        const CPSection& planned = plannedSections[i];
        const int column = planned.section;
        const double q = std::ceil(static_cast<double>(planned.outputEnd - planned.outputStart) / static_cast<double>(m));
        const std::int64_t g = GrainLengthFrames(MatrixValue(matrix, kGranulation, column), static_cast<std::int32_t>(sampleRate));
        std::int64_t drift = static_cast<std::int64_t>(planned.sourceEnd) - planned.sourceStart - 2 * g - m;
        if (drift <= 0) drift = 0;
        const std::int64_t lower = planned.sourceStart;
        const std::int64_t upper = std::max<std::int64_t>(planned.sourceEnd - 2 * g, planned.sourceStart + 4 * rate);
        const double progression = MatrixValue(matrix, kProgression, column);
        const double variations = MatrixValue(matrix, kVariations, column);
        const double transition = MatrixValue(matrix, kTransition, column);

        for (std::int64_t j = 0;; ++j) {
            CNoteSequence local(planned.motif);
            const std::int64_t shift =
                q >= 2.0 ? static_cast<std::int64_t>(static_cast<double>(drift) * (static_cast<double>(j) / (q - 1.0)) * progression)
                         : 0;
            for (CNote& note : local.notes) note.position = static_cast<std::int32_t>(note.position + shift);
            CNoteSequence varied =
                Vary(local, static_cast<std::int32_t>(lower), static_cast<std::int32_t>(upper), variations, random_);
            if (static_cast<double>(j) == q - 1.0) ShortenForTransition(varied, transition);
            if (filled == 0) {
                score.CopyFrom(varied);
            } else {
                score.notes.insert(score.notes.end(), varied.notes.begin(), varied.notes.end());
            }
            filled += m;
            const bool done = filled >= static_cast<std::uint32_t>(planned.outputEnd);
            if (sectionCount >= 2 &&
                !Report(progress, 100 * static_cast<std::int32_t>(i) / (sectionCount - 1)))
                return false;
            if (done) break;
        }
    }
    // With a looping music the last blend leads back to where it begins.
    if (props.loopMusic && !score.notes.empty()) {
        const CNote first = score.notes.front();
        score.notes.push_back(first);
    }
    score.length = outputFrameCount;
    score.base = 0;
    score.range = props.sourceFrameCount;
    score.ResetCursor();
    return true;
}

bool CMusicEngine::AllocateBackground(IProgress& progress, bool inPlace) {
    if (inPlace) {
        // The MusicBuffer is the render target: no second buffer, and none
        // kept from an earlier creation either.
        background.reset();
        backgroundFrameCount = 0;
        return true;
    }
    // Kept from the last creation when its length is unchanged: the renderer
    // clears it anyway, and a fresh allocation would only cost time.
    if (!background || backgroundFrameCount != outputFrameCount) {
        background.reset();
        backgroundFrameCount = 0;
        const std::uint64_t bytes = static_cast<std::uint64_t>(outputFrameCount) * sizeof(StereoFrame);
        if (budget_.Take(bytes)) background = AllocateFrames(outputFrameCount);
    } else if (!budget_.Take(static_cast<std::uint64_t>(outputFrameCount) * sizeof(StereoFrame))) {
        background.reset();
        backgroundFrameCount = 0;
    }
    if (!background) {
        progress.ShowMessage(IDS_BACKGROUND_ALLOC_FAILED, LoadString(IDS_BACKGROUND_ALLOC_FAILED),
                             MessageIcon::Exclamation);
        return false;
    }
    backgroundFrameCount = outputFrameCount;
    return true;
}

bool CMusicEngine::RenderBackground(IProgress& progress, const CreateOptions& options) {
    const bool inPlace = options.renderInPlace;
    if (!AllocateBackground(progress, inPlace)) {
        ClearFreshOutput();
        return false;
    }
    StereoFrame* const target = inPlace ? output.get() : background.get();
    renderer.SetUp(*project, plannedSections, target, static_cast<std::int32_t>(outputFrameCount),
                   static_cast<std::int32_t>(sampleRate), progress, &budget_);
    // The last pass writes the music into the MusicBuffer; until then it
    // holds the previous music (or, rendering in place, the work in progress).
    renderer.SetDestination(output.get());
    // Every core: the process's pool. A count asked for: a pool of the
    // engine's own, kept as long as the engine, so that a creation after an
    // edit starts no threads.
    WorkerPool* pool = &SharedPool();
    const unsigned threads = options.renderer == RenderMode::Reference ? 1 : options.threads;
    if (threads != 0) {
        if (!pool_ || pool_->Threads() != threads) {
            pool_.reset();
            pool_ = std::make_unique<WorkerPool>(threads);
        }
        pool = pool_.get();
    }
    const auto renderStart = std::chrono::steady_clock::now();
    if (inPlace) outputFresh_ = false;  // the render writes it from here on
    const bool ok = options.renderer == RenderMode::Reference
                        ? renderer.Render(score, random_)
                        : renderer.RenderParallel(score, random_, *pool,
                                                  options.renderer == RenderMode::Portable ? VectorKernels::None
                                                  : options.renderer == RenderMode::Avx2   ? VectorKernels::Avx2
                                                                                           : VectorKernels::Widest);
    stageSeconds_.finish = renderer.FinishSeconds();
    stageSeconds_.render = SecondsSince(renderStart) - stageSeconds_.finish;
    if (!ok) {
        if (inPlace) {
            // A partial render is no music.
            output.reset();
            outputFrameCount = 0;
            planned_ = false;
        } else {
            ClearFreshOutput();
        }
        return false;
    }
    outputFresh_ = false;
    return true;
}

}  // namespace dw
