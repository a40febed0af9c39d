// End-to-end runs of driftwell-cli: `new`, `info`, and how bad usage and bad
// files are answered (exit status, message, no damage).
#include <gtest/gtest.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/tests/RunProcess.h"
#include "core/audio/FlacWriter.h"
#include "core/model/ProjectFile.h"

namespace dw::cli::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class NullSink final : public IMessageSink {
public:
    void ShowMessage(int, std::string_view, MessageIcon) override {}
};

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(CliNewInfo, InfoPrintsTheDefaultProjectThatNewWrote) {
    TempDir dir;
    const ProcessResult made = RunCli({"new", "p.dwv"}, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(fs::file_size(dir / "p.dwv"), 366u);

    const ProcessResult shown = RunCli({"info", "p.dwv"}, dir.path());
    ASSERT_EQ(shown.status, 0) << shown.err;
    const json info = json::parse(shown.out);

    EXPECT_EQ(info["version"], 404);
    // Every stored field, by its own name, in file order, with its default.
    const json expected = json::parse(R"({
        "sourcePath": "", "musicLength": 64, "trimStart": 0.05, "trimEnd": 0.95,
        "baseMotifLength": 4.0, "fractalScanner": true, "loopMotifs": false,
        "quality": 0, "sampleRate": 11025, "volume": 0.5, "loopMusic": false,
        "fadeIn": 3, "fadeOut": 3, "encoder": 0,
        "highCutOn": false, "highCut": 0.25, "reverbOn": false, "reverb": 0.25,
        "chorusOn": false, "chorus": 0.25})");
    EXPECT_EQ(info["properties"], expected);
    // ...and in the order of the file, which is the order people read them in.
    std::vector<std::string> keys;
    const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(shown.out);
    for (const auto& [key, value] : ordered["properties"].items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"sourcePath", "musicLength", "trimStart", "trimEnd", "baseMotifLength",
                                              "fractalScanner", "loopMotifs", "quality", "sampleRate", "volume",
                                              "loopMusic", "fadeIn", "fadeOut", "encoder", "highCutOn", "highCut",
                                              "reverbOn", "reverb", "chorusOn", "chorus"}));

    ASSERT_EQ(info["matrix"]["columnCount"], 4);
    ASSERT_EQ(info["matrix"]["rows"].size(), 8u);
    for (const json& row : info["matrix"]["rows"]) EXPECT_EQ(row.size(), 4u);
    EXPECT_EQ(info["sections"], json::parse("[[0,0.25,-1,-1],[0.25,0.5,-1,-1],[0.5,0.75,-1,-1],[0.75,1,-1,-1]]"));

    // The JSON is what the model holds: compare with the file read directly.
    CProject project;
    NullSink sink;
    ASSERT_TRUE(LoadProject(project, dir / "p.dwv", sink));
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(info["matrix"]["rows"][r][c].get<float>(), project.matrix.rows[r][c]) << r << "," << c;
}

TEST(CliNewInfo, InfoShowsEditedValuesExactly) {
    TempDir dir;
    CProject project;
    project.SetDefaults();
    project.properties.sourcePath = "/music/Grüße – 夜.wav";
    project.properties.musicLength = 600;
    project.properties.quality = 2;
    project.properties.sampleRate = 44100;
    project.properties.loopMusic = true;
    project.properties.volume = 0.73;
    project.matrix.SplitColumn(0);
    project.sections.Split(0);
    project.sections.items[1].sourceStart = 0.3;
    project.sections.items[1].sourceEnd = 0.6;
    project.matrix.SetCell(3, 2, 0.2f);
    NullSink sink;
    ASSERT_TRUE(StoreProject(project, dir / "edited.dwv", sink));

    const ProcessResult shown = RunCli({"info", "edited.dwv"}, dir.path());
    ASSERT_EQ(shown.status, 0) << shown.err;
    const json info = json::parse(shown.out);
    EXPECT_EQ(info["properties"]["sourcePath"], "/music/Grüße – 夜.wav");
    EXPECT_EQ(info["properties"]["musicLength"], 600);
    EXPECT_EQ(info["properties"]["sampleRate"], 44100);
    EXPECT_EQ(info["properties"]["loopMusic"], true);
    EXPECT_EQ(info["properties"]["volume"], 0.73);
    EXPECT_EQ(info["matrix"]["columnCount"], 5);
    EXPECT_EQ(info["sections"].size(), 5u);
    EXPECT_EQ(info["sections"][1], json::parse("[0.125, 0.25, 0.3, 0.6]"));
    // A float cell prints with the digits of the float, not of its double widening.
    EXPECT_NE(shown.out.find(" 0.2,"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("0.20000000298023224"), std::string::npos);
}

TEST(CliNewInfo, NewNeverReplacesAnExistingFileUnlessForced) {
    TempDir dir;
    const std::vector<std::uint8_t> precious(100, 0x42);
    WriteBytes(dir / "mine.dwv", precious);

    const ProcessResult refused = RunCli({"new", "mine.dwv"}, dir.path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("already exists"), std::string::npos) << refused.err;
    EXPECT_EQ(fs::file_size(dir / "mine.dwv"), 100u);

    const ProcessResult forced = RunCli({"new", "--force", "mine.dwv"}, dir.path());
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(fs::file_size(dir / "mine.dwv"), 366u);
}

struct NewCase {
    const char* name;
    std::vector<std::string> args;
    bool (*holds)(const CProperties& p);
};

void PrintTo(const NewCase& c, std::ostream* os) { *os << c.name; }

class CliNewSettings : public ::testing::TestWithParam<NewCase> {};

TEST_P(CliNewSettings, AreStoredInTheProject) {
    TempDir dir;
    std::vector<std::string> args = {"new", "made.dwv"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const ProcessResult made = RunCli(args, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    CProject project;
    NullSink sink;
    ASSERT_TRUE(LoadProject(project, dir / "made.dwv", sink));
    EXPECT_TRUE(GetParam().holds(project.properties));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliNewSettings,
    ::testing::Values(
        NewCase{"Nothing", {}, [](const CProperties& p) { return p.sourcePath.empty() && p.musicLength == 64 && !p.reverbOn; }},
        NewCase{"SourceIsStoredInFull",
                {"--source", "music/piece.flac"},
                [](const CProperties& p) {
                    return fs::path(p.sourcePath).is_absolute() && p.sourcePath.ends_with("/music/piece.flac");
                }},
        NewCase{"LengthQualityVolume",
                {"--length", "95", "--quality", "2", "--volume", "0.75"},
                [](const CProperties& p) {
                    return p.musicLength == 95 && p.quality == 2 && p.sampleRate == 44100 && p.volume == 0.75;
                }},
        NewCase{"LoopAndFades",
                {"--loop", "--fade-in", "4", "--fade-out", "10"},
                [](const CProperties& p) { return p.loopMusic && p.fadeIn == 4 && p.fadeOut == 10; }},
        NewCase{"MotifsAndTrim",
                {"--motif-length", "6.5", "--trim-start", "0.25", "--trim-end", "0.5", "--no-fractal-scanner",
                 "--loop-motifs"},
                [](const CProperties& p) {
                    return p.baseMotifLength == 6.5 && p.trimStart == 0.25 && p.trimEnd == 0.5 && !p.fractalScanner &&
                           p.loopMotifs;
                }},
        NewCase{"EffectsOnWithTheirAmounts",
                {"--high-cut", "0.3", "--reverb", "0.6", "--chorus", "0.2"},
                [](const CProperties& p) {
                    return p.highCutOn && p.highCut == 0.3 && p.reverbOn && p.reverb == 0.6 && p.chorusOn &&
                           p.chorus == 0.2;
                }},
        NewCase{"EffectsOff",
                {"--no-reverb", "--no-high-cut", "--no-chorus"},
                [](const CProperties& p) { return !p.reverbOn && !p.highCutOn && !p.chorusOn; }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CliUsage, HelpAndVersionSucceed) {
    TempDir dir;
    const ProcessResult help = RunCli({"--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"render", "info", "new"}) EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const ProcessResult renderHelp = RunCli({"render", "--help"}, dir.path());
    EXPECT_EQ(renderHelp.status, 0);
    EXPECT_NE(renderHelp.out.find("--seed"), std::string::npos);
    for (const ProcessResult* shown : {&help, &renderHelp}) {
        // The manual page and the shell completion read these lines.
        EXPECT_NE(shown->out.find("\nOutput format: wav-float, wav16,"), std::string::npos) << shown->out;
        for (const char* status : {"0 done", "1 failed", "2 bad usage", "130 interrupted", "143 terminated"})
            EXPECT_NE(shown->out.find(status), std::string::npos) << status;
    }
    const ProcessResult version = RunCli({"--version"}, dir.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("driftwell-cli 4."), std::string::npos) << version.out;
    EXPECT_EQ(version.out.find("FLAC:"), std::string::npos) << version.out;
    // Verbose, in either order: also the FLAC path that this build runs.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--version", "--verbose"},
                                                 std::vector<std::string>{"--verbose", "--version"}}) {
        const ProcessResult verbose = RunCli(args, dir.path());
        EXPECT_EQ(verbose.status, 0);
        EXPECT_NE(verbose.out.find("driftwell-cli 4."), std::string::npos) << verbose.out;
        EXPECT_NE(verbose.out.find("\nFLAC: our chunked encoder on "), std::string::npos) << verbose.out;
        EXPECT_NE(verbose.out.find(FlacChunkMd5SwitchedOff() ? "encoder MD5 switched off" : "their own MD5: slower"),
                  std::string::npos)
            << verbose.out;
    }
}

struct BadRun {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;  // a piece of what standard error must say
};

void PrintTo(const BadRun& run, std::ostream* os) { *os << run.name; }

class CliBadRun : public ::testing::TestWithParam<BadRun> {};

TEST_P(CliBadRun, IsRefusedWithAMessageAndTouchesNothing) {
    TempDir dir;
    CProject project;
    project.SetDefaults();
    const std::vector<std::uint8_t> good = StoreProjectToBytes(project);
    WriteBytes(dir / "good.dwv", good);
    std::vector<std::uint8_t> badMagic = good;
    badMagic[0] = 0;
    WriteBytes(dir / "bad-magic.dwv", badMagic);
    std::vector<std::uint8_t> badVersion = good;
    badVersion[4] = 0x2C;  // 300
    badVersion[5] = 0x01;
    WriteBytes(dir / "bad-version.dwv", badVersion);
    WriteBytes(dir / "short.dwv", std::vector<std::uint8_t>(good.begin(), good.begin() + 40));
    fs::create_directory(dir / "folder.dwv");

    const ProcessResult result = RunCli(GetParam().args, dir.path());
    EXPECT_EQ(result.status, GetParam().status) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    // Nothing was written, nothing was changed.
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
    EXPECT_FALSE(fs::exists(dir / "new.dwv"));
    std::ifstream file(dir / "good.dwv", std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {}), good);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliBadRun,
    ::testing::Values(
        BadRun{"NoSubcommand", {}, 2, "subcommand"},
        BadRun{"UnknownSubcommand", {"play", "x.dwv"}, 2, "unknown command play"},
        BadRun{"UnknownOption", {"render", "-o", "out.wav", "--speed", "2"}, 2, "--speed"},
        BadRun{"RenderWithoutOutput", {"render", "a.wav"}, 2, "--output"},
        BadRun{"QualityAboveRange", {"render", "-o", "out.wav", "--quality", "4"}, 2, "0 to 3"},
        BadRun{"LengthBelowRange", {"render", "-o", "out.wav", "--length", "9"}, 2, "10 to 3599"},
        BadRun{"LengthAboveRange", {"render", "-o", "out.wav", "--length", "3600"}, 2, "10 to 3599"},
        BadRun{"LengthNotANumber", {"render", "-o", "out.wav", "--length", "long"}, 2, "--length"},
        BadRun{"VolumeAboveRange", {"render", "-o", "out.wav", "--volume", "1.5"}, 2, "--volume"},
        BadRun{"VolumeNegative", {"render", "-o", "out.wav", "--volume=-0.1"}, 2, "--volume"},
        BadRun{"ThreadsZero", {"render", "-o", "out.wav", "--threads", "0"}, 2, "1 to 1024"},
        BadRun{"SeedTooLarge", {"render", "-o", "out.wav", "--seed", "4294967296"}, 2, "0 to 4294967295"},
        BadRun{"SeedNotANumber", {"render", "-o", "out.wav", "--seed", "x1"}, 2, "--seed"},
        BadRun{"InfoWithoutFile", {"info"}, 2, "PROJECT"},
        BadRun{"InfoMissingFile", {"info", "missing.dwv"}, 1,
               "driftwell-cli: Cannot open the project file missing.dwv: No such file or directory.\n"},
        BadRun{"InfoFolder", {"info", "folder.dwv"}, 1,
               "driftwell-cli: Cannot open the project file folder.dwv: Is a directory.\n"},
        BadRun{"InfoWrongMagic", {"info", "bad-magic.dwv"}, 1,
               "driftwell-cli: The project file bad-magic.dwv was not loaded: it is not a Driftwell project.\n"},
        BadRun{"InfoWrongVersion", {"info", "bad-version.dwv"}, 1, "Project version number is not sipported."},
        BadRun{"InfoCutShort", {"info", "short.dwv"}, 1,
               "driftwell-cli: The project file short.dwv was not loaded: it ends early (it may have been cut short).\n"},
        BadRun{"NewInMissingFolder", {"new", "no/such/folder/new.dwv"}, 1, "new.dwv"},
        BadRun{"NewFadeAboveRange", {"new", "new.dwv", "--fade-in", "11"}, 2, "--fade-in"},
        BadRun{"NewTrimBackwards", {"new", "new.dwv", "--trim-start", "0.6", "--trim-end", "0.4"}, 2,
               "--trim-start must be below --trim-end"},
        BadRun{"NewMusicShorterThanTheMotif", {"new", "new.dwv", "--length", "12", "--motif-length", "15"}, 2,
               "the music cannot be shorter than the base motif"},
        BadRun{"RenderEffectAboveRange", {"render", "-o", "out.wav", "--reverb", "2"}, 2, "--reverb"},
        // Numbers are finite and decimal: NaN slipped through every range
        // (all its comparisons are false), and hex and padding were read.
        BadRun{"LoudnessNan", {"render", "-o", "out.wav", "--loudness", "nan"}, 2, "--loudness: Value nan is not a number"},
        BadRun{"TruePeakNan", {"render", "-o", "out.wav", "--true-peak", "nan"}, 2, "--true-peak: Value nan is not a number"},
        BadRun{"TruePeakInfinite", {"render", "-o", "out.wav", "--true-peak=-inf"}, 2, "is not a number"},
        BadRun{"VolumeNan", {"render", "-o", "out.wav", "--volume", "NaN"}, 2, "--volume: Value NaN is not a number"},
        BadRun{"LoudnessHugeExponent", {"render", "-o", "out.wav", "--loudness=-1e999"}, 2, "not in range -70 to 0"},
        BadRun{"ThreadsWithASpace", {"render", "-o", "out.wav", "--threads", "5 "}, 2, "Value 5  is not a number"},
        BadRun{"SeedWithAComma", {"render", "-o", "out.wav", "--seed", "1,5"}, 2, "Value 1,5 is not a number"},
        BadRun{"LengthInHex", {"render", "-o", "out.wav", "--length", "0x10"}, 2, "Value 0x10 is not a number"},
        BadRun{"MotifLengthInHex", {"new", "new.dwv", "--motif-length", "0x4"}, 2, "is not a number"},
        // Empty values name nothing.
        BadRun{"EmptyFormat", {"render", "-o", "out.wav", "--format", ""}, 2, "--format: an empty value is not allowed"},
        BadRun{"EmptyBitrate", {"render", "-o", "out.wav", "--bitrate", ""}, 2, "--bitrate: an empty value"},
        BadRun{"EmptyCompression", {"render", "-o", "out.wav", "--compression", ""}, 2, "--compression: an empty value"},
        BadRun{"EmptyPlan", {"render", "-o", "out.wav", "--plan", ""}, 2, "--plan: an empty value"},
        BadRun{"EmptySaveProject", {"render", "-o", "out.wav", "--save-project", ""}, 2, "--save-project: an empty"},
        BadRun{"EmptyOutput", {"render", "-o", ""}, 2, "--output: an empty value"},
        // Switches that contradict each other.
        BadRun{"ReverbAmountAndNoReverb", {"render", "-o", "out.wav", "--reverb", "1", "--no-reverb"}, 2, "excludes"},
        BadRun{"LoopAndNoLoop", {"new", "new.dwv", "--loop", "--no-loop"}, 2, "excludes"},
        BadRun{"TitleNotUtf8", {"render", "-o", "out.wav", "--title", "caf\xE9"}, 2, "--title: the text is not valid UTF-8"},
        // A value with terminal escapes is shown escaped.
        BadRun{"EscapesInAValue", {"render", "-o", "out.wav", "--seed", "\x1B]0;PWNED\x07\x1B[2J"}, 2,
               "Value \\e]0;PWNED\\x07\\e[2J is not a number"}),
    [](const ::testing::TestParamInfo<BadRun>& param) { return std::string(param.param.name); });

// Reproducible-build tools expect a malformed SOURCE_DATE_EPOCH to stop the
// build, not to be replaced by the clock without a word.
TEST(CliUsage, AMalformedSourceDateEpochIsRefused) {
    TempDir dir;
    for (const char* value : {"abc", "12x", " 5", "-3", ""}) {
        SCOPED_TRACE(value);
        ::setenv("SOURCE_DATE_EPOCH", value, 1);
        const ProcessResult r = RunCli({"render", "-o", "out.wav", "--length", "10"}, dir.path());
        ::unsetenv("SOURCE_DATE_EPOCH");
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("SOURCE_DATE_EPOCH must be a whole number of seconds"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.wav"));
    }
}

}  // namespace
}  // namespace dw::cli::test
