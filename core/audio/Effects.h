#pragma once
// The three playback effects: a resonant low-pass (the high-cut filter), a
// reverb and a chorus. Our own DSP, in the style of "prepare, then process":
// Prepare() sizes every delay line for a sample rate on a non-real-time
// thread; Process() and Reset() run on the audio thread and never allocate.
//
// Units of the parameter records (where the project's formulas leave them open
// we chose what sounds right for slow ambient music):
//   low-pass: cutoffHz in Hz (clamped to 10 Hz .. 0.49 x rate), resonance is
//             the filter's Q (1.0 gives a gentle peak at the cut-off);
//   reverb:   level is the linear gain of the wet signal added to the dry one,
//             delayMs is the reverb time in milliseconds (the time the tail
//             takes to fall by 60 dB);
//   chorus:   dryMix, wetMix and feedback are linear gains, minSweep and
//             maxSweep are the delay range in microseconds swept by the LFO,
//             rate is the LFO frequency in millihertz.
// `channels` is a bit mask (1 = left, 2 = right); -1 means all channels.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dw {

// The reverb runs its loops on AVX2 where the processor has it; every lane
// does the same arithmetic in the same order as the plain loops, so the bytes
// are the same either way. Tests switch the wider loops off (and on again) to
// hold the two to each other; on a processor without AVX2 this does nothing.
void UseWiderVectors(bool on);

struct LowPassParams {
    float cutoffHz = 1000.0f;
    float resonance = 1.0f;
    int channels = -1;
};

struct ReverbParams {
    float level = 0.5f;
    int delayMs = 3000;
};

struct ChorusParams {
    float dryMix = 0.5f;
    float wetMix = 0.1f;
    float feedback = 0.5f;
    float minSweep = 1000.0f;
    float maxSweep = 6000.0f;
    float rate = 500.0f;
    int channels = -1;
};

// Second-order resonant low-pass (bilinear-transform biquad), per channel.
class LowPassFilter {
public:
    void Prepare(double sampleRate);
    void SetParams(const LowPassParams& p);
    void Reset();
    // Interleaved stereo, in place.
    void Process(float* frames, std::size_t count);

private:
    double rate_ = 44100.0;
    int mask_ = 3;
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    std::array<std::array<double, 4>, 2> z_{};  // [channel]: last two inputs, last two outputs
    // A group of four frames' outputs from its inputs and from the state
    // before it: [input or state value][output], see Process.
    std::array<std::array<double, 4>, 4> fromInput_{}, fromState_{};
};

// Parallel damped feedback combs into series all-passes, with slightly
// different lengths per side for width. The comb gains follow the reverb time;
// the input is high-passed at 20 Hz so that the loops do not pile up an offset.
class Reverb {
public:
    void Prepare(double sampleRate);
    void SetParams(const ReverbParams& p);
    void Reset();
    void Process(float* frames, std::size_t count);

private:
    static constexpr int kCombs = 8;
    static constexpr int kAllPasses = 4;
    static constexpr std::size_t kBlock = 256;  // frames per pass over the lines
    struct Line {
        std::vector<float> buf;
        std::size_t pos = 0;
        float gain = 0.0f;
        float damp = 0.0f;  // one-pole low-pass state in the comb loop
    };
    double rate_ = 44100.0;
    float level_ = 0.0f;
    std::size_t block_ = kBlock;  // at most the shortest line, so no block spans a loop
    float dcPole_ = 0.0f;         // the input's high-pass: pole, last input, last output
    float dcIn_ = 0.0f, dcOut_ = 0.0f;
    void BlockDc(float* x, std::size_t n);
    std::array<std::array<Line, kCombs>, 2> combs_;
    std::array<std::array<Line, kAllPasses>, 2> allPasses_;
};

// Modulated delay line with feedback; the two sides' LFOs run a quarter
// period apart. The line is sized for sweeps up to kMaxSweepUs.
class Chorus {
public:
    static constexpr float kMaxSweepUs = 50000.0f;
    void Prepare(double sampleRate);
    void SetParams(const ChorusParams& p);
    void Reset();
    // Where the sweep stands, 0 to 1 of its period. Reset() sets 0; the
    // offline chain sets it so that a looped piece's sweep runs on across the seam.
    void SetPhase(double phase);
    void Process(float* frames, std::size_t count);

private:
    double rate_ = 44100.0;
    ChorusParams p_;
    int mask_ = 3;
    std::vector<float> line_;  // interleaved stereo ring, held twice over
    std::size_t size_ = 0;     // frames in the ring
    std::size_t pos_ = 0;
    double phase_ = 0.0;       // LFO phase, 0..1
};

}  // namespace dw
