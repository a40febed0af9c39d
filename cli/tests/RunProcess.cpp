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

// The program starts with SIGPIPE as a shell leaves it (ending the process),
// whatever this test process has done with it.
struct DefaultSignals {
    DefaultSignals() {
        posix_spawnattr_init(&attr);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        posix_spawnattr_setsigdefault(&attr, &set);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    }
    ~DefaultSignals() { posix_spawnattr_destroy(&attr); }
    posix_spawnattr_t attr;
};

}  // namespace

int StartCli(const std::vector<std::string>& args, const std::filesystem::path& workDir, const Redirects& redirects) {
    const std::filesystem::path outPath = OutPath(workDir), errPath = ErrPath(workDir);
    CliArgv argv(args);

    int outFd = -1;
    if (!redirects.out.empty()) {
        outFd = ::open(redirects.out.c_str(), redirects.outFlags | O_CLOEXEC, 0644);
        if (outFd < 0 || ::lseek(outFd, redirects.outOffset, SEEK_SET) < 0)
            throw std::runtime_error("cannot open " + redirects.out.string());
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, redirects.in.c_str(), O_RDONLY, 0);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    DefaultSignals signals;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.program(), &actions, &signals.attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (outFd >= 0) ::close(outFd);
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

ProcessResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                     const Redirects& redirects) {
    return WaitCli(StartCli(args, workDir, redirects), workDir);
}

ProcessResult RunCliPiped(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                          const std::string& input, std::size_t keepBytes) {
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
    DefaultSignals signals;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.program(), &actions, &signals.attr, argv.data(), environ);
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
    for (ssize_t n; received.size() < keepBytes && (n = ::read(out[0], block, sizeof block)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        received.append(block, static_cast<std::size_t>(n));
    }
    if (received.size() > keepBytes) received.resize(keepBytes);
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
