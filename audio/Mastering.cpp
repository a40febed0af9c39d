#include "audio/Mastering.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "audio/Effects.h"
#include "audio/Playback.h"

namespace dw {

namespace {

constexpr std::size_t kBlock = 4096;  // frames per pass of the chain, and between progress reports

// How long the chain runs over the end of a looped piece before its start:
// twice the reverb time brings the echoes of anything earlier 120 dB down, far
// below what a float file can show against the music.
constexpr double kLoopWarmUpSeconds = 2.0 * 3.0 + 0.1;

float* Samples(StereoFrame* frames) { return &frames->left; }

// The switched-on effects of a project, prepared for one rate.
class OfflineChain {
public:
    OfflineChain(const CProperties& p, std::uint32_t rate) : chorusOn_(p.chorusOn), reverbOn_(p.reverbOn), highCutOn_(p.highCutOn) {
        if (chorusOn_) {
            chorus_.Prepare(rate);
            chorusParams_ = ChorusParamsFor(p.chorus);
            chorus_.SetParams(chorusParams_);
        }
        if (reverbOn_) {
            reverb_.Prepare(rate);
            reverb_.SetParams(ReverbParamsFor(p.reverb));
        }
        if (highCutOn_) {
            highCut_.Prepare(rate);
            highCut_.SetParams(HighCutParams(p.highCut, rate));
        }
    }

    // Tunes the sweep to `periods` whole periods over `frames` and sets its
    // phase to where it stands `before` frames ahead of the start.
    void LoopChorus(std::size_t frames, std::uint32_t rate, std::size_t before) {
        if (!chorusOn_ || frames == 0) return;
        const double hz = chorusParams_.rate / 1000.0;
        const double periods = std::max(1.0, std::round(static_cast<double>(frames) * hz / rate));
        const double tuned = periods * rate / static_cast<double>(frames);
        chorusParams_.rate = static_cast<float>(tuned * 1000.0);
        chorus_.SetParams(chorusParams_);
        // The float rate is what the sweep steps with, so the phase ahead of the
        // start is computed from it too.
        const double step = chorusParams_.rate / 1000.0 / rate;
        chorus_.SetPhase(-static_cast<double>(before) * step);
    }

    // The same order as playback: the high-cut last, so that it also softens
    // the reverb and chorus.
    void Process(float* samples, std::size_t frames) {
        if (chorusOn_) chorus_.Process(samples, frames);
        if (reverbOn_) reverb_.Process(samples, frames);
        if (highCutOn_) highCut_.Process(samples, frames);
    }

private:
    bool chorusOn_, reverbOn_, highCutOn_;
    ChorusParams chorusParams_;
    Chorus chorus_;
    Reverb reverb_;
    LowPassFilter highCut_;
};

double ToDb(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

struct StateDeleter {
    void operator()(ebur128_state* st) const { ebur128_destroy(&st); }
};

}  // namespace

bool AnyEffectOn(const CProperties& p) { return p.highCutOn || p.reverbOn || p.chorusOn; }

bool ApplyEffectsOffline(std::span<StereoFrame> music, std::uint32_t sampleRate, const CProperties& properties,
                         bool loop, IProgress* progress) {
    if (!AnyEffectOn(properties) || music.empty() || sampleRate == 0) return true;
    OfflineChain chain(properties, sampleRate);
    const std::size_t total = music.size();
    const std::size_t warmUp = loop ? static_cast<std::size_t>(std::ceil(kLoopWarmUpSeconds * sampleRate)) : 0;
    const std::size_t work = warmUp + total;
    std::size_t done = 0;
    int lastPercent = -1;
    auto report = [&]() {
        if (progress == nullptr) return true;
        const int percent = static_cast<int>(done * 100 / work);
        if (percent != lastPercent) {
            lastPercent = percent;
            progress->SetProgress(percent);
        }
        return progress->IsRunning();
    };

    if (loop) {
        chain.LoopChorus(total, sampleRate, warmUp);
        // Run over the frames that come before the start when the piece loops:
        // the end of the music, repeated when the piece is shorter than the warm-up.
        std::vector<StereoFrame> scratch(std::min(kBlock, warmUp));
        std::size_t index = (total - warmUp % total) % total;
        for (std::size_t left = warmUp; left > 0;) {
            const std::size_t n = std::min(left, scratch.size());
            for (std::size_t k = 0; k < n; ++k) {
                scratch[k] = music[index];
                if (++index == total) index = 0;
            }
            chain.Process(Samples(scratch.data()), n);
            left -= n;
            done += n;
            if (!report()) return false;
        }
    }
    for (std::size_t at = 0; at < total; at += kBlock) {
        const std::size_t n = std::min(kBlock, total - at);
        chain.Process(Samples(music.data() + at), n);
        done += n;
        if (!report()) return false;
    }
    return true;
}

std::optional<LoudnessReading> MeasureLoudness(std::span<const StereoFrame> music, std::uint32_t sampleRate) {
    std::unique_ptr<ebur128_state, StateDeleter> st(
        ebur128_init(2, sampleRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
    if (!st) return std::nullopt;
    constexpr std::size_t kChunk = 1 << 16;
    for (std::size_t at = 0; at < music.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, music.size() - at);
        if (ebur128_add_frames_float(st.get(), &music[at].left, n) != EBUR128_SUCCESS) return std::nullopt;
    }
    LoudnessReading r;
    if (ebur128_loudness_global(st.get(), &r.integratedLufs) != EBUR128_SUCCESS) return std::nullopt;
    double peak = 0.0;
    for (unsigned c = 0; c < 2; ++c) {
        double p = 0.0;
        if (ebur128_true_peak(st.get(), c, &p) != EBUR128_SUCCESS) return std::nullopt;
        peak = std::max(peak, p);
    }
    r.truePeakDbtp = ToDb(peak);
    if (!std::isfinite(r.integratedLufs)) r.integratedLufs = -std::numeric_limits<double>::infinity();
    return r;
}

std::optional<LoudnessAdjustment> NormaliseLoudness(std::span<StereoFrame> music, std::uint32_t sampleRate,
                                                    double targetLufs, double ceilingDbtp) {
    const auto before = MeasureLoudness(music, sampleRate);
    if (!before) return std::nullopt;
    LoudnessAdjustment a;
    a.before = *before;
    a.after = *before;
    // Silence (or a piece below the gate throughout) has no loudness to set.
    if (!std::isfinite(before->integratedLufs) || !std::isfinite(before->truePeakDbtp)) return a;
    double gain = targetLufs - before->integratedLufs;
    if (before->truePeakDbtp + gain > ceilingDbtp) {
        gain = ceilingDbtp - before->truePeakDbtp;
        a.ceilingBinds = true;
        a.shortfallLu = targetLufs - (before->integratedLufs + gain);
    }
    a.gainDb = gain;
    const auto factor = static_cast<float>(std::pow(10.0, gain / 20.0));
    for (auto& f : music) {
        f.left *= factor;
        f.right *= factor;
    }
    // Scaling moves both figures by the gain; measuring again would double the cost.
    a.after.integratedLufs = before->integratedLufs + gain;
    a.after.truePeakDbtp = before->truePeakDbtp + gain;
    return a;
}

namespace {

float SamplePeak(std::span<const StereoFrame> music) {
    float peak = 0.0f;
    for (const StereoFrame& f : music) peak = std::max({peak, std::fabs(f.left), std::fabs(f.right)});
    return peak;
}

void Scale(std::span<StereoFrame> music, double gainDb) {
    const auto factor = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    for (auto& f : music) {
        f.left *= factor;
        f.right *= factor;
    }
}

}  // namespace

bool FinishForFile(std::span<StereoFrame> music, std::uint32_t sampleRate, const CProperties& properties,
                   const FinishOptions& options, IProgress* progress, FinishReport& report, std::string& problem) {
    report = {};
    problem.clear();
    if (options.effects && AnyEffectOn(properties)) {
        if (!ApplyEffectsOffline(music, sampleRate, properties, properties.loopMusic, progress)) return false;
        report.effectsApplied = true;
        // Reverb and chorus add to the peaks; the volume is the peak the user asked for.
        const float peak = SamplePeak(music);
        const double volume = std::clamp(properties.volume, 0.0, 1.0);
        if (volume > 0.0 && peak > volume) {
            report.effectsTrimDb = 20.0 * std::log10(volume / peak);
            Scale(music, report.effectsTrimDb);
        }
    }
    if (options.loudnessLufs) {
        report.loudness = NormaliseLoudness(music, sampleRate, *options.loudnessLufs, options.truePeakCeilingDbtp);
        if (!report.loudness) {
            problem = "the loudness could not be measured";
            return false;
        }
        report.finished = report.loudness->after;
    } else if (options.lossy) {
        const auto reading = MeasureLoudness(music, sampleRate);
        if (!reading) {
            problem = "the true peak could not be measured";
            return false;
        }
        report.finished = *reading;
        if (std::isfinite(reading->truePeakDbtp) && reading->truePeakDbtp > options.truePeakCeilingDbtp) {
            report.headroomDb = options.truePeakCeilingDbtp - reading->truePeakDbtp;
            Scale(music, report.headroomDb);
            report.finished->integratedLufs += report.headroomDb;
            report.finished->truePeakDbtp += report.headroomDb;
        }
    }
    if (progress != nullptr && !progress->IsRunning()) return false;
    return true;
}

}  // namespace dw
