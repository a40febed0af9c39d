#pragma once
// Finishing the created music for a file: what the listener hears while
// playing (the high-cut, reverb and chorus of the project) applied offline,
// and loudness measured and set to a target (EBU R128 through libebur128).
//
// Offline effects use the same effect units, parameters and order as the
// playback stream (chorus, reverb, high-cut), from a fresh state, so the same
// music and project always give the same samples. The file keeps the music's
// length: the reverb's tail is what rings inside it. For music that loops, the
// chain first runs over the end of the music so that its state where the file
// starts is the state where it ends, and the chorus sweep is tuned to a whole
// number of periods over the music, so the seam is as smooth as the rest.
//
// Long pieces are worked on in parts of fixed length over all cores; the
// parts, not the number of threads, decide the result. Progress is reported,
// and a cancel noticed, on the calling thread. No I/O.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/audio/Loudness.h"
#include "core/model/Progress.h"
#include "core/model/Properties.h"
#include "core/model/StereoFrame.h"

namespace dw {

// True when any of the three effects is switched on.
bool AnyEffectOn(const CProperties& properties);

// Runs the switched-on effects over `music` at `sampleRate` in place, with
// the amounts of `properties`; a loop-ready result when `loop` is set.
// Reports 0..100 through `progress` when given and stops early (false) when it
// is cancelled; the music is then partly processed and must not be written.
bool ApplyEffectsOffline(std::span<StereoFrame> music, std::uint32_t sampleRate, const CProperties& properties,
                         bool loop, IProgress* progress = nullptr);

// The integrated loudness and true peak of a stereo piece, measured in parts
// over all cores. None when the measurement could not be made (rate not
// accepted, out of memory).
std::optional<LoudnessReading> MeasureLoudness(std::span<const StereoFrame> music, std::uint32_t sampleRate);

// Scales `music` so that its integrated loudness is `targetLufs`, lowered as
// needed so that its true peak stays at or below `ceilingDbtp`. A silent
// piece is left as it is. None when it could not be measured.
std::optional<LoudnessAdjustment> NormaliseLoudness(std::span<StereoFrame> music, std::uint32_t sampleRate,
                                                    double targetLufs, double ceilingDbtp);

// How the music is finished for one file.
struct FinishOptions {
    bool effects = true;                    // run the project's switched-on effects
    std::optional<double> loudnessLufs;     // set the integrated loudness; none: keep the peak level
    double truePeakCeilingDbtp = kTruePeakCeilingDbtp;  // with a loudness target, and for lossy codecs
    bool lossy = false;                     // coded lossily: its decoded peaks overshoot the samples'
};

struct FinishReport {
    bool effectsApplied = false;
    double effectsTrimDb = 0.0;                 // taken off so the effects stay within the volume
    std::optional<LoudnessAdjustment> loudness; // with a loudness target
    double headroomDb = 0.0;                    // taken off a lossy file without a target
    std::optional<LoudnessReading> finished;    // of the finished music, when it was measured
    double effectsSeconds = 0.0;                // wall time of the effects (and of the measurement
                                                // taken in the same sweep when both run)
    double levelSeconds = 0.0;                  // of a measurement on its own and the scaling
};

// The finishing steps between creating the music and writing a file, in
// place: the effects (a peak they push above the project's volume is brought
// back to it), then either the loudness target under the true-peak ceiling
// or, for lossy codecs, the music lowered until its true peak is under the
// ceiling (their decoders otherwise go beyond full scale). Deterministic.
// False when cancelled (through `progress`) or when a measurement failed;
// `problem` then says which (empty for a cancel).
bool FinishForFile(std::span<StereoFrame> music, std::uint32_t sampleRate, const CProperties& properties,
                   const FinishOptions& options, IProgress* progress, FinishReport& report, std::string& problem);

}  // namespace dw
