#pragma once
// The reverb: parallel damped feedback combs into series all-passes, with
// slightly different lengths per side for width. The comb gains follow the
// reverb time; the input is high-passed at 20 Hz so that the loops do not
// pile up an offset. level is the linear gain of the wet signal added to the
// dry one, delayMs the reverb time in milliseconds (the time the tail takes
// to fall by 60 dB). Prepare() sizes every line on a non-real-time thread;
// Process() and Reset() run on the audio thread and never allocate.

#include <array>
#include <cstddef>
#include <vector>

namespace dw {

struct ReverbParams {
    float level = 0.5f;
    int delayMs = 3000;
};

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

}  // namespace dw
