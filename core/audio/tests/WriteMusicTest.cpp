#include "core/audio/WriteMusic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/audio/tests/TestSignals.h"

namespace dw {
namespace {

struct CommentCase {
    const char* name;
    FinishOptions finish;
    FinishReport finished;
    EncoderSettings encoder;
    const char* comment;
};

FinishOptions WithLoudness(double lufs, double ceiling = kTruePeakCeilingDbtp) {
    FinishOptions o;
    o.loudnessLufs = lufs;
    o.truePeakCeilingDbtp = ceiling;
    return o;
}

FinishReport Lowered(double db) {
    FinishReport r;
    r.headroomDb = -db;
    return r;
}

FinishOptions NoEffects() {
    FinishOptions o;
    o.effects = false;
    return o;
}

class FinishingComments : public ::testing::TestWithParam<CommentCase> {};

// The comment tag says what was done to the music, in a fixed order, so a
// listener can tell a loudness-set or lowered file from the raw music.
TEST_P(FinishingComments, SayWhatTheFinishingDid) {
    const CommentCase& c = GetParam();
    EXPECT_EQ(FinishingComment(c.finish, c.finished, c.encoder), c.comment);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FinishingComments,
    ::testing::Values(CommentCase{"NothingDone", {}, {}, {}, ""},
                      CommentCase{"NoEffects", NoEffects(), {}, {}, "no effects"},
                      CommentCase{"LoudnessUnderTheCeiling", WithLoudness(-16.0), {}, {},
                                  "loudness -16.0 LUFS under -1.0 dBTP"},
                      CommentCase{"LoweredForTheCodec", {}, Lowered(0.44), {}, "lowered 0.4 dB for the codec"},
                      CommentCase{"EncoderSettings", {}, {}, {0.5, 320u}, "320 kbit/s, compression 0.50"},
                      CommentCase{"AllInOrder", WithLoudness(-23.0, -2.0), Lowered(1.0), {0.25, 96u},
                                  "loudness -23.0 LUFS under -2.0 dBTP, lowered 1.0 dB for the codec, 96 kbit/s, "
                                  "compression 0.25"}),
    [](const auto& i) { return std::string(i.param.name); });

std::vector<StereoFrame> Sine(std::uint32_t rate, float amplitude) {
    const auto v = test::StereoSine(440.0, rate, rate, amplitude);
    std::vector<StereoFrame> f(v.size() / 2);
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = {v[2 * i], v[2 * i + 1]};
    return f;
}

CProperties NoEffectsOn() {
    CProperties p;
    p.highCutOn = p.reverbOn = p.chorusOn = false;
    return p;
}

struct WriteRun {
    MusicFileReport report;
    std::vector<MusicFileStep> steps;
    int open = 0;  // steps begun and not ended
};

WriteRun WriteWithSteps(std::vector<StereoFrame>& music, std::uint32_t rate, MusicFileRequest request) {
    WriteRun run;
    request.beginStep = [&](MusicFileStep s) {
        run.steps.push_back(s);
        ++run.open;
    };
    request.endStep = [&] { --run.open; };
    NullProgress progress;
    run.report = WriteFinishedMusic(music, rate, NoEffectsOn(), request, progress);
    return run;
}

// A lossy file is finished (its true peak lowered under the ceiling) before
// it is written; a plain one with nothing to finish goes straight to writing.
TEST(WriteFinishedMusic, FinishesOnlyWhenThereIsSomethingToDo) {
    constexpr std::uint32_t kRate = 48000;
    test::TempDir dir;
    {
        auto music = Sine(kRate, 1.0f);
        MusicFileRequest request;
        request.target = dir / "lossy.ogg";
        request.format = *FormatFromName("ogg", kRate);
        const WriteRun run = WriteWithSteps(music, kRate, request);
        ASSERT_EQ(run.report.result, WriteResult::Written) << run.report.finishProblem;
        EXPECT_EQ(run.steps, (std::vector{MusicFileStep::Finishing, MusicFileStep::Writing}));
        EXPECT_EQ(run.open, 0);
        EXPECT_LT(run.report.finished.headroomDb, 0.0);
        ASSERT_TRUE(run.report.finished.finished);
        EXPECT_LE(run.report.finished.finished->truePeakDbtp, kTruePeakCeilingDbtp + 1e-9);
    }
    {
        auto music = Sine(kRate, 0.5f);
        const auto before = music;
        MusicFileRequest request;
        request.target = dir / "plain.wav";
        request.format = FormatForEncoder(kEncoderWavFloat, kRate);
        const WriteRun run = WriteWithSteps(music, kRate, request);
        ASSERT_EQ(run.report.result, WriteResult::Written);
        EXPECT_EQ(run.steps, (std::vector{MusicFileStep::Writing}));
        EXPECT_EQ(std::memcmp(music.data(), before.data(), music.size() * sizeof(StereoFrame)), 0);
    }
    EXPECT_EQ(test::FilesIn(dir.path()), 2u);
}

// A finishing that fails says why, and nothing reaches the disk.
TEST(WriteFinishedMusic, NothingIsWrittenWhenTheFinishingFails) {
    test::TempDir dir;
    std::vector<StereoFrame> music(4800, StereoFrame{0.5f, 0.5f});
    MusicFileRequest request;
    request.target = dir / "never.wav";
    request.format = FormatForEncoder(kEncoderWavFloat, 48000);
    request.finish = WithLoudness(-16.0);
    const WriteRun run = WriteWithSteps(music, 0, request);  // no rate: the loudness cannot be measured
    EXPECT_EQ(run.report.result, WriteResult::Failed);
    EXPECT_EQ(run.report.finishProblem, "the loudness could not be measured");
    EXPECT_EQ(run.steps, (std::vector{MusicFileStep::Finishing}));
    EXPECT_EQ(run.open, 0);
    EXPECT_EQ(test::FilesIn(dir.path()), 0u);
}

struct UnfiniteCase {
    const char* name;
    const char* format;  // short name; the lossy ones are finished first
    float value;
    bool loudness;       // with a loudness target: the finishing runs on the bad sample
};

class UnfiniteMusic : public ::testing::TestWithParam<UnfiniteCase> {};

// One bad sample anywhere is refused before any encoder sees it (the MP3
// encoder would abort the program), with where it is, and no file appears.
TEST_P(UnfiniteMusic, IsRefusedBeforeEncodingAndNothingIsWritten) {
    const UnfiniteCase& c = GetParam();
    constexpr std::uint32_t kRate = 48000;
    test::TempDir dir;
    auto music = Sine(kRate, 0.5f);
    music[36000].right = c.value;
    MusicFileRequest request;
    request.target = dir / "never.snd";
    request.format = *FormatFromName(c.format, kRate);
    if (c.loudness) request.finish = WithLoudness(-16.0);
    const WriteRun run = WriteWithSteps(music, kRate, request);
    EXPECT_EQ(run.report.result, WriteResult::Failed);
    EXPECT_NE(run.report.finishProblem.find("not a number or is infinite"), std::string::npos)
        << run.report.finishProblem;
    if (!c.loudness) {
        EXPECT_NE(run.report.finishProblem.find("at 0.750 s (frame 36000)"), std::string::npos);
    }
    EXPECT_EQ(run.open, 0);
    EXPECT_EQ(test::FilesIn(dir.path()), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnfiniteMusic,
    ::testing::Values(UnfiniteCase{"NanInMp3", "mp3", std::numeric_limits<float>::quiet_NaN(), false},
                      UnfiniteCase{"NanInFlac", "flac", std::numeric_limits<float>::quiet_NaN(), false},
                      UnfiniteCase{"InfinityInFloatWav", "wav-float", std::numeric_limits<float>::infinity(), false},
                      UnfiniteCase{"MinusInfinityInWav16", "wav16", -std::numeric_limits<float>::infinity(), false},
                      UnfiniteCase{"NanThroughTheLoudness", "ogg", std::numeric_limits<float>::quiet_NaN(), true},
                      UnfiniteCase{"NanThroughTheLoudnessInMp3", "mp3", std::numeric_limits<float>::quiet_NaN(),
                                   true}),
    [](const auto& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace dw
