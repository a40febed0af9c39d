#pragma once
// Small helpers for the audio tests: sines, levels, the strength of one
// frequency (Goertzel) and a frequency estimate from zero crossings; the
// temporary folders with the files in them come from the shared TestSupport.

#include "core/base/testing/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

namespace dw::test {

// Interleaved stereo sine, the same on both sides.
inline std::vector<float> StereoSine(double freq, double rate, std::size_t frames, float amp = 0.5f) {
    std::vector<float> v(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto s = static_cast<float>(amp * std::sin(2.0 * std::numbers::pi * freq * static_cast<double>(i) / rate));
        v[2 * i] = v[2 * i + 1] = s;
    }
    return v;
}

// RMS of one channel of interleaved stereo over [first, first + count) frames.
inline double Rms(const float* data, std::size_t first, std::size_t count, int channel = 0) {
    double sum = 0.0;
    for (std::size_t i = first; i < first + count; ++i) sum += double(data[2 * i + channel]) * data[2 * i + channel];
    return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}

// Amplitude of `freq` in one channel (Goertzel over the given frames).
inline double ToneLevel(const float* data, std::size_t first, std::size_t count, double freq, double rate,
                        int channel = 0) {
    const double w = 2.0 * std::numbers::pi * freq / rate;
    const double c = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = first; i < first + count; ++i) {
        const double s0 = data[2 * i + channel] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(count);
}

// Frequency from the rising zero crossings of one channel.
inline double ZeroCrossingFrequency(const float* data, std::size_t first, std::size_t count, double rate,
                                    int channel = 0) {
    double firstX = -1.0, lastX = -1.0;
    int crossings = 0;
    for (std::size_t i = first + 1; i < first + count; ++i) {
        const float a = data[2 * (i - 1) + channel], b = data[2 * i + channel];
        if (a < 0.0f && b >= 0.0f) {
            const double x = static_cast<double>(i - 1) + a / (a - b);
            if (firstX < 0) firstX = x;
            lastX = x;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (lastX - firstX);
}

inline double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace dw::test
