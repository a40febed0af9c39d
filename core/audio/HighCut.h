#pragma once
// The high-cut filter: a second-order resonant low-pass (bilinear-transform
// biquad), per channel. cutoffHz is in Hz (clamped to 10 Hz .. 0.49 x rate),
// resonance is the filter's Q (1.0 gives a gentle peak at the cut-off).
// `channels` is a bit mask (1 = left, 2 = right); -1 means all channels.
// Prepare() on a non-real-time thread; Process() and Reset() on the audio
// thread, never allocating.

#include <array>
#include <cstddef>

namespace dw {

struct LowPassParams {
    float cutoffHz = 1000.0f;
    float resonance = 1.0f;
    int channels = -1;
};

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

}  // namespace dw
