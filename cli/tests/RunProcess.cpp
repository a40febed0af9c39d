#include "cli/tests/RunProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace dw::cli::test {

namespace {

// The command line's program and `args`, as posix_spawn takes them.
struct CliArgv {
    explicit CliArgv(const std::vector<std::string>& args) : strings{DW_CLI_PATH} {
        strings.insert(strings.end(), args.begin(), args.end());
        for (auto& a : strings) pointers.push_back(a.data());
        pointers.push_back(nullptr);
    }
    char* const* data() { return pointers.data(); }
    const char* program() const { return strings.front().c_str(); }
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

std::filesystem::path OutPath(const std::filesystem::path& workDir) { return workDir / ".cli-stdout"; }
std::filesystem::path ErrPath(const std::filesystem::path& workDir) { return workDir / ".cli-stderr"; }

}  // namespace

int StartCli(const std::vector<std::string>& args, const std::filesystem::path& workDir) {
    const std::filesystem::path outPath = OutPath(workDir), errPath = ErrPath(workDir);
    CliArgv argv(args);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.program(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error(std::string("cannot start ") + argv.program());
    return pid;
}

ProcessResult WaitCli(int pid, const std::filesystem::path& workDir) {
    int wstatus = 0;
    struct rusage usage {};
    while (wait4(pid, &wstatus, 0, &usage) < 0) {
    }
    ProcessResult result;
    result.peakRssKiB = usage.ru_maxrss;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = ReadText(OutPath(workDir));
    result.err = ReadText(ErrPath(workDir));
    std::filesystem::remove(OutPath(workDir));
    std::filesystem::remove(ErrPath(workDir));
    return result;
}

std::string ErrorSoFar(const std::filesystem::path& workDir) { return ReadText(ErrPath(workDir)); }

bool WaitForError(const std::filesystem::path& workDir, std::string_view text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ErrorSoFar(workDir).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

ProcessResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& workDir) {
    return WaitCli(StartCli(args, workDir), workDir);
}

ProcessResult RunCliPiped(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                          const std::string& input) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    CliArgv argv(args);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, ErrPath(workDir).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.program(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (spawned != 0) throw std::runtime_error(std::string("cannot start ") + argv.program());

    // A reader that stops early must not kill the test with SIGPIPE.
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    std::thread feeder([fd = in[1], &input] {
        for (std::size_t done = 0; done < input.size();) {
            const ssize_t n = ::write(fd, input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
    std::string received;
    char block[65536];
    for (ssize_t n; (n = ::read(out[0], block, sizeof block)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        received.append(block, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    feeder.join();
    ::signal(SIGPIPE, previous);

    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
    }
    ProcessResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = std::move(received);
    result.err = ReadText(ErrPath(workDir));
    std::filesystem::remove(ErrPath(workDir));
    return result;
}

}  // namespace dw::cli::test
