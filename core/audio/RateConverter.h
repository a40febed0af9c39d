#pragma once
// Sample-rate converter of the output path: streams run at the project's rate
// and the device at its own. A windowed-sinc interpolator (Kaiser window, 32
// taps, 128 interpolated phases), written by hand because it runs on the
// device thread: Prepare() allocates on the control thread, Reset() and
// Render() only touch that storage. Equal rates pass through unchanged.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace dw {

class RateConverter {
public:
    void Prepare(std::uint32_t inRate, std::uint32_t outRate, std::size_t maxPull) {
        inRate_ = inRate;
        outRate_ = outRate;
        maxPull_ = maxPull;
        step_ = static_cast<double>(inRate) / outRate;
        if (inRate == outRate) return;
        const double fc = std::min(1.0, static_cast<double>(outRate) / inRate) * 0.94;
        table_.assign((kPhases + 1) * kTaps, 0.0f);
        for (int p = 0; p <= kPhases; ++p) {
            for (int j = 0; j < kTaps; ++j) {
                const double x = (j - (kHalf - 1)) - static_cast<double>(p) / kPhases;
                table_[static_cast<std::size_t>(p * kTaps + j)] = static_cast<float>(fc * Sinc(fc * x) * Kaiser(x / kHalf));
            }
        }
        buf_.assign((kTaps + maxPull) * 2, 0.0f);
        Reset();
    }

    void Reset() {
        if (inRate_ == outRate_) return;
        std::fill(buf_.begin(), buf_.end(), 0.0f);
        avail_ = kHalf - 1;  // silent history before the first frame
        pos_ = kHalf - 1;
    }

    // Fills `frames` output frames (interleaved stereo); `pull(dest, n)` must
    // fill exactly n input frames (n <= maxPull), padding with silence.
    template <class Pull>
    void Render(float* out, std::size_t frames, Pull&& pull) {
        if (inRate_ == outRate_) {
            while (frames > 0) {
                const std::size_t n = std::min(frames, maxPull_);
                pull(out, n);
                out += 2 * n;
                frames -= n;
            }
            return;
        }
        const std::size_t cap = buf_.size() / 2;
        for (std::size_t f = 0; f < frames; ++f) {
            auto i0 = static_cast<std::size_t>(pos_);
            while (i0 + kHalf >= avail_) {
                const std::size_t drop = i0 - (kHalf - 1);  // frames no longer needed
                if (drop > 0) {
                    std::memmove(buf_.data(), buf_.data() + 2 * drop, 2 * (avail_ - drop) * sizeof(float));
                    avail_ -= drop;
                    pos_ -= static_cast<double>(drop);
                    i0 -= drop;
                }
                const std::size_t n = std::min(maxPull_, cap - avail_);
                pull(buf_.data() + 2 * avail_, n);
                avail_ += n;
            }
            const double phase = (pos_ - static_cast<double>(i0)) * kPhases;
            const auto p0 = std::min(static_cast<int>(phase), kPhases - 1);
            const auto t = static_cast<float>(phase - p0);
            const float* h0 = &table_[static_cast<std::size_t>(p0 * kTaps)];
            const float* h1 = h0 + kTaps;
            const float* x = &buf_[2 * (i0 - (kHalf - 1))];
            float l = 0.0f, r = 0.0f;
            for (int j = 0; j < kTaps; ++j) {
                const float h = h0[j] + (h1[j] - h0[j]) * t;
                l += h * x[2 * j];
                r += h * x[2 * j + 1];
            }
            out[2 * f] = l;
            out[2 * f + 1] = r;
            pos_ += step_;
        }
    }

private:
    static constexpr int kHalf = 16;
    static constexpr int kTaps = 2 * kHalf;
    static constexpr int kPhases = 128;
    static constexpr double kBeta = 7.0;

    static double Sinc(double x) {
        if (std::fabs(x) < 1e-12) return 1.0;
        return std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    }
    static double BesselI0(double x) {
        double sum = 1.0, term = 1.0;
        for (int k = 1; k < 40; ++k) {
            term *= (x / (2.0 * k)) * (x / (2.0 * k));
            sum += term;
        }
        return sum;
    }
    static double Kaiser(double u) {
        if (u <= -1.0 || u >= 1.0) return 0.0;
        return BesselI0(kBeta * std::sqrt(1.0 - u * u)) / BesselI0(kBeta);
    }

    std::uint32_t inRate_ = 0, outRate_ = 0;
    std::size_t maxPull_ = 0;
    double step_ = 1.0;
    std::vector<float> table_;
    std::vector<float> buf_;
    std::size_t avail_ = 0;
    double pos_ = 0.0;
};

}  // namespace dw
