// Decoding each source format through the layer, with fixtures written here
// by libsndfile (MP1 and MP2 are committed: nothing in Debian encodes them
// through libsndfile), mixdown of mono and many-channel files, and the
// resampler's pass-through.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>

#include "core/audio/AudioLayer.h"
#include "core/audio/tests/TestSignals.h"

namespace dw {
namespace {

// Writes `frames` frames of a 440 Hz sine at amplitude 0.5 in every channel.
bool WriteSine(const std::filesystem::path& path, int format, int channels, int rate, int frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    std::vector<float> data(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[static_cast<std::size_t>(i * channels + c)] =
                static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * i / rate));
    const bool ok = sf_writef_float(f, data.data(), frames) == frames;
    sf_close(f);
    return ok;
}

std::vector<float> ReadAll(DecodeStream& s) {
    std::vector<float> all;
    std::vector<float> block(2 * 1000);
    for (;;) {
        const auto got = s.ReadStereo(block.data(), 1000);
        EXPECT_GE(got, 0);
        if (got <= 0) break;
        all.insert(all.end(), block.begin(), block.begin() + 2 * got);
    }
    return all;
}

struct FormatCase {
    const char* name;
    const char* file;  // written here unless `committed`
    int format;
    int channels;
    int rate;
    bool lossy;
    bool committed;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class DecodeFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DecodeFormats, GivesTheToneAtTheFileRate) {
    const auto& c = GetParam();
    test::TempDir dir;
    std::filesystem::path path = c.committed ? std::filesystem::path(DW_AUDIO_TEST_DATA) / c.file : dir / c.file;
    if (!c.committed) {
        ASSERT_TRUE(WriteSine(path, c.format, c.channels, c.rate, c.rate)) << sf_strerror(nullptr);
    }
    auto s = DecodeStream::Open(path);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Info().sampleRate, static_cast<std::uint32_t>(c.rate));
    EXPECT_EQ(s->Info().channels, static_cast<std::uint32_t>(c.channels));
    EXPECT_NEAR(static_cast<double>(s->Info().frames), c.rate, c.lossy ? 3000.0 : 0.0);
    EXPECT_NEAR(s->BytesToSeconds(s->LengthBytes()), 1.0, c.lossy ? 0.07 : 1e-9);
    const auto all = ReadAll(*s);
    const std::size_t frames = all.size() / 2;
    ASSERT_GT(frames, static_cast<std::size_t>(c.rate) / 2);
    const double tol = c.lossy ? 0.08 : 0.002;
    for (int side = 0; side < 2; ++side)
        EXPECT_NEAR(test::ToneLevel(all.data(), frames / 4, frames / 2, 440.0, c.rate, side), 0.5, tol) << side;
}

INSTANTIATE_TEST_SUITE_P(
    Layer, DecodeFormats,
    ::testing::Values(
        FormatCase{"Wav16Stereo", "44100-2-16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, false, false},
        FormatCase{"WavFloatMono", "22050-1-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 22050, false, false},
        FormatCase{"Aiff24", "48000-2-24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 48000, false, false},
        FormatCase{"Flac", "44100-2.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, false, false},
        FormatCase{"OggVorbis", "44100-2.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, true, false},
        FormatCase{"Opus", "48000-2.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 48000, true, false},
        FormatCase{"Mp3", "44100-2.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, true, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DecodeCommitted, MpegLayersOneAndTwoGiveBothTones) {
    for (const char* name : {"tone-440-660-44k1-stereo-1s.mp1", "tone-440-660-44k1-stereo-1s.mp2"}) {
        SCOPED_TRACE(name);
        auto s = DecodeStream::Open(std::filesystem::path(DW_AUDIO_TEST_DATA) / name);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Info().sampleRate, 44100u);
        const auto all = ReadAll(*s);
        const std::size_t frames = all.size() / 2;
        ASSERT_GT(frames, 30000u);
        const double l440 = test::ToneLevel(all.data(), frames / 4, frames / 2, 440.0, 44100);
        const double l660 = test::ToneLevel(all.data(), frames / 4, frames / 2, 660.0, 44100);
        EXPECT_GT(l440 + l660, 0.3);
    }
}

TEST(Mixdown, FourChannelsSpreadExtraChannelsOnBothSides) {
    test::TempDir dir;
    const auto path = dir / "4ch.wav";
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 4;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const float frame[4] = {0.4f, -0.2f, 0.1f, 0.3f};
    for (int i = 0; i < 10; ++i) sf_writef_float(f, frame, 1);
    sf_close(f);
    auto s = DecodeStream::Open(path);
    ASSERT_NE(s, nullptr);
    float out[2 * 10];
    ASSERT_EQ(s->ReadStereo(out, 10), 10);
    const float norm = 1.0f / (1.0f + 2.0f * 0.70710678f);
    EXPECT_NEAR(out[0], (0.4f + 0.70710678f * 0.4f) * norm, 1e-6);
    EXPECT_NEAR(out[1], (-0.2f + 0.70710678f * 0.4f) * norm, 1e-6);
}

TEST(Open, RefusesWhatIsNotASoundFile) {
    test::TempDir dir;
    const auto empty = dir / "empty.wav";
    std::ofstream(empty).close();
    const auto junk = dir / "junk.mp3";
    {
        std::ofstream out(junk, std::ios::binary);
        for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 7919) % 251));
    }
    EXPECT_EQ(DecodeStream::Open(empty), nullptr);
    EXPECT_EQ(DecodeStream::Open(junk), nullptr);
    EXPECT_EQ(DecodeStream::Open(dir.path()), nullptr);
    EXPECT_EQ(DecodeStream::Open(dir / "missing.wav"), nullptr);
}

TEST(Resample, EqualRatesPassThroughBitForBit) {
    test::TempDir dir;
    const auto path = dir / "float.wav";
    ASSERT_TRUE(WriteSine(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050, 5000));
    auto direct = DecodeStream::Open(path);
    auto fed = DecodeStream::Open(path);
    auto r = ResampleStream::Create(22050, *fed);
    ASSERT_NE(r, nullptr);
    std::vector<float> a(2 * 5000), b(2 * 5000);
    ASSERT_EQ(direct->ReadStereo(a.data(), 5000), 5000);
    ASSERT_EQ(r->Read(b.data(), 5000), 5000);
    EXPECT_EQ(a, b);
    EXPECT_EQ(r->Read(b.data(), 10), 0);
    EXPECT_FALSE(fed->IsActive());
}

TEST(Resample, SineKeepsFrequencyAndLevelAndLength) {
    test::TempDir dir;
    const auto path = dir / "48k.wav";
    ASSERT_TRUE(WriteSine(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, 48000));
    auto src = DecodeStream::Open(path);
    auto r = ResampleStream::Create(11025, *src);
    ASSERT_NE(r, nullptr);
    std::vector<float> out;
    std::vector<float> block(2 * 1024);
    std::int64_t got = 0;
    while ((got = r->Read(block.data(), 1024)) > 0) out.insert(out.end(), block.begin(), block.begin() + 2 * got);
    ASSERT_EQ(got, 0);
    const std::size_t frames = out.size() / 2;
    EXPECT_NEAR(static_cast<double>(frames), 11025.0, 2.0);
    EXPECT_NEAR(test::ZeroCrossingFrequency(out.data(), 2000, 6000, 11025), 440.0, 0.2);
    EXPECT_NEAR(test::ToneLevel(out.data(), 2000, 6000, 440.0, 11025), 0.5, 0.005);
    EXPECT_FALSE(src->IsActive());
}

}  // namespace
}  // namespace dw
