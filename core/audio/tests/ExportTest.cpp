// Writing sound files: a round trip for each encoder and command-line format,
// the 16-bit conversion, MP3 bit rates, the format chooser, the short names,
// a target that is never left half-written, and for every row of the format
// table: a disk that fills at any point, the same bytes for the same music,
// and a FIFO that takes what streams.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/audio/AudioLayer.h"
#include "core/audio/Export.h"
#include "core/audio/tests/TestSignals.h"
#include "core/base/OutputFile.h"
#include "core/base/tests/FifoReader.h"
#include "core/resources/StringTable.h"

namespace dw {
namespace {

std::vector<StereoFrame> Music(std::uint32_t rate, std::uint32_t frames, double freq = 440.0, float amp = 0.5f) {
    std::vector<StereoFrame> m(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<float>(amp * std::sin(2.0 * std::numbers::pi * freq * i / rate));
        m[i] = {s, -s};
    }
    return m;
}

std::vector<float> Decode(const std::filesystem::path& path, DecodeInfo* info = nullptr) {
    auto s = DecodeStream::Open(path);
    if (!s) return {};
    if (info != nullptr) *info = s->Info();
    std::vector<float> all, block(2 * 4096);
    std::int64_t got = 0;
    while ((got = s->ReadStereo(block.data(), 4096)) > 0) all.insert(all.end(), block.begin(), block.begin() + 2 * got);
    return all;
}

struct RoundTrip {
    const char* name;  // short name of the format
    std::uint32_t rate;
    double tolerance;  // on the tone's level
};
void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

class WriteRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(WriteRoundTrip, ToneComesBackOnBothSides) {
    const auto& c = GetParam();
    const auto format = FormatFromName(c.name, c.rate);
    ASSERT_TRUE(format.has_value());
    const auto music = Music(c.rate, c.rate);  // one second
    test::TempDir dir;
    const auto target = dir / ("out." + format->extension);
    RecordingProgress progress;
    ASSERT_EQ(WriteSoundFile(target, music.data(), c.rate, c.rate, *format, progress), WriteResult::Written);
    EXPECT_TRUE(progress.messages.empty());
    EXPECT_EQ(progress.positions.back(), 100);
    EXPECT_EQ(test::FilesIn(dir.path()), 1u) << "no temporary file left behind";
    DecodeInfo info;
    const auto back = Decode(target, &info);
    EXPECT_EQ(info.sampleRate, format->sampleRate);
    EXPECT_EQ(info.channels, format->channels);
    const std::size_t frames = back.size() / 2;
    ASSERT_GT(frames, format->sampleRate / 2);
    const double rate = format->sampleRate;
    if (format->channels == 2) {
        EXPECT_NEAR(test::ToneLevel(back.data(), frames / 4, frames / 2, 440.0, rate, 0), 0.5, c.tolerance);
        EXPECT_NEAR(test::ToneLevel(back.data(), frames / 4, frames / 2, 440.0, rate, 1), 0.5, c.tolerance);
    } else {
        // The mono mix of a tone and its inverse is silence.
        EXPECT_LT(test::Rms(back.data(), frames / 4, frames / 2), 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(Export, WriteRoundTrip,
                         ::testing::Values(RoundTrip{"wav16", 22050, 0.001}, RoundTrip{"wav-ima-adpcm", 44100, 0.02},
                                           RoundTrip{"wav-ms-adpcm", 11025, 0.02}, RoundTrip{"wav-ulaw", 22050, 0.01},
                                           RoundTrip{"wav-alaw", 48000, 0.01}, RoundTrip{"wav-gsm", 11025, 0.05},
                                           RoundTrip{"mp3", 44100, 0.05}, RoundTrip{"mp3", 22050, 0.05},
                                           RoundTrip{"mp3", 11025, 0.06}, RoundTrip{"flac", 44100, 0.001},
                                           RoundTrip{"ogg", 22050, 0.05}, RoundTrip{"opus", 22050, 0.05}),
                         [](const auto& p) {
                             std::string n = std::string(p.param.name) + "_" + std::to_string(p.param.rate);
                             for (auto& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

TEST(Export, FloatWavHoldsExactlyTheBuffer) {
    const auto music = Music(11025, 3001, 1234.0, 1.5f);  // beyond full scale: float keeps it
    test::TempDir dir;
    NullProgress progress;
    ASSERT_EQ(WriteSoundFile(dir / "f.wav", music.data(), 3001, 11025, FormatForEncoder(kEncoderWavFloat, 11025), progress),
              WriteResult::Written);
    const auto back = Decode(dir / "f.wav");
    ASSERT_EQ(back.size(), 2u * 3001);
    EXPECT_EQ(std::memcmp(back.data(), music.data(), back.size() * sizeof(float)), 0);
}

TEST(Export, SixteenBitsClipAndDither) {
    std::vector<StereoFrame> music(4000, StereoFrame{1.5f, 0.0f});  // left over full scale, right silent
    test::TempDir dir;
    NullProgress progress;
    ASSERT_EQ(WriteSoundFile(dir / "s.wav", music.data(), 4000, 22050, FormatForEncoder(kEncoderWav16, 22050), progress),
              WriteResult::Written);
    SF_INFO info{};
    SNDFILE* f = sf_open((dir / "s.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<short> s(2 * 4000);
    ASSERT_EQ(sf_readf_short(f, s.data(), 4000), 4000);
    sf_close(f);
    bool rightMoves = false;
    for (std::size_t i = 0; i < 4000; ++i) {
        ASSERT_EQ(s[2 * i], 32767) << "clipped";
        ASSERT_LE(std::abs(s[2 * i + 1]), 1) << "dither stays within one step";
        rightMoves = rightMoves || s[2 * i + 1] != 0;
    }
    EXPECT_TRUE(rightMoves) << "silence is dithered";
}

TEST(Export, Mp3BitRateIsHonoured) {
    const auto music = Music(44100, 44100 * 4);
    for (std::uint32_t kbps : {64u, 256u}) {
        SCOPED_TRACE(kbps);
        const auto format = FormatFromName("mp3", 44100, kbps);
        ASSERT_TRUE(format.has_value());
        EXPECT_EQ(format->formatTag, kTagMpegLayer3);
        test::TempDir dir;
        NullProgress progress;
        ASSERT_EQ(WriteSoundFile(dir / "b.mp3", music.data(), 44100 * 4, 44100, *format, progress), WriteResult::Written);
        const double measured = static_cast<double>(std::filesystem::file_size(dir / "b.mp3")) * 8 / 4 / 1000;
        EXPECT_NEAR(measured, kbps, kbps * 0.12);
    }
}

class ScriptedChooser : public IFormatChooser {
public:
    std::optional<std::size_t> answer;
    std::string title;
    std::vector<SoundFormat> offered;
    std::optional<std::size_t> ChooseFormat(std::string_view t, std::span<const SoundFormat> formats) override {
        title = t;
        offered.assign(formats.begin(), formats.end());
        return answer;
    }
};

TEST(ChooseAcmFormat, CompressedWavOffersStereoFormatsAtTheRate) {
    ScriptedChooser chooser;
    chooser.answer = 0;
    RecordingProgress messages;
    const auto chosen = ChooseAcmFormat(kEncoderWavCompressed, 44100, chooser, messages);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chooser.title, "Select output sound file properties");
    std::vector<std::uint16_t> tags;
    for (const auto& f : chooser.offered) {
        EXPECT_EQ(f.channels, 2);
        EXPECT_EQ(f.sampleRate, 44100u);
        tags.push_back(f.formatTag);
    }
    EXPECT_EQ(tags, (std::vector<std::uint16_t>{kTagImaAdpcm, kTagMsAdpcm, kTagMuLaw, kTagALaw}));
    EXPECT_EQ(*chosen, chooser.offered[0]);
    EXPECT_TRUE(messages.messages.empty());
}

TEST(ChooseAcmFormat, Mp3OffersOnlyLayerThreeBitRatesOfTheRate) {
    ScriptedChooser chooser;
    chooser.answer = 2;
    RecordingProgress messages;
    const auto chosen = ChooseAcmFormat(kEncoderMp3, 22050, chooser, messages);
    ASSERT_TRUE(chosen.has_value());
    ASSERT_FALSE(chooser.offered.empty());
    for (const auto& f : chooser.offered) EXPECT_EQ(f.formatTag, kTagMpegLayer3);
    EXPECT_EQ(chooser.offered.front().bitRate, 8000u);
    EXPECT_EQ(chooser.offered.back().bitRate, 160000u);
    EXPECT_EQ(chosen->bitRate, 24000u);
}

struct ChooserFailure {
    const char* name;
    int encoder;
    std::uint32_t rate;
    bool cancel;
    int messageId;  // 0: none
};
void PrintTo(const ChooserFailure& c, std::ostream* os) { *os << c.name; }

class ChooserFailures : public ::testing::TestWithParam<ChooserFailure> {};

TEST_P(ChooserFailures, YieldNoneWithTheirMessage) {
    const auto& c = GetParam();
    ScriptedChooser chooser;
    if (!c.cancel) chooser.answer = 0;
    RecordingProgress messages;
    EXPECT_FALSE(ChooseAcmFormat(c.encoder, c.rate, chooser, messages).has_value());
    if (c.messageId == 0) {
        EXPECT_TRUE(messages.messages.empty());
    } else {
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].stringId, c.messageId);
        EXPECT_EQ(messages.messages[0].text, LoadString(c.messageId));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Export, ChooserFailures,
    ::testing::Values(ChooserFailure{"Cancelled", kEncoderMp3, 44100, true, 0},
                      ChooserFailure{"NoMp3AtThisRate", kEncoderMp3, 96000, false, IDS_WRONG_FORMAT},
                      ChooserFailure{"UnusableRate", kEncoderWavCompressed, 0, false, IDS_ENCODER_CREATE_FILE_FAILED}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FormatFromName, NamesAndExtensions) {
    struct Case {
        const char* name;
        std::uint16_t tag;
        SoundContainer container;
        std::uint32_t fileRate;
    };
    const Case cases[] = {
        {"wav-float", kTagFloat, SoundContainer::Wav, 22050}, {".WAV", kTagFloat, SoundContainer::Wav, 22050},
        {"wav16", kTagPcm, SoundContainer::Wav, 22050},       {"wav-ima-adpcm", kTagImaAdpcm, SoundContainer::Wav, 22050},
        {"wav-ms-adpcm", kTagMsAdpcm, SoundContainer::Wav, 22050}, {"wav-gsm", kTagGsm610, SoundContainer::Wav, 22050},
        {"wav-ulaw", kTagMuLaw, SoundContainer::Wav, 22050},  {"wav-alaw", kTagALaw, SoundContainer::Wav, 22050},
        {"mp3", kTagMpegLayer3, SoundContainer::Mp3, 22050},  {".mp3", kTagMpegLayer3, SoundContainer::Mp3, 22050},
        {"flac", 0, SoundContainer::Flac, 22050},             {"ogg", 0, SoundContainer::Ogg, 22050},
        {".oga", 0, SoundContainer::Ogg, 22050},              {"opus", 0, SoundContainer::Opus, 48000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto f = FormatFromName(c.name, 22050);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->formatTag, c.tag);
        EXPECT_EQ(f->container, c.container);
        EXPECT_EQ(f->sampleRate, c.fileRate);
    }
    EXPECT_FALSE(FormatFromName("aiff", 22050).has_value());
    EXPECT_FALSE(FormatFromName("", 22050).has_value());
    EXPECT_FALSE(FormatFromName("mp3", 22050, 320).has_value()) << "320 kbit/s needs MPEG-1 rates";
    EXPECT_EQ(FormatFromName("mp3", 44100, 320)->bitRate, 320000u);
}

TEST(WriteSoundFile, CancelLeavesTheExistingTargetAlone) {
    test::TempDir dir;
    const auto target = dir / "keep.wav";
    std::ofstream(target) << "precious";
    const auto music = Music(44100, 44100 * 3);
    RecordingProgress progress;
    progress.cancelAtReport = 1;
    EXPECT_EQ(WriteSoundFile(target, music.data(), 44100 * 3, 44100, FormatForEncoder(kEncoderWavFloat, 44100), progress),
              WriteResult::Cancelled);
    EXPECT_TRUE(progress.messages.empty());
    EXPECT_EQ(test::Slurp(target), "precious");
    EXPECT_EQ(test::FilesIn(dir.path()), 1u);
}

TEST(WriteSoundFile, ReplacesTheTargetOnlyWhenComplete) {
    test::TempDir dir;
    const auto target = dir / "music.wav";
    std::ofstream(target) << "old";
    const auto music = Music(11025, 5000);
    NullProgress progress;
    ASSERT_EQ(WriteSoundFile(target, music.data(), 5000, 11025, FormatForEncoder(kEncoderWavFloat, 11025), progress),
              WriteResult::Written);
    EXPECT_EQ(Decode(target).size(), 2u * 5000);
    EXPECT_EQ(test::FilesIn(dir.path()), 1u);
}

struct WriteFailure {
    const char* name;
    const char* target;  // relative to the temporary folder
    int formatRate;      // rate the format block was made for
    int messageId;
};
void PrintTo(const WriteFailure& c, std::ostream* os) { *os << c.name; }

class WriteFailures : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(WriteFailures, ShowTheirMessageAndWriteNothing) {
    const auto& c = GetParam();
    test::TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    const auto music = Music(22050, 1000);
    const auto format = FormatFromName("mp3", static_cast<std::uint32_t>(c.formatRate));
    ASSERT_TRUE(format.has_value());
    RecordingProgress progress;
    EXPECT_EQ(WriteSoundFile(dir / c.target, music.data(), 1000, 22050, *format, progress), WriteResult::Failed);
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0].stringId, c.messageId);
    EXPECT_EQ(test::FilesIn(dir.path()), 1u) << "only the folder made by the test";
}

INSTANTIATE_TEST_SUITE_P(
    Export, WriteFailures,
    ::testing::Values(WriteFailure{"MissingFolder", "nowhere/out.mp3", 22050, IDS_ENCODER_CREATE_FAILED},
                      WriteFailure{"TargetIsAFolder", "folder", 22050, IDS_ENCODER_CREATE_FAILED},
                      WriteFailure{"FormatForAnotherRate", "out.mp3", 44100, IDS_ENCODER_ACM_FILE}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(WriteMusic, EachEncoderWritesItsFormatOrRefusesAMissingBlock) {
    const auto music = Music(22050, 2000);
    const auto mp3 = FormatFromName("mp3", 22050);
    const auto ima = FormatFromName("wav-ima-adpcm", 22050);
    ASSERT_TRUE(mp3 && ima);
    struct Case {
        const char* name;
        int encoder;
        const SoundFormat* chosen;
        int sndfileFormat;  // of the file written; 0: refused
    };
    const Case cases[] = {
        {"float", kEncoderWavFloat, nullptr, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"16 bits ignores a block", kEncoderWav16, &*mp3, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"compressed", kEncoderWavCompressed, &*ima, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM},
        {"mp3", kEncoderMp3, &*mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
        {"compressed without block", kEncoderWavCompressed, nullptr, 0},
        {"mp3 with a wav block", kEncoderMp3, &*ima, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        RecordingProgress progress;
        const auto result = WriteMusic(dir / "m", music.data(), 2000, 22050, c.encoder, c.chosen, progress);
        if (c.sndfileFormat == 0) {
            EXPECT_EQ(result, WriteResult::Failed);
            ASSERT_EQ(progress.messages.size(), 1u);
            EXPECT_EQ(progress.messages[0].stringId, IDS_ENCODER_ACM_FILE);
            EXPECT_EQ(test::FilesIn(dir.path()), 0u);
            continue;
        }
        ASSERT_EQ(result, WriteResult::Written);
        SF_INFO info{};
        SNDFILE* f = sf_open((dir / "m").c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        sf_close(f);
        EXPECT_EQ(info.format, c.sndfileFormat);
    }
}


// ------------------------------------------------------------------ every format, every fault

// One case per row of the format table, at a rate every format takes.
class EachFormat : public ::testing::TestWithParam<std::string_view> {
protected:
    void TearDown() override { SetOutputFileFaultsForTesting({}); }
    SoundFormat Format() const {
        const auto format = FormatFromName(GetParam(), 22050);
        EXPECT_TRUE(format.has_value());
        return format.value_or(SoundFormat{});
    }
};

std::vector<std::string_view> FormatIds() {
    std::vector<std::string_view> ids;
    for (const auto& row : OutputFormats()) ids.push_back(row.id);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(Table, EachFormat, ::testing::ValuesIn(FormatIds()), [](const auto& p) {
    std::string n(p.param);
    for (auto& ch : n)
        if (ch == '-') ch = '_';
    return n;
});

TEST_P(EachFormat, AFullDiskFailsWithItsReasonAndKeepsTheOldFile) {
    const auto format = Format();
    const auto music = Music(22050, 22050 * 2);
    // In the header, in the middle of the music, and near the end, where only
    // the encoder's last blocks or the final header remain to be written.
    test::TempDir probe;
    NullProgress quiet;
    ASSERT_EQ(WriteSoundFile(probe / "full", music.data(), 22050 * 2, 22050, format, quiet), WriteResult::Written);
    const auto size = std::filesystem::file_size(probe / "full");
    for (const std::uint64_t after : {std::uint64_t{20}, size / 2, size - 1}) {
        SCOPED_TRACE(after);
        test::TempDir dir;
        const auto target = dir / ("old." + format.extension);
        std::ofstream(target) << "the previous render";
        SetOutputFileFaultsForTesting({.failAfterBytes = after, .error = ENOSPC});
        RecordingProgress progress;
        EXPECT_EQ(WriteSoundFile(target, music.data(), 22050 * 2, 22050, format, progress), WriteResult::Failed);
        SetOutputFileFaultsForTesting({});
        ASSERT_EQ(progress.messages.size(), 1u);
        const auto& message = progress.messages[0];
        EXPECT_TRUE(message.stringId == IDS_ENCODER_WRITE_FAILED || message.stringId == IDS_ENCODER_CREATE_FAILED)
            << message.text;
        EXPECT_EQ(message.text.rfind(LoadString(message.stringId), 0), 0u) << "the program's own text comes first";
        EXPECT_NE(message.text.find(target.string() + ": No space left on device"), std::string::npos) << message.text;
        EXPECT_EQ(test::Slurp(target), "the previous render");
        EXPECT_EQ(test::FilesIn(dir.path()), 1u) << "no temporary file left behind";
    }
}

TEST_P(EachFormat, TheSameMusicGivesTheSameBytes) {
    const auto format = Format();
    const auto music = Music(22050, 22050);
    auto other = music;
    other[100].left += 0.25f;
    test::TempDir dir;
    NullProgress progress;
    ASSERT_EQ(WriteSoundFile(dir / "a", music.data(), 22050, 22050, format, progress), WriteResult::Written);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the clock moves on between the two
    ASSERT_EQ(WriteSoundFile(dir / "b", music.data(), 22050, 22050, format, progress), WriteResult::Written);
    ASSERT_EQ(WriteSoundFile(dir / "c", other.data(), 22050, 22050, format, progress), WriteResult::Written);
    EXPECT_TRUE(test::Slurp(dir / "a") == test::Slurp(dir / "b"));
    EXPECT_FALSE(test::Slurp(dir / "a") == test::Slurp(dir / "c")) << "the music itself is in the file";
    EXPECT_FALSE(Decode(dir / "a").empty()) << "the file still decodes";
}

// ------------------------------------------------------------------ devices and FIFOs

bool IsCharDevice(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0 && S_ISCHR(st.st_mode);
}

TEST(WriteSoundFile, DevicesAreWrittenIntoAndNeverReplaced) {
    const auto music = Music(22050, 22050);
    for (const char* name : {"wav16", "mp3", "ogg"}) {
        SCOPED_TRACE(name);
        const auto format = FormatFromName(name, 22050);
        ASSERT_TRUE(format.has_value());
        RecordingProgress progress;
        EXPECT_EQ(WriteSoundFile("/dev/null", music.data(), 22050, 22050, *format, progress), WriteResult::Written);
        EXPECT_TRUE(progress.messages.empty());
        WriteError error;
        EXPECT_EQ(WriteSoundFile("/dev/full", music.data(), 22050, 22050, *format, progress, error), WriteResult::Failed);
        EXPECT_EQ(error.reason, "No space left on device");
    }
    EXPECT_TRUE(IsCharDevice("/dev/null")) << "a device node was replaced by a file";
    EXPECT_TRUE(IsCharDevice("/dev/full")) << "a device node was replaced by a file";
}

TEST_P(EachFormat, AFifoTakesWhatStreamsAndRefusesTheRestClearly) {
    const auto format = Format();
    const OutputFormatRecord* row = OutputFormatOf(format);
    ASSERT_NE(row, nullptr);
    const auto music = Music(22050, 22050);
    test::FifoInTempDir fifo;
    ASSERT_TRUE(fifo.made);
    NullProgress progress;
    WriteError error;
    const auto result = WriteSoundFile(fifo.path, music.data(), 22050, 22050, format, progress, error);
    const std::string& received = fifo.reader.Finish();
    if (row->streams) {
        EXPECT_EQ(result, WriteResult::Written) << error.reason;
        std::ofstream(fifo.dir / "copy", std::ios::binary) << received;
        DecodeInfo info;
        EXPECT_GT(Decode(fifo.dir / "copy", &info).size(), 2u * 22050 * 9 / 10) << "what came through the FIFO decodes";
        // FLAC cannot go back to fill in its length: it is known from the start.
        if (format.container == SoundContainer::Flac) {
            EXPECT_EQ(info.frames, 22050);
        }
    } else {
        EXPECT_EQ(result, WriteResult::Failed);
        EXPECT_EQ(error.messageId, IDS_ENCODER_WRITE_FAILED);
        EXPECT_NE(error.reason.find("must go back to finish its header"), std::string::npos) << error.reason;
    }
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced by a file";
}

}  // namespace
}  // namespace dw
