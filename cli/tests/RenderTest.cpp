// End-to-end renders with driftwell-cli on a small generated source: every
// output format, repeatable seeds, the plan, projects and overrides, and the
// bad inputs that must fail cleanly without leaving or damaging files.
//
// Renders are 10 s at 11025 Hz (Test quality) to keep the suite fast.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <ebur128.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/audio/Export.h"
#include "core/base/tests/FifoReader.h"
#include "cli/tests/RunProcess.h"
#include "cli/tests/TestSounds.h"
#include "core/model/ProjectFile.h"

namespace dw {
// GoogleTest finds a parameter's printer beside its type: a format of the
// table by its short name, not its bytes.
void PrintTo(const OutputFormatRecord& format, std::ostream* os) { *os << format.id; }
}  // namespace dw

namespace dw::cli::test {
namespace {

using dw::test::FifoReader;

namespace fs = std::filesystem;
using nlohmann::json;

class NullSink final : public IMessageSink {
public:
    void ShowMessage(int, std::string_view, MessageIcon) override {}
};

// A few seconds of two drifting tones, 16-bit stereo at 22050 Hz, so the
// render also resamples.
void WriteSource(const fs::path& path, double seconds = 3.0, int rate = 22050) {
    const auto frames = static_cast<size_t>(seconds * rate);
    std::vector<float> data(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double swell = 0.5 + 0.5 * std::sin(2.0 * M_PI * 0.4 * t);
        data[2 * i] = static_cast<float>(0.4 * swell * std::sin(2.0 * M_PI * 220.0 * t));
        data[2 * i + 1] = static_cast<float>(0.4 * (1.0 - swell) * std::sin(2.0 * M_PI * 331.0 * t));
    }
    WriteStereo16(path, SF_FORMAT_WAV, rate, data);
}

struct Sound {
    int rate = 0;
    int channels = 0;
    int format = 0;
    sf_count_t frames = 0;  // counted by reading, which also proves the file decodes
    float peak = 0.0f;
};

Sound ReadSound(const fs::path& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return sound;
    }
    sound.rate = info.samplerate;
    sound.channels = info.channels;
    sound.format = info.format;
    std::vector<float> block(4096 * static_cast<size_t>(info.channels));
    for (sf_count_t got; (got = sf_readf_float(file, block.data(), 4096)) > 0;) {
        sound.frames += got;
        for (sf_count_t i = 0; i < got * info.channels; ++i) sound.peak = std::max(sound.peak, std::fabs(block[i]));
    }
    sf_close(file);
    return sound;
}

// The samples of a sound file as their bit patterns: equal means bit-identical music.
std::vector<std::uint32_t> SampleBits(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return {};
    }
    // Read to the end: a streamed file may not announce its length.
    std::vector<float> samples;
    std::vector<float> block(4096 * static_cast<size_t>(info.channels));
    for (sf_count_t got; (got = sf_readf_float(file, block.data(), 4096)) > 0;)
        samples.insert(samples.end(), block.begin(), block.begin() + got * info.channels);
    sf_close(file);
    std::vector<std::uint32_t> bits(samples.size());
    std::memcpy(bits.data(), samples.data(), samples.size() * sizeof(float));
    return bits;
}

std::vector<char> Bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> kShort = {"--length", "10", "--quality", "0"};

std::vector<std::string> Args(std::vector<std::string> args, const std::vector<std::string>& more = kShort) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override { WriteSource(dir / "source.wav"); }
    TempDir dir;
};

// ------------------------------------------------------------------ formats

struct FormatCase {
    const char* name;    // test name
    const char* format;  // --format value, or "" to go by the extension
    const char* output;
    int rate;
    int channels;
    int subtype;         // SF_FORMAT_SUBMASK part, 0 when it varies
    sf_count_t extraFrames;  // whole codec blocks past the end that the format may pad with
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class RenderFormat : public RenderTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(RenderFormat, WritesTheMusicAtTheRightRateChannelsAndLength) {
    const FormatCase& c = GetParam();
    std::vector<std::string> args = {"render", "source.wav", "-o", c.output, "--seed", "5", "--quiet"};
    if (*c.format) args.insert(args.end(), {"--format", c.format});
    const ProcessResult result = RunCli(Args(args), dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");

    const Sound sound = ReadSound(dir / c.output);
    EXPECT_EQ(sound.rate, c.rate);
    EXPECT_EQ(sound.channels, c.channels);
    if (c.subtype) {
        EXPECT_EQ(sound.format & SF_FORMAT_SUBMASK, c.subtype);
    }
    EXPECT_GE(sound.frames, 10 * c.rate);
    EXPECT_LE(sound.frames, 10 * c.rate + c.extraFrames);
    // The default volume is 0.5: music, not silence, and no overload.
    EXPECT_GT(sound.peak, 0.2f);
    EXPECT_LT(sound.peak, 0.75f);
    std::vector<std::string> expected{c.output, "source.wav"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(dir.path()), expected) << "no temporary files left";
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderFormat,
    ::testing::Values(
        FormatCase{"WavByExtensionIsFloat", "", "out.wav", 11025, 2, SF_FORMAT_FLOAT, 0},
        FormatCase{"WavFloat", "wav-float", "float.wav", 11025, 2, SF_FORMAT_FLOAT, 0},
        FormatCase{"Wav16", "wav16", "pcm16.wav", 11025, 2, SF_FORMAT_PCM_16, 0},
        FormatCase{"WavImaAdpcm", "wav-ima-adpcm", "ima.wav", 11025, 2, SF_FORMAT_IMA_ADPCM, 1017},
        FormatCase{"WavMsAdpcm", "wav-ms-adpcm", "ms.wav", 11025, 2, SF_FORMAT_MS_ADPCM, 1012},
        // GSM 6.10 in WAV holds one channel; the writer mixes both sides into it.
        FormatCase{"WavGsm", "wav-gsm", "gsm.wav", 11025, 1, SF_FORMAT_GSM610, 2 * 320},
        FormatCase{"WavULaw", "wav-ulaw", "ulaw.wav", 11025, 2, SF_FORMAT_ULAW, 0},
        FormatCase{"WavALaw", "wav-alaw", "alaw.wav", 11025, 2, SF_FORMAT_ALAW, 0},
        FormatCase{"Mp3", "mp3", "music.mp3", 11025, 2, 0, 2 * 1152},
        FormatCase{"Mp3ByExtension", "", "music2.mp3", 11025, 2, 0, 2 * 1152},
        FormatCase{"Flac", "flac", "music.flac", 11025, 2, 0, 0},
        FormatCase{"FlacByExtension", "", "music2.flac", 11025, 2, 0, 0},
        FormatCase{"Ogg", "ogg", "music.ogg", 11025, 2, SF_FORMAT_VORBIS, 0},
        FormatCase{"OggByExtension", "", "music2.ogg", 11025, 2, SF_FORMAT_VORBIS, 0},
        // Opus files are 48000 Hz: the music is resampled as it is written.
        FormatCase{"Opus", "opus", "music.opus", 48000, 2, SF_FORMAT_OPUS, 960},
        FormatCase{"OpusByExtension", "", "music2.opus", 48000, 2, SF_FORMAT_OPUS, 960}),
    [](const ::testing::TestParamInfo<FormatCase>& param) { return std::string(param.param.name); });

// ------------------------------------------------------------------ rate

struct RateCase {
    const char* name;
    int sourceRate;
    std::vector<std::string> extra;
    int rate;  // of the music written
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class RenderRate : public RenderTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RenderRate, FollowsTheSourceUnlessAProjectOrQualitySays) {
    const RateCase& c = GetParam();
    WriteSource(dir / "in.wav", 1.0, c.sourceRate);
    CProject project;
    project.SetDefaults();
    project.properties.sourcePath = "in.wav";
    NullSink sink;
    ASSERT_TRUE(StoreProject(project, dir / "default.dwv", sink));
    std::vector<std::string> args = {"render", "in.wav", "-o", "out.wav", "--length", "10", "--seed", "3", "-q"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ProcessResult r = RunCli(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound sound = ReadSound(dir / "out.wav");
    EXPECT_EQ(sound.rate, c.rate);
    EXPECT_EQ(sound.frames, 10 * c.rate);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderRate,
    ::testing::Values(RateCase{"Below11025TakesTheLowest", 8000, {}, 11025},
                      RateCase{"Exactly11025", 11025, {}, 11025},
                      RateCase{"Between", 16000, {}, 22050},
                      RateCase{"Exactly22050", 22050, {}, 22050},
                      RateCase{"Above22050", 32000, {}, 44100},
                      RateCase{"Cd", 44100, {}, 44100},
                      RateCase{"Dvd", 48000, {}, 48000},
                      RateCase{"AboveTheHighestTakesTheHighest", 96000, {}, 48000},
                      RateCase{"QualityWins", 44100, {"--quality", "1"}, 22050},
                      // The default project is at 11025 Hz: a named project keeps its rate.
                      RateCase{"ProjectWins", 44100, {"-p", "default.dwv"}, 11025}),
    [](const auto& p) { return std::string(p.param.name); });

// ------------------------------------------------------------------ seeds

TEST_F(RenderTest, TheSameSeedGivesTheSameMusicForAnyThreadCount) {
    const auto render = [&](const std::string& out, const std::string& seed, const std::string& threads) {
        const ProcessResult r =
            RunCli(Args({"render", "source.wav", "-o", out, "--seed", seed, "--threads", threads, "-q"}), dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        return SampleBits(dir / out);
    };
    const std::vector<std::uint32_t> first = render("a.wav", "2026", "1");
    ASSERT_EQ(first.size(), 2u * 110250u);
    EXPECT_TRUE(render("b.wav", "2026", "1") == first);
    EXPECT_TRUE(render("c.wav", "2026", "2") == first);
    EXPECT_TRUE(render("d.wav", "2026", "3") == first);
    EXPECT_FALSE(render("e.wav", "2027", "2") == first);
}

TEST_F(RenderTest, RepeatedRendersGiveTheSameFileByteForByte) {
    // Same seed, different thread counts, and (by the time the second one is
    // written) usually another second on the clock: nothing in the file may
    // depend on when or how it was rendered.
    for (const OutputFormatRecord& row : OutputFormats()) {
        const std::string format(row.id);
        const ProcessResult a = RunCli(Args({"render", "source.wav", "-o", "a.out", "--format", format, "--seed",
                                             "77", "--threads", "1", "-q"}),
                                       dir.path());
        const ProcessResult b = RunCli(Args({"render", "source.wav", "-o", "b.out", "--format", format, "--seed",
                                             "77", "--threads", "2", "-q"}),
                                       dir.path());
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        EXPECT_TRUE(Bytes(dir / "a.out") == Bytes(dir / "b.out")) << format;
        // A float WAV's PEAK chunk carries the time of writing; a file that has
        // one differs from its repeat as soon as the clock has moved on.
        const std::vector<char> bytes = Bytes(dir / "a.out");
        const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 256));
        EXPECT_EQ(head.find("PEAK"), std::string::npos) << format << ": the file carries a time stamp";
    }
}

TEST_F(RenderTest, WithoutASeedTheTimeSeedIsPrintedAndRepeatsTheRender) {
    const ProcessResult timed = RunCli(Args({"render", "source.wav", "-o", "timed.wav"}), dir.path());
    ASSERT_EQ(timed.status, 0) << timed.err;
    const std::string label = "Seed: ";
    const auto at = timed.out.find(label);
    ASSERT_NE(at, std::string::npos) << timed.out;
    const auto digits = timed.out.substr(at + label.size());
    const std::string seed = digits.substr(0, digits.find_first_not_of("0123456789"));
    ASSERT_FALSE(seed.empty()) << timed.out;

    const ProcessResult again =
        RunCli(Args({"render", "source.wav", "-o", "again.wav", "-q", "--seed", seed}), dir.path());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(SampleBits(dir / "again.wav") == SampleBits(dir / "timed.wav"));
}

// ------------------------------------------------------------------ output on the console

TEST_F(RenderTest, ProgressGoesToStandardErrorAsLinesAndQuietSilencesIt) {
    const ProcessResult chatty = RunCli(Args({"render", "source.wav", "-o", "a.wav", "--seed", "1"}), dir.path());
    ASSERT_EQ(chatty.status, 0) << chatty.err;
    for (const char* line : {"Loading music: 100%", "Creating music: 100%", "Writing a.wav: 100%"})
        EXPECT_NE(chatty.err.find(line), std::string::npos) << line << " in\n" << chatty.err;
    EXPECT_EQ(chatty.err.find('\r'), std::string::npos) << "no bar redrawing on a pipe";
    EXPECT_NE(chatty.out.find("Wrote a.wav"), std::string::npos) << chatty.out;

    // Quiet is silent, whether the seed was given or drawn from the time.
    for (const bool seeded : {true, false}) {
        std::vector<std::string> args = {"render", "source.wav", "-o", "b.wav", "--quiet"};
        if (seeded) args.insert(args.end(), {"--seed", "1"});
        const ProcessResult quiet = RunCli(Args(args), dir.path());
        ASSERT_EQ(quiet.status, 0) << quiet.err;
        EXPECT_EQ(quiet.err, "") << seeded;
        EXPECT_EQ(quiet.out, "") << seeded;
    }
    // The engine's passes make one bar: "Creating music" runs up once.
    const std::size_t first = chatty.err.find("Creating music: 0%");
    EXPECT_EQ(chatty.err.find("Creating music: 0%", first + 1), std::string::npos) << chatty.err;
}

// ------------------------------------------------------------------ standard input and output

struct StreamCase {
    const char* format;
    const char* magic;  // how the file starts
    bool sameBytesAsAFile;  // nothing to go back for: the stream is the file
    bool sameSamplesAsAFile;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.format; }

class RenderToStandardOutput : public RenderTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(RenderToStandardOutput, StreamsTheFileAndNothingElse) {
    const StreamCase& c = GetParam();
    const ProcessResult piped =
        RunCliPiped(Args({"render", "source.wav", "-o", "-", "--format", c.format, "--seed", "5"}), dir.path(), "");
    ASSERT_EQ(piped.status, 0) << piped.err;
    ASSERT_GE(piped.out.size(), 4u);
    EXPECT_EQ(piped.out.compare(0, std::strlen(c.magic), c.magic), 0) << "the music alone goes to standard output";
    EXPECT_NE(piped.err.find("Writing standard output: 100%"), std::string::npos) << piped.err;
    EXPECT_NE(piped.err.find("Wrote standard output"), std::string::npos) << piped.err;
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"source.wav"})) << "nothing written beside";

    std::ofstream(dir / "piped.out", std::ios::binary) << piped.out;
    const ProcessResult file =
        RunCli(Args({"render", "source.wav", "-o", "file.out", "--format", c.format, "--seed", "5", "-q"}), dir.path());
    ASSERT_EQ(file.status, 0) << file.err;
    const Sound sound = ReadSound(dir / "piped.out");
    EXPECT_GE(sound.frames, ReadSound(dir / "file.out").frames);
    if (c.sameBytesAsAFile) {
        EXPECT_TRUE(Bytes(dir / "piped.out") == Bytes(dir / "file.out"));
    }
    if (c.sameSamplesAsAFile) {
        EXPECT_TRUE(SampleBits(dir / "piped.out") == SampleBits(dir / "file.out"));
    }

    // A pipeline: what one render streams out, the next one reads in.
    const ProcessResult next =
        RunCliPiped(Args({"render", "-", "-o", "next.wav", "--seed", "6", "-q"}), dir.path(), piped.out);
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(ReadSound(dir / "next.wav").frames, 10 * 11025);
}

INSTANTIATE_TEST_SUITE_P(Table, RenderToStandardOutput,
                         ::testing::Values(StreamCase{"flac", "fLaC", false, true},
                                           // Without its closing tag frame the decoder keeps the encoder's padding.
                                           StreamCase{"mp3", "\xFF", false, false},
                                           StreamCase{"ogg", "OggS", true, true},
                                           StreamCase{"opus", "OggS", true, true}),
                         [](const auto& p) { return std::string(p.param.format); });

TEST_F(RenderTest, StandardOutputRefusesWhatCannotStreamBeforeAnyWork) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--format", "wav16"},
         "driftwell-cli: Standard output is a pipe, FIFO or socket, and wav16 must go back to finish its header: use "
         "mp3, flac, ogg, opus.\n"},
        {{}, "driftwell-cli: Name the format of standard output with --format (mp3, flac, ogg, opus).\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"render", "source.wav", "-o", "-"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = RunCliPiped(Args(args), dir.path(), "");
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.message);
    }
}

TEST_F(RenderTest, StandardOutputIntoAFileTakesEveryFormat) {
    // RunCli gives the program a file as standard output, as "> music.wav"
    // does: it can be gone back into, so formats that finish their header
    // at the end work and give the same bytes as a named file.
    for (const char* format : {"wav16", "wav-float", "flac", "mp3"}) {
        const ProcessResult shell =
            RunCli(Args({"render", "source.wav", "-o", "-", "--format", format, "--seed", "5", "-q"}), dir.path());
        ASSERT_EQ(shell.status, 0) << format << ": " << shell.err;
        const ProcessResult named =
            RunCli(Args({"render", "source.wav", "-o", "named.out", "--format", format, "--seed", "5", "-q"}), dir.path());
        ASSERT_EQ(named.status, 0) << named.err;
        const std::vector<char> expected = Bytes(dir / "named.out");
        EXPECT_TRUE(std::vector<char>(shell.out.begin(), shell.out.end()) == expected) << format;
    }
}

TEST_F(RenderTest, StandardInputIsReadWholeAsTheSource) {
    const std::string source = ReadText(dir / "source.wav");
    const ProcessResult fromFile = RunCli(Args({"render", "source.wav", "-o", "file.wav", "--seed", "8", "-q"}), dir.path());
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    const ProcessResult fromStdin =
        RunCliPiped(Args({"render", "-", "-o", "stdin.wav", "--seed", "8", "-q"}), dir.path(), source);
    ASSERT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_EQ(fromStdin.out, "");
    EXPECT_TRUE(SampleBits(dir / "stdin.wav") == SampleBits(dir / "file.wav"));

    // In and out at once: a filter in a pipeline.
    const ProcessResult both =
        RunCliPiped(Args({"render", "-", "-o", "-", "--format", "ogg", "--seed", "8", "-q"}), dir.path(), source);
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out.compare(0, 4, "OggS"), 0);
    EXPECT_EQ(both.err, "");

    const ProcessResult empty = RunCliPiped(Args({"render", "-", "-o", "none.wav"}), dir.path(), "");
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "driftwell-cli: Standard input is empty: pipe the music source into it.\n");
    EXPECT_FALSE(fs::exists(dir / "none.wav"));
}

TEST_F(RenderTest, TheDecodersOwnNotesNeverReachStandardError) {
    // An MP3 with garbage in its middle makes the MP3 decoder print notes of
    // its own ("Note: Illegal Audio-MPEG-Header ...") while it resyncs.
    ASSERT_EQ(RunCli(Args({"render", "source.wav", "-o", "clean.mp3", "--seed", "1", "-q"}), dir.path()).status, 0);
    std::string bytes = ReadText(dir / "clean.mp3");
    std::string junk;
    for (int i = 0; i < 2048; ++i) junk.push_back(static_cast<char>(i * 7));
    bytes.insert(bytes.size() / 2, junk);
    std::ofstream(dir / "damaged.mp3", std::ios::binary) << bytes;

    const ProcessResult r = RunCli(Args({"render", "damaged.mp3", "-o", "out.wav", "--seed", "1"}), dir.path());
    EXPECT_EQ(r.err.find("Note"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("mpg123"), std::string::npos) << r.err;
    // What is left is ours: progress lines and, on failure, one line naming the file.
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.starts_with("driftwell-cli: ") || line.starts_with("Loading music: ") ||
                    line.starts_with("Creating music: ") || line.starts_with("Writing out.wav: "))
            << line;
    if (r.status != 0) {
        EXPECT_NE(r.err.find("Cannot read the music source damaged.mp3: "), std::string::npos) << r.err;
    }
}

// ------------------------------------------------------------------ saving the project used

TEST_F(RenderTest, SaveProjectWritesWhatTheRenderUsedAndRendersTheSameAgain) {
    fs::create_directory(dir / "elsewhere");
    const ProcessResult first =
        RunCli({"render", "source.wav", "-o", "first.wav", "--seed", "12", "-q", "--length", "12", "--quality", "1",
                "--fade-in", "3", "--fade-out", "2", "--reverb", "0.4", "--motif-length", "3", "--save-project",
                "elsewhere/used.dwv"},
               dir.path());
    ASSERT_EQ(first.status, 0) << first.err;
    CProject used;
    NullSink sink;
    ASSERT_TRUE(LoadProject(used, dir / "elsewhere" / "used.dwv", sink));
    const CProperties& p = used.properties;
    EXPECT_EQ(p.musicLength, 12u);
    EXPECT_EQ(p.sampleRate, 22050u);
    EXPECT_EQ(p.fadeIn, 3u);
    EXPECT_EQ(p.fadeOut, 2u);
    EXPECT_TRUE(p.reverbOn);
    EXPECT_DOUBLE_EQ(p.reverb, 0.4);
    EXPECT_DOUBLE_EQ(p.baseMotifLength, 3.0);
    EXPECT_TRUE(fs::equivalent(p.sourcePath, dir / "source.wav")) << "found from the project's own folder too";

    const ProcessResult again =
        RunCli({"render", "-p", "elsewhere/used.dwv", "-o", "again.wav", "--seed", "12", "-q"}, dir.path());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(SampleBits(dir / "again.wav") == SampleBits(dir / "first.wav"));
}

// ------------------------------------------------------------------ batches

TEST_F(RenderTest, TwoRendersAtOnceIntoOneFolderBothArrive) {
    // As a batch over seeds runs them (xargs -P, GNU parallel): each process
    // in its own working folder, all writing into one.
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    fs::create_directories(dir / "music");
    const auto args = [&](const std::string& seed) {
        return Args({"render", (dir / "source.wav").string(), "-o", (dir / "music" / (seed + ".flac")).string(), "--seed",
                     seed},
                    {"--length", "60", "--quality", "0"});
    };
    const int a = StartCli(args("1"), dir / "a");
    const int b = StartCli(args("2"), dir / "b");
    const ProcessResult ra = WaitCli(a, dir / "a");
    const ProcessResult rb = WaitCli(b, dir / "b");
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    EXPECT_EQ(Listing(dir / "music"), (std::vector<std::string>{"1.flac", "2.flac"}));
    EXPECT_EQ(ReadSound(dir / "music" / "1.flac").frames, 60 * 11025);
    EXPECT_EQ(ReadSound(dir / "music" / "2.flac").frames, 60 * 11025);
    EXPECT_FALSE(SampleBits(dir / "music" / "1.flac") == SampleBits(dir / "music" / "2.flac"));
}

// ------------------------------------------------------------------ plan

TEST_F(RenderTest, PlanDescribesTheSectionsMotifsAndScore) {
    const ProcessResult result =
        RunCli(Args({"render", "source.wav", "-o", "a.wav", "--seed", "9", "-q", "--plan", "plan.json"}), dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
    const json plan = json::parse(std::ifstream(dir / "plan.json"));

    EXPECT_EQ(plan["sampleRate"], 11025);
    EXPECT_EQ(plan["outputFrameCount"], 110250);
    ASSERT_EQ(plan["sections"].size(), 4u);
    // The default sections cut the music in quarters, one after the other.
    std::int64_t expectedStart = 0;
    for (size_t i = 0; i < 4; ++i) {
        const json& s = plan["sections"][i];
        EXPECT_EQ(s["section"], i);
        EXPECT_EQ(s["outputStart"], expectedStart);
        expectedStart = s["outputEnd"];
        EXPECT_LT(s["sourceStart"], s["sourceEnd"]);
        EXPECT_EQ(s["motif"]["base"], s["sourceStart"]);
        EXPECT_EQ(s["motif"]["length"], 44100) << "4 s motifs at 11025 Hz";
        ASSERT_GE(s["motif"]["notes"].size(), 2u);
        for (const json& note : s["motif"]["notes"]) ASSERT_EQ(note.size(), 3u);
    }
    EXPECT_EQ(expectedStart, 110250);

    // The score's notes follow each other without gaps and cover the music.
    std::int64_t covered = 0;
    for (const json& note : plan["score"]["notes"]) {
        EXPECT_GE(note[0].get<std::int64_t>(), 0);
        covered += note[1].get<std::int64_t>() + note[2].get<std::int64_t>();
    }
    EXPECT_GE(covered, 110250);
}

// ------------------------------------------------------------------ projects

TEST_F(RenderTest, ProjectSettingsAreUsedAndTheCommandLineOverridesThem) {
    CProject project;
    project.SetDefaults();
    project.properties.sourcePath = "source.wav";  // relative: found beside the project
    project.properties.quality = 1;
    project.properties.sampleRate = 22050;
    project.properties.musicLength = 12;
    NullSink sink;
    fs::create_directory(dir / "work");
    fs::rename(dir / "source.wav", dir / "work" / "source.wav");
    ASSERT_TRUE(StoreProject(project, dir / "work" / "p.dwv", sink));

    const ProcessResult asStored =
        RunCli({"render", "-p", "work/p.dwv", "-o", "stored.wav", "--seed", "4", "-q"}, dir.path());
    ASSERT_EQ(asStored.status, 0) << asStored.err;
    const Sound stored = ReadSound(dir / "stored.wav");
    EXPECT_EQ(stored.rate, 22050);
    EXPECT_EQ(stored.frames, 12 * 22050);

    const ProcessResult overridden =
        RunCli({"render", "-p", "work/p.dwv", "-o", "over.flac", "--seed", "4", "-q", "--quality", "0", "--length",
                "11", "--volume", "0.25", "--loop"},
               dir.path());
    ASSERT_EQ(overridden.status, 0) << overridden.err;
    const Sound over = ReadSound(dir / "over.flac");
    EXPECT_EQ(over.rate, 11025);
    EXPECT_EQ(over.frames, 11 * 11025);
    EXPECT_NEAR(over.peak, 0.25f, 0.01f);
    // The project file itself is only read.
    CProject reread;
    ASSERT_TRUE(LoadProject(reread, dir / "work" / "p.dwv", sink));
    EXPECT_EQ(reread.properties.musicLength, 12u);
}

// ------------------------------------------------------------------ bad inputs

struct BadRender {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;
};

void PrintTo(const BadRender& c, std::ostream* os) { *os << c.name; }

class RenderRefused : public RenderTest, public ::testing::WithParamInterface<BadRender> {};

TEST_P(RenderRefused, FailsWithAMessageAndLeavesTheFilesAsTheyWere) {
    // What a user may already have: an earlier render and projects.
    const std::vector<char> earlier(5000, 'x');
    std::ofstream(dir / "out.wav", std::ios::binary).write(earlier.data(), static_cast<std::streamsize>(earlier.size()));
    std::ofstream(dir / "noise.wav") << "this is not a sound file";
    std::ofstream(dir / "not-a-folder") << "a file";
    fs::create_directory(dir / "folder.wav");
    CProject project;
    project.SetDefaults();
    std::vector<std::uint8_t> bytes = StoreProjectToBytes(project);
    bytes[1] ^= 0xFF;
    std::ofstream(dir / "corrupt.dwv", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    project.properties.baseMotifLength = 20.0;
    project.properties.musicLength = 30;
    project.properties.sourcePath = "source.wav";
    NullSink sink;
    ASSERT_TRUE(StoreProject(project, dir / "long-motif.dwv", sink));
    const std::vector<std::string> before = Listing(dir.path());

    const ProcessResult result = RunCli(GetParam().args, dir.path());
    EXPECT_EQ(result.status, GetParam().status) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(Listing(dir.path()), before) << "no output, no temporary file";
    EXPECT_EQ(Bytes(dir / "out.wav"), earlier);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderRefused,
    ::testing::Values(
        BadRender{"MissingSource", Args({"render", "nowhere.wav", "-o", "out.wav"}), 1,
                  "driftwell-cli: Cannot read the music source nowhere.wav: No such file or directory.\n"},
        BadRender{"UnreadableSource", Args({"render", "noise.wav", "-o", "out.wav"}), 1,
                  "driftwell-cli: Cannot read the music source noise.wav: not a WAV file.\n"},
        BadRender{"SourceIsAFolder", Args({"render", "folder.wav", "-o", "out.wav"}), 1,
                  "driftwell-cli: Cannot read the music source folder.wav: Is a directory.\n"},
        BadRender{"NoSourceAtAll", Args({"render", "-o", "out.wav"}), 2, "No music source"},
        BadRender{"MissingProject", Args({"render", "source.wav", "-p", "none.dwv", "-o", "out.wav"}), 1,
                  "Cannot open the project file none.dwv: No such file or directory.\n"},
        BadRender{"CorruptProject", Args({"render", "source.wav", "-p", "corrupt.dwv", "-o", "out.wav"}), 1,
                  "The project file corrupt.dwv was not loaded: it is not a Driftwell project."},
        BadRender{"LengthShorterThanTheMotif",
                  {"render", "-p", "long-motif.dwv", "-o", "out.wav", "--length", "12"}, 2, "20 to 3599"},
        BadRender{"UnknownExtension", Args({"render", "source.wav", "-o", "out.xyz"}), 2, ".flac"},
        BadRender{"NoExtension", Args({"render", "source.wav", "-o", "out"}), 2, "--format"},
        BadRender{"UnknownFormat", Args({"render", "source.wav", "-o", "out.wav", "--format", "aiff"}), 2, "wav16"},
        BadRender{"OutputInMissingFolder", Args({"render", "source.wav", "-o", "no/such/out.wav"}), 1,
                  "does not exist"},
        BadRender{"OutputUnderAFile", Args({"render", "source.wav", "-o", "not-a-folder/out.wav"}), 1,
                  "does not exist"},
        BadRender{"OutputInReadOnlyFolder", Args({"render", "source.wav", "-o", "/sys/driftwell-test.wav"}), 1,
                  "Cannot write to the folder /sys"},
        BadRender{"OutputIsAFolder", Args({"render", "source.wav", "-o", "folder.wav"}), 1, "is a folder"},
        BadRender{"OutputWouldReplaceTheSource", Args({"render", "source.wav", "-o", "./source.wav"}), 2,
                  "would replace an input file"},
        BadRender{"PlanInMissingFolder",
                  Args({"render", "source.wav", "-o", "fresh.wav", "--plan", "no/such/plan.json"}), 1,
                  "does not exist"},
        BadRender{"PlanOverTheOutput", Args({"render", "source.wav", "-o", "out.wav", "--plan", "out.wav"}), 2,
                  "would replace another file"},
        BadRender{"PlanOverANewOutput",
                  Args({"render", "source.wav", "-o", "fresh.wav", "--plan", "sub/../fresh.wav"}), 2,
                  "would replace another file"}),
    [](const ::testing::TestParamInfo<BadRender>& param) { return std::string(param.param.name); });

// The system's own words blame the wrong thing for two paths: a dangling
// link fails on its target's missing folder, not its own, and a whole path
// past PATH_MAX is "File name too long" whatever the name's length.
TEST_F(RenderTest, PathMessagesNameTheRealCause) {
    fs::create_symlink("gone/deeper/out.wav", dir / "link.wav");
    const ProcessResult dangling = RunCli(Args({"render", "source.wav", "-o", "link.wav"}), dir.path());
    EXPECT_EQ(dangling.status, 1);
    EXPECT_NE(dangling.err.find("gone/deeper does not exist"), std::string::npos) << dangling.err;
    EXPECT_FALSE(fs::exists(dir / "gone"));

    std::string tooLong;
    while (tooLong.size() <= 4200) tooLong += std::string(200, 'd') + "/";
    tooLong += "out.wav";
    for (const std::vector<std::string>& args : {Args({"render", "source.wav", "-o", tooLong}),
                                                 Args({"render", tooLong, "-o", "fresh.wav"})}) {
        const ProcessResult r = RunCli(args, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("longer than PATH_MAX"), std::string::npos) << r.err.substr(r.err.size() - 200);
        EXPECT_EQ(r.err.find("File name too long"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir / "fresh.wav"));
}

// ------------------------------------------------------------------ writing safely

// Runs the command line with files limited to `bytes` (writes past it fail
// with EFBIG, "File too large"): a disk that fills during the write.
ProcessResult RunCliWithFileLimit(const std::vector<std::string>& args, const fs::path& dir, rlim_t bytes) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    // Ignored signals stay ignored in the child: the write fails instead of
    // the process being killed.
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    ProcessResult result = RunCli(args, dir);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
    return result;
}

class RenderEachFormat : public RenderTest, public ::testing::WithParamInterface<std::string> {};

std::vector<std::string> AllFormats() {
    std::vector<std::string> ids;
    for (const OutputFormatRecord& row : OutputFormats()) ids.emplace_back(row.id);
    return ids;
}

TEST_P(RenderEachFormat, AFullDiskFailsNamingTheReasonAndKeepsTheOldFile) {
    const std::vector<char> earlier(3000, 'e');
    std::ofstream(dir / "out.snd", std::ios::binary).write(earlier.data(), static_cast<std::streamsize>(earlier.size()));
    const ProcessResult result = RunCliWithFileLimit(
        Args({"render", "source.wav", "-o", "out.snd", "--format", GetParam(), "--seed", "3", "-q"}), dir.path(), 8000);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("Could not write out.snd: File too large."), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Bass"), std::string::npos) << "no internal codes: " << result.err;
    EXPECT_EQ(result.out.find("Wrote"), std::string::npos) << result.out;
    EXPECT_EQ(Bytes(dir / "out.snd"), earlier);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"out.snd", "source.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Table, RenderEachFormat, ::testing::ValuesIn(AllFormats()), [](const auto& p) {
    std::string n = p.param;
    for (auto& ch : n)
        if (ch == '-') ch = '_';
    return n;
});

bool IsCharDevice(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0 && S_ISCHR(st.st_mode);
}

TEST_F(RenderTest, DevicesAreWrittenIntoNeverReplaced) {
    const ProcessResult null =
        RunCli(Args({"render", "source.wav", "-o", "/dev/null", "--format", "mp3", "-q"}), dir.path());
    EXPECT_EQ(null.status, 0) << null.err;
    const ProcessResult full =
        RunCli(Args({"render", "source.wav", "-o", "/dev/full", "--format", "wav16", "-q"}), dir.path());
    EXPECT_EQ(full.status, 1) << full.err;
    EXPECT_NE(full.err.find("Could not write /dev/full: No space left on device."), std::string::npos) << full.err;
    EXPECT_TRUE(IsCharDevice("/dev/null")) << "the device node was replaced by a file";
    EXPECT_TRUE(IsCharDevice("/dev/full")) << "the device node was replaced by a file";
}

TEST_F(RenderTest, AFifoStreamsAndRefusesFormatsThatSeekBeforeRendering) {
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    {
        FifoReader reader(dir / "pipe");
        const ProcessResult ogg =
            RunCli(Args({"render", "source.wav", "-o", "pipe", "--format", "ogg", "--seed", "4", "-q"}), dir.path());
        EXPECT_EQ(ogg.status, 0) << ogg.err;
        std::ofstream(dir / "copy.ogg", std::ios::binary) << reader.Finish();
        EXPECT_GE(ReadSound(dir / "copy.ogg").frames, 10 * 11025);
    }
    // A format that must seek is refused before anything reaches the FIFO.
    FifoReader reader(dir / "pipe");
    const ProcessResult wav =
        RunCli(Args({"render", "source.wav", "-o", "pipe", "--format", "wav16", "-q"}), dir.path());
    EXPECT_EQ(reader.Finish(), "");
    EXPECT_EQ(wav.status, 2) << wav.err;
    EXPECT_NE(wav.err.find("is a pipe, FIFO or socket, and wav16 must go back to finish its header: use mp3, flac, ogg, opus."),
              std::string::npos)
        << wav.err;
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(RenderTest, NamesAtTheFileSystemsLimitRenderAndLongerOnesAreRefusedAtOnce) {
    for (const std::size_t length : {243u, 255u}) {
        const std::string name = std::string(length - 4, 'n') + ".wav";
        std::ofstream(dir / name) << "old";  // replacing needs a temporary name beside it
        const ProcessResult r = RunCli(Args({"render", "source.wav", "-o", name, "--seed", "1", "-q"}), dir.path());
        EXPECT_EQ(r.status, 0) << length << ": " << r.err;
        EXPECT_EQ(ReadSound(dir / name).frames, 10 * 11025) << length;
        EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{name, "source.wav"}));
        fs::remove(dir / name);
    }
    const std::string tooLong = std::string(252, 'n') + ".wav";
    const ProcessResult r = RunCli(Args({"render", "source.wav", "-o", tooLong, "-q"}), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the name is longer than its folder's file system allows"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Loading music"), std::string::npos) << "refused before any work";
}

TEST_F(RenderTest, ReplacingKeepsTheModeAndTheLinksOfOutputAndPlan) {
    fs::create_directory(dir / "keep");
    for (const char* name : {"music.wav", "plan.json"}) {
        std::ofstream(dir / "keep" / name) << "old";
        ASSERT_EQ(::chmod((dir / "keep" / name).c_str(), 0600), 0);
        fs::create_symlink(fs::path("keep") / name, dir / name);
    }
    const ProcessResult r =
        RunCli(Args({"render", "source.wav", "-o", "music.wav", "--plan", "plan.json", "--seed", "2", "-q"}), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"music.wav", "plan.json"}) {
        EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
        struct stat st {};
        ASSERT_EQ(::stat((dir / "keep" / name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
    }
    EXPECT_EQ(ReadSound(dir / "music.wav").frames, 10 * 11025);
    EXPECT_TRUE(json::accept(ReadText(dir / "plan.json"))) << "the plan is whole";
}

TEST_F(RenderTest, AKilledWriteLeavesNothingBehind) {
    // Five minutes of MP3 take seconds to encode: the kill lands while the
    // file is written.
    const int pid = StartCli({"render", "source.wav", "-o", "long.mp3", "--length", "300", "--seed", "6"}, dir.path());
    WaitForError(dir.path(), "Writing long.mp3", std::chrono::seconds(120));  // checked below
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(pid, SIGKILL);
    const ProcessResult result = WaitCli(pid, dir.path());
    ASSERT_EQ(result.status, 128 + SIGKILL) << "the render ended before the kill: " << result.err;
    ASSERT_NE(result.err.find("Writing long.mp3"), std::string::npos) << result.err;
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"source.wav"}));
}

// ------------------------------------------------------------------ cancel

struct SignalCase {
    const char* name;
    int signal;
    int status;
};
void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class RenderInterrupted : public RenderTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(RenderInterrupted, StopsTheRenderWithTheShellsStatusAndLeavesNoOutput) {
    // Four minutes at DVD quality take seconds, so the signal lands while
    // the music is being created.
    const int pid = StartCli({"render", "source.wav", "-o", "long.wav", "--length", "240", "--quality", "3"}, dir.path());
    WaitForError(dir.path(), "Creating music", std::chrono::seconds(60));
    ::kill(pid, GetParam().signal);
    const ProcessResult result = WaitCli(pid, dir.path());
    EXPECT_EQ(result.status, GetParam().status) << result.err;
    EXPECT_NE(result.err.find("driftwell-cli: Cancelled; nothing was written.\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Wrote"), std::string::npos) << result.err;
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"source.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Table, RenderInterrupted,
                         ::testing::Values(SignalCase{"CtrlC", SIGINT, 130}, SignalCase{"Terminate", SIGTERM, 143}),
                         [](const auto& p) { return std::string(p.param.name); });

// ------------------------------------------------------------------ finishing the file

// Decoded samples, interleaved stereo, and their rate.
struct Decoded {
    int rate = 0;
    std::vector<float> samples;
};

Decoded Decode(const fs::path& path) {
    Decoded d;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return d;
    }
    EXPECT_EQ(info.channels, 2);
    d.rate = info.samplerate;
    std::vector<float> block(4096 * 2);
    for (sf_count_t got; (got = sf_readf_float(file, block.data(), 4096)) > 0;)
        d.samples.insert(d.samples.end(), block.begin(), block.begin() + got * 2);
    sf_close(file);
    return d;
}

// Loudness and true peak of a decoded file, measured here with libebur128
// directly, not through the program's own mastering code.
struct Meter {
    double lufs = 0.0;
    double truePeakDb = 0.0;
};

Meter Measure(const Decoded& d) {
    Meter m;
    ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(d.rate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (st == nullptr) {
        ADD_FAILURE() << "libebur128 refused the rate " << d.rate;
        return m;
    }
    ebur128_add_frames_float(st, d.samples.data(), d.samples.size() / 2);
    ebur128_loudness_global(st, &m.lufs);
    double peak = 0.0;
    for (unsigned c = 0; c < 2; ++c) {
        double p = 0.0;
        ebur128_true_peak(st, c, &p);
        peak = std::max(peak, p);
    }
    m.truePeakDb = 20.0 * std::log10(peak);
    ebur128_destroy(&st);
    return m;
}

float SamplePeak(const Decoded& d) {
    float peak = 0.0f;
    for (const float v : d.samples) peak = std::max(peak, std::fabs(v));
    return peak;
}

TEST_F(RenderTest, EffectsReachTheFileRepeatByteForByteAndNoEffectsWritesTheRawMusic) {
    const std::vector<std::string> base = {"render", "source.wav", "--seed", "3", "-q", "--format", "wav-float"};
    auto render = [&](const std::string& out, std::vector<std::string> more) {
        std::vector<std::string> args = base;
        args.insert(args.end(), {"-o", out});
        args.insert(args.end(), more.begin(), more.end());
        const ProcessResult r = RunCli(Args(args), dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
    };
    render("dry.wav", {});
    render("wet1.wav", {"--reverb", "0.6", "--chorus", "0.4", "--high-cut", "0.5"});
    render("wet2.wav", {"--reverb", "0.6", "--chorus", "0.4", "--high-cut", "0.5"});
    render("raw.wav", {"--reverb", "0.6", "--chorus", "0.4", "--high-cut", "0.5", "--no-effects"});
    EXPECT_EQ(Bytes(dir / "wet1.wav"), Bytes(dir / "wet2.wav")) << "the same seed and project must give the same file";
    EXPECT_NE(SampleBits(dir / "wet1.wav"), SampleBits(dir / "dry.wav")) << "the effects never reached the file";
    EXPECT_EQ(SampleBits(dir / "raw.wav"), SampleBits(dir / "dry.wav"));
    const Decoded wet = Decode(dir / "wet1.wav");
    EXPECT_EQ(wet.samples.size(), Decode(dir / "dry.wav").samples.size()) << "the reverb's tail must stay inside";
    EXPECT_LE(SamplePeak(wet), 0.9f + 1e-6f) << "the effects must not push the music above its volume";
}

TEST_F(RenderTest, ALoopedPieceWithEffectsStillJoinsSmoothly) {
    const ProcessResult r = RunCli(Args({"render", "source.wav", "-o", "loop.wav", "--seed", "4", "-q", "--loop",
                                         "--reverb", "0.8", "--chorus", "0.7"}),
                                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const Decoded d = Decode(dir / "loop.wav");
    ASSERT_GT(d.samples.size(), 8u);
    // The jump from the last frame back to the first, against the steps inside the music.
    std::vector<float> steps;
    for (std::size_t i = 2; i < d.samples.size(); ++i) steps.push_back(std::fabs(d.samples[i] - d.samples[i - 2]));
    std::sort(steps.begin(), steps.end());
    const float typicalLarge = steps[steps.size() * 99 / 100];
    for (int c = 0; c < 2; ++c) {
        const float seam = std::fabs(d.samples[static_cast<std::size_t>(c)] - d.samples[d.samples.size() - 2 + c]);
        EXPECT_LE(seam, typicalLarge) << "channel " << c << ": the loop point clicks";
    }
}

struct LoudnessCase {
    const char* name;
    const char* format;
    const char* target;
    const char* ceiling;
};
void PrintTo(const LoudnessCase& c, std::ostream* os) { *os << c.name; }

class RenderLoudness : public RenderTest, public ::testing::WithParamInterface<LoudnessCase> {};

TEST_P(RenderLoudness, TheDecodedFileMeetsTheTargetUnderTheCeiling) {
    const LoudnessCase& c = GetParam();
    const ProcessResult r =
        RunCli(Args({"render", "source.wav", "-o", "out.file", "--format", c.format, "--seed", "2", "--loudness",
                     c.target, "--true-peak", c.ceiling},
                    {"--length", "20", "--quality", "2"}),
               dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Loudness "), std::string::npos) << r.out;
    const Meter m = Measure(Decode(dir / "out.file"));
    const double target = std::stod(c.target);
    const double ceiling = std::stod(c.ceiling);
    EXPECT_LE(m.truePeakDb, ceiling + 0.05) << "true peak over the ceiling";
    if (r.out.find("true-peak ceiling") == std::string::npos)
        EXPECT_NEAR(m.lufs, target, 1.0);
    else
        EXPECT_LT(m.lufs, target) << "the ceiling bound, so the music stays below the target";
}

INSTANTIATE_TEST_SUITE_P(Cases, RenderLoudness,
                         ::testing::Values(LoudnessCase{"FloatWavBroadcast", "wav-float", "-23", "-1"},
                                           LoudnessCase{"FlacStreaming", "flac", "-16", "-1"},
                                           LoudnessCase{"Mp3Streaming", "mp3", "-16", "-1"},
                                           LoudnessCase{"OggLoud", "ogg", "-14", "-1"},
                                           LoudnessCase{"OpusStreaming", "opus", "-16", "-1.5"},
                                           LoudnessCase{"CeilingBinds", "wav-float", "-5", "-3"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(RenderTest, TheCommandSaysWhenTheCeilingHoldsTheMusicBelowTheTarget) {
    const ProcessResult r = RunCli(Args({"render", "source.wav", "-o", "a.wav", "--seed", "2", "--loudness", "-3",
                                         "--true-peak", "-6"}),
                                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("The true-peak ceiling of -6.0 dBTP keeps the music "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" LU below the target of -3.0 LUFS."), std::string::npos) << r.out;
}

class LossyAtFullVolume : public RenderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LossyAtFullVolume, DecodesWithinFullScale) {
    const ProcessResult r = RunCli(Args({"render", "source.wav", "-o", "out.file", "--format", GetParam(), "--seed",
                                         "6", "-q", "--volume", "1"},
                                        {"--length", "20", "--quality", "2"}),
                                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LE(SamplePeak(Decode(dir / "out.file")), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Formats, LossyAtFullVolume, ::testing::Values("mp3", "ogg", "opus"),
                         [](const auto& p) { return std::string(p.param); });

class RenderTags : public RenderTest, public ::testing::WithParamInterface<OutputFormatRecord> {};

TEST_P(RenderTags, EveryFormatCarriesTitleSoftwareDateAndTheSeed) {
    const OutputFormatRecord& row = GetParam();
    ::setenv("SOURCE_DATE_EPOCH", "1780000000", 1);  // 2026-05-28
    const ProcessResult r = RunCli(Args({"render", "source.wav", "-o", "out.file", "--format", std::string(row.id),
                                         "--seed", "77", "-q", "--title", "Night Tide", "--artist", "A. Listener"}),
                                   dir.path());
    ::unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(r.status, 0) << r.err;
    SF_INFO info{};
    SNDFILE* file = sf_open((dir / "out.file").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    auto tag = [&](int kind) {
        const char* text = sf_get_string(file, kind);
        return std::string(text ? text : "");
    };
    if (row.container == SoundContainer::Mp3) {
        // No ID3 block: it would cost the file its exact length (see Export.h).
        EXPECT_EQ(tag(SF_STR_TITLE), "");
        sf_close(file);
        return;
    }
    EXPECT_EQ(tag(SF_STR_TITLE), "Night Tide");
    EXPECT_EQ(tag(SF_STR_ARTIST), "A. Listener");
    const std::string comment = tag(SF_STR_COMMENT);
    EXPECT_NE(comment.find("seed 77"), std::string::npos) << comment;
    EXPECT_NE(comment.find("source source.wav"), std::string::npos) << comment;
    EXPECT_NE(comment.find("Driftwell "), std::string::npos) << comment;
    EXPECT_EQ(tag(SF_STR_DATE), "2026-05-28");
    EXPECT_EQ(tag(SF_STR_SOFTWARE).rfind("Driftwell ", 0), 0u) << tag(SF_STR_SOFTWARE);
    sf_close(file);
}

INSTANTIATE_TEST_SUITE_P(Formats, RenderTags, ::testing::ValuesIn(OutputFormats().begin(), OutputFormats().end()),
                         [](const auto& p) {
                             std::string name(p.param.id);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

struct EncoderOptionCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;  // empty: accepted
};
void PrintTo(const EncoderOptionCase& c, std::ostream* os) { *os << c.name; }

class RenderEncoderOptions : public RenderTest, public ::testing::WithParamInterface<EncoderOptionCase> {};

TEST_P(RenderEncoderOptions, AreCheckedBeforeRendering) {
    const EncoderOptionCase& c = GetParam();
    std::vector<std::string> args = {"render", "source.wav", "-o", "out.file", "--seed", "1", "-q"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = RunCli(Args(args, {"--length", "10", "--quality", "2"}), dir.path());
    if (std::string(c.message).empty()) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_GT(Decode(dir / "out.file").samples.size(), 0u);
    } else {
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.file"));
        EXPECT_EQ(r.err.find("Creating music"), std::string::npos) << "refused only after the work";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderEncoderOptions,
    ::testing::Values(
        EncoderOptionCase{"Mp3BitRate", {"--format", "mp3", "--bitrate", "96"}, ""},
        EncoderOptionCase{"Mp3Variable", {"--format", "mp3", "--compression", "0.4"}, ""},
        EncoderOptionCase{"OpusBitRate", {"--format", "opus", "--bitrate", "48"}, ""},
        EncoderOptionCase{"FlacLevel", {"--format", "flac", "--compression", "1"}, ""},
        EncoderOptionCase{"OggLevel", {"--format", "ogg", "--compression", "0"}, ""},
        EncoderOptionCase{"Mp3RateNotOffered", {"--format", "mp3", "--bitrate", "100"}, "224, 256 or 320 kbit/s"},
        EncoderOptionCase{"OpusTooLow", {"--format", "opus", "--bitrate", "2"}, "Opus takes 12 to 510 kbit/s"},
        EncoderOptionCase{"FlacHasNoBitRate", {"--format", "flac", "--bitrate", "128"}, "only MP3 and Opus"},
        EncoderOptionCase{"WavHasNoLevel", {"--format", "wav16", "--compression", "0.5"}, "only FLAC, Ogg Vorbis"},
        EncoderOptionCase{"LevelAboveOne", {"--format", "ogg", "--compression", "1.5"}, "from 0 (best) to 1"},
        EncoderOptionCase{"Mp3Both", {"--format", "mp3", "--bitrate", "128", "--compression", "0.5"}, "takes one"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(RenderTest, EncoderSettingsChangeWhatIsWritten) {
    auto size = [&](const std::vector<std::string>& more) {
        std::vector<std::string> args = {"render", "source.wav", "-o", "out.file", "--seed", "1", "-q"};
        args.insert(args.end(), more.begin(), more.end());
        const ProcessResult r = RunCli(Args(args, {"--length", "20", "--quality", "2"}), dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        return fs::file_size(dir / "out.file");
    };
    EXPECT_LT(size({"--format", "opus", "--bitrate", "24"}) * 3, size({"--format", "opus", "--bitrate", "128"}));
    EXPECT_LT(size({"--format", "mp3", "--bitrate", "64"}) * 3, size({"--format", "mp3", "--bitrate", "256"}));
    EXPECT_LT(size({"--format", "flac", "--compression", "1"}), size({"--format", "flac", "--compression", "0"}));
    // Opus's bit rate is what was asked for, within the container's overhead.
    const double kbps = double(size({"--format", "opus", "--bitrate", "64"})) * 8 / 20 / 1000;
    EXPECT_NEAR(kbps, 64.0, 12.0);
}

// ------------------------------------------------------------------ inputs and outputs kept apart

// Every file in the folder with its bytes: what a refused render must leave
// exactly as it was.
std::map<std::string, std::string> Contents(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadText(entry.path());
    return files;
}

struct StandardOutputCase {
    const char* name;
    const char* format;
    int flags;        // how the shell opened standard output: >> or 1<>
    long offset;      // where it left the descriptor
    int status;
    const char* message;  // "" when the render goes through
};

void PrintTo(const StandardOutputCase& c, std::ostream* os) { *os << c.name; }

class RenderIntoStandardOutputFile : public RenderTest, public ::testing::WithParamInterface<StandardOutputCase> {};

// A file that standard output does not reach from its start is never
// written blind: a header would land after the old bytes. Formats that
// never go back append as a chained stream; 1<> leaves no old tail.
TEST_P(RenderIntoStandardOutputFile, IsRefusedUnlessWrittenFromItsStartOrAppendedAsAStream) {
    const StandardOutputCase& c = GetParam();
    const std::string old = "earlier bytes the user keeps" + std::string(300000, 'o');
    std::ofstream(dir / "existing.out", std::ios::binary) << old;
    const ProcessResult r =
        RunCli(Args({"render", "source.wav", "-o", "-", "--format", c.format, "--seed", "5", "-q"}), dir.path(),
               Redirects{"/dev/null", dir / "existing.out", c.flags, c.offset});
    EXPECT_EQ(r.status, c.status) << r.err;
    const std::string now = ReadText(dir / "existing.out");
    if (c.status != 0) {
        EXPECT_EQ(r.err, std::string("driftwell-cli: ") + c.message + "\n");
        EXPECT_EQ(now, old);
        return;
    }
    EXPECT_EQ(r.err, "");
    const ProcessResult named =
        RunCli(Args({"render", "source.wav", "-o", "named.out", "--format", c.format, "--seed", "5", "-q"}), dir.path());
    ASSERT_EQ(named.status, 0) << named.err;
    const std::string expected = ReadText(dir / "named.out");
    if ((c.flags & O_APPEND) != 0) {
        ASSERT_EQ(now.size(), old.size() + expected.size());
        EXPECT_EQ(now.compare(0, old.size(), old), 0) << "the old bytes are kept";
        EXPECT_TRUE(now.compare(old.size(), std::string::npos, expected) == 0) << "the stream follows them whole";
    } else {
        EXPECT_TRUE(now == expected) << "the old tail is cut: " << now.size() << " bytes, not " << expected.size();
    }
}

constexpr int kAppend = O_WRONLY | O_APPEND;
constexpr int kReadWrite = O_RDWR;

INSTANTIATE_TEST_SUITE_P(
    Table, RenderIntoStandardOutputFile,
    ::testing::Values(
        StandardOutputCase{"AppendingWav16", "wav16", kAppend, 0, 2,
                           "Standard output is opened for appending (>>), and wav16 must be written from the start of "
                           "a file of its own: use > or name the output file, or use ogg, opus."},
        StandardOutputCase{"AppendingFlac", "flac", kAppend, 0, 2, "Standard output is opened for appending (>>), and "
                           "flac must be written from the start of a file of its own: use > or name the output file, "
                           "or use ogg, opus."},
        StandardOutputCase{"AppendingMp3", "mp3", kAppend, 0, 2, "Standard output is opened for appending (>>), and "
                           "mp3 must be written from the start of a file of its own: use > or name the output file, "
                           "or use ogg, opus."},
        StandardOutputCase{"PartWayWavFloat", "wav-float", kReadWrite, 1000, 2,
                           "Standard output is at byte 1000 of its file, and wav-float must be written from the start "
                           "of a file of its own: name the output file, or use ogg, opus."},
        StandardOutputCase{"AppendingOggChains", "ogg", kAppend, 0, 0, ""},
        StandardOutputCase{"AppendingOpusChains", "opus", kAppend, 0, 0, ""},
        StandardOutputCase{"ReadWriteWav16IsCut", "wav16", kReadWrite, 0, 0, ""},
        StandardOutputCase{"ReadWriteFlacIsCut", "flac", kReadWrite, 0, 0, ""}),
    [](const auto& p) { return std::string(p.param.name); });

struct OverlapCase {
    const char* name;
    std::vector<std::string> args;
    Redirects redirects;  // relative paths are in the test's folder
    const char* message;
};

void PrintTo(const OverlapCase& c, std::ostream* os) { *os << c.name; }

Redirects In(const fs::path& in) {
    Redirects r;
    r.in = in;
    return r;
}

class RenderOverlap : public RenderTest, public ::testing::WithParamInterface<OverlapCase> {};

// No output may be an input, however the input arrives, nor another output.
TEST_P(RenderOverlap, IsRefusedBeforeAnyWorkAndEveryFileStaysAsItWas) {
    const OverlapCase& c = GetParam();
    CProject project;
    project.SetDefaults();
    project.properties.sourcePath = "source.wav";
    NullSink sink;
    ASSERT_TRUE(StoreProject(project, dir / "used.dwv", sink));
    std::ofstream(dir / "old.json") << "{}";
    const auto before = Contents(dir.path());
    Redirects redirects = c.redirects;
    if (redirects.in.is_relative()) redirects.in = dir / redirects.in;
    if (!redirects.out.empty()) redirects.out = dir / redirects.out;
    const ProcessResult r = RunCli(Args(c.args), dir.path(), redirects);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, std::string("driftwell-cli: ") + c.message + "\n");
    EXPECT_TRUE(Contents(dir.path()) == before) << "a file was changed or added";
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderOverlap,
    ::testing::Values(
        OverlapCase{"OutputIsTheSourceOnStandardInput", {"render", "-", "-o", "source.wav"}, In("source.wav"),
                    "The output source.wav would replace an input file, the source read from standard input."},
        OverlapCase{"PlanIsTheSourceOnStandardInput",
                    {"render", "-", "-o", "new.wav", "--plan", "./source.wav"}, In("source.wav"),
                    "The plan ./source.wav would replace an input file, the source read from standard input."},
        OverlapCase{"SavedProjectIsTheSourceOnStandardInput",
                    {"render", "-", "-o", "new.wav", "--save-project", "source.wav"}, In("source.wav"),
                    "The saved project source.wav would replace an input file, the source read from standard input."},
        OverlapCase{"StandardOutputIsStandardInput", {"render", "-", "-o", "-", "--format", "ogg"},
                    {"source.wav", "source.wav", O_RDWR, 0},
                    "Standard output would replace an input file, the source read from standard input."},
        OverlapCase{"StandardOutputIsTheSource", {"render", "source.wav", "-o", "-", "--format", "ogg"},
                    {"/dev/null", "source.wav", O_RDWR, 0},
                    "Standard output would replace an input file, the source source.wav."},
        OverlapCase{"PlanIsTheProject", {"render", "-p", "used.dwv", "-o", "new.wav", "--plan", "used.dwv"}, {},
                    "The plan used.dwv would replace an input file, the project used.dwv."},
        OverlapCase{"SavedProjectIsTheProject",
                    {"render", "-p", "used.dwv", "-o", "new.wav", "--save-project", "used.dwv"}, {},
                    "The saved project used.dwv would replace an input file, the project used.dwv."},
        OverlapCase{"SavedProjectIsThePlan",
                    {"render", "source.wav", "-o", "new.wav", "--plan", "old.json", "--save-project", "old.json"}, {},
                    "The saved project old.json would replace another file of this render, the plan old.json."},
        OverlapCase{"PlanIsStandardOutput",
                    {"render", "source.wav", "-o", "-", "--format", "ogg", "--plan", "old.json"},
                    {"/dev/null", "old.json", O_RDWR, 0},
                    "The plan old.json would replace another file of this render, the standard output."}),
    [](const auto& p) { return std::string(p.param.name); });

struct AllOrNothingCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

void PrintTo(const AllOrNothingCase& c, std::ostream* os) { *os << c.name; }

class RenderAllOrNothing : public RenderTest, public ::testing::WithParamInterface<AllOrNothingCase> {};

// When one of the files a render writes fails, none of the others is
// replaced: the music, the plan and the saved project keep their old bytes.
TEST_P(RenderAllOrNothing, AFailedFileLeavesEveryOtherAsItWas) {
    const AllOrNothingCase& c = GetParam();
    std::ofstream(dir / "old.flac") << "old music";
    std::ofstream(dir / "old.json") << "old plan";
    std::ofstream(dir / "old.dwv") << "old project";
    const auto before = Contents(dir.path());
    const ProcessResult r = RunCli(Args(c.args), dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Wrote"), std::string::npos) << r.out;
    EXPECT_TRUE(Contents(dir.path()) == before) << "a file was replaced or left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderAllOrNothing,
    ::testing::Values(
        AllOrNothingCase{"MusicAndPlanFailing", {"render", "source.wav", "-o", "old.flac", "--plan", "/dev/full"},
                         "driftwell-cli: Could not write the plan /dev/full: No space left on device; no file was "
                         "replaced.\n"},
        AllOrNothingCase{"MusicAndProjectFailing",
                         {"render", "source.wav", "-o", "old.flac", "--save-project", "/dev/full"},
                         "driftwell-cli: Could not write the project /dev/full: No space left on device; no file was "
                         "replaced.\n"},
        AllOrNothingCase{"PlanAndProjectFailing",
                         {"render", "source.wav", "-o", "old.flac", "--plan", "old.json", "--save-project", "/dev/full"},
                         "Could not write the project /dev/full"},
        AllOrNothingCase{"PlanFailingBeforeTheProject",
                         {"render", "source.wav", "-o", "old.flac", "--plan", "/dev/full", "--save-project", "old.dwv"},
                         "Could not write the plan /dev/full"},
        AllOrNothingCase{"MusicFailingAfterPlanAndProject",
                         {"render", "source.wav", "-o", "/dev/full", "--format", "wav16", "--plan", "old.json",
                          "--save-project", "old.dwv"},
                         "Could not write /dev/full: No space left on device."}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(RenderTest, EndlessStandardInputStopsAtTheLongestSourceTaken) {
    const ProcessResult r = RunCli(Args({"render", "-", "-o", "never.wav"}), dir.path(), In("/dev/zero"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "driftwell-cli: Standard input is longer than 2049 MiB (the longest source taken).\n");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"source.wav"}));
}

// ------------------------------------------------------------------ how a render ends

struct EndingCase {
    const char* name;
    ProcessResult (*run)(const fs::path& dir);
    int status;
    const char* said;      // what the error stream must hold ("" for nothing at all)
    const char* notSaid;   // what it must not
};

void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

// SIGTERM once the bar passed half-way through creating the music.
ProcessResult TerminatedHalfWay(const fs::path& dir) {
    const int pid = StartCli({"render", "source.wav", "-o", "long.wav", "--length", "240", "--quality", "3"}, dir);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ErrorSoFar(dir).find("Creating music: 5") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGTERM);
    return WaitCli(pid, dir);
}

// A reader that takes the first 100 bytes and goes, as `| head -c 100`.
ProcessResult ReaderTakesAHundredBytes(const fs::path& dir) {
    return RunCliPiped(Args({"render", "source.wav", "-o", "-", "--format", "flac", "-q"}), dir, "", 100);
}

class RenderEnding : public RenderTest, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(RenderEnding, SaysOnlyWhatHappened) {
    const EndingCase& c = GetParam();
    const ProcessResult r = c.run(dir.path());
    EXPECT_EQ(r.status, c.status) << r.err;
    if (*c.said == '\0') {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.err.find(c.notSaid), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderEnding,
    ::testing::Values(EndingCase{"CancelledHalfWayNeverReaches100", &TerminatedHalfWay, 128 + SIGTERM,
                                 "driftwell-cli: Cancelled; nothing was written.\n", "Creating music: 100%"},
                      EndingCase{"ReaderThatQuitsEndsQuietly", &ReaderTakesAHundredBytes, 0, "", "driftwell-cli"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace dw::cli::test
