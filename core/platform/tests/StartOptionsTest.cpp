// The program's options, decided before Qt starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform/StartOptions.h"

namespace dw {
namespace {

struct StartCase {
    const char* name;
    std::vector<std::string> args;
    StartAction action;
    const char* text;  // a piece of what is printed; "" for none
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class StartOptions : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartOptions, DecideWhatTheProgramDoes) {
    const StartCommand command = ParseStartOptions(GetParam().args, "4.0.0");
    EXPECT_EQ(command.action, GetParam().action);
    EXPECT_NE(command.text.find(GetParam().text), std::string::npos) << command.text;
    if (GetParam().action == StartAction::Run) {
        EXPECT_EQ(command.text, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartOptions,
    ::testing::Values(
        StartCase{"Nothing", {}, StartAction::Run, ""},
        StartCase{"AProject", {"piece.dwv"}, StartAction::Run, ""},
        StartCase{"NullAudio", {"--null-audio", "piece.dwv"}, StartAction::Run, ""},
        StartCase{"Help", {"--help"}, StartAction::Help, "Usage: driftwell [OPTIONS] [PROJECT.dwv]\n"},
        StartCase{"ShortHelp", {"-h"}, StartAction::Help, "--null-audio"},
        StartCase{"HelpAfterAFile", {"piece.dwv", "--help"}, StartAction::Help, "Exit status: 0 done, 2 bad usage."},
        StartCase{"Version", {"--version"}, StartAction::Version, "driftwell 4.0.0\n"},
        StartCase{"UnknownLongOption", {"--fullscreen"}, StartAction::Usage, "driftwell: unknown option --fullscreen\n"},
        StartCase{"UnknownShortOption", {"-x", "piece.dwv"}, StartAction::Usage, "unknown option -x"},
        // Qt's own options reach Qt, with their values.
        StartCase{"QtStyleWithValue", {"-style", "fusion", "piece.dwv"}, StartAction::Run, ""},
        StartCase{"QtPlatformJoined", {"--platform=offscreen"}, StartAction::Run, ""},
        StartCase{"QtFlag", {"-reverse"}, StartAction::Run, ""},
        // A value is not read as an option, and after -- nothing is.
        StartCase{"ValueLooksLikeAnOption", {"-qwindowtitle", "--help"}, StartAction::Run, ""},
        StartCase{"AfterDoubleDash", {"--", "--help"}, StartAction::Run, ""},
        StartCase{"LoneDash", {"-"}, StartAction::Run, ""}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace dw
