#pragma once
// driftwell-cli: the headless road through the same code that Play takes.
//
//   driftwell-cli render [SOURCE] [-p PROJECT.dwv] -o OUT [options]
//   driftwell-cli info PROJECT.dwv
//   driftwell-cli new PROJECT.dwv [--source FILE] [settings]
//
// Exit status: 0 on success, 1 when the work failed (a file that cannot be
// read or written, a project that is refused, a render that failed), 2 on bad
// usage (unknown option, value out of range, nothing to render), 128 + the
// signal's number when Ctrl+C (130) or SIGTERM (143) stopped it.

#include <iosfwd>

namespace dw::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;  // SIGINT
inline constexpr int kExitTerminated = 143;   // SIGTERM

// Parses the command line and runs the subcommand. Results go to `out`
// (project JSON, the seed, where the music went); progress and messages to `err`.
// `errIsTerminal` picks the progress bar over plain lines.
int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal);

}  // namespace dw::cli
