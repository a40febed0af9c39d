#pragma once
// Test support: reads a FIFO on a thread of its own for as long as the test
// holds it open. The test keeps a writing end itself, so the reader is there
// before the code under test opens the FIFO and sees the end only when the
// test says so: a writer that never opens the FIFO (or replaces it) makes the
// test fail instead of hang.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "core/base/testing/TestSupport.h"

namespace dw::test {

class FifoReader {
public:
    explicit FifoReader(const std::filesystem::path& fifo) {
        readFd_ = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // does not wait for a writer
        holdFd_ = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);              // a reader is there: does not wait
        if (readFd_ >= 0) ::fcntl(readFd_, F_SETFL, 0);                     // block from now on
        thread_ = std::thread([this] {
            char buffer[65536];
            ssize_t n = 0;
            while (readFd_ >= 0 && (n = ::read(readFd_, buffer, sizeof buffer)) > 0)
                data_.append(buffer, static_cast<std::size_t>(n));
        });
    }
    ~FifoReader() { Finish(); }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    // Lets go of the test's own end and returns everything that was read.
    const std::string& Finish() {
        if (holdFd_ >= 0) ::close(holdFd_);
        holdFd_ = -1;
        if (thread_.joinable()) thread_.join();
        if (readFd_ >= 0) ::close(readFd_);
        readFd_ = -1;
        return data_;
    }

private:
    int readFd_ = -1;
    int holdFd_ = -1;
    std::string data_;
    std::thread thread_;
};

// A FIFO named "pipe" in a fresh temporary folder, read from the start: the
// set-up of every test that writes into a pipe. The test asserts `made`.
struct FifoInTempDir {
    TempDir dir;
    std::filesystem::path path = dir / "pipe";
    bool made = ::mkfifo(path.c_str(), 0600) == 0;
    FifoReader reader{path};
};

}  // namespace dw::test
