#include "audio/Effects.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dw {

namespace {

bool Uses(int mask, int channel) { return mask == -1 || (mask & (1 << channel)) != 0; }

int MaskOf(int channels) { return channels == -1 ? 3 : (channels & 3); }

}  // namespace

// ---------------------------------------------------------------- low-pass

void LowPassFilter::Prepare(double sampleRate) {
    rate_ = sampleRate;
    SetParams(LowPassParams{});
    Reset();
}

void LowPassFilter::SetParams(const LowPassParams& p) {
    mask_ = MaskOf(p.channels);
    const double fc = std::clamp(static_cast<double>(p.cutoffHz), 10.0, 0.49 * rate_);
    const double q = std::clamp(static_cast<double>(p.resonance), 0.1, 20.0);
    const double w0 = 2.0 * std::numbers::pi * fc / rate_;
    const double cw = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    b0_ = (1.0 - cw) / 2.0 / a0;
    b1_ = (1.0 - cw) / a0;
    b2_ = b0_;
    a1_ = -2.0 * cw / a0;
    a2_ = (1.0 - alpha) / a0;
}

void LowPassFilter::Reset() { z_ = {}; }

void LowPassFilter::Process(float* frames, std::size_t count) {
    for (int c = 0; c < 2; ++c) {
        if (!Uses(mask_, c)) continue;
        double z1 = z_[c][0], z2 = z_[c][1];
        for (std::size_t i = 0; i < count; ++i) {
            const double x = frames[2 * i + c];
            const double y = b0_ * x + z1;
            z1 = b1_ * x - a1_ * y + z2;
            z2 = b2_ * x - a2_ * y;
            frames[2 * i + c] = static_cast<float>(y);
        }
        // Keep denormals out of the state when the input falls silent.
        if (std::fabs(z1) < 1e-20) z1 = 0.0;
        if (std::fabs(z2) < 1e-20) z2 = 0.0;
        z_[c] = {z1, z2};
    }
}

// ---------------------------------------------------------------- reverb

namespace {
// Loop lengths in milliseconds, mutually prime-ish so the echoes do not line
// up; the right side is a little longer than the left for width.
constexpr std::array<double, 8> kCombMs = {29.7, 31.3, 33.7, 35.9, 37.1, 39.4, 41.1, 43.7};
constexpr std::array<double, 4> kAllPassMs = {12.6, 10.0, 7.7, 5.1};
constexpr double kRightSpreadMs = 0.53;
constexpr float kAllPassGain = 0.5f;
constexpr float kCombDamping = 0.25f;  // high frequencies die a little faster
constexpr float kInputGain = 0.3f;  // wet at level 1.0 about as loud as the dry signal
}  // namespace

void Reverb::Prepare(double sampleRate) {
    rate_ = sampleRate;
    for (int c = 0; c < 2; ++c) {
        const double spread = c == 1 ? kRightSpreadMs : 0.0;
        for (int i = 0; i < kCombs; ++i) {
            const auto len = static_cast<std::size_t>((kCombMs[i] + spread) * rate_ / 1000.0);
            combs_[c][i].buf.assign(std::max<std::size_t>(len, 1), 0.0f);
        }
        for (int i = 0; i < kAllPasses; ++i) {
            const auto len = static_cast<std::size_t>((kAllPassMs[i] + spread) * rate_ / 1000.0);
            allPasses_[c][i].buf.assign(std::max<std::size_t>(len, 1), 0.0f);
            allPasses_[c][i].gain = kAllPassGain;
        }
    }
    SetParams(ReverbParams{});
    Reset();
}

void Reverb::SetParams(const ReverbParams& p) {
    level_ = std::clamp(p.level, 0.0f, 4.0f);
    const double seconds = std::clamp(p.delayMs, 1, 60000) / 1000.0;
    for (auto& side : combs_) {
        for (auto& comb : side) {
            // Gain per trip round the loop so that the echoes fall 60 dB in `seconds`.
            const double trip = static_cast<double>(comb.buf.size()) / rate_;
            comb.gain = static_cast<float>(std::pow(10.0, -3.0 * trip / seconds));
        }
    }
}

void Reverb::Reset() {
    for (auto& side : combs_)
        for (auto& l : side) {
            std::fill(l.buf.begin(), l.buf.end(), 0.0f);
            l.pos = 0;
            l.damp = 0.0f;
        }
    for (auto& side : allPasses_)
        for (auto& l : side) {
            std::fill(l.buf.begin(), l.buf.end(), 0.0f);
            l.pos = 0;
        }
}

void Reverb::Process(float* frames, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const float in = (frames[2 * i] + frames[2 * i + 1]) * 0.5f * kInputGain;
        for (int c = 0; c < 2; ++c) {
            float wet = 0.0f;
            for (auto& comb : combs_[c]) {
                const float y = comb.buf[comb.pos];
                comb.damp = y * (1.0f - kCombDamping) + comb.damp * kCombDamping;
                comb.buf[comb.pos] = in + comb.damp * comb.gain;
                if (++comb.pos == comb.buf.size()) comb.pos = 0;
                wet += y;
            }
            for (auto& ap : allPasses_[c]) {
                const float delayed = ap.buf[ap.pos];
                const float y = delayed - ap.gain * wet;
                ap.buf[ap.pos] = wet + ap.gain * y;
                if (++ap.pos == ap.buf.size()) ap.pos = 0;
                wet = y;
            }
            if (std::fabs(wet) < 1e-25f) wet = 0.0f;
            frames[2 * i + c] += level_ * wet;
        }
    }
}

// ---------------------------------------------------------------- chorus

void Chorus::Prepare(double sampleRate) {
    rate_ = sampleRate;
    size_ = static_cast<std::size_t>(kMaxSweepUs * 1e-6 * rate_) + 4;
    line_.assign(size_ * 2, 0.0f);
    SetParams(ChorusParams{});
    Reset();
}

void Chorus::SetParams(const ChorusParams& p) {
    p_ = p;
    p_.feedback = std::clamp(p.feedback, -0.95f, 0.95f);
    p_.minSweep = std::clamp(p.minSweep, 0.0f, kMaxSweepUs);
    p_.maxSweep = std::clamp(p.maxSweep, p_.minSweep, kMaxSweepUs);
    p_.rate = std::clamp(p.rate, 0.0f, 20000.0f);
    mask_ = MaskOf(p.channels);
}

void Chorus::Reset() {
    std::fill(line_.begin(), line_.end(), 0.0f);
    pos_ = 0;
    phase_ = 0.0;
}

void Chorus::SetPhase(double phase) { phase_ = phase - std::floor(phase); }

void Chorus::Process(float* frames, std::size_t count) {
    const double minD = p_.minSweep * 1e-6 * rate_;
    const double depth = (p_.maxSweep - p_.minSweep) * 1e-6 * rate_;
    const double step = p_.rate / 1000.0 / rate_;
    for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 2; ++c) {
            const double lfo = 0.5 + 0.5 * std::sin(2.0 * std::numbers::pi * (phase_ + 0.25 * c));
            const double d = std::max(1.0, minD + depth * lfo);
            double read = static_cast<double>(pos_) - d;
            if (read < 0) read += static_cast<double>(size_);
            const auto i0 = static_cast<std::size_t>(read);
            const std::size_t i1 = i0 + 1 == size_ ? 0 : i0 + 1;
            const auto frac = static_cast<float>(read - static_cast<double>(i0));
            const float y = line_[2 * i0 + c] * (1.0f - frac) + line_[2 * i1 + c] * frac;
            const float x = frames[2 * i + c];
            line_[2 * pos_ + c] = x + p_.feedback * y;
            if (Uses(mask_, c)) frames[2 * i + c] = p_.dryMix * x + p_.wetMix * y;
        }
        if (++pos_ == size_) pos_ = 0;
        phase_ += step;
        if (phase_ >= 1.0) phase_ -= 1.0;
    }
}

}  // namespace dw
