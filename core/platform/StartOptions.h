#pragma once
// What `driftwell` is asked to do by its options, decided before any window
// or display exists: --help and --version print and end (also where there is
// no display at all), an option nobody knows is a usage error, and everything
// else starts the program. Qt's own options (-style, -platform, ...) pass
// through to it. No Qt here, so the table of cases is a plain test.

#include <string>
#include <vector>

namespace dw {

enum class StartAction {
    Run,      // open the main window
    Help,     // print `text` on standard output, exit 0
    Version,  // print `text` on standard output, exit 0
    Usage,    // print `text` on standard error, exit 2
};

struct StartCommand {
    StartAction action = StartAction::Run;
    std::string text;
};

inline constexpr int kStartExitUsage = 2;

// `args` without the program name; `version` as "4.0.0".
StartCommand ParseStartOptions(const std::vector<std::string>& args, const std::string& version);

}  // namespace dw
