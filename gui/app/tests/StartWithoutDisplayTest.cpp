// The real program asked for its help or version where there is no display
// at all (a build machine, an ssh session, help2man): it answers and ends
// without starting Qt; an unknown option is a usage error.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/testing/TestSupport.h"

extern char** environ;

namespace {

struct Ran {
    int status = -1;
    std::string out, err;
};

using dw::test::Slurp;

// Runs driftwell with `args` and an environment without any display.
Ran RunWithoutDisplay(const std::vector<std::string>& args) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.starts_with("DISPLAY=") || entry.starts_with("WAYLAND_DISPLAY=") ||
            entry.starts_with("QT_QPA_PLATFORM="))
            continue;
        env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvStrings{DW_DRIFTWELL_PATH};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    const dw::test::TempDir dir;
    const auto outPath = dir / "out", errPath = dir / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Ran ran;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int wstatus = 0;
        while (::waitpid(pid, &wstatus, 0) < 0) {
        }
        ran.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    ran.out = Slurp(outPath);
    ran.err = Slurp(errPath);
    return ran;
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;  // a piece of standard output ("" for nothing at all)
    std::string err;  // a piece of standard error ("" for nothing at all)
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class StartWithoutDisplay : public ::testing::TestWithParam<Case> {};

TEST_P(StartWithoutDisplay, AnswersWithoutAWindow) {
    const Case& c = GetParam();
    const Ran ran = RunWithoutDisplay(c.args);
    EXPECT_EQ(ran.status, c.status) << ran.err;
    if (c.out.empty()) {
        EXPECT_EQ(ran.out, "");
    } else {
        EXPECT_NE(ran.out.find(c.out), std::string::npos) << ran.out;
    }
    if (c.err.empty()) {
        EXPECT_EQ(ran.err, "") << "nothing from Qt about a missing display";
    } else {
        EXPECT_NE(ran.err.find(c.err), std::string::npos) << ran.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartWithoutDisplay,
    ::testing::Values(Case{"Help", {"--help"}, 0, "Usage: driftwell [OPTIONS] [PROJECT.dwv]", ""},
                      Case{"ShortHelp", {"-h"}, 0, "--version", ""},
                      Case{"Version", {"--version"}, 0, std::string("driftwell ") + DW_VERSION + "\n", ""},
                      Case{"UnknownOption", {"--no-such-option"}, 2, "", "driftwell: unknown option --no-such-option"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
