#pragma once
// Runs driftwell-cli as a child process for the end-to-end tests and collects
// its exit status and both output streams.

#include "core/base/testing/TestSupport.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dw::cli::test {

struct ProcessResult {
    int status = -1;  // exit status; 128 + signal number when killed
    std::string out;
    std::string err;
    long peakRssKiB = 0;  // the child's peak resident memory (getrusage's ru_maxrss)
};

// Where the program's standard input and output go, as the shell's <, >,
// >> and 1<> set them: a file opened with `outFlags` and moved to
// `outOffset` before the program starts. An empty `out` collects standard
// output into ProcessResult::out.
struct Redirects {
    std::filesystem::path in = "/dev/null";
    std::filesystem::path out;
    int outFlags = 0;
    long outOffset = 0;
};

// Runs the built driftwell-cli with `args` in `workDir`, stdin from /dev/null.
ProcessResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& workDir);
// The same with standard input and output where `redirects` says.
ProcessResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                     const Redirects& redirects);

// The same with standard input and output as pipes: `input` is fed to it
// (then closed), and `out` holds what came through the pipe. A reader that
// wants only `keepBytes` closes its end once it has them, as `head -c` does.
ProcessResult RunCliPiped(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                          const std::string& input, std::size_t keepBytes = std::string::npos);

// The same in two steps, for tests that act on the running program.
int StartCli(const std::vector<std::string>& args, const std::filesystem::path& workDir,
             const Redirects& redirects = {});
ProcessResult WaitCli(int pid, const std::filesystem::path& workDir);
// What the running program has written to standard error so far.
std::string ErrorSoFar(const std::filesystem::path& workDir);
// Waits until the running program has written `text` to standard error, or
// `limit` has passed, for tests that must act at a given stage; says whether
// the text came.
bool WaitForError(const std::filesystem::path& workDir, std::string_view text, std::chrono::seconds limit);

// A fresh empty folder, removed with everything in it when the object goes;
// a whole file's text.
using ::dw::test::TempDir;
inline std::string ReadText(const std::filesystem::path& path) { return ::dw::test::Slurp(path); }

}  // namespace dw::cli::test
