// driftwell-cli against sources that lie and names that attack the terminal:
// a header announcing far more than the file holds costs no memory and is
// told, and whatever a file or project names is never printed with its
// control characters raw.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/tests/RunProcess.h"
#include "cli/tests/TestSounds.h"
#include "core/model/ProjectFile.h"

namespace dw::cli::test {
namespace {

namespace fs = std::filesystem;

class NullSink final : public IMessageSink {
public:
    void ShowMessage(int, std::string_view, MessageIcon) override {}
};

// One second of a 440 Hz tone (or silence), 16-bit stereo FLAC at 22050 Hz,
// whose STREAMINFO then announces `claimed` frames (0: the truth).
void WriteFlac(const fs::path& path, std::uint64_t claimed, double level = 0.5) {
    std::vector<float> data(2 * 22050);
    for (std::size_t i = 0; i < 22050; ++i)
        data[2 * i] = data[2 * i + 1] = static_cast<float>(level * std::sin(2.0 * M_PI * 440.0 * i / 22050.0));
    WriteStereo16(path, SF_FORMAT_FLAC, 22050, data);
    if (claimed == 0 || ::testing::Test::HasFatalFailure()) return;
    // "fLaC", the block header (4 bytes), then STREAMINFO: its 36-bit total
    // of frames is the low nibble of byte 21 and bytes 22 to 25.
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    char b21 = 0;
    f.seekg(21);
    f.get(b21);
    const char patch[5] = {static_cast<char>((b21 & 0xF0) | ((claimed >> 32) & 0x0F)), static_cast<char>(claimed >> 24),
                           static_cast<char>(claimed >> 16), static_cast<char>(claimed >> 8), static_cast<char>(claimed)};
    f.seekp(21);
    f.write(patch, 5);
}

// A valid 16-bit mono WAV at 1 Hz: 30000 frames (60 KB) that become more
// than 330 million frames at any of the project's rates.
void WriteWavAtOneHertz(const fs::path& path) {
    const std::uint32_t frames = 30000, rate = 1, dataBytes = frames * 2;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) out.put(static_cast<char>(v >> (8 * i))); };
    auto u16 = [&](std::uint16_t v) { for (int i = 0; i < 2; ++i) out.put(static_cast<char>(v >> (8 * i))); };
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);         // PCM
    u16(1);         // mono
    u32(rate);
    u32(rate * 2);  // bytes per second
    u16(2);         // block align
    u16(16);        // bits
    out.write("data", 4);
    u32(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) u16(static_cast<std::uint16_t>(i % 2 ? 8000 : -8000));
}

// ------------------------------------------------------------------ lying headers

struct LyingCase {
    const char* name;
    void (*make)(const fs::path& path);
    int status;
    const char* message;  // on standard error
};

void PrintTo(const LyingCase& c, std::ostream* os) { *os << c.name; }

class LyingSource : public ::testing::TestWithParam<LyingCase> {};

// The peak memory is the child's own, as the kernel counted it; 300 MiB is
// far above what a 10 s render at 11025 Hz needs and far below what the
// headers claim (2 to 8 GB).
TEST_P(LyingSource, CostsNoMemoryAndIsTold) {
    TempDir dir;
    const fs::path source = dir / (std::string("source") + (GetParam().make == WriteWavAtOneHertz ? ".wav" : ".flac"));
    GetParam().make(source);
    const ProcessResult result =
        RunCli({"render", source.string(), "-o", "out.wav", "--length", "10", "--quality", "0", "--seed", "1"},
               dir.path());
    EXPECT_EQ(result.status, GetParam().status) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(source.string()), std::string::npos) << "the message names the file: " << result.err;
    EXPECT_LT(result.peakRssKiB, 300 * 1024) << "peak resident memory in KiB";
    EXPECT_EQ(fs::exists(dir / "out.wav"), GetParam().status == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LyingSource,
    ::testing::Values(
        LyingCase{"FlacOfOneSecondClaimingABillionFrames", [](const fs::path& p) { WriteFlac(p, 1000000000); }, 1,
                  ": it is longer than the program can hold.\n"},
        LyingCase{"WavAtOneHertz", WriteWavAtOneHertz, 1, ": it is longer than the program can hold.\n"},
        // 100 million frames at 22050 Hz: 50 million (400 MB) at 11025 Hz,
        // within what the engine takes, so it decodes what is there.
        LyingCase{"FlacOfOneSecondClaimingOneHundredMillionFrames",
                  [](const fs::path& p) { WriteFlac(p, 100000000); }, 0,
                  "Warning: The music source holds far less sound than its header announces"},
        LyingCase{"SilentFlac", [](const fs::path& p) { WriteFlac(p, 0, 0.0); }, 0,
                  "Warning: The music source is silent"}),
    [](const ::testing::TestParamInfo<LyingCase>& param) { return std::string(param.param.name); });

// ------------------------------------------------------------------ control characters

// What a terminal acts on: C0 controls but the line ends of the messages
// themselves, DEL, ESC-less C1 controls in UTF-8 (U+0080..U+009F) and the
// raw bytes 0x80..0x9F that some terminals still read as C1.
std::string RawControls(const std::string& text) {
    std::string found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        if ((b < 0x20 && b != '\n') || b == 0x7F || (b == 0xC2 && next >= 0x80 && next <= 0x9F)) {
            found += "byte " + std::to_string(b) + " at " + std::to_string(i) + "; ";
        } else if (b >= 0x80 && b <= 0x9F) {
            // a continuation byte is fine only after a lead byte; the texts here
            // hold no other non-ASCII character, so every one is raw.
            if (i == 0 || static_cast<unsigned char>(text[i - 1]) < 0xC0)
                found += "byte " + std::to_string(b) + " at " + std::to_string(i) + "; ";
        }
    }
    return found;
}

struct NameCase {
    const char* name;
    std::string hostile;  // part of the source's file name
    const char* shown;    // how the messages write it
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class HostileName : public ::testing::TestWithParam<NameCase> {};

// The project names a source that does not exist: the failure names it.
TEST_P(HostileName, IsEscapedInEveryMessageAndInTheJson) {
    TempDir dir;
    CProject project;
    project.SetDefaults();
    project.properties.sourcePath = "music" + GetParam().hostile + ".wav";
    NullSink sink;
    ASSERT_TRUE(StoreProject(project, dir / "p.dwv", sink));

    const ProcessResult render =
        RunCli({"render", "-p", "p.dwv", "-o", "out.wav", "--length", "10", "--quality", "0", "--seed", "1"}, dir.path());
    EXPECT_EQ(render.status, 1) << render.err;
    EXPECT_EQ(RawControls(render.err), "") << render.err;
    EXPECT_EQ(RawControls(render.out), "") << render.out;
    EXPECT_NE(render.err.find(std::string("music") + GetParam().shown + ".wav"), std::string::npos) << render.err;

    const ProcessResult info = RunCli({"info", "p.dwv"}, dir.path());
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(RawControls(info.out), "") << info.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileName,
    ::testing::Values(NameCase{"TerminalTitle", "\x1b]0;owned\x07", "\\e]0;owned\\x07"},
                      NameCase{"ClearScreen", "\x1b[2J\x1b[H", "\\e[2J\\e[H"},
                      NameCase{"ForgedMessageLine", "\ndriftwell-cli: all is well\r", "\\ndriftwell-cli: all is well\\r"},
                      NameCase{"Nul", std::string("a\0b", 3), "a\\x00b"},
                      NameCase{"Delete", "\x7f", "\\x7F"},
                      NameCase{"EightBitCsiInUtf8", "\xc2\x9b" "31m", "\\u{009B}31m"},
                      // A project stores its paths as UTF-16: a lone byte comes back replaced.
                      NameCase{"EightBitCsiAsAByte", "\x9b" "31m", "\xef\xbf\xbd" "31m"}),
    [](const ::testing::TestParamInfo<NameCase>& param) { return std::string(param.param.name); });

// What a terminal acts on or reorders, and what is not text at all: C0
// controls but the messages' own line ends, DEL, C1 controls (as UTF-8 or as
// a lone byte), the bidirectional controls, and any byte that is not valid
// UTF-8. Empty when `text` holds none.
std::string UnsafeForATerminal(const std::string& text) {
    std::string found;
    auto note = [&found](const char* what, std::size_t at) { found += std::string(what) + " at " + std::to_string(at) + "; "; };
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            if ((b < 0x20 && b != '\n') || b == 0x7F) note("C0 or DEL", i);
            ++i;
            continue;
        }
        const std::size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
        if (length == 0 || i + length > text.size()) {
            note("invalid UTF-8", i);
            ++i;
            continue;
        }
        char32_t c = b & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        bool valid = true;
        for (std::size_t k = 1; k < length; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            valid = valid && (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3F);
        }
        if (!valid || (length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF)) {
            note("invalid UTF-8", i);
            ++i;
            continue;
        }
        if (c >= 0x80 && c <= 0x9F) note("C1", i);
        if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x61C)
            note("bidirectional control", i);
        i += length;
    }
    return found;
}

// Every kind of control a name or a value may carry.
struct ControlKind {
    const char* name;
    std::string text;
};
const ControlKind kControlKinds[] = {
    {"Bell", "\x07"},
    {"Newline", "\n"},
    {"EscapeSequence", "\x1b[2J\x1b]0;owned\x07"},
    {"Delete", "\x7f"},
    {"C1InUtf8", "\xc2\x9b"},
    {"C1AsAByte", "\x9b"},
    {"RightToLeftOverride", "\xe2\x80\xae"},
    {"LeftToRightIsolate", "\xe2\x81\xa6"},
    {"RightToLeftMark", "\xe2\x80\x8f"},
    {"ArabicLetterMark", "\xd8\x9c"},
    {"InvalidUtf8", "\xff\xc0\x80"},
};

// Where such text reaches the command line: values of numeric options (usage
// errors, worded by the option parser), and the names of the files it is
// asked to read or write.
struct ControlPath {
    const char* name;
    std::vector<std::string> (*args)(const std::string& hostile);
    int status;
};
const ControlPath kControlPaths[] = {
    {"Seed", [](const std::string& h) { return std::vector<std::string>{"render", "-o", "out.wav", "--seed", "1" + h}; }, 2},
    {"Length", [](const std::string& h) { return std::vector<std::string>{"render", "-o", "out.wav", "--length", h}; }, 2},
    {"Volume", [](const std::string& h) { return std::vector<std::string>{"render", "-o", "out.wav", "--volume", "0.5" + h}; }, 2},
    {"Bitrate", [](const std::string& h) { return std::vector<std::string>{"render", "-o", "out.mp3", "--bitrate", h + "9"}; }, 2},
    {"UnknownOption", [](const std::string& h) { return std::vector<std::string>{"render", "--x" + h, "-o", "out.wav"}; }, 2},
    {"OutputExtension", [](const std::string& h) { return std::vector<std::string>{"render", "tone.flac", "-o", "out." + h}; }, 2},
    {"SourceFile", [](const std::string& h) { return std::vector<std::string>{"render", "in" + h + ".wav", "-o", "out.wav"}; }, 1},
    {"OutputFolder", [](const std::string& h) { return std::vector<std::string>{"render", "tone.flac", "-o", "no" + h + "/out.wav"}; }, 1},
    {"ProjectFile", [](const std::string& h) { return std::vector<std::string>{"info", "p" + h + ".dwv"}; }, 1},
};

class ControlsInArguments
    : public ::testing::TestWithParam<std::tuple<ControlKind, ControlPath>> {};

TEST_P(ControlsInArguments, NeverReachTheTerminalRaw) {
    const auto& [kind, path] = GetParam();
    TempDir dir;
    WriteFlac(dir / "tone.flac", 0);
    const ProcessResult result = RunCli(path.args(kind.text), dir.path());
    EXPECT_EQ(result.status, path.status) << result.err;
    EXPECT_FALSE(result.err.empty()) << "the failure is told";
    EXPECT_EQ(UnsafeForATerminal(result.err), "") << result.err;
    EXPECT_EQ(UnsafeForATerminal(result.out), "") << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ControlsInArguments, ::testing::Combine(::testing::ValuesIn(kControlKinds), ::testing::ValuesIn(kControlPaths)),
    [](const ::testing::TestParamInfo<std::tuple<ControlKind, ControlPath>>& p) {
        return std::string(std::get<1>(p.param).name) + "_" + std::get<0>(p.param).name;
    });

// A render that works reports the names it wrote and read, escaped too.
TEST(HostileNameRender, WritingAndWroteLinesShowTheNamesEscaped) {
    TempDir dir;
    WriteFlac(dir / "tone.flac", 0);
    const std::string output = "out\x1b]0;owned\x07.wav";
    const ProcessResult result =
        RunCli({"render", "tone.flac", "-o", output, "--length", "10", "--quality", "0", "--seed", "1"}, dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(dir / output)) << "the file itself has the name asked for";
    EXPECT_EQ(RawControls(result.err), "") << result.err;
    EXPECT_EQ(RawControls(result.out), "") << result.out;
    EXPECT_NE(result.out.find("Wrote out\\e]0;owned\\x07.wav"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("Writing out\\e]0;owned\\x07.wav"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace dw::cli::test
