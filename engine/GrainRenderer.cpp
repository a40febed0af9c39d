#include "engine/GrainRenderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numbers>

#include "model/Progress.h"
#include "model/Project.h"
#include "model/Random.h"
#include "resources/StringTable.h"

namespace dw {

void GrainRenderer::SetUp(const CProject& proj, const std::vector<CPSection>& plannedSections,
                          StereoFrame* background, std::int32_t backgroundFrameCount, std::int32_t rate,
                          IProgress& progressSink, AllocationBudget* allocationBudget) {
    const CProperties& props = proj.properties;
    sampleRate = rate;
    sections = &plannedSections;
    project = &proj;
    progress = &progressSink;
    budget_ = allocationBudget;
    envelopeBytes_ = 0;  // the budget is new; the old envelope was counted in the last one
    propertiesSampleRate_ = props.sampleRate;
    loopMusic = props.loopMusic;
    // Fade lengths in 64 bits, held within the music: a damaged project's
    // fade cannot wrap around or reach past the buffer.
    const auto fadeFrames = [&](std::uint32_t seconds) -> std::uint32_t {
        if (loopMusic) return 0;
        const std::uint64_t f = static_cast<std::uint64_t>(seconds) * props.sampleRate;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(f, static_cast<std::uint64_t>(backgroundFrameCount)));
    };
    fadeInFrames = fadeFrames(props.fadeIn);
    fadeOutFrames = fadeFrames(props.fadeOut);
    source = props.sourceFrames.get();
    sourceFrameCount = static_cast<std::int32_t>(props.sourceFrameCount);
    volume = std::isfinite(props.volume) ? std::clamp(props.volume, 0.0, 1.0) : 0.0;
    target = background;
    targetFrameCount = backgroundFrameCount;
}

void GrainRenderer::NextSection() {
    if (sections == nullptr || sectionIndex + 1 >= static_cast<std::int32_t>(sections->size())) {
        // Past the last planned section (only a damaged section list gets
        // here): keep the parameters in force to the end.
        sectionEnd = std::numeric_limits<std::int32_t>::max();
        return;
    }
    sectionIndex = sectionIndex + 1;
    const CPSection& planned = (*sections)[static_cast<std::size_t>(sectionIndex)];
    sectionEnd = planned.outputEnd;
    const CMatrix& matrix = project->matrix;
    const int column = planned.section;

    // Doubles throughout, matrix values widened exactly; the fields are f64.
    const double g = MatrixValue(matrix, kGranulation, column);
    grainSeconds = GrainSeconds(g);
    grainLength = static_cast<std::uint32_t>(grainSeconds * static_cast<double>(sampleRate));
    const double c = 50.0 + 450.0 * g;
    density = c + 2.0 * MatrixValue(matrix, kSmoothness, column) * c;
    complexity = MatrixValue(matrix, kComplexity, column);
    texture = MatrixValue(matrix, kTexture, column);
    if (!BuildEnvelope()) return;
    spread = static_cast<std::uint32_t>((complexity * 5.0 + 0.1) * static_cast<double>(sampleRate));
    hop = static_cast<std::int32_t>(static_cast<double>(sampleRate) / density);
    // The sample rate is at least 8000 Hz and the density at most 1500 grains
    // a second, so this never fires; it keeps the grain loop finite regardless.
    if (hop < 1) hop = 1;
}

bool GrainRenderer::BuildEnvelope() {
    if (budget_ != nullptr) budget_->Give(envelopeBytes_);
    envelopeBytes_ = 0;
    envelope.clear();
    envelope.shrink_to_fit();
    const std::uint64_t bytes = static_cast<std::uint64_t>(grainLength) * sizeof(float);
    bool ok = budget_ == nullptr || budget_->Take(bytes);
    if (ok) {
        try {
            envelope.resize(grainLength);
            envelopeBytes_ = bytes;
        } catch (const std::bad_alloc&) {
            if (budget_ != nullptr) budget_->Give(bytes);
            envelope.clear();
            ok = false;
        }
    }
    if (!ok) {
        progress->ShowMessage(IDS_ENVELOPE_ALLOC_FAILED, LoadString(IDS_ENVELOPE_ALLOC_FAILED),
                              MessageIcon::Exclamation);
        running = false;
        return false;
    }
    // t = i / grainLength rounded to a 32-bit float; the window itself is
    // computed in doubles from that t and stored as a 32-bit float.
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    constexpr double kThreeHalfPi = 3.0 * std::numbers::pi / 2.0;
    for (std::uint32_t i = 0; i < grainLength; ++i) {
        const float t = static_cast<float>(static_cast<double>(i) / static_cast<double>(grainLength));
        envelope[i] = static_cast<float>((std::sin(static_cast<double>(t) * kTwoPi + kThreeHalfPi) + 1.0) * 0.5);
    }
    return true;
}

void GrainRenderer::AddGrain(std::int64_t start) {
    const double r = RandomFraction();
    const double rate = 1.0 + (r - 0.5) * texture * 0.15;
    if (onGrain) onGrain(PlannedGrain{position, start, rate}, sectionIndex);
    const std::int64_t last = static_cast<std::int64_t>(sourceFrameCount) - 1;
    for (std::uint32_t i = 0; i < grainLength; ++i) {
        // i / rate divided in doubles (never a multiplication by 1 / rate),
        // truncated toward zero.
        std::int64_t s = start + static_cast<std::int64_t>(static_cast<double>(i) / rate);
        s = std::clamp<std::int64_t>(s, 0, last);
        std::int64_t o = static_cast<std::int64_t>(position) + i;
        if (o >= targetFrameCount) {
            if (!loopMusic) continue;
            o %= targetFrameCount;
        }
        target[o].left += envelope[i] * source[s].left;
        target[o].right += envelope[i] * source[s].right;
    }
}

GrainRenderer::PlannedGrain GrainRenderer::PlanGrain(CNoteSequence& score) {
    const std::int64_t sp = score.SourcePosition(position);
    const double r = RandomFraction();
    // trunc(r x spread) - spread / 2 (integer division) + sp, in signed 64 bits.
    const std::int64_t start =
        static_cast<std::int64_t>(r * static_cast<double>(spread)) - static_cast<std::int64_t>(spread / 2) + sp;
    const double rateDraw = RandomFraction();
    const PlannedGrain grain{position, start, 1.0 + (rateDraw - 0.5) * texture * 0.15};
    if (onGrain) onGrain(grain, sectionIndex);
    return grain;
}

// The grain's start as a percentage of the music, a real quotient in doubles
// truncated (an integer quotient would stay at 0 to the last grain).
void GrainRenderer::ReportGrain(std::int32_t grainPosition) {
    const double fraction = static_cast<double>(grainPosition) / static_cast<double>(targetFrameCount - 1);
    progress->SetProgress(static_cast<int>(fraction * 100.0));
    if (!progress->IsRunning()) running = false;
}

bool GrainRenderer::Render(CNoteSequence& score) {
    running = true;
    std::fill_n(target, targetFrameCount, StereoFrame{});
    score.ResetCursor();
    sectionIndex = -1;
    sectionEnd = -1;
    position = 0;
    std::uint64_t k = 0;
    while (position < targetFrameCount && running) {
        if (position > sectionEnd) {
            NextSection();
            if (!running) break;  // no envelope to render with
        }
        const std::int64_t sp = score.SourcePosition(position);
        const double r = RandomFraction();
        const std::int64_t start =
            static_cast<std::int64_t>(r * static_cast<double>(spread)) - static_cast<std::int64_t>(spread / 2) + sp;
        AddGrain(start);
        if (k % 100 == 0) ReportGrain(position);
        position = position + hop;
        k = k + 1;
    }
    progress->SetProgress(100);
    // A cancelled or failed render is thrown away by the caller, so the
    // finishing passes are skipped rather than run on a partial buffer.
    if (!running) return false;
    if (!loopMusic) StartFill();
    Normalize();
    return running;
}

void GrainRenderer::StartFill() {
    std::int64_t a = 3 * static_cast<std::int64_t>(propertiesSampleRate_);
    // Needs nine seconds of music, which the ten-second minimum guarantees;
    // held within the buffer for any other length.
    a = std::min<std::int64_t>(a, targetFrameCount / 3);
    if (a < 2) return;
    const float denominator = static_cast<float>(a - 1);
    for (std::int64_t i = 0; i < a; ++i) {
        const float w = 1.0f - static_cast<float>(i) / denominator;
        target[i].left += target[2 * a + i].left * w;
        target[i].right += target[2 * a + i].right * w;
    }
}

float GrainRenderer::FadeGain(std::uint32_t i) const {
    float f = 1.0f;
    const std::uint32_t frames = static_cast<std::uint32_t>(targetFrameCount);
    if (fadeInFrames > 0 && i < fadeInFrames) {
        f = static_cast<float>(i) / static_cast<float>(fadeInFrames);
    } else if (fadeOutFrames > 0 && i >= frames - fadeOutFrames) {
        f = 1.0f - static_cast<float>(i - (frames - fadeOutFrames)) / static_cast<float>(fadeOutFrames);
    }
    return static_cast<float>(volume) * f;
}

void GrainRenderer::Normalize() {
    float peak = 0.0f;
    for (std::int32_t i = 0; i < targetFrameCount; ++i) {
        peak = std::max(peak, std::fabs(target[i].left));
        peak = std::max(peak, std::fabs(target[i].right));
    }
    // A silent render stays silent instead of dividing by zero.
    if (!(peak > 0.0f) || !std::isfinite(peak)) return;
    for (std::int32_t i = 0; i < targetFrameCount; ++i) {
        const float gain = FadeGain(static_cast<std::uint32_t>(i));
        target[i].left = target[i].left / peak * gain;
        target[i].right = target[i].right / peak * gain;
    }
}

}  // namespace dw
