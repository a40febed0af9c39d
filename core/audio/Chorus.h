#pragma once
// The chorus: a modulated delay line with feedback; the two sides' LFOs run
// a quarter period apart. dryMix, wetMix and feedback are linear gains,
// minSweep and maxSweep the delay range in microseconds swept by the LFO,
// rate the LFO frequency in millihertz. `channels` is a bit mask (1 = left,
// 2 = right); -1 means all channels. Prepare() sizes the line on a
// non-real-time thread; Process() and Reset() run on the audio thread and
// never allocate.

#include <cstddef>
#include <vector>

namespace dw {

struct ChorusParams {
    float dryMix = 0.5f;
    float wetMix = 0.1f;
    float feedback = 0.5f;
    float minSweep = 1000.0f;
    float maxSweep = 6000.0f;
    float rate = 500.0f;
    int channels = -1;
};

// The line is sized for sweeps up to kMaxSweepUs.
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
