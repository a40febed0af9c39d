#include "core/engine/GrainRenderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <numbers>
#include <utility>

#include "core/base/WorkerPool.h"
#include "core/engine/Quotient.h"
#include "core/model/Progress.h"
#include "core/model/Project.h"
#include "core/model/Random.h"
#include "core/resources/StringTable.h"

namespace dw {

void GrainRenderer::SetUp(const CProject& proj, const std::vector<CPSection>& plannedSections,
                          StereoFrame* background, std::int32_t backgroundFrameCount, std::int32_t rate,
                          IProgress& progressSink, AllocationBudget* allocationBudget) {
    const CProperties& props = proj.properties;
    sampleRate_ = rate;
    sections_ = &plannedSections;
    project_ = &proj;
    progress_ = &progressSink;
    budget_ = allocationBudget;
    envelopeBytes_ = 0;  // the budget is new; the old envelope was counted in the last one
    propertiesSampleRate_ = props.sampleRate;
    loopMusic_ = props.loopMusic;
    // Fade lengths in 64 bits, held within the music: a damaged project's
    // fade cannot wrap around or reach past the buffer.
    const auto fadeFrames = [&](std::uint32_t seconds) -> std::uint32_t {
        if (loopMusic_) return 0;
        const std::uint64_t f = static_cast<std::uint64_t>(seconds) * props.sampleRate;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(f, static_cast<std::uint64_t>(backgroundFrameCount)));
    };
    fadeInFrames_ = fadeFrames(props.fadeIn);
    fadeOutFrames_ = fadeFrames(props.fadeOut);
    source_ = props.sourceFrames.get();
    sourceFrameCount_ = static_cast<std::int32_t>(props.sourceFrameCount);
    volume_ = std::isfinite(props.volume) ? std::clamp(props.volume, 0.0, 1.0) : 0.0;
    target_ = background;
    targetFrameCount_ = backgroundFrameCount;
    destination_ = nullptr;
}

void GrainRenderer::NextSection() {
    if (sections_ == nullptr || sectionIndex_ + 1 >= static_cast<std::int32_t>(sections_->size())) {
        // Past the last planned section (only a damaged section list gets
        // here): keep the parameters in force to the end.
        sectionEnd_ = std::numeric_limits<std::int32_t>::max();
        return;
    }
    sectionIndex_ = sectionIndex_ + 1;
    const CPSection& planned = (*sections_)[static_cast<std::size_t>(sectionIndex_)];
    sectionEnd_ = planned.outputEnd;
    const CMatrix& matrix = project_->matrix;
    const int column = planned.section;

    // Doubles throughout, matrix values widened exactly.
    const double g = MatrixValue(matrix, kGranulation, column);
    const double grainSeconds = GrainSeconds(g);
    grainLength_ = static_cast<std::uint32_t>(grainSeconds * static_cast<double>(sampleRate_));
    const double c = 50.0 + 450.0 * g;
    density_ = c + 2.0 * MatrixValue(matrix, kSmoothness, column) * c;
    const double complexity = MatrixValue(matrix, kComplexity, column);
    texture_ = MatrixValue(matrix, kTexture, column);
    if (!BuildEnvelope()) return;
    spread_ = static_cast<std::uint32_t>((complexity * 5.0 + 0.1) * static_cast<double>(sampleRate_));
    hop_ = static_cast<std::int32_t>(static_cast<double>(sampleRate_) / density_);
    // The sample rate is at least 8000 Hz and the density at most 1500 grains
    // a second, so this never fires; it keeps the grain loop finite regardless.
    if (hop_ < 1) hop_ = 1;
}

bool GrainRenderer::BuildEnvelope() {
    if (budget_ != nullptr) budget_->Give(envelopeBytes_);
    envelopeBytes_ = 0;
    envelope_.clear();
    envelope_.shrink_to_fit();
    const std::uint64_t bytes = static_cast<std::uint64_t>(grainLength_) * sizeof(float);
    bool ok = budget_ == nullptr || budget_->Take(bytes);
    if (ok) {
        try {
            envelope_.resize(grainLength_);
            envelopeBytes_ = bytes;
        } catch (const std::bad_alloc&) {
            if (budget_ != nullptr) budget_->Give(bytes);
            envelope_.clear();
            ok = false;
        }
    }
    if (!ok) {
        progress_->ShowMessage(IDS_ENVELOPE_ALLOC_FAILED, LoadString(IDS_ENVELOPE_ALLOC_FAILED),
                               MessageIcon::Exclamation);
        running_ = false;
        return false;
    }
    // t = i / grainLength rounded to a 32-bit float; the window itself is
    // computed in doubles from that t and stored as a 32-bit float.
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    constexpr double kThreeHalfPi = 3.0 * std::numbers::pi / 2.0;
    for (std::uint32_t i = 0; i < grainLength_; ++i) {
        const float t = static_cast<float>(static_cast<double>(i) / static_cast<double>(grainLength_));
        envelope_[i] = static_cast<float>((std::sin(static_cast<double>(t) * kTwoPi + kThreeHalfPi) + 1.0) * 0.5);
    }
    return true;
}

GrainRenderer::PlannedGrain GrainRenderer::PlanGrain(CNoteSequence& score, std::int32_t position, Random& random) {
    const std::int64_t sp = score.SourcePosition(position, random);
    const double r = random.Fraction();
    // trunc(r x spread) - spread / 2 (integer division) + sp, in signed 64 bits.
    const std::int64_t start =
        static_cast<std::int64_t>(r * static_cast<double>(spread_)) - static_cast<std::int64_t>(spread_ / 2) + sp;
    // The rate is drawn even when Texture is 0 and it comes out as 1.
    const double rateDraw = random.Fraction();
    const PlannedGrain grain{position, start, 1.0 + (rateDraw - 0.5) * texture_ * 0.15};
    if (onGrain_) onGrain_(grain, sectionIndex_);
    return grain;
}

void GrainRenderer::AddGrain(const PlannedGrain& grain) { AddSamples(grain, 0, grainLength_); }

void GrainRenderer::AddSamples(const PlannedGrain& grain, std::int64_t i0, std::int64_t i1) {
    const std::int64_t last = static_cast<std::int64_t>(sourceFrameCount_) - 1;
    for (std::int64_t i = i0; i < i1; ++i) {
        // i / rate divided in doubles (never a multiplication by 1 / rate),
        // truncated toward zero.
        const std::int64_t s = std::clamp<std::int64_t>(grain.start + Quotient(i, grain.rate), 0, last);
        std::int64_t o = static_cast<std::int64_t>(grain.position) + i;
        if (o >= targetFrameCount_) {
            if (!loopMusic_) continue;
            o %= targetFrameCount_;
        }
        target_[o].left += envelope_[static_cast<std::size_t>(i)] * source_[s].left;
        target_[o].right += envelope_[static_cast<std::size_t>(i)] * source_[s].right;
    }
}

// The grain's start as a percentage of the music, a real quotient in doubles
// truncated (an integer quotient would stay at 0 to the last grain).
void GrainRenderer::ReportGrain(std::int32_t grainPosition) {
    const double fraction = static_cast<double>(grainPosition) / static_cast<double>(targetFrameCount_ - 1);
    progress_->SetProgress(static_cast<int>(fraction * 100.0));
    if (!progress_->IsRunning()) running_ = false;
}

bool GrainRenderer::Render(CNoteSequence& score, Random& random) {
    WorkerPool callingThread(1);
    running_ = true;
    Clear(callingThread);
    score.ResetCursor();
    sectionIndex_ = -1;
    sectionEnd_ = -1;
    std::int32_t position = 0;
    std::uint64_t k = 0;
    while (position < targetFrameCount_ && running_) {
        if (position > sectionEnd_) {
            NextSection();
            if (!running_) break;  // no envelope to render with
        }
        AddGrain(PlanGrain(score, position, random));
        if (k % 100 == 0) ReportGrain(position);
        position = position + hop_;
        k = k + 1;
    }
    return Finish(callingThread);
}

// ---------------------------------------------------------------- final passes

namespace {

// Frames per piece of the whole-buffer passes.
constexpr std::int64_t kPassFrames = 1 << 16;

std::size_t Pieces(std::int64_t frames) {
    return frames <= 0 ? 0 : static_cast<std::size_t>((frames + kPassFrames - 1) / kPassFrames);
}

// Frames [from, to) of piece `piece` of [0, end).
std::pair<std::int64_t, std::int64_t> Piece(std::size_t piece, std::int64_t end) {
    const std::int64_t from = static_cast<std::int64_t>(piece) * kPassFrames;
    return {from, std::min(from + kPassFrames, end)};
}

}  // namespace

void GrainRenderer::Clear(WorkerPool& pool) {
    pool.Run(Pieces(targetFrameCount_), [&](std::size_t piece) {
        const auto [from, to] = Piece(piece, targetFrameCount_);
        std::fill(target_ + from, target_ + to, StereoFrame{});
    });
}

bool GrainRenderer::Finish(WorkerPool& pool) {
    progress_->SetProgress(100);
    // A cancelled or failed render is thrown away by the caller, so the
    // finishing passes are skipped rather than run on a partial buffer.
    finishSeconds_ = 0.0;
    if (!running_) return false;
    const auto start = std::chrono::steady_clock::now();
    // Two passes over the buffer: the start fill with the peak of every piece
    // (a piece of [0, a) is filled before its peak is read; the fill reads
    // only [2a, 3a), which it never writes), then gain and fades into the
    // destination. The same operations on every sample as StartFill and
    // Normalize one after the other.
    const std::int64_t frames = targetFrameCount_;
    const std::int64_t a = loopMusic_ ? 0 : StartFillFrames();
    std::vector<float> peaks(Pieces(frames), 0.0f);
    pool.Run(peaks.size(), [&](std::size_t piece) {
        const auto [from, to] = Piece(piece, frames);
        if (from < a) StartFillFrames(a, from, std::min(to, a));
        peaks[piece] = PeakOf(from, to);
    });
    float peak = 0.0f;
    for (float p : peaks) peak = std::max(peak, p);
    StereoFrame* const into = destination_ != nullptr ? destination_ : target_;
    // A silent render stays silent instead of dividing by zero.
    const bool silent = !(peak > 0.0f) || !std::isfinite(peak);
    if (!silent || into != target_) {
        pool.Run(peaks.size(), [&](std::size_t piece) {
            const auto [from, to] = Piece(piece, frames);
            if (silent) {
                std::copy(target_ + from, target_ + to, into + from);
            } else {
                ScaleFrames(into, peak, from, to);
            }
        });
    }
    finishSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return running_;
}

std::int64_t GrainRenderer::StartFillFrames() const {
    // Needs nine seconds of music, which the ten-second minimum guarantees;
    // held within the buffer for any other length.
    const std::int64_t a =
        std::min<std::int64_t>(3 * static_cast<std::int64_t>(propertiesSampleRate_), targetFrameCount_ / 3);
    return a < 2 ? 0 : a;
}

void GrainRenderer::StartFillFrames(std::int64_t a, std::int64_t from, std::int64_t to) {
    const float denominator = static_cast<float>(a - 1);
    for (std::int64_t i = from; i < to; ++i) {
        const float w = 1.0f - static_cast<float>(i) / denominator;
        target_[i].left += target_[2 * a + i].left * w;
        target_[i].right += target_[2 * a + i].right * w;
    }
}

float GrainRenderer::PeakOf(std::int64_t from, std::int64_t to) const {
    float peak = 0.0f;
    for (std::int64_t i = from; i < to; ++i) {
        peak = std::max(peak, std::fabs(target_[i].left));
        peak = std::max(peak, std::fabs(target_[i].right));
    }
    return peak;
}

void GrainRenderer::ScaleFrames(StereoFrame* into, float peak, std::int64_t from, std::int64_t to) const {
    for (std::int64_t i = from; i < to; ++i) {
        const float gain = FadeGain(static_cast<std::uint32_t>(i));
        into[i].left = target_[i].left / peak * gain;
        into[i].right = target_[i].right / peak * gain;
    }
}

void GrainRenderer::StartFill() {
    WorkerPool callingThread(1);
    StartFill(callingThread);
}

void GrainRenderer::StartFill(WorkerPool& pool) {
    const std::int64_t a = StartFillFrames();
    if (a == 0) return;
    // Reads [2a, 3a) and writes [0, a): the pieces never meet.
    pool.Run(Pieces(a), [&](std::size_t piece) {
        const auto [from, to] = Piece(piece, a);
        StartFillFrames(a, from, to);
    });
}

float GrainRenderer::FadeGain(std::uint32_t i) const {
    float f = 1.0f;
    const std::uint32_t frames = static_cast<std::uint32_t>(targetFrameCount_);
    if (fadeInFrames_ > 0 && i < fadeInFrames_) {
        f = static_cast<float>(i) / static_cast<float>(fadeInFrames_);
    } else if (fadeOutFrames_ > 0 && i >= frames - fadeOutFrames_) {
        f = 1.0f - static_cast<float>(i - (frames - fadeOutFrames_)) / static_cast<float>(fadeOutFrames_);
    }
    return static_cast<float>(volume_) * f;
}

void GrainRenderer::Normalize() {
    WorkerPool callingThread(1);
    Normalize(callingThread);
}

void GrainRenderer::Normalize(WorkerPool& pool) {
    const std::int64_t frames = targetFrameCount_;
    // The peak of each piece, then of the pieces: the largest magnitude
    // whatever order the pieces ran in.
    std::vector<float> peaks(Pieces(frames), 0.0f);
    pool.Run(peaks.size(), [&](std::size_t piece) {
        const auto [from, to] = Piece(piece, frames);
        peaks[piece] = PeakOf(from, to);
    });
    float peak = 0.0f;
    for (float p : peaks) peak = std::max(peak, p);
    // A silent render stays silent instead of dividing by zero.
    if (!(peak > 0.0f) || !std::isfinite(peak)) return;
    pool.Run(peaks.size(), [&](std::size_t piece) {
        const auto [from, to] = Piece(piece, frames);
        ScaleFrames(target_, peak, from, to);
    });
}

}  // namespace dw
