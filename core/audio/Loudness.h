#pragma once
// Loudness as EBU R128 reads it: the integrated loudness (LUFS) from the
// energies of 100 ms steps after the K filter, gated as libebur128 gates them,
// and the meter that hears one part of a piece and keeps those energies.
//
// A piece is measured by one meter per part (see Mastering.h for how the
// parts are run); the parts' steps, put end to end, are the steps one meter
// over the whole piece would have kept, so the gates see the same blocks. The
// true peak is measured by TruePeak.h. No threads, no I/O.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace dw {

// The true-peak ceiling (dBTP) the music is held under when its loudness is
// set and when it is coded lossily, unless the user asks for another: 1 dB of
// room under full scale for the overshoot of converters and decoders, as the
// loudness recommendations for distribution ask.
inline constexpr double kTruePeakCeilingDbtp = -1.0;

// Integrated loudness (LUFS) and true peak (dBTP, 4x oversampled as the
// standard asks) of a stereo piece. Silence reads -infinity for both.
struct LoudnessReading {
    double integratedLufs = 0.0;
    double truePeakDbtp = 0.0;
};

// The integrated loudness (LUFS) of a run of consecutive 100 ms energies
// (the channels' mean squares after the K filter, summed): 400 ms blocks
// overlapping by three steps, gated at -70 LUFS and then 10 LU under the mean
// of what passed, as libebur128 gates them. -infinity when no block passes.
double GatedLoudness(const std::vector<double>& steps);

struct LoudnessAdjustment {
    LoudnessReading before;
    LoudnessReading after;
    double gainDb = 0.0;          // what was applied
    bool ceilingBinds = false;    // the true-peak ceiling held the piece below the target
    double shortfallLu = 0.0;     // how far below the target it stays when the ceiling binds
};

namespace loudness {

// The meter's 100 ms step: what libebur128's window of 100 ms holds, the
// rate times 100 / 1000 in whole frames. At 11025 Hz that is 1102, so a
// 400 ms block is 4408 frames where 4410 would be exact (the library's own
// blocks take 4412 there); at the other rates it is exact.
std::size_t MeterStep(std::uint32_t rate);

// One part's meter. libebur128 weights the frames (its K filter, both
// channels) and tells the energy of every 100 ms step; the 400 ms blocks and
// their gates are made from those energies for all parts together
// (GatedLoudness). Left to integrate by itself, the library sums the squares
// of every step again for each of the four blocks that hold it, as much work
// as its filter: this way measuring takes some 40 % less time.
class PartMeter {
public:
    // `steps`: how many steps the part holds, kept room for.
    PartMeter(std::uint32_t rate, std::size_t steps);
    ~PartMeter();
    PartMeter(const PartMeter&) = delete;
    PartMeter& operator=(const PartMeter&) = delete;

    bool ok() const;

    // Frames before the part, so that its filter starts settled; no energy
    // is kept of them.
    bool Settle(const float* samples, std::size_t frames);

    // The part's own frames, from its start on; a step cut short by the end
    // of the music is left out, as the library leaves it out.
    bool Hear(const float* samples, std::size_t frames);

    const std::vector<double>& Energies() const { return energies_; }

private:
    struct State;  // the library's meter, kept out of this header
    std::unique_ptr<State> st_;
    std::size_t step_;
    std::size_t inStep_ = 0;
    std::vector<double> energies_;
};

// A part's meter, or none where it could not be made or fed.
using Meter = std::unique_ptr<PartMeter>;

// A linear magnitude in dB; -infinity for silence.
double ToDb(double linear);

// The integrated loudness of the parts' meters together, and the highest of
// their true peaks (linear). None when a part has no meter.
std::optional<LoudnessReading> ReadingOf(const std::vector<Meter>& meters, const std::vector<float>& peaks);

// The gain that brings a piece read as `before` to the target under the
// ceiling, and the figures it will then read: scaling moves both by the gain,
// so measuring again would only double the cost.
LoudnessAdjustment AdjustmentFor(const LoudnessReading& before, double targetLufs, double ceilingDbtp);

}  // namespace loudness

}  // namespace dw
