#include "core/audio/Mastering.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "core/audio/Effects.h"
#include "core/audio/Loudness.h"
#include "core/audio/Playback.h"
#include "core/audio/TruePeak.h"
#include "core/base/AllocationFault.h"
#include "core/base/WorkerPool.h"

namespace dw {

namespace {

using loudness::AdjustmentFor;
using loudness::Meter;
using loudness::MeterStep;
using loudness::PartMeter;
using loudness::ReadingOf;

constexpr std::size_t kBlock = 4096;  // frames per pass of the chain, and between progress reports

// The longest reverb tail the chain makes: the reverb time is fixed at three
// seconds. Twice that brings the echoes of anything earlier 120 dB down, far
// below what a float file can show against the music; the chorus's feedback
// and the high-cut forget their past far sooner.
constexpr double kWarmUpSeconds = 2.0 * 3.0 + 0.1;

// A long piece is finished in parts of fixed length, on as many threads as
// the machine has: the parts, not the threads, decide the result, so every
// machine writes the same bytes. Each part's effects start fresh the warm-up
// before it, and each part is measured on its own meter; the parts begin at
// whole steps of the meter's 100 ms grid, so together the meters see the
// blocks one meter would.
constexpr std::size_t kPartSteps = 1200;  // 120 s

struct Parts {
    std::size_t length = 0;
    std::size_t count = 0;
    std::size_t Begin(std::size_t k) const { return k * length; }
    std::size_t End(std::size_t k, std::size_t total) const { return std::min(total, (k + 1) * length); }
};

Parts PartsOf(std::size_t frames, std::uint32_t rate) {
    Parts p;
    p.length = std::max<std::size_t>(1, MeterStep(rate) * kPartSteps);
    p.count = std::max<std::size_t>(1, (frames + p.length - 1) / p.length);
    return p;
}

// Denormal numbers, where a reverb tail fades into silence, cost the
// processor a hundred times the work of normal ones; the threads of the
// offline chain treat them as zero. The change is far below anything a float
// file can show, and the same on every run.
class FlushDenormals {
public:
    FlushDenormals() {
#if defined(__SSE__)
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | 0x8040);  // flush to zero, denormals are zero
#endif
    }
    ~FlushDenormals() {
#if defined(__SSE__)
        _mm_setcsr(saved_);
#endif
    }
    FlushDenormals(const FlushDenormals&) = delete;
    FlushDenormals& operator=(const FlushDenormals&) = delete;

private:
    [[maybe_unused]] unsigned saved_ = 0;
};

float* Samples(StereoFrame* frames) { return &frames->left; }

// The highest magnitude of `count` samples, eight running maxima side by side
// (one alone would wait on itself every sample).
float PeakOf(const float* samples, std::size_t count) {
    float lane[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8)
        for (std::size_t l = 0; l < 8; ++l) {
            const float v = std::fabs(samples[i + l]);
            lane[l] = lane[l] > v ? lane[l] : v;
        }
    for (; i < count; ++i) lane[0] = std::max(lane[0], std::fabs(samples[i]));
    return *std::max_element(lane, lane + 8);
}

// The switched-on effects of a project, prepared for one rate.
class OfflineChain {
public:
    OfflineChain(const CProperties& p, std::uint32_t rate)
        : rate_(rate), chorusOn_(p.chorusOn), reverbOn_(p.reverbOn), highCutOn_(p.highCutOn) {
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

    // For music that loops: tunes the sweep to whole periods over `frames`,
    // so that it runs on across the seam.
    void LoopChorus(std::size_t frames) {
        if (!chorusOn_ || frames == 0) return;
        const double hz = chorusParams_.rate / 1000.0;
        const double periods = std::max(1.0, std::round(static_cast<double>(frames) * hz / rate_));
        const double tuned = periods * rate_ / static_cast<double>(frames);
        chorusParams_.rate = static_cast<float>(tuned * 1000.0);
        chorus_.SetParams(chorusParams_);
    }

    // Sets the sweep to where it stands at `frame` of the music (negative:
    // before the start of a looped piece). The float rate is what the sweep
    // steps with, so the phase is computed from it too.
    void StartAt(std::int64_t frame) {
        if (!chorusOn_) return;
        const double step = chorusParams_.rate / 1000.0 / rate_;
        chorus_.SetPhase(static_cast<double>(frame) * step);
    }

    // The same order as playback: the high-cut last, so that it also softens
    // the reverb and chorus.
    void Process(float* samples, std::size_t frames) {
        if (chorusOn_) chorus_.Process(samples, frames);
        if (reverbOn_) reverb_.Process(samples, frames);
        if (highCutOn_) highCut_.Process(samples, frames);
    }

private:
    std::uint32_t rate_;
    bool chorusOn_, reverbOn_, highCutOn_;
    ChorusParams chorusParams_;
    Chorus chorus_;
    Reverb reverb_;
    LowPassFilter highCut_;
};

// A part's meter with room for a whole part's steps, or none.
Meter MakeMeter(std::uint32_t rate) {
    auto meter = std::make_unique<PartMeter>(rate, kPartSteps);
    return meter->ok() ? std::move(meter) : nullptr;
}

// Progress of work spread over threads: workers count what they finished;
// only the thread that called reports it and asks whether to go on, since a
// progress dialog belongs to that thread.
class SharedProgress {
public:
    SharedProgress(IProgress* progress, std::size_t total) : progress_(progress), total_(std::max<std::size_t>(total, 1)) {}

    // After `frames` more are done; false once the work is to stop.
    bool Done(std::size_t frames) {
        const std::size_t now = done_.fetch_add(frames, std::memory_order_relaxed) + frames;
        if (progress_ != nullptr && std::this_thread::get_id() == caller_) {
            const int percent = static_cast<int>(std::min<std::size_t>(now, total_) * 100 / total_);
            if (percent != lastPercent_) {
                lastPercent_ = percent;
                progress_->SetProgress(percent);
            }
            if (!progress_->IsRunning()) stop_.store(true, std::memory_order_relaxed);
        }
        return !stop_.load(std::memory_order_relaxed);
    }
    bool Stopped() const { return stop_.load(std::memory_order_relaxed); }

private:
    IProgress* progress_;
    std::size_t total_;
    std::thread::id caller_ = std::this_thread::get_id();
    std::atomic<std::size_t> done_{0};
    std::atomic<bool> stop_{false};
    int lastPercent_ = -1;
};

}  // namespace

bool AnyEffectOn(const CProperties& p) { return p.highCutOn || p.reverbOn || p.chorusOn; }

namespace {

// The effects over the whole piece (see ApplyEffectsOffline); `peak` gets the
// highest sample magnitude of the result, found while each block is still in
// the cache.
bool EffectsInParts(std::span<StereoFrame> music, std::uint32_t sampleRate, const CProperties& properties, bool loop,
                    IProgress* progress, float& peak, std::optional<LoudnessReading>* reading = nullptr) {
    peak = 0.0f;
    if (reading != nullptr) reading->reset();
    if (!AnyEffectOn(properties) || music.empty() || sampleRate == 0) return true;
    const std::size_t total = music.size();
    const Parts parts = PartsOf(total, sampleRate);
    const auto warmUp = static_cast<std::size_t>(std::ceil(kWarmUpSeconds * sampleRate));
    // The first part of a piece that does not loop starts from silence, as
    // playback does; every other part starts the warm-up before it: the end
    // of the music for the first part of a looped piece (repeated when the
    // piece is shorter), the part before it otherwise.
    auto warmUpOf = [&](std::size_t k) { return k == 0 && !loop ? std::size_t{0} : warmUp; };
    std::size_t work = total;
    for (std::size_t k = 0; k < parts.count; ++k) work += warmUpOf(k);

    // Measuring, each part's meter first hears the 300 ms before the part
    // (see MeasureLoudness), here as the part's warm-up leaves them: within a
    // hundred-thousandth of the finished frames there, so the reading is the
    // same, and the music is read once for the effects and the measurement.
    const bool measure = reading != nullptr;
    const std::size_t lead = 3 * MeterStep(sampleRate);
    std::vector<Meter> meters(measure ? parts.count : 0);
    std::vector<float> truePeaks(measure ? parts.count : 0, 0.0f);

    std::vector<std::unique_ptr<OfflineChain>> chains(parts.count);
    SharedProgress shared(progress, work);
    // The process's pool: a throw in any part (a chain that cannot be made)
    // stops the parts not begun and comes back here once all have stopped.
    WorkerPool& pool = SharedPool();
    // First every chain runs over what comes before its part, reading the
    // music as it is; only then are the parts changed in place.
    pool.Run(parts.count, [&](std::size_t k) {
        const FlushDenormals flush;
        AllocationPoint(AllocationStage::Finishing);
        auto chain = std::make_unique<OfflineChain>(properties, sampleRate);
        if (loop) chain->LoopChorus(total);
        const std::size_t before = warmUpOf(k);
        const std::size_t begin = parts.Begin(k);
        // A meter that cannot be made or fed leaves the part unmeasured:
        // the reading fails, the effects go on.
        Meter meter = measure ? MakeMeter(sampleRate) : nullptr;
        const std::size_t primed = meter && k > 0 ? std::min(lead, before) : 0;
        chain->StartAt(static_cast<std::int64_t>(begin) - static_cast<std::int64_t>(before));
        std::vector<StereoFrame> scratch(std::min(kBlock, before));
        std::size_t index = (begin + total - before % total) % total;
        for (std::size_t left = before; left > 0 && !shared.Stopped();) {
            const std::size_t n = std::min(left, scratch.size());
            for (std::size_t i = 0; i < n; ++i) {
                scratch[i] = music[index];
                if (++index == total) index = 0;
            }
            chain->Process(Samples(scratch.data()), n);
            // The last `primed` frames of the warm-up go to the meter.
            if (meter && left - n < primed) {
                const std::size_t skip = left > primed ? left - primed : 0;
                if (!meter->Settle(Samples(scratch.data() + skip), n - skip)) meter.reset();
            }
            left -= n;
            if (!shared.Done(n)) break;
        }
        chains[k] = std::move(chain);
        if (measure) meters[k] = std::move(meter);
    });
    if (shared.Stopped()) return false;
    // The true peak of a frame needs a few frames either side: inside a part
    // it is taken a little behind the effects, and the frames round the
    // borders between parts once every part is done.
    constexpr std::size_t kPeakBehind = kTruePeakReachAhead + 3;  // rounded up
    constexpr std::size_t kPeakAfter = kTruePeakReachBack + 3;    // rounded up
    std::vector<float> peaks(parts.count, 0.0f);
    pool.Run(parts.count, [&](std::size_t k) {
        const FlushDenormals flush;
        const std::size_t begin = parts.Begin(k);
        const std::size_t end = parts.End(k, total);
        // A part whose meter fails has none: the reading then fails.
        PartMeter* meter = measure ? meters[k].get() : nullptr;
        std::size_t peakFrom = begin + kPeakAfter;
        float most = 0.0f, truePeak = 0.0f;
        for (std::size_t at = begin; at < end && !shared.Stopped(); at += kBlock) {
            const std::size_t n = std::min(kBlock, end - at);
            float* samples = Samples(music.data() + at);
            chains[k]->Process(samples, n);
            most = std::max(most, PeakOf(samples, 2 * n));
            if (meter != nullptr) {
                if (!meter->Hear(samples, n)) {
                    meters[k].reset();
                    meter = nullptr;
                    continue;
                }
                const std::size_t peakTo = at + n >= kPeakBehind ? at + n - kPeakBehind : 0;
                if (peakTo > peakFrom) {
                    truePeak = std::max(truePeak, TruePeakOf(music, sampleRate, peakFrom, peakTo));
                    peakFrom = peakTo;
                }
            }
            if (!shared.Done(n)) break;
        }
        peaks[k] = most;
        if (measure) truePeaks[k] = truePeak;
        chains[k].reset();
    });
    peak = *std::max_element(peaks.begin(), peaks.end());
    if (shared.Stopped()) return false;
    if (measure) {
        if (std::find(meters.begin(), meters.end(), nullptr) != meters.end()) return true;  // no reading
        // The frames round each border (and the ends of the music), which
        // the parts left out.
        float borders = 0.0f;
        for (std::size_t k = 0; k <= parts.count; ++k) {
            const std::size_t at = k < parts.count ? parts.Begin(k) : total;
            borders = std::max(borders, TruePeakOf(music, sampleRate, at >= kPeakBehind ? at - kPeakBehind : 0,
                                                   std::min(total, at + kPeakAfter)));
        }
        truePeaks.push_back(borders);
        *reading = ReadingOf(meters, truePeaks);
    }
    return true;
}

}  // namespace

bool ApplyEffectsOffline(std::span<StereoFrame> music, std::uint32_t sampleRate, const CProperties& properties,
                         bool loop, IProgress* progress) {
    float peak = 0.0f;
    return EffectsInParts(music, sampleRate, properties, loop, progress, peak);
}

std::optional<LoudnessReading> MeasureLoudness(std::span<const StereoFrame> music, std::uint32_t sampleRate) {
    if (sampleRate == 0) return std::nullopt;
    const Parts parts = PartsOf(music.size(), sampleRate);
    // Every later part's meter first hears the 300 ms before the part, so
    // that its filter stands where a single meter's would at the border
    // (the K filter forgets its past within a few milliseconds).
    const std::size_t lead = 3 * MeterStep(sampleRate);
    std::vector<Meter> meters(parts.count);
    std::vector<float> peaks(parts.count, 0.0f);
    WorkerPool& pool = SharedPool();
    pool.Run(parts.count, [&](std::size_t k) {
        Meter st = MakeMeter(sampleRate);
        if (!st) return;
        const std::size_t begin = parts.Begin(k);
        const std::size_t end = parts.End(k, music.size());
        const std::size_t from = k == 0 ? 0 : begin - std::min(begin, lead);
        if (!st->Settle(&music[from].left, begin - from)) return;
        // Chunks small enough to stay in the cache between the meter and the
        // true-peak scan, so the music is read from memory once.
        constexpr std::size_t kChunk = 1 << 14;
        float peak = 0.0f;
        for (std::size_t at = begin; at < end; at += kChunk) {
            const std::size_t n = std::min(kChunk, end - at);
            if (!st->Hear(&music[at].left, n)) return;
            peak = std::max(peak, TruePeakOf(music, sampleRate, at, at + n));
        }
        peaks[k] = peak;
        meters[k] = std::move(st);
    });
    return ReadingOf(meters, peaks);
}

namespace {

// A pass that scales the whole music goes in chunks of this many frames over
// the threads.
Parts ChunksOf(std::size_t frames) {
    Parts p;
    p.length = std::size_t{1} << 22;
    p.count = std::max<std::size_t>(1, (frames + p.length - 1) / p.length);
    return p;
}

void Scale(std::span<StereoFrame> music, double gainDb) {
    const auto factor = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    const Parts parts = ChunksOf(music.size());
    WorkerPool& pool = SharedPool();
    pool.Run(parts.count, [&](std::size_t k) {
        const std::size_t end = parts.End(k, music.size());
        for (std::size_t i = parts.Begin(k); i < end; ++i) {
            music[i].left *= factor;
            music[i].right *= factor;
        }
    });
}

}  // namespace

std::optional<LoudnessAdjustment> NormaliseLoudness(std::span<StereoFrame> music, std::uint32_t sampleRate,
                                                    double targetLufs, double ceilingDbtp) {
    const auto before = MeasureLoudness(music, sampleRate);
    if (!before) return std::nullopt;
    const LoudnessAdjustment a = AdjustmentFor(*before, targetLufs, ceilingDbtp);
    if (a.gainDb != 0.0) Scale(music, a.gainDb);
    return a;
}

bool FinishForFile(std::span<StereoFrame> music, std::uint32_t sampleRate, const CProperties& properties,
                   const FinishOptions& options, IProgress* progress, FinishReport& report, std::string& problem) {
    report = {};
    problem.clear();
    // Every change of level is gathered here and made in one pass at the end:
    // a gain moves the loudness and the true peak by just as much, so the
    // music is measured as the effects leave it.
    double pendingDb = 0.0;
    auto start = std::chrono::steady_clock::now();
    const auto secondsSince = [&] {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - start).count();
        start = now;
        return seconds;
    };
    const bool measure = options.loudnessLufs || options.lossy;
    std::optional<LoudnessReading> reading;  // taken with the effects when they run
    if (options.effects && AnyEffectOn(properties)) {
        float peak = 0.0f;
        if (!EffectsInParts(music, sampleRate, properties, properties.loopMusic, progress, peak,
                            measure ? &reading : nullptr))
            return false;
        report.effectsApplied = true;
        // Reverb and chorus add to the peaks; the volume is the peak the user asked for.
        const double volume = std::clamp(properties.volume, 0.0, 1.0);
        if (volume > 0.0 && peak > volume) {
            report.effectsTrimDb = 20.0 * std::log10(volume / peak);
            pendingDb = report.effectsTrimDb;
        }
    }
    report.effectsSeconds = secondsSince();
    if (measure) {
        if (!report.effectsApplied) reading = MeasureLoudness(music, sampleRate);
        if (!reading) {
            problem = options.loudnessLufs ? "the loudness could not be measured" : "the true peak could not be measured";
            return false;
        }
        reading->integratedLufs += pendingDb;
        reading->truePeakDbtp += pendingDb;
        if (options.loudnessLufs) {
            report.loudness = AdjustmentFor(*reading, *options.loudnessLufs, options.truePeakCeilingDbtp);
            pendingDb += report.loudness->gainDb;
            report.finished = report.loudness->after;
        } else {
            report.finished = *reading;
            if (std::isfinite(reading->truePeakDbtp) && reading->truePeakDbtp > options.truePeakCeilingDbtp) {
                report.headroomDb = options.truePeakCeilingDbtp - reading->truePeakDbtp;
                pendingDb += report.headroomDb;
                report.finished->integratedLufs += report.headroomDb;
                report.finished->truePeakDbtp += report.headroomDb;
            }
        }
    }
    if (pendingDb != 0.0) Scale(music, pendingDb);
    report.levelSeconds = secondsSince();
    if (progress != nullptr && !progress->IsRunning()) return false;
    return true;
}

}  // namespace dw
