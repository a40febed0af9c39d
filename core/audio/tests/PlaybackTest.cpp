// Playback against the null device, which pulls the streams on its own thread
// at real-time pace: end of data, seeking, pause and resume, re-creation on a
// rate change, effects switched while playing, master volume and the
// conversion to the device rate. Kept short (a few hundred ms each); these
// tests also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <vector>

#include <chrono>
#include <thread>

#include "core/audio/Playback.h"
#include "core/audio/tests/TestSignals.h"
#include "core/resources/StringTable.h"

namespace dw {
namespace {

using namespace std::chrono_literals;

// Polls `done` every 5 ms for up to `limit`.
template <class F>
bool WaitFor(F done, std::chrono::milliseconds limit = 2000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class NullDevicePlayback : public ::testing::Test {
protected:
    void SetUp() override {
        AudioStartOptions options;
        options.kind = OutputKind::Null;
        ASSERT_EQ(InitAudio(messages, options), 0);
        props.sampleRate = 11025;
    }
    void TearDown() override {
        FreePlaybackStream(player);
        ShutdownAudio(nullptr);
    }
    // `seconds` of a constant level at the current rate, handed to the player.
    void Hand(double seconds) {
        music.assign(static_cast<std::size_t>(seconds * props.sampleRate), StereoFrame{0.25f, -0.25f});
        ASSERT_EQ(SetPlaybackSource(player, static_cast<std::int32_t>(music.size()), music.data(), messages), 0);
    }

    RecordingProgress messages;
    CProperties props;
    PlaybackStream player;
    std::vector<StereoFrame> music;
};

TEST_F(NullDevicePlayback, PlaysToTheEndAndClearsActive) {
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    EXPECT_TRUE(player.created);
    Hand(0.2);
    PlaybackPlay(player);
    EXPECT_TRUE(player.active);
    ASSERT_TRUE(WaitFor([&] { return !player.active; }));
    EXPECT_EQ(player.position.load(), player.total.load());
    EXPECT_TRUE(WaitFor([&] { return GetStreamState(player.stream) == StreamState::Stopped; }));
    // Play after the end asks the callback again, which ends at once.
    PlaybackPlay(player);
    EXPECT_TRUE(WaitFor([&] { return !player.active; }));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(NullDevicePlayback, SeekToTheEndWhilePlayingEndsAtOnce) {
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    Hand(5.0);
    PlaybackPlay(player);
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(player.active);
    PlaybackSeek(player, PlaybackPositionOf(1.0, static_cast<std::uint32_t>(music.size())));
    EXPECT_TRUE(WaitFor([&] { return !player.active; }, 500ms));
}

TEST_F(NullDevicePlayback, PauseHoldsThePositionAndPlayContinues) {
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    Hand(5.0);
    PlaybackSeek(player, PlaybackPositionOf(0.5, static_cast<std::uint32_t>(music.size())));
    const std::uint32_t start = player.position;
    PlaybackPlay(player);
    ASSERT_TRUE(WaitFor([&] { return player.position > start; }));
    PlaybackPause(player);
    EXPECT_TRUE(player.active) << "paused counts as active";
    std::this_thread::sleep_for(30ms);  // let a block in flight finish
    const std::uint32_t held = player.position;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(player.position.load(), held);
    PlaybackPlay(player);
    EXPECT_TRUE(WaitFor([&] { return player.position > held; }));
    PlaybackStop(player);
    EXPECT_FALSE(player.active);
    const std::uint32_t stopped = player.position;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(player.position.load(), stopped);
}

TEST_F(NullDevicePlayback, RateChangeRecreatesTheStreamWithItsEffects) {
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    EXPECT_EQ(StreamRate(player.stream), 11025u);
    props.sampleRate = 48000;
    props.reverbOn = true;
    Hand(0.1);
    EXPECT_EQ(StreamRate(player.stream), 48000u);
    EXPECT_NE(player.effectChain.reverb, 0u);
    EXPECT_EQ(player.effectChain.highCut, 0u);
    EXPECT_EQ(player.position.load(), 0u);
    EXPECT_FALSE(player.active);
    PlaybackPlay(player);
    EXPECT_TRUE(WaitFor([&] { return !player.active; }));
}

TEST_F(NullDevicePlayback, FailedRecreationLeavesTheRecordNotCreated) {
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    props.sampleRate = 0;  // no stream can run at 0 Hz
    StereoFrame frames[4] = {};
    EXPECT_EQ(SetPlaybackSource(player, 4, frames, messages), 1);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, IDS_CANNOT_OPEN_PLAYBACK_STREAM);
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::None);
    EXPECT_FALSE(player.created);
    EXPECT_EQ(player.stream, nullptr);
    PlaybackPlay(player);
    EXPECT_FALSE(player.active) << "playing a record that is not created delivers nothing";
}

TEST_F(NullDevicePlayback, SwitchesAndAmountsChangeWhilePlaying) {
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    Hand(5.0);
    PlaybackPlay(player);
    EffectChain& chain = player.effectChain;
    for (int i = 0; i < 40; ++i) {
        props.highCutOn = i % 2 == 0;
        props.reverbOn = i % 3 == 0;
        props.chorusOn = i % 4 < 2;
        for (EffectKind k : {EffectKind::HighCut, EffectKind::Reverb, EffectKind::Chorus}) {
            ASSERT_EQ(ApplyEffectSwitch(chain, k, messages), 0);
            ApplyEffectAmount(chain, k);
        }
        props.highCut = props.reverb = props.chorus = (i % 10) / 10.0;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(chain.highCut != 0, props.highCutOn);
    EXPECT_EQ(chain.reverb != 0, props.reverbOn);
    EXPECT_EQ(chain.chorus != 0, props.chorusOn);
    EXPECT_TRUE(player.active);
}

TEST_F(NullDevicePlayback, SwitchingOnTwiceKeepsOneEffect) {
    props.highCutOn = true;
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    const EffectHandle first = player.effectChain.highCut;
    ASSERT_NE(first, 0u);
    ASSERT_EQ(ApplyEffects(player.stream, player.effectChain, props, messages), 0);
    EXPECT_EQ(player.effectChain.highCut, first) << "a second set must not stack a second filter";
    props.highCutOn = false;
    ASSERT_EQ(ApplyEffectSwitch(player.effectChain, EffectKind::HighCut, messages), 0);
    EXPECT_EQ(player.effectChain.highCut, 0u);
    EXPECT_FALSE(StreamRemoveEffect(player.stream, first)) << "already removed";
}

TEST_F(NullDevicePlayback, RecordNotCreatedIgnoresItsSource) {
    StereoFrame frames[4] = {};
    EXPECT_EQ(SetPlaybackSource(player, 4, frames, messages), 0);
    EXPECT_EQ(player.data.load(), nullptr);
    PlaybackPlay(player);
    EXPECT_FALSE(player.active);
}

TEST(PlaybackStart, DeviceThatCannotOpenGivesItsMessage) {
    RecordingProgress messages;
    AudioStartOptions options;
    options.kind = OutputKind::Null;
    options.deviceRate = 0;  // no device opens at 0 Hz
    EXPECT_EQ(InitAudio(messages, options), 1);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, IDS_CANNOT_INIT_DEVICE);
    EXPECT_EQ(messages.messages[0].text, "Error (audio): Cannot initialize device");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::None);
}

TEST(PlaybackStart, StreamWithoutDeviceGivesItsMessage) {
    RecordingProgress messages;
    CProperties props;
    PlaybackStream player;
    EXPECT_EQ(CreatePlaybackStream(props, player, messages), 1);
    EXPECT_FALSE(player.created);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, IDS_CANNOT_OPEN_PLAYBACK_STREAM);
}

TEST(PlaybackStart, RecordOutlivingItsDeviceIsRefusedNotFollowed) {
    RecordingProgress messages;
    AudioStartOptions options;
    options.kind = OutputKind::Null;
    CProperties props;
    PlaybackStream player;
    ASSERT_EQ(InitAudio(messages, options), 0);
    ASSERT_EQ(CreatePlaybackStream(props, player, messages), 0);
    ShutdownAudio(nullptr);  // frees the stream with the device
    ASSERT_EQ(InitAudio(messages, options), 0);
    PlaybackPlay(player);
    EXPECT_FALSE(player.active);
    EXPECT_EQ(StreamRate(player.stream), 0u);
    FreePlaybackStream(player);
    EXPECT_FALSE(player.created);
    ShutdownAudio(nullptr);
}

// The callback's arithmetic, called directly: requests of 48 bytes over 80.
TEST(PlaybackStreamProc, DeliversUpToTotalThenEnds) {
    StereoFrame frames[10];
    for (int i = 0; i < 10; ++i) frames[i] = {static_cast<float>(i), -static_cast<float>(i)};
    PlaybackStream record;
    record.data = frames;
    record.frames = 10;
    record.total = 80;
    record.active = true;
    struct Step {
        std::uint32_t answer;
        std::uint32_t position;
        bool active;
    };
    const Step steps[] = {{48, 48, true}, {32 | kStreamEnd, 80, false}, {0 | kStreamEnd, 80, false}};
    float dest[12] = {};
    for (const auto& s : steps) {
        EXPECT_EQ(PlaybackStreamProc(nullptr, dest, 48, &record), s.answer);
        EXPECT_EQ(record.position.load(), s.position);
        EXPECT_EQ(record.active.load(), s.active);
    }
    record.position = 72;  // a seek
    record.active = true;
    EXPECT_EQ(PlaybackStreamProc(nullptr, dest, 48, &record), 8u | kStreamEnd);
    EXPECT_EQ(dest[0], 9.0f);
    EXPECT_EQ(dest[1], -9.0f);
}

// The sleep timer's gain: untouched at 1, reached in a ramp across one block
// (never a step), then held.
TEST(PlaybackStreamProc, GainRampsAcrossOneBlockThenHolds) {
    std::vector<StereoFrame> frames(12, StereoFrame{1.0f, -0.5f});
    PlaybackStream record;
    record.data = frames.data();
    record.frames = 12;
    record.total = 96;
    record.active = true;
    struct Block {
        float gain;
        std::vector<float> left;  // what the block's frames carry of 1.0
    };
    const Block blocks[] = {{1.0f, {1.0f, 1.0f, 1.0f, 1.0f}},
                            {0.0f, {0.75f, 0.5f, 0.25f, 0.0f}},
                            {0.0f, {0.0f, 0.0f, 0.0f, 0.0f}}};
    for (const Block& b : blocks) {
        record.gain = b.gain;
        float dest[8] = {};
        PlaybackStreamProc(nullptr, dest, 32, &record);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(dest[2 * i], b.left[i]) << "gain " << b.gain << ", frame " << i;
            EXPECT_FLOAT_EQ(dest[2 * i + 1], -0.5f * b.left[i]);
        }
    }
    EXPECT_EQ(frames[11].left, 1.0f) << "the music itself is not touched";
}

// Endless play: the queued piece is crossfaded in over the playing one's last
// frames and swapped in inside a block, so the music runs on without a gap.
TEST(PlaybackStreamProc, CrossfadesIntoTheQueuedPieceAndSwapsItIn) {
    std::vector<StereoFrame> playing(8, StereoFrame{1.0f, -1.0f});
    std::vector<StereoFrame> next(8);
    for (std::size_t i = 0; i < next.size(); ++i) next[i] = {10.0f + i, -10.0f - i};
    PlaybackStream record;
    record.data = playing.data();
    record.frames = 8;
    record.total = 64;
    record.active = true;
    PlaybackQueueNext(record, 8, next.data(), 4);

    const auto mixed = [&](std::size_t u) {  // frame u of the seam of 4
        const double phase = 1.5707963267948966 * (u + 0.5) / 4.0;
        return static_cast<float>(std::cos(phase)) + static_cast<float>(std::sin(phase)) * next[u].left;
    };
    // What the device hears, block after block of 6 frames: four of the
    // playing piece, the four-frame seam, then the next piece after its
    // crossfade's frames.
    const std::vector<float> heard = {1.0f,     1.0f,     1.0f,     1.0f,  mixed(0), mixed(1),
                                      mixed(2), mixed(3), 14.0f,   15.0f, 16.0f,    17.0f};
    std::vector<float> got;
    StereoFrame block[6];
    for (int b = 0; b < 2; ++b) {
        const std::uint32_t n = PlaybackStreamProc(nullptr, block, sizeof block, &record);
        EXPECT_EQ(n, sizeof block) << "no short block at the seam";
        for (const StereoFrame& f : block) got.push_back(f.left);
        if (b == 0) {
            EXPECT_EQ(record.swaps.load(), 0u);
        }
    }
    ASSERT_EQ(got.size(), heard.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_FLOAT_EQ(got[i], heard[i]) << "frame " << i;
    EXPECT_EQ(record.swaps.load(), 1u);
    EXPECT_EQ(record.data.load(), next.data());
    EXPECT_EQ(record.nextData.load(), nullptr);
    EXPECT_EQ(record.position.load(), 64u);
    EXPECT_EQ(PlaybackStreamProc(nullptr, block, sizeof block, &record), kStreamEnd) << "nothing queued: it ends";
}

TEST(EffectParameters, WorkedValues) {
    EXPECT_FLOAT_EQ(HighCutParams(1.0, 44100).cutoffHz, 500.0f);
    EXPECT_FLOAT_EQ(HighCutParams(0.25, 44100).cutoffHz, 16662.5f);
    EXPECT_FLOAT_EQ(HighCutParams(0.01, 44100).cutoffHz, 21834.5f);
    EXPECT_FLOAT_EQ(HighCutParams(0.0, 44100).cutoffHz, 21834.5f);
    EXPECT_NEAR(HighCutParams(0.0, 11025).cutoffHz, 5461.88f, 0.01f);
    EXPECT_FLOAT_EQ(HighCutParams(0.5, 44100).resonance, 1.0f);
    EXPECT_NEAR(ReverbParamsFor(0.25).level, 0.4243f, 1e-4f);
    EXPECT_FLOAT_EQ(ReverbParamsFor(1.0).level, 0.6f);
    EXPECT_EQ(ReverbParamsFor(0.5).delayMs, 3000);
    const ChorusParams c = ChorusParamsFor(0.5);
    EXPECT_FLOAT_EQ(c.dryMix, 0.5f);
    EXPECT_FLOAT_EQ(c.wetMix, 0.2f);
    EXPECT_FLOAT_EQ(c.feedback, 0.5f);
    EXPECT_FLOAT_EQ(c.minSweep, 1000.0f);
    EXPECT_FLOAT_EQ(c.maxSweep, 6000.0f);
    EXPECT_FLOAT_EQ(c.rate, 500.0f);
}

TEST(PlaybackPosition, FractionsOfTheMusic) {
    EXPECT_EQ(PlaybackPositionOf(0.0, 705600), 0u);
    EXPECT_EQ(PlaybackPositionOf(1.0, 705600), 705600u * 8);
    EXPECT_EQ(PlaybackPositionOf(0.5, 11025 * 64), 352800u * 8);
    EXPECT_EQ(PlaybackPositionOf(-0.5, 100), 0u);
    PlaybackStream record;
    record.position = 8 * 50;
    EXPECT_DOUBLE_EQ(PlayedFraction(record, 101), 0.5);
    EXPECT_DOUBLE_EQ(PlayedFraction(record, 1), 0.0);
}

// Master volume and the conversion from the stream's rate to the device's,
// listened to through the null device's capture.
std::uint32_t SineProc(OutputStream*, void* dest, std::uint32_t bytes, void* user) {
    auto* phase = static_cast<double*>(user);
    auto* out = static_cast<float*>(dest);
    for (std::uint32_t i = 0; i < bytes / 8; ++i) {
        const auto s = static_cast<float>(0.8 * std::sin(*phase));
        out[2 * i] = out[2 * i + 1] = s;
        *phase += 2.0 * std::numbers::pi * 1000.0 / 11025.0;
    }
    return bytes;
}

TEST(OutputPath, ConvertsToTheDeviceRateAndAppliesMasterVolume) {
    std::vector<float> capture(2 * 44100 / 4);  // 250 ms at the device rate
    DeviceOptions options;
    options.kind = OutputKind::Null;
    options.rate = 44100;
    options.capture = &capture;
    ASSERT_TRUE(OpenAudioDevice(options));
    SetMasterVolume(0.5f);
    double phase = 0.0;
    OutputStream* s = CreateOutputStream(11025, SineProc, &phase);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(StreamPlay(s, false));
    std::this_thread::sleep_for(350ms);
    StreamStop(s);
    FreeOutputStream(s);
    CloseAudioDevice();
    // Skip the first blocks, which may have been mixed before the stream played.
    const std::size_t from = 44100 / 8, count = 44100 / 16;
    EXPECT_NEAR(test::ZeroCrossingFrequency(capture.data(), from, count, 44100), 1000.0, 2.0);
    EXPECT_NEAR(test::ToneLevel(capture.data(), from, count, 1000.0, 44100), 0.4, 0.01);
}

// A 3 kHz tone at 11025 Hz played with and without a 500 Hz high-cut: the
// effect set from the control thread reaches the device thread's output.
std::uint32_t HighToneProc(OutputStream*, void* dest, std::uint32_t bytes, void* user) {
    auto* phase = static_cast<double*>(user);
    auto* out = static_cast<float*>(dest);
    for (std::uint32_t i = 0; i < bytes / 8; ++i) {
        out[2 * i] = out[2 * i + 1] = static_cast<float>(0.5 * std::sin(*phase));
        *phase += 2.0 * std::numbers::pi * 3000.0 / 11025.0;
    }
    return bytes;
}

TEST(OutputPath, HighCutSetOnAPlayingStreamFiltersItsOutput) {
    const auto captured = [](bool filtered) {
        std::vector<float> capture(2 * 44100 / 4);
        DeviceOptions options;
        options.kind = OutputKind::Null;
        options.capture = &capture;
        EXPECT_TRUE(OpenAudioDevice(options));
        double phase = 0.0;
        OutputStream* s = CreateOutputStream(11025, HighToneProc, &phase);
        EXPECT_TRUE(StreamPlay(s, false));
        if (filtered) {
            const EffectHandle h = StreamSetEffect(s, EffectKind::HighCut);
            EXPECT_NE(h, 0u);
            EXPECT_TRUE(EffectSetParams(s, h, HighCutParams(1.0, 11025)));  // 500 Hz
            EXPECT_FALSE(EffectSetParams(s, h, ReverbParamsFor(1.0))) << "a handle takes its own record only";
        }
        std::this_thread::sleep_for(350ms);
        StreamStop(s);
        FreeOutputStream(s);
        CloseAudioDevice();
        return test::ToneLevel(capture.data(), 44100 / 8, 44100 / 16, 3000.0, 44100);
    };
    EXPECT_NEAR(captured(false), 0.5, 0.02);
    EXPECT_LT(captured(true), 0.5 * 0.05);
}

}  // namespace
}  // namespace dw
