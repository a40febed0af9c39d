// Source loading: pass-through and resampled decoding into the SourceBuffer,
// the progress bar, cancel, hostile files and headers that claim more than
// the file holds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sndfile.h>

#include <cstring>
#include <cmath>
#include <fstream>
#include <limits>
#include <new>
#include <random>

#include "core/audio/SourceLoader.h"
#include "core/audio/tests/TestSignals.h"
#include "core/base/AllocationFault.h"
#include "core/resources/StringTable.h"

namespace dw {
namespace {

std::vector<float> SineData(int channels, int rate, int frames, double freq = 440.0) {
    std::vector<float> d(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            d[static_cast<std::size_t>(i * channels + c)] =
                static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * freq * i / rate));
    return d;
}

bool WriteFile(const std::filesystem::path& path, int format, int channels, int rate, const std::vector<float>& data) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    const sf_count_t frames = static_cast<sf_count_t>(data.size()) / channels;
    const bool ok = sf_writef_float(f, data.data(), frames) == frames;
    sf_close(f);
    return ok;
}

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

struct Loaded {
    bool ok;
    RecordingProgress progress;
    SourceFailure failure;
};

std::unique_ptr<Loaded> Load(CProperties& props, const std::filesystem::path& path, std::uint32_t rate,
                             int cancelAt = -1) {
    auto out = std::make_unique<Loaded>();
    props.sourcePath = path.string();
    props.sampleRate = rate;
    out->progress.cancelAtReport = cancelAt;
    out->ok = LoadSourceSamples(props, out->progress, nullptr, &out->failure);
    return out;
}

TEST(LoadSource, EqualRateKeepsEverySampleBitForBit) {
    test::TempDir dir;
    std::minstd_rand gen(3);
    std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
    std::vector<float> data(2 * 1000);
    for (auto& s : data) s = uni(gen);
    // 1000 frames at 44100 Hz: a length that a float of seconds rounds down.
    ASSERT_TRUE(WriteFile(dir / "a.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, data));
    CProperties props;
    auto r = Load(props, dir / "a.wav", 44100);
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(props.sourceFrameCount, 1000u);
    EXPECT_EQ(std::memcmp(props.sourceFrames.get(), data.data(), data.size() * sizeof(float)), 0);
    EXPECT_TRUE(r->progress.messages.empty());
}

TEST(LoadSource, ResampledSineKeepsFrequencyLevelAndItsEnd) {
    test::TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "m.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, SineData(1, 48000, 48000)));
    CProperties props;
    auto r = Load(props, dir / "m.wav", 11025);
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(props.sourceFrameCount, 11025u);
    const auto* f = reinterpret_cast<const float*>(props.sourceFrames.get());
    EXPECT_NEAR(test::ZeroCrossingFrequency(f, 1000, 9000, 11025), 440.0, 0.2);
    EXPECT_NEAR(test::ToneLevel(f, 1000, 9000, 440.0, 11025, 0), 0.5, 0.005);
    EXPECT_NEAR(test::ToneLevel(f, 1000, 9000, 440.0, 11025, 1), 0.5, 0.005) << "mono plays on both sides";
    // The resampler's tail reaches the buffer instead of being left silent.
    EXPECT_GT(test::Rms(f, 11025 - 50, 40), 0.25);
}

TEST(LoadSource, CommittedMpegFixturesDecodeAtTheProjectRate) {
    for (const char* name : {"tone-440-660-44k1-stereo-1s.mp1", "tone-440-660-44k1-stereo-1s.mp2"}) {
        SCOPED_TRACE(name);
        CProperties props;
        auto r = Load(props, std::filesystem::path(DW_AUDIO_TEST_DATA) / name, 22050);
        ASSERT_TRUE(r->ok);
        EXPECT_NEAR(props.sourceFrameCount, 22050.0, 1500.0);
        const auto* f = reinterpret_cast<const float*>(props.sourceFrames.get());
        const std::size_t n = props.sourceFrameCount;
        EXPECT_GT(test::ToneLevel(f, n / 4, n / 2, 440.0, 22050) + test::ToneLevel(f, n / 4, n / 2, 660.0, 22050), 0.3);
    }
}

struct ProgressCase {
    const char* name;
    int frames;
};
void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }

class LoadProgress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(LoadProgress, BarStaysWithinZeroToHundredAndEndsFull) {
    test::TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "p.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050, SineData(2, 22050, GetParam().frames)));
    CProperties props;
    auto r = Load(props, dir / "p.wav", 22050);
    ASSERT_TRUE(r->ok);
    const auto& pos = r->progress.positions;
    ASSERT_GE(pos.size(), 2u);
    EXPECT_EQ(pos.front(), 0);
    EXPECT_EQ(pos.back(), 100);
    for (int p : pos) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Source, LoadProgress,
                         ::testing::Values(ProgressCase{"OneFrame", 1}, ProgressCase{"TwoFrames", 2},
                                           ProgressCase{"OneBlock", 1024}, ProgressCase{"BlockAndOne", 1025}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(LoadSource, CancelStopsTheLoopAndDecodeSourceKeepsTheFile) {
    test::TempDir dir;
    // Long enough for two readers; the loop reports as it goes and sees the
    // cancel at its first report.
    SF_INFO info{};
    info.samplerate = 11025;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open((dir / "long.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> zeros(1100000, 0);
    sf_writef_short(f, zeros.data(), static_cast<sf_count_t>(zeros.size()));
    sf_close(f);
    CProperties props;
    props.sourcePath = (dir / "long.wav").string();
    props.sampleRate = 11025;
    props.sourceLoaded = true;
    RecordingProgress progress;
    progress.cancelAtReport = 1;  // the first report after the start
    EXPECT_FALSE(DecodeSource(props, progress));
    EXPECT_GT(progress.positions.at(1), 0);
    EXPECT_LT(progress.positions.at(1), 100);
    EXPECT_EQ(props.sourcePath, (dir / "long.wav").string());
    EXPECT_FALSE(props.sourceLoaded);
    EXPECT_FALSE(props.sourceMissing);  // cancelled, not failed
    EXPECT_TRUE(progress.messages.empty());
}

// A long plain source is read by two readers, the second from the middle of
// the file: every frame arrives where one reader would have put it, a damaged
// sample in the second half is silenced too, and a file cut short of its
// header's length gives exactly what it holds (the first reader reads on
// past the middle when the second falls short).
struct TwoReadersCase {
    const char* name;
    int format;
    int channels;
    double keep;  // share of the sample data left in the file
};
void PrintTo(const TwoReadersCase& c, std::ostream* os) { *os << c.name; }

class TwoReaders : public ::testing::TestWithParam<TwoReadersCase> {};

TEST_P(TwoReaders, GiveTheFileAsOneReaderReadsIt) {
    const TwoReadersCase& c = GetParam();
    test::TempDir dir;
    const auto path = dir / "long.wav";
    constexpr int kRate = 11025;
    constexpr int kFrames = (1 << 20) + 4321;  // long enough for two readers
    std::vector<float> data(static_cast<std::size_t>(kFrames) * static_cast<std::size_t>(c.channels));
    std::minstd_rand gen(3);
    std::uniform_int_distribution<int> level(-16000, 16000);
    for (float& v : data) v = static_cast<float>(level(gen)) / 32768.0f;  // exact in 16 bits
    const bool isFloat = (c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
    const std::size_t nanAt = data.size() * 3 / 4 / 2 * 2;  // a left sample
    if (isFloat) data[nanAt] = std::numeric_limits<float>::quiet_NaN();
    ASSERT_TRUE(WriteFile(path, c.format, c.channels, kRate, data));
    const auto bytes = std::filesystem::file_size(path);
    const std::size_t bytesPerFrame = (isFloat ? 4u : 2u) * static_cast<std::size_t>(c.channels);
    const std::size_t header = bytes - static_cast<std::size_t>(kFrames) * bytesPerFrame;
    const auto kept = static_cast<std::size_t>(c.keep * kFrames);
    if (c.keep < 1.0) std::filesystem::resize_file(path, header + kept * bytesPerFrame);

    CProperties props;
    auto r = Load(props, path, kRate);
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(props.sourceFrameCount, c.keep < 1.0 ? kept : static_cast<std::size_t>(kFrames));
    for (std::size_t i = 0; i < props.sourceFrameCount; ++i) {
        const std::size_t at = i * static_cast<std::size_t>(c.channels);
        float left = data[at], right = c.channels == 2 ? data[at + 1] : data[at];
        if (isFloat && at == nanAt) left = 0.0f;
        ASSERT_EQ(props.sourceFrames[i].left, left) << "frame " << i;
        ASSERT_EQ(props.sourceFrames[i].right, right) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(LoadSource, TwoReaders,
                         ::testing::Values(TwoReadersCase{"FloatStereo", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 1.0},
                                           TwoReadersCase{"Pcm16Mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1.0},
                                           TwoReadersCase{"CutShortInTheSecondHalf",
                                                          SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 0.7}),
                         [](const auto& i) { return std::string(i.param.name); });

// Running out of memory in either reader (the later places fall in whichever
// reader gets there, the second one on a worker) comes back to the caller
// once both have stopped; the project keeps no half-read source, and loading
// again works.
TEST(LoadSource, RunningOutOfMemoryInEitherReaderComesBackToTheCaller) {
    test::TempDir dir;
    const auto path = dir / "long.wav";
    constexpr int kRate = 11025;
    ASSERT_TRUE(WriteFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, SineData(2, kRate, (1 << 20) + 99)));
    for (const unsigned nth : {1u, 3u, 12u}) {
        CProperties props;
        ArmAllocationFault(AllocationStage::SourceLoading, nth);
        EXPECT_THROW(Load(props, path, kRate), std::bad_alloc) << "place " << nth;
        DisarmAllocationFault();
        EXPECT_FALSE(props.sourceFrames) << "place " << nth;
        EXPECT_EQ(props.sourceFrameCount, 0u);
    }
    CProperties props;
    EXPECT_TRUE(Load(props, path, kRate)->ok);
    EXPECT_EQ(props.sourceFrameCount, (1u << 20) + 99);
}

// Each type the source chooser offers decodes, under its usual name.
struct TypeCase {
    const char* name;
    const char* file;
    int format;
    int rate;
};
void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.name; }
class SourceType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(SourceType, IsOfferedAndDecodes) {
    const TypeCase& c = GetParam();
    test::TempDir dir;
    ASSERT_TRUE(WriteFile(dir / c.file, c.format, 2, c.rate, SineData(2, c.rate, c.rate / 2)));
    const std::vector<std::string> offered = SourceFileExtensions();
    const std::string extension = std::filesystem::path(c.file).extension().string().substr(1);
    EXPECT_NE(std::find(offered.begin(), offered.end(), extension), offered.end()) << extension;
    CProperties props;
    props.sourcePath = (dir / c.file).string();
    props.sampleRate = 11025;
    NullProgress progress;
    EXPECT_TRUE(DecodeSource(props, progress));
    EXPECT_NEAR(props.sourceFrameCount, 11025 / 2, 600);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SourceType,
    ::testing::Values(TypeCase{"Wav", "s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100},
                      TypeCase{"Aiff", "s.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100},
                      TypeCase{"Aif", "s.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100},
                      TypeCase{"Flac", "s.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100},
                      TypeCase{"Vorbis", "s.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100},
                      TypeCase{"Opus", "s.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000},
                      TypeCase{"Au", "s.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 44100},
                      TypeCase{"Caf", "s.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100},
                      TypeCase{"W64", "s.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16, 44100}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(LoadSource, DecodeSourceSetsLoadedOnSuccess) {
    test::TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 11025, SineData(2, 11025, 500)));
    CProperties props;
    props.sourcePath = (dir / "s.wav").string();
    props.sampleRate = 11025;
    NullProgress progress;
    EXPECT_TRUE(DecodeSource(props, progress));
    EXPECT_TRUE(props.sourceLoaded);
    EXPECT_EQ(props.sourceFrameCount, 500u);
}

struct HostileCase {
    const char* name;
    void (*make)(const std::filesystem::path& dir);  // creates dir / "in.<ext>" or "in"
    const char* file;
    bool succeeds;
    int messageId;  // 0: none
    const char* reason;  // the system's or the decoder's, for a caller that words its own message
    const char* shown = "";  // how the message ends, after the file's path
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

// The names the empty and random files are given, each telling the decoder's
// refusal what the file was meant to be.
constexpr const char* kJunkNames[] = {"in.wav", "in.mp3", "in.FLAC", "in.xyz"};
void MakeEmpty(const std::filesystem::path& d) {
    for (const char* name : kJunkNames) std::ofstream(d / name).close();
}
void MakeHeaderOnly(const std::filesystem::path& d) { WriteFile(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, {}); }
void MakeRandom(const std::filesystem::path& d) {
    for (const char* name : kJunkNames) {
        std::ofstream out(d / name, std::ios::binary);
        std::minstd_rand gen(11);
        for (int i = 0; i < 8192; ++i) out.put(static_cast<char>(gen() & 0xFF));
    }
}
// Opening a FIFO waits for a writer: the load must refuse it without opening
// it, or it could be neither cancelled nor ended (this test would hang).
void MakeFifo(const std::filesystem::path& d) { ::mkfifo((d / "in.wav").c_str(), 0600); }
void MakeTruncated(const std::filesystem::path& d) {
    WriteFile(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, SineData(2, 44100, 4000));
    std::filesystem::resize_file(d / "in.wav", 44 + 2000 * 4 + 3);
}
void MakeWrongExtension(const std::filesystem::path& d) {
    WriteFile(d / "in.mp3", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, SineData(2, 44100, 3000));
}
void MakeFolder(const std::filesystem::path& d) { std::filesystem::create_directory(d / "in.wav"); }
void MakeNothing(const std::filesystem::path&) {}

class HostileSource : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileSource, GetsItsMessageAndFreesEveryHandle) {
    const auto& c = GetParam();
    test::TempDir dir;
    c.make(dir.path());
    const std::size_t fdsBefore = OpenDescriptors();
    CProperties props;
    auto r = Load(props, dir / c.file, 44100);
    EXPECT_EQ(r->ok, c.succeeds);
    if (c.messageId == 0) {
        EXPECT_TRUE(r->progress.messages.empty());
    } else {
        ASSERT_EQ(r->progress.messages.size(), 1u);
        EXPECT_EQ(r->progress.messages[0].stringId, c.messageId);
        // The table's text, then the file and the reason on a line of their own.
        EXPECT_EQ(r->progress.messages[0].text, std::string(LoadString(c.messageId)) + "\n" +
                                                    (dir / c.file).string() + ": " + c.shown + ".");
        EXPECT_EQ(r->progress.messages[0].icon, MessageIcon::Exclamation);
    }
    EXPECT_EQ(r->failure.messageId, c.succeeds                                   ? 0
                                    : std::string(c.reason) == "the file holds no sound" ? IDS_STREAM_DATA
                                                                                         : c.messageId);
    EXPECT_EQ(r->failure.reason, c.reason);
    EXPECT_EQ(OpenDescriptors(), fdsBefore);
    if (!props.sourceFrames) {
        EXPECT_EQ(props.sourceFrameCount, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Source, HostileSource,
    ::testing::Values(HostileCase{"ZeroBytes", MakeEmpty, "in.wav", false, IDS_SOURCE_OPEN_FAILED,
                                  "not a WAV file (the file is empty)", "it is not a WAV file (the file is empty)"},
                      HostileCase{"ZeroBytesMp3", MakeEmpty, "in.mp3", false, IDS_SOURCE_OPEN_FAILED,
                                  "not an MP3 stream (the file is empty)", "it is not an MP3 stream (the file is empty)"},
                      HostileCase{"HeaderOnly", MakeHeaderOnly, "in.wav", false, IDS_SOURCE_OPEN_FAILED,
                                  "the file holds no sound", "it is too short: it holds no sound"},
                      HostileCase{"RandomBytes", MakeRandom, "in.wav", false, IDS_SOURCE_OPEN_FAILED,
                                  "not a WAV file", "it is not a WAV file"},
                      HostileCase{"RandomBytesMp3", MakeRandom, "in.mp3", false, IDS_SOURCE_OPEN_FAILED,
                                  "not an MP3 stream", "it is not an MP3 stream"},
                      HostileCase{"RandomBytesFlacInCapitals", MakeRandom, "in.FLAC", false, IDS_SOURCE_OPEN_FAILED,
                                  "not a FLAC stream", "it is not a FLAC stream"},
                      HostileCase{"RandomBytesUnknownExtension", MakeRandom, "in.xyz", false, IDS_SOURCE_OPEN_FAILED,
                                  "not a sound file the program can read", "it is not a sound file the program can read"},
                      HostileCase{"Fifo", MakeFifo, "in.wav", false, IDS_SOURCE_OPEN_FAILED, "not a regular file",
                                  "not a regular file"},
                      HostileCase{"Truncated", MakeTruncated, "in.wav", true, 0, ""},
                      HostileCase{"WrongExtension", MakeWrongExtension, "in.mp3", true, 0, ""},
                      HostileCase{"Folder", MakeFolder, "in.wav", false, IDS_SOURCE_OPEN_FAILED, "Is a directory",
                                  "it is a folder, not a sound file"},
                      HostileCase{"Missing", MakeNothing, "in.wav", false, IDS_SOURCE_OPEN_FAILED,
                                  "No such file or directory", "the file does not exist"}),
    [](const auto& p) { return std::string(p.param.name); });

// A source whose rate makes nonsense of its length at the music's rate is
// refused with its length and rates: one frame that is less than one at the
// music's rate, and a tiny file whose header rate (1 Hz) is so far below the
// music's that resampling it would take gigabytes.
struct RateRefusal {
    const char* name;
    int rate;
    int frames;
    std::uint32_t musicRate;
    const char* reason;
};

class SourceAtAnOddRate : public ::testing::TestWithParam<RateRefusal> {};

TEST_P(SourceAtAnOddRate, IsRefusedWithItsLengthAndRates) {
    const RateRefusal& c = GetParam();
    test::TempDir dir;
    const auto path = dir / "odd.wav";
    ASSERT_TRUE(WriteFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, c.rate,
                          std::vector<float>(static_cast<std::size_t>(c.frames), 0.25f)));
    CProperties props;
    auto r = Load(props, path, c.musicRate);
    EXPECT_FALSE(r->ok);
    ASSERT_EQ(r->progress.messages.size(), 1u);
    EXPECT_EQ(r->progress.messages[0].text,
              std::string(LoadString(IDS_SOURCE_OPEN_FAILED)) + "\n" + path.string() + ": " + c.reason + ".");
    EXPECT_EQ(r->failure.reason, c.reason);
    EXPECT_EQ(props.sourceFrames, nullptr);
    EXPECT_EQ(r->progress.positions, std::vector<int>{0}) << "refused before any decoding";
}

INSTANTIATE_TEST_SUITE_P(
    Source, SourceAtAnOddRate,
    ::testing::Values(
        RateRefusal{"OneFrameAt48000For11025", 48000, 1, 11025,
                    "it is too short: 1 frame at 48000 Hz make less than one frame at 11025 Hz"},
        RateRefusal{"ElevenThousandSecondsAtOneHertzFor11025", 1, 11000, 11025,
                    "its 11000 s at 1 Hz would take 925 MiB at 11025 Hz (at most 512 MiB for a source recorded far "
                    "below the music's rate)"},
        RateRefusal{"ElevenThousandSecondsAtOneHertzFor22050", 1, 11000, 22050,
                    "its 11000 s at 1 Hz would take 1850 MiB at 22050 Hz (at most 512 MiB for a source recorded far "
                    "below the music's rate)"}),
    [](const auto& p) { return std::string(p.param.name); });

// A file the user may not read is told apart from one that is not sound.
TEST(LoadSource, UnreadableSourceSaysItCannotBeRead) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser reads every file";
    test::TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 11025, SineData(2, 11025, 500)));
    std::filesystem::permissions(dir / "s.wav", std::filesystem::perms::none);
    EXPECT_EQ(SourceOpenProblem((dir / "s.wav").string()).rfind("it cannot be read (", 0), 0u);
}

// A FLAC file whose STREAMINFO announces `claimed` frames while it holds 2000.
std::filesystem::path FlacClaiming(const test::TempDir& dir, std::uint64_t claimed) {
    const auto path = dir / "claim.flac";
    WriteFile(path, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 22050, SineData(2, 22050, 2000));
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    // "fLaC", block header (4), then STREAMINFO: the 36-bit total sits in the
    // low nibble of byte 21 and bytes 22 to 25.
    unsigned char b21 = 0;
    f.seekg(21);
    f.read(reinterpret_cast<char*>(&b21), 1);
    const unsigned char patch[5] = {static_cast<unsigned char>((b21 & 0xF0) | ((claimed >> 32) & 0x0F)),
                                    static_cast<unsigned char>(claimed >> 24), static_cast<unsigned char>(claimed >> 16),
                                    static_cast<unsigned char>(claimed >> 8), static_cast<unsigned char>(claimed)};
    f.seekp(21);
    f.write(reinterpret_cast<const char*>(patch), 5);
    return path;
}

// A FLAC file that holds 2000 frames of the tone but announces more: a small
// shortfall is filled with silence up to the announced length; a file far
// shorter than it says keeps what was read and warns.
struct ShortfallCase {
    const char* name;
    std::uint64_t claimed;
    std::uint32_t frames;  // the source's length after loading
    bool warns;
};
void PrintTo(const ShortfallCase& c, std::ostream* os) { *os << c.name; }

class ShortfallAgainstTheHeader : public ::testing::TestWithParam<ShortfallCase> {};

TEST_P(ShortfallAgainstTheHeader, KeepsWhatWasRead) {
    const ShortfallCase& c = GetParam();
    test::TempDir dir;
    CProperties props;
    auto r = Load(props, FlacClaiming(dir, c.claimed), 22050);
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(props.sourceFrameCount, c.frames);
    const auto* f = reinterpret_cast<const float*>(props.sourceFrames.get());
    EXPECT_NEAR(test::ToneLevel(f, 0, 1800, 440.0, 22050), 0.5, 0.02);
    if (c.frames > 2100) {
        EXPECT_EQ(test::Rms(f, 2100, c.frames - 2100), 0.0);
    }
    if (c.warns) {
        ASSERT_EQ(r->progress.messages.size(), 1u);
        EXPECT_EQ(r->progress.messages[0].stringId, IDS_SOURCE_SHORTER_THAN_ANNOUNCED);
        EXPECT_EQ(r->progress.messages[0].text, LoadString(IDS_SOURCE_SHORTER_THAN_ANNOUNCED));
        EXPECT_EQ(r->progress.messages[0].icon, MessageIcon::Exclamation);
    } else {
        EXPECT_TRUE(r->progress.messages.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Source, ShortfallAgainstTheHeader,
    ::testing::Values(ShortfallCase{"SmallShortfallEndsInSilence", 6000, 6000, false},
                      // 2000 frames that claim 20 million (900 MB at 44100 Hz).
                      ShortfallCase{"FarFewerFramesThanAnnouncedWarns", 20000000, 2000, true}),
    [](const auto& p) { return std::string(p.param.name); });

// A 16-bit mono WAV at `rate` Hz holding `frames` frames of a square wave.
std::filesystem::path WavAt(const test::TempDir& dir, int rate, int frames) {
    const auto path = dir / "rate.wav";
    std::vector<float> data(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) data[static_cast<std::size_t>(i)] = i % 2 ? 0.5f : -0.5f;
    EXPECT_TRUE(WriteFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, rate, data));
    return path;
}

struct TooLongCase {
    const char* name;
    std::filesystem::path (*make)(const test::TempDir& dir);
};
void PrintTo(const TooLongCase& c, std::ostream* os) { *os << c.name; }

class TooLongSource : public ::testing::TestWithParam<TooLongCase> {};

// Refused on the header's word, before the buffer exists: the engine would
// refuse the source anyway, after gigabytes and seconds of decoding.
TEST_P(TooLongSource, IsRefusedBeforeAnythingIsAllocated) {
    test::TempDir dir;
    CProperties props;
    props.sourceFrames = MakeSilentFrames(10);
    props.sourceFrameCount = 10;
    auto r = Load(props, GetParam().make(dir), 44100);
    EXPECT_FALSE(r->ok);
    ASSERT_EQ(r->progress.messages.size(), 1u);
    EXPECT_EQ(r->progress.messages[0].stringId, IDS_SOURCE_TOO_LONG);
    EXPECT_EQ(r->progress.messages[0].text, "Error: The music source is too long");
    EXPECT_EQ(props.sourceFrames, nullptr);
    EXPECT_EQ(props.sourceFrameCount, 0u);
    EXPECT_EQ(r->progress.positions, std::vector<int>{0}) << "no decoding started";
}

INSTANTIATE_TEST_SUITE_P(
    Source, TooLongSource,
    ::testing::Values(
        TooLongCase{"FlacClaimingTheLargestCount", [](const test::TempDir& d) { return FlacClaiming(d, 0xFFFFFFFFFull); }},
        TooLongCase{"FlacClaimingABillionFrames", [](const test::TempDir& d) { return FlacClaiming(d, 1000000000); }},
        TooLongCase{"FlacJustPastTheEngineLimit",
                    [](const test::TempDir& d) { return FlacClaiming(d, kMaxSourceFrameCount / 2 + 1); }},
        // 7000 frames at 1 Hz are 308.7 million at 44100 Hz.
        TooLongCase{"WavAtOneHertz", [](const test::TempDir& d) { return WavAt(d, 1, 7000); }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(LoadSource, WarningsGoToTheCallerWhenItAsksForThem) {
    test::TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "z.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050, std::vector<float>(2 * 3000, 0.0f)));
    CProperties props;
    props.sourcePath = (dir / "z.wav").string();
    props.sampleRate = 22050;
    RecordingProgress progress;
    SourceWarnings warnings;
    ASSERT_TRUE(DecodeSource(props, progress, &warnings));
    EXPECT_TRUE(props.sourceLoaded);
    EXPECT_EQ(warnings, SourceWarnings{IDS_SOURCE_SILENT});
    EXPECT_TRUE(progress.messages.empty());
}

struct SilentCase {
    const char* name;
    float sample;  // every sample of the file
    bool silent;
};
void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.name; }

class SilentSource : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SilentSource, LoadsAndWarnsOnlyWhenNothingCanBeHeard) {
    test::TempDir dir;
    const float v = GetParam().sample;
    ASSERT_TRUE(WriteFile(dir / "s.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050, std::vector<float>(2 * 3000, v)));
    CProperties props;
    auto r = Load(props, dir / "s.wav", 22050);
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(props.sourceFrameCount, 3000u);
    std::vector<int> ids;
    for (const auto& m : r->progress.messages) ids.push_back(m.stringId);
    EXPECT_EQ(ids, GetParam().silent ? std::vector<int>{IDS_SOURCE_SILENT} : std::vector<int>{});
    // What no sound can be becomes silence, so it cannot poison the music.
    const auto* f = reinterpret_cast<const float*>(props.sourceFrames.get());
    for (std::size_t i = 0; i < 2 * 3000; ++i) ASSERT_TRUE(std::isfinite(f[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(Source, SilentSource,
                         ::testing::Values(SilentCase{"Zeros", 0.0f, true},
                                           SilentCase{"BelowOneSixteenBitStep", 1.0f / 65536.0f, true},
                                           SilentCase{"NotANumber", std::numeric_limits<float>::quiet_NaN(), true},
                                           SilentCase{"Infinity", std::numeric_limits<float>::infinity(), true},
                                           SilentCase{"QuietButAudible", 1.0f / 4096.0f, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(LoadSource, SourceLongerThanTheFirstBlockGrowsAndKeepsEverySample) {
    // Past the first 4 Mi frames of the buffer, so it has to grow while decoding.
    test::TempDir dir;
    constexpr int kFrames = (1 << 22) + 5000;
    std::vector<float> data(static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) data[static_cast<std::size_t>(i)] = static_cast<float>((i % 251) - 125) / 256.0f;
    ASSERT_TRUE(WriteFile(dir / "l.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 11025, data));
    CProperties props;
    auto r = Load(props, dir / "l.wav", 11025);
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(props.sourceFrameCount, static_cast<std::uint32_t>(kFrames));
    for (std::size_t i = 0; i < data.size(); i += 997) {
        ASSERT_EQ(props.sourceFrames[i].left, data[i]) << i;
        ASSERT_EQ(props.sourceFrames[i].right, data[i]) << i;
    }
    EXPECT_EQ(props.sourceFrames[data.size() - 1].left, data.back());
    EXPECT_TRUE(r->progress.messages.empty());
}

TEST(LoadSource, PercentFormulaIsBounded) {
    EXPECT_EQ(SourceProgressPercent(1, 1), 100);
    EXPECT_EQ(SourceProgressPercent(0, 1), 0);
    EXPECT_EQ(SourceProgressPercent(1024, 1024), 100);
    EXPECT_EQ(SourceProgressPercent(1024000, 2048001), 50);
}

}  // namespace
}  // namespace dw
