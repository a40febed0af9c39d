#pragma once
// driftwell-cli: the headless road through the same code that Play takes.
//
//   driftwell-cli render [SOURCE] [-p PROJECT.dwv] -o OUT [options]
//   driftwell-cli info PROJECT.dwv
//   driftwell-cli new PROJECT.dwv
//
// Exit status: 0 on success, 1 when the work failed (a file that cannot be
// read or written, a project that is refused, a render that failed or was
// cancelled), 2 on bad usage (unknown option, value out of range, nothing to
// render).

#include <iosfwd>

namespace dw::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Parses the command line and runs the subcommand. Results go to `out`
// (project JSON, the seed, where the music went); progress and messages to `err`.
// `errIsTerminal` picks the progress bar over plain lines.
int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal);

}  // namespace dw::cli
