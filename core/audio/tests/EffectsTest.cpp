// The playback effects measured as sound: the low-pass at and above its
// cut-off, the reverb by its tail, the chorus by the modulation it puts on a
// steady tone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "core/audio/Effects.h"
#include "core/audio/tests/TestSignals.h"

namespace dw {
namespace {

constexpr double kRate = 44100.0;

struct LowPassCase {
    const char* name;
    float cutoff;
    double tone;
    double minDb, maxDb;
};
void PrintTo(const LowPassCase& c, std::ostream* os) { *os << c.name; }

class LowPassResponse : public ::testing::TestWithParam<LowPassCase> {};

TEST_P(LowPassResponse, GainAtToneIsWithinBounds) {
    const auto& c = GetParam();
    LowPassFilter f;
    f.Prepare(kRate);
    f.SetParams({c.cutoff, 1.0f, -1});
    auto sig = test::StereoSine(c.tone, kRate, 44100);
    f.Process(sig.data(), 44100);
    // Measure after the filter has settled.
    const double gain = test::ToneLevel(sig.data(), 22050, 22050, c.tone, kRate) / 0.5;
    EXPECT_GE(test::Db(gain), c.minDb);
    EXPECT_LE(test::Db(gain), c.maxDb);
    const double right = test::ToneLevel(sig.data(), 22050, 22050, c.tone, kRate, 1) / 0.5;
    EXPECT_NEAR(gain, right, 1e-6) << "both sides are filtered alike";
}

INSTANTIATE_TEST_SUITE_P(Effects, LowPassResponse,
                         ::testing::Values(LowPassCase{"PassBand", 1000.0f, 200.0, -1.0, 1.0},
                                           LowPassCase{"AtCutoff", 1000.0f, 1000.0, -1.0, 1.0},
                                           LowPassCase{"OctaveAbove", 1000.0f, 2000.0, -14.0, -8.0},
                                           LowPassCase{"TwoOctavesAbove", 1000.0f, 4000.0, -60.0, -20.0},
                                           LowPassCase{"HighCutoffKeepsTreble", 16662.5f, 8000.0, -1.0, 1.5}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(LowPass, ChannelMaskLeavesOtherSideAlone) {
    LowPassFilter f;
    f.Prepare(kRate);
    f.SetParams({500.0f, 1.0f, 1});  // left only
    auto sig = test::StereoSine(5000.0, kRate, 8192);
    const auto original = sig;
    f.Process(sig.data(), 8192);
    for (std::size_t i = 0; i < 8192; ++i) ASSERT_EQ(sig[2 * i + 1], original[2 * i + 1]);
    EXPECT_LT(test::ToneLevel(sig.data(), 4096, 4096, 5000.0, kRate), 0.05);
}

// The filter runs four frames at a time from precomputed sums; it must give
// what the biquad's own recursion gives, a frame at a time in double
// precision, whatever the lengths of the calls (the last frames of a call go
// one at a time), including a sharp resonance close to the bottom of the range.
TEST(LowPass, GroupsOfFourFollowTheRecursion) {
    for (const auto& [cutoff, q] : {std::pair{16662.5f, 1.0f}, std::pair{40.0f, 8.0f}}) {
        LowPassFilter f;
        f.Prepare(kRate);
        f.SetParams({cutoff, q, -1});
        const double w0 = 2.0 * std::numbers::pi * cutoff / kRate, cw = std::cos(w0);
        const double alpha = std::sin(w0) / (2.0 * q), a0 = 1.0 + alpha;
        const double b0 = (1.0 - cw) / 2.0 / a0, b1 = (1.0 - cw) / a0, a1 = -2.0 * cw / a0, a2 = (1.0 - alpha) / a0;
        std::minstd_rand gen(3);
        std::uniform_real_distribution<float> noise(-0.8f, 0.8f);
        std::vector<float> sig(2 * 20000);
        std::generate(sig.begin(), sig.end(), [&] { return noise(gen); });
        std::vector<double> expected(sig.size());
        for (int c = 0; c < 2; ++c) {
            double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
            for (std::size_t i = 0; i < 20000; ++i) {
                const double x = sig[2 * i + c];
                const double y = b0 * x + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2;
                x2 = x1;
                x1 = x;
                y2 = y1;
                y1 = y;
                expected[2 * i + c] = y;
            }
        }
        for (std::size_t at = 0, call = 1; at < 20000; call = call * 5 % 61 + 1) {
            const std::size_t n = std::min<std::size_t>(20000 - at, call);
            f.Process(sig.data() + 2 * at, n);
            at += n;
        }
        for (std::size_t i = 0; i < sig.size(); ++i)
            ASSERT_NEAR(sig[i], expected[i], 1e-6 * std::max(1.0, std::fabs(expected[i]))) << "sample " << i << " at " << cutoff;
    }
}

// A reverb at the usual level with a 3 s reverb time.
class ReverbTail : public ::testing::Test {
protected:
    ReverbTail() {
        r.Prepare(kRate);
        r.SetParams({0.6f, 3000});
    }
    Reverb r;
};

TEST_F(ReverbTail, ImpulseLeavesADecayingTailMatchingTheReverbTime) {
    const std::size_t n = static_cast<std::size_t>(kRate * 2);
    std::vector<float> sig(n * 2, 0.0f);
    sig[0] = sig[1] = 1.0f;
    r.Process(sig.data(), n);
    const auto at = [&](double s) { return static_cast<std::size_t>(s * kRate); };
    const double early = test::Rms(sig.data(), at(0.2), at(0.2));
    const double late = test::Rms(sig.data(), at(1.2), at(0.2));
    ASSERT_GT(early, 1e-4) << "no tail";
    ASSERT_GT(late, 0.0);
    // A 3 s reverb time falls 60 dB in 3 s: about 20 dB in one second.
    const double fall = test::Db(early / late);
    EXPECT_GT(fall, 12.0);
    EXPECT_LT(fall, 28.0);
    EXPECT_GT(test::Rms(sig.data(), at(0.2), at(0.2), 1), 1e-4) << "both sides get the tail";
}

TEST(Reverb, LevelZeroLeavesTheDrySignal) {
    Reverb r;
    r.Prepare(kRate);
    r.SetParams({0.0f, 3000});
    auto sig = test::StereoSine(300.0, kRate, 4096);
    const auto original = sig;
    r.Process(sig.data(), 4096);
    EXPECT_EQ(sig, original);
}

// The loops hold a constant at 1 / (1 - g): an offset under the music (or a
// rumble below hearing) once came out sixteen times as strong, written files
// then peaked at full scale while sounding quiet. The reverb must add nothing
// to an offset, and still ring for a tone.
TEST_F(ReverbTail, AddsNothingToAnOffset) {
    const std::size_t n = static_cast<std::size_t>(kRate * 10);
    std::vector<float> offset(n * 2, 0.01f);
    r.Process(offset.data(), n);
    for (std::size_t i = n - 4410; i < n; ++i) ASSERT_NEAR(offset[2 * i], 0.01f, 0.001f) << "frame " << i;
    r.Reset();
    auto tone = test::StereoSine(300.0, kRate, n);
    const double dry = test::Rms(tone.data(), n - 44100, 44100);
    r.Process(tone.data(), n);
    EXPECT_GT(test::Rms(tone.data(), n - 44100, 44100), dry * 1.2) << "the reverb must still ring";
}

TEST(Chorus, SweepModulatesASteadyToneAndDryOnlyDoesNot) {
    const auto swing = [](float wet) {
        Chorus c;
        c.Prepare(kRate);
        c.SetParams({0.5f, wet, 0.5f, 1000.0f, 6000.0f, 500.0f, -1});
        const std::size_t n = static_cast<std::size_t>(kRate * 4);
        auto sig = test::StereoSine(441.0, kRate, n);  // whole periods per window
        c.Process(sig.data(), n);
        double lo = 1e9, hi = 0.0;
        const std::size_t win = 2000;  // 20 periods of the tone
        for (std::size_t at = n / 2; at + win <= n; at += win) {
            const double level = test::Rms(sig.data(), at, win);
            lo = std::min(lo, level);
            hi = std::max(hi, level);
        }
        return hi / lo;
    };
    EXPECT_GT(swing(0.4f), 1.2);
    EXPECT_LT(swing(0.0f), 1.01);
}

TEST(Effects, LongNoiseRunsStayBoundedAndFinite) {
    LowPassFilter lp;
    Reverb rv;
    Chorus ch;
    lp.Prepare(48000);
    rv.Prepare(48000);
    ch.Prepare(48000);
    lp.SetParams({500.0f, 4.0f, -1});
    rv.SetParams({0.6f, 10000});
    ch.SetParams({0.5f, 0.4f, 0.95f, 1000.0f, 6000.0f, 500.0f, -1});
    std::minstd_rand gen(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> block(2 * 512);
    float peak = 0.0f;
    for (int b = 0; b < 48000 * 10 / 512; ++b) {
        for (auto& s : block) s = noise(gen);
        ch.Process(block.data(), 512);
        rv.Process(block.data(), 512);
        lp.Process(block.data(), 512);
        for (float s : block) {
            ASSERT_TRUE(std::isfinite(s));
            peak = std::max(peak, std::fabs(s));
        }
    }
    EXPECT_LT(peak, 50.0f);
}

// The chorus's and reverb's AVX2 loops and their plain ones must give the
// same bytes: noise, then silence into which the tail dies away (where the
// loops' small values are flushed), in calls of odd lengths so that the runs
// and blocks end in every way.
TEST(Effects, WiderVectorsGiveTheSameBytes) {
    std::minstd_rand gen(11);
    std::uniform_real_distribution<float> noise(-0.8f, 0.8f);
    std::vector<float> input(2 * 48000 * 4, 0.0f);
    std::generate(input.begin(), input.begin() + 2 * 48000 * 2, [&] { return noise(gen); });
    auto run = [&](bool wider) {
        UseWiderVectors(wider);
        Chorus ch;
        ch.Prepare(48000);
        ch.SetParams({0.5f, 0.4f, 0.6f, 1000.0f, 6000.0f, 700.0f, -1});
        Reverb r;
        r.Prepare(48000);
        r.SetParams({0.7f, 3000});
        LowPassFilter both, left;
        both.Prepare(48000);
        both.SetParams({2000.0f, 1.5f, -1});
        left.Prepare(48000);
        left.SetParams({700.0f, 1.0f, 1});
        std::vector<float> out = input;
        const std::size_t frames = out.size() / 2;
        for (std::size_t at = 0, call = 1; at < frames; call = call * 7 % 997 + 1) {
            const std::size_t n = std::min(frames - at, call);
            ch.Process(out.data() + 2 * at, n);
            r.Process(out.data() + 2 * at, n);
            both.Process(out.data() + 2 * at, n);
            left.Process(out.data() + 2 * at, n);
            at += n;
        }
        return out;
    };
    const std::vector<float> wide = run(true);
    const std::vector<float> plain = run(false);
    UseWiderVectors(true);
    ASSERT_EQ(wide.size(), plain.size());
    EXPECT_EQ(std::memcmp(wide.data(), plain.data(), wide.size() * sizeof(float)), 0);
    EXPECT_NE(wide, input) << "the effects must have changed the music";
}

TEST(Effects, ResetClearsTheTail) {
    Reverb r;
    r.Prepare(22050);
    r.SetParams({0.6f, 3000});
    std::vector<float> sig(2 * 2048, 0.0f);
    sig[0] = sig[1] = 1.0f;
    r.Process(sig.data(), 2048);
    r.Reset();
    std::vector<float> silence(2 * 2048, 0.0f);
    r.Process(silence.data(), 2048);
    EXPECT_EQ(test::Rms(silence.data(), 0, 2048), 0.0);
}

}  // namespace
}  // namespace dw
