#include "core/audio/Mastering.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/audio/Effects.h"
#include "core/audio/Playback.h"
#include "core/audio/TruePeak.h"
#include "core/audio/tests/TestSignals.h"

namespace dw {
namespace {

std::vector<StereoFrame> ToFrames(const std::vector<float>& interleaved) {
    std::vector<StereoFrame> f(interleaved.size() / 2);
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = {interleaved[2 * i], interleaved[2 * i + 1]};
    return f;
}

const float* Raw(const std::vector<StereoFrame>& f) { return &f.front().left; }

// A piece that loops by itself: a sine with a whole number of periods in its
// length and a noise burst near its end, so that a reverb rings across the seam.
std::vector<StereoFrame> LoopingPiece(std::uint32_t rate, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    const double periods = std::round(220.0 * seconds);
    const double hz = periods / (static_cast<double>(frames) / rate);
    auto v = ToFrames(test::StereoSine(hz, rate, frames, 0.2f));
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (std::size_t i = frames - rate / 2; i < frames - rate / 4; ++i) {
        v[i].left += noise(gen);
        v[i].right += noise(gen);
    }
    return v;
}

struct EffectCase {
    const char* name;
    bool highCut, reverb, chorus;
};
void PrintTo(const EffectCase& c, std::ostream* os) { *os << c.name; }

class OfflineEffects : public ::testing::TestWithParam<std::tuple<EffectCase, std::uint32_t>> {};

// Each effect reaches the music at every rate, and the same music and project
// give the same samples twice.
TEST_P(OfflineEffects, ChangeTheMusicAndRepeatExactly) {
    const auto& [c, rate] = GetParam();
    CProperties p;
    p.highCutOn = c.highCut;
    p.reverbOn = c.reverb;
    p.chorusOn = c.chorus;
    p.highCut = p.reverb = p.chorus = 0.6;
    const auto dry = LoopingPiece(rate, 2.0);
    auto once = dry, twice = dry;
    ASSERT_TRUE(ApplyEffectsOffline(once, rate, p, false));
    ASSERT_TRUE(ApplyEffectsOffline(twice, rate, p, false));
    EXPECT_EQ(0, std::memcmp(once.data(), twice.data(), once.size() * sizeof(StereoFrame)));
    EXPECT_NE(0, std::memcmp(once.data(), dry.data(), once.size() * sizeof(StereoFrame)));
    EXPECT_EQ(once.size(), dry.size());
}

INSTANTIATE_TEST_SUITE_P(
    EveryEffectAndRate, OfflineEffects,
    ::testing::Combine(::testing::Values(EffectCase{"HighCut", true, false, false},
                                         EffectCase{"Reverb", false, true, false},
                                         EffectCase{"Chorus", false, false, true},
                                         EffectCase{"AllThree", true, true, true}),
                       ::testing::Values(11025u, 22050u, 44100u, 48000u)),
    [](const auto& i) {
        return std::string(std::get<0>(i.param).name) + "_" + std::to_string(std::get<1>(i.param));
    });

TEST(OfflineEffects, AllSwitchedOffLeavesTheMusicAsItIs) {
    CProperties p;
    p.highCutOn = p.reverbOn = p.chorusOn = false;
    p.highCut = p.reverb = p.chorus = 1.0;
    const auto dry = LoopingPiece(22050, 1.0);
    auto music = dry;
    ASSERT_TRUE(ApplyEffectsOffline(music, 22050, p, true));
    EXPECT_EQ(0, std::memcmp(music.data(), dry.data(), music.size() * sizeof(StereoFrame)));
}

// The high-cut at full amount sits at 500 Hz: a low tone passes, a high one
// is cut, as in playback.
TEST(OfflineEffects, HighCutPassesLowAndCutsHigh) {
    CProperties p;
    p.highCutOn = true;
    p.reverbOn = p.chorusOn = false;
    p.highCut = 1.0;
    constexpr std::uint32_t rate = 44100;
    auto low = ToFrames(test::StereoSine(100.0, rate, rate));
    auto high = ToFrames(test::StereoSine(5000.0, rate, rate));
    ASSERT_TRUE(ApplyEffectsOffline(low, rate, p, false));
    ASSERT_TRUE(ApplyEffectsOffline(high, rate, p, false));
    EXPECT_NEAR(test::ToneLevel(Raw(low), rate / 2, rate / 2, 100.0, rate), 0.5, 0.05);
    EXPECT_LT(test::ToneLevel(Raw(high), rate / 2, rate / 2, 5000.0, rate), 0.5 * 0.02);  // 34 dB down
}

// With the piece looping, the file must start in the state in which it ends:
// its first seconds equal those of a second pass through the loop, while the
// plain (non-looping) chain starts without the reverb that rings over the seam.
TEST(OfflineEffects, LoopedPieceStartsWhereItEnds) {
    CProperties p;
    p.highCutOn = p.reverbOn = p.chorusOn = true;
    p.highCut = 0.4;
    p.reverb = 1.0;
    p.chorus = 1.0;
    constexpr std::uint32_t rate = 11025;
    const auto piece = LoopingPiece(rate, 10.3);  // 5.15 chorus periods: the sweep must be tuned
    auto looped = piece;
    ASSERT_TRUE(ApplyEffectsOffline(looped, rate, p, true));
    // The same piece twice in a row: its second half is the loop in steady state.
    auto twice = piece;
    twice.insert(twice.end(), piece.begin(), piece.end());
    ASSERT_TRUE(ApplyEffectsOffline(twice, rate, p, true));
    auto plain = piece;
    ASSERT_TRUE(ApplyEffectsOffline(plain, rate, p, false));

    const std::size_t n = piece.size();
    double worstLooped = 0.0, worstPlain = 0.0;
    for (std::size_t i = 0; i < rate; ++i) {
        worstLooped = std::max(worstLooped, double(std::fabs(looped[i].left - twice[n + i].left)));
        worstPlain = std::max(worstPlain, double(std::fabs(plain[i].left - twice[n + i].left)));
    }
    EXPECT_LT(worstLooped, 1e-4);
    EXPECT_GT(worstPlain, 1e-2);  // the check can tell a cold start
    // And the seam itself is no bigger a step than the music takes elsewhere.
    double largestStep = 0.0;
    for (std::size_t i = 1; i < n; ++i) largestStep = std::max(largestStep, double(std::fabs(looped[i].left - looped[i - 1].left)));
    EXPECT_LE(std::fabs(looped[0].left - looped[n - 1].left), largestStep);
}

TEST(OfflineEffects, CancelStopsAndSaysSo) {
    CProperties p;
    p.reverbOn = true;
    p.highCutOn = p.chorusOn = false;
    auto music = LoopingPiece(44100, 2.0);
    RecordingProgress progress;
    progress.cancelAtReport = 3;
    EXPECT_FALSE(ApplyEffectsOffline(music, 44100, p, false, &progress));
}

// A long piece is finished in parts on several threads, each part's chain
// warmed up on the music before it. The joins must not show: the result
// stays within a hair of one chain run over the whole piece, a large share
// of whose samples the effects do change.
TEST(OfflineEffects, PartsJoinLikeOneChain) {
    CProperties p;
    p.highCutOn = p.reverbOn = p.chorusOn = true;
    p.highCut = 0.5;
    p.reverb = p.chorus = 0.8;
    constexpr std::uint32_t rate = 11025;
    const auto dry = LoopingPiece(rate, 250.0);  // three parts of 120 s
    auto parted = dry;
    ASSERT_TRUE(ApplyEffectsOffline(parted, rate, p, false));

    Chorus chorus;
    Reverb reverb;
    LowPassFilter highCut;
    chorus.Prepare(rate);
    chorus.SetParams(ChorusParamsFor(p.chorus));
    reverb.Prepare(rate);
    reverb.SetParams(ReverbParamsFor(p.reverb));
    highCut.Prepare(rate);
    highCut.SetParams(HighCutParams(p.highCut, rate));
    auto whole = dry;
    for (std::size_t at = 0; at < whole.size(); at += 4096) {
        const std::size_t n = std::min<std::size_t>(4096, whole.size() - at);
        float* samples = &whole[at].left;
        chorus.Process(samples, n);
        reverb.Process(samples, n);
        highCut.Process(samples, n);
    }
    double worst = 0.0;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < dry.size(); ++i) {
        worst = std::max({worst, double(std::fabs(parted[i].left - whole[i].left)),
                          double(std::fabs(parted[i].right - whole[i].right))});
        if (std::fabs(parted[i].left - dry[i].left) > 1e-3f) ++changed;
    }
    EXPECT_LT(worst, 1e-5);
    EXPECT_GT(changed, dry.size() / 2);
}

// ---------------------------------------------------------------- loudness

std::vector<StereoFrame> Noise(std::uint32_t rate, double seconds, float amp, unsigned seed = 1) {
    std::vector<StereoFrame> v(static_cast<std::size_t>(seconds * rate));
    std::mt19937 gen(seed);
    std::normal_distribution<float> d(0.0f, amp);
    for (auto& f : v) f = {d(gen), d(gen)};
    return v;
}

TEST(Loudness, FullScaleSineReadsAsTheStandardSays) {
    // A 997 Hz sine at full scale in both channels reads 0 LUFS (-3.01 per channel).
    auto sine = ToFrames(test::StereoSine(997.0, 48000, 48000 * 5, 1.0f));
    const auto r = MeasureLoudness(sine, 48000);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->integratedLufs, 0.0, 0.1);
    EXPECT_NEAR(r->truePeakDbtp, 0.0, 0.1);
}

struct TargetCase {
    const char* name;
    double target, ceiling;
    bool binds;
};
void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class LoudnessTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(LoudnessTarget, ReachesTheTargetUnderTheCeiling) {
    const auto& c = GetParam();
    constexpr std::uint32_t rate = 44100;
    auto music = Noise(rate, 6.0, 0.05f);
    const auto a = NormaliseLoudness(music, rate, c.target, c.ceiling);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ceilingBinds, c.binds);
    const auto again = MeasureLoudness(music, rate);
    ASSERT_TRUE(again);
    EXPECT_LE(again->truePeakDbtp, c.ceiling + 0.01);
    EXPECT_NEAR(again->integratedLufs, a->after.integratedLufs, 0.05);
    EXPECT_NEAR(again->truePeakDbtp, a->after.truePeakDbtp, 0.05);
    if (c.binds) {
        EXPECT_GT(a->shortfallLu, 0.5);
        EXPECT_NEAR(again->integratedLufs, c.target - a->shortfallLu, 0.05);
    } else {
        EXPECT_NEAR(again->integratedLufs, c.target, 0.05);
    }
}

// Gaussian noise has a crest factor of about 12 dB: at -23 LUFS it fits any
// usual ceiling, at -6 LUFS it cannot stay under -1 dBTP.
INSTANTIATE_TEST_SUITE_P(Targets, LoudnessTarget,
                         ::testing::Values(TargetCase{"Broadcast", -23.0, -1.0, false},
                                           TargetCase{"Streaming", -14.0, -1.0, false},
                                           TargetCase{"TooLoudForCeiling", -6.0, -1.0, true},
                                           TargetCase{"LowCeiling", -16.0, -12.0, true}),
                         [](const auto& i) { return std::string(i.param.name); });

// The whole finishing of a file with effects that push the peaks up and a
// loudness target: the loudness and true peak are taken in the same sweep as
// the effects, part by part, and every gain is made in one pass at the end,
// so the figures the report gives must be what the finished music reads.
// Long pieces run in several parts; a burst right at the border between two
// parts must still set the true peak.
struct FinishCase {
    const char* name;
    std::uint32_t rate;
    double seconds;
    bool loop;
    bool burstAtBorder;
};
void PrintTo(const FinishCase& c, std::ostream* os) { *os << c.name; }

class FinishForFileReads : public ::testing::TestWithParam<FinishCase> {};

TEST_P(FinishForFileReads, WhatTheFinishedMusicReads) {
    const FinishCase& c = GetParam();
    CProperties p;
    p.SetDefaults();
    p.reverbOn = p.chorusOn = true;
    p.highCutOn = false;
    p.reverb = p.chorus = 1.0;
    p.volume = 0.5;
    p.loopMusic = c.loop;
    auto music = Noise(c.rate, c.seconds, 0.4f, 3);
    for (auto& f : music) {  // peaks at the volume, as the engine leaves them
        f.left = std::clamp(f.left, -0.5f, 0.5f);
        f.right = std::clamp(f.right, -0.5f, 0.5f);
    }
    if (c.burstAtBorder) {
        // The parts are 1200 steps of 100 ms; a burst far louder than the
        // rest, over the border, sets the true peak of the whole piece.
        const std::size_t border = (c.rate + 5) / 10 * 1200;
        ASSERT_LT(border + 8, music.size());
        for (std::size_t i = border - 6; i < border + 6; ++i) {
            const float v = (i / 2 % 2 == 0) ? 3.0f : -3.0f;
            music[i] = {v, v};
        }
    }
    FinishOptions options;
    options.loudnessLufs = -20.0;
    FinishReport report;
    std::string problem;
    ASSERT_TRUE(FinishForFile(music, c.rate, p, options, nullptr, report, problem)) << problem;
    EXPECT_TRUE(report.effectsApplied);
    EXPECT_LT(report.effectsTrimDb, 0.0) << "the reverb must have pushed the peaks over the volume";
    ASSERT_TRUE(report.loudness && report.finished);
    const auto again = MeasureLoudness(music, c.rate);
    ASSERT_TRUE(again);
    EXPECT_NEAR(again->integratedLufs, report.finished->integratedLufs, 0.02);
    EXPECT_NEAR(again->truePeakDbtp, report.finished->truePeakDbtp, 0.02);
    EXPECT_NEAR(again->integratedLufs, -20.0, 0.02);
    EXPECT_LE(again->truePeakDbtp, kTruePeakCeilingDbtp + 0.01);
}

INSTANTIATE_TEST_SUITE_P(FinishForFile, FinishForFileReads,
                         ::testing::Values(FinishCase{"OnePart", 22050, 8.0, false, false},
                                           FinishCase{"ThreeParts", 11025, 250.0, false, false},
                                           FinishCase{"ThreeLoopedParts", 11025, 250.0, true, false},
                                           FinishCase{"BurstAtABorder", 11025, 130.0, false, true}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Loudness, SilenceIsLeftAlone) {
    std::vector<StereoFrame> music(44100 * 2, StereoFrame{0.0f, 0.0f});
    const auto a = NormaliseLoudness(music, 44100, -16.0, -1.0);
    ASSERT_TRUE(a);
    EXPECT_TRUE(std::isinf(a->before.integratedLufs));
    EXPECT_EQ(a->gainDb, 0.0);
    for (const auto& f : music) ASSERT_EQ(f.left, 0.0f);
}

// libebur128 itself, one meter over the whole piece: what MeasureLoudness
// must read, though it splits the piece over several meters and finds the
// true peak with its own vectorised oversampler.
LoudnessReading OneMeter(const std::vector<StereoFrame>& music, std::uint32_t rate) {
    ebur128_state* st = ebur128_init(2, rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    EXPECT_NE(st, nullptr);
    LoudnessReading r;
    if (st == nullptr) return r;
    ebur128_add_frames_float(st, &music.front().left, music.size());
    ebur128_loudness_global(st, &r.integratedLufs);
    double left = 0.0, right = 0.0;
    ebur128_true_peak(st, 0, &left);
    ebur128_true_peak(st, 1, &right);
    r.truePeakDbtp = 20.0 * std::log10(std::max(left, right));
    ebur128_destroy(&st);
    return r;
}

// Signals whose peaks lie between the samples, and ordinary ones, each
// ending in silence (libebur128 never reports the points of the last few
// frames, which the player's converter does make).
std::vector<StereoFrame> PeakSignal(const std::string& kind, std::uint32_t rate) {
    const std::size_t frames = rate * 3;
    std::vector<StereoFrame> v(frames + 64);
    std::mt19937 gen(5);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        float l = 0.0f, r = 0.0f;
        if (kind == "QuarterRateSine") {  // samples at 0.707 of a peak of 1
            l = static_cast<float>(std::sin(2.0 * std::numbers::pi * rate / 4.0 * t + std::numbers::pi / 4.0));
        } else if (kind == "TwoTones") {
            l = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 997.0 * t));
            r = static_cast<float>(0.5 * std::cos(2.0 * std::numbers::pi * 1997.0 * t));
        } else if (kind == "Noise") {
            l = noise(gen);
            r = noise(gen);
        } else if (kind == "ClippedSine") {
            l = std::clamp(static_cast<float>(1.5 * std::sin(2.0 * std::numbers::pi * rate / 9.7 * t)), -1.0f, 1.0f);
            r = -l;
        } else if (kind == "Pulses") {
            l = i % 7 == 3 ? 0.9f : i % 7 == 4 ? -0.9f : 0.0f;
        }
        // Faded in and out over 50 ms, so that neither edge rings above the signal.
        const std::size_t edge = rate / 20;
        const std::size_t nearest = std::min(i, frames - 1 - i);
        const auto fade = nearest >= edge ? 1.0f
                                          : static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi *
                                                                                    static_cast<double>(nearest) / edge));
        v[i] = {l * fade, r * fade};
    }
    return v;
}

class TruePeak : public ::testing::TestWithParam<std::tuple<const char*, std::uint32_t>> {};

TEST_P(TruePeak, ReadsWhatLibebur128Reads) {
    const auto& [kind, rate] = GetParam();
    const auto music = PeakSignal(kind, rate);
    const double ours = 20.0 * std::log10(TruePeakOf(music, rate, 0, music.size()));
    EXPECT_NEAR(ours, OneMeter(music, rate).truePeakDbtp, 0.001);
    if (std::string(kind) == "QuarterRateSine") {
        // The filter's ripple reads a tenth of a decibel over; the samples alone read -3 dB.
        EXPECT_NEAR(ours, 0.0, 0.2) << "the peak between the samples";
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, TruePeak,
                         ::testing::Combine(::testing::Values("QuarterRateSine", "TwoTones", "Noise", "ClippedSine",
                                                              "Pulses"),
                                            ::testing::Values(11025u, 44100u, 48000u)),
                         [](const auto& i) {
                             return std::string(std::get<0>(i.param)) + "_" + std::to_string(std::get<1>(i.param));
                         });

// A piece of several parts, loud and quiet in turn so that the relative gate
// has work to do, with a stretch of silence for the absolute gate, reads as
// one libebur128 meter reads it. The meters' steps are the library's own
// blocks where a 100 ms window is a whole number of frames; at 11025 Hz the
// blocks are two frames shorter than the library's.
struct PartsCase {
    std::uint32_t rate;
    double seconds;
    double within;
};
void PrintTo(const PartsCase& c, std::ostream* os) { *os << c.rate << " Hz, " << c.seconds << " s"; }

class PartsRead : public ::testing::TestWithParam<PartsCase> {};

TEST_P(PartsRead, LikeOneMeter) {
    const auto& c = GetParam();
    auto music = Noise(c.rate, c.seconds, 0.1f, 9);
    for (std::size_t i = 0; i < music.size(); ++i) {
        const double t = static_cast<double>(i) / c.rate;
        const auto swell = t > 30.0 && t < 40.0 ? 0.0f : static_cast<float>(0.05 + 0.95 * std::pow(std::sin(t / 13.0), 2.0));
        music[i].left *= swell;
        music[i].right *= swell;
    }
    music.resize(music.size() + 64);  // a silent end, see PeakSignal
    const auto parted = MeasureLoudness(music, c.rate);
    ASSERT_TRUE(parted);
    const LoudnessReading one = OneMeter(music, c.rate);
    EXPECT_NEAR(parted->integratedLufs, one.integratedLufs, c.within);
    EXPECT_NEAR(parted->truePeakDbtp, one.truePeakDbtp, 0.001);
}

INSTANTIATE_TEST_SUITE_P(Loudness, PartsRead,
                         ::testing::Values(PartsCase{11025, 250.0, 0.01}, PartsCase{22050, 250.0, 1e-6},
                                           PartsCase{44100, 125.0, 1e-6}),
                         [](const auto& i) { return std::to_string(i.param.rate); });

// The gates alone, on steps whose blocks are known: silence and a block under
// -70 LUFS never count; a quiet stretch more than 10 LU under the rest is
// left out; fewer than four steps make no block.
TEST(Loudness, GatesAsTheStandardSays) {
    const auto energy = [](double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); };
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(GatedLoudness({}), -inf);
    EXPECT_EQ(GatedLoudness({energy(-20), energy(-20), energy(-20)}), -inf);
    EXPECT_EQ(GatedLoudness(std::vector<double>(10, energy(-71))), -inf);
    EXPECT_NEAR(GatedLoudness(std::vector<double>(10, energy(-23))), -23.0, 1e-9);
    // Forty steps at -20 and forty at -40: the quiet blocks fall under the
    // relative gate, the blocks across the change do not all.
    std::vector<double> steps(40, energy(-20));
    steps.insert(steps.end(), 40, energy(-40));
    steps.insert(steps.end(), 40, 0.0);
    const double reading = GatedLoudness(steps);
    EXPECT_GT(reading, -20.0 - 1.3);
    EXPECT_LT(reading, -20.0);
}

}  // namespace
}  // namespace dw
