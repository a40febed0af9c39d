#include "core/audio/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace dw {

double GatedLoudness(const std::vector<double>& steps) {
    // As libebur128 integrates: a block every step of the four steps up to
    // it; blocks under -70 LUFS left out; then those under a tenth of the
    // mean energy of the rest (10 LU down); the mean of what is left.
    constexpr double kNone = -std::numeric_limits<double>::infinity();
    const double absolute = std::pow(10.0, (-70.0 + 0.691) / 10.0);
    std::vector<double> blocks;
    blocks.reserve(steps.size());
    for (std::size_t j = 0; j + 4 <= steps.size(); ++j) {
        const double z = (((steps[j] + steps[j + 1]) + steps[j + 2]) + steps[j + 3]) / 4.0;
        if (z >= absolute) blocks.push_back(z);
    }
    if (blocks.empty()) return kNone;
    double sum = 0.0;
    for (const double z : blocks) sum += z;
    const double relative = sum / static_cast<double>(blocks.size()) * std::pow(10.0, -10.0 / 10.0);
    double gated = 0.0;
    std::size_t count = 0;
    for (const double z : blocks)
        if (z >= relative) {
            gated += z;
            ++count;
        }
    if (count == 0) return kNone;
    return 10.0 * std::log10(gated / static_cast<double>(count)) - 0.691;
}

namespace loudness {

std::size_t MeterStep(std::uint32_t rate) { return rate / 10; }

namespace {

// libebur128 runs its filter over one channel after the other for the whole
// of a call, each sample waiting on the one before; calls of a few frames let
// the processor work on both channels' recursions at once, which takes a
// quarter of the time off for the very same reading.
bool FeedMeter(ebur128_state* st, const float* samples, std::size_t frames) {
    constexpr std::size_t kFeed = 8;
    for (std::size_t at = 0; at < frames; at += kFeed)
        if (ebur128_add_frames_float(st, samples + 2 * at, std::min(kFeed, frames - at)) != EBUR128_SUCCESS)
            return false;
    return true;
}

}  // namespace

struct PartMeter::State {
    explicit State(std::uint32_t rate) : meter(ebur128_init(2, rate, EBUR128_MODE_M)) {}
    ~State() {
        if (meter != nullptr) ebur128_destroy(&meter);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ebur128_state* meter;
};

PartMeter::PartMeter(std::uint32_t rate, std::size_t steps)
    : st_(std::make_unique<State>(rate)), step_(MeterStep(rate)) {
    energies_.reserve(steps);
}

PartMeter::~PartMeter() = default;

bool PartMeter::ok() const { return st_->meter != nullptr && step_ > 0; }

bool PartMeter::Settle(const float* samples, std::size_t frames) { return FeedMeter(st_->meter, samples, frames); }

bool PartMeter::Hear(const float* samples, std::size_t frames) {
    while (frames > 0) {
        const std::size_t n = std::min(frames, step_ - inStep_);
        if (!FeedMeter(st_->meter, samples, n)) return false;
        samples += 2 * n;
        frames -= n;
        inStep_ += n;
        if (inStep_ == step_) {
            inStep_ = 0;
            double lufs = 0.0;
            if (ebur128_loudness_window(st_->meter, 100, &lufs) != EBUR128_SUCCESS) return false;
            // The library's loudness of an energy, undone.
            energies_.push_back(std::isfinite(lufs) ? std::pow(10.0, (lufs + 0.691) / 10.0) : 0.0);
        }
    }
    return true;
}

double ToDb(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

std::optional<LoudnessReading> ReadingOf(const std::vector<Meter>& meters, const std::vector<float>& peaks) {
    std::vector<double> steps;
    for (const Meter& m : meters) {
        if (!m) return std::nullopt;
        steps.insert(steps.end(), m->Energies().begin(), m->Energies().end());
    }
    if (meters.empty()) return std::nullopt;
    LoudnessReading r;
    r.integratedLufs = GatedLoudness(steps);
    r.truePeakDbtp = ToDb(peaks.empty() ? 0.0f : *std::max_element(peaks.begin(), peaks.end()));
    return r;
}

LoudnessAdjustment AdjustmentFor(const LoudnessReading& before, double targetLufs, double ceilingDbtp) {
    LoudnessAdjustment a;
    a.before = before;
    a.after = before;
    // Silence (or a piece below the gate throughout) has no loudness to set.
    if (!std::isfinite(before.integratedLufs) || !std::isfinite(before.truePeakDbtp)) return a;
    double gain = targetLufs - before.integratedLufs;
    if (before.truePeakDbtp + gain > ceilingDbtp) {
        gain = ceilingDbtp - before.truePeakDbtp;
        a.ceilingBinds = true;
        a.shortfallLu = targetLufs - (before.integratedLufs + gain);
    }
    a.gainDb = gain;
    a.after.integratedLufs = before.integratedLufs + gain;
    a.after.truePeakDbtp = before.truePeakDbtp + gain;
    return a;
}

}  // namespace loudness

}  // namespace dw
