#include "cli/RenderInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/audio/AudioLayer.h"
#include "core/base/OutputFile.h"
#include "core/base/TextEscape.h"
#include "cli/ConsoleProgress.h"
#include "core/model/Properties.h"
#include "core/model/StereoFrame.h"

namespace dw::cli {

namespace {

// The folder of temporary files, as every program takes it.
std::string TemporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

// An unnamed file in the temporary folder, or a named one removed at once
// where the file system has no unnamed ones: either way it has no name left,
// so nothing stays behind however the process ends.
int OpenSpoolFile(const std::string& folder, int& error) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        error = errno;
        return -1;
    }
    std::string name = folder + "/driftwell-stdin-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    ::unlink(name.c_str());
    return fd;
}

bool AllZero(const char* data, std::size_t size) {
    return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

int WriteAll(int fd, const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = ::write(fd, data + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

std::string Mebibytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; }

}  // namespace

SpooledInput SpoolStandardInput(std::uint64_t maxBytes) {
    if (::isatty(STDIN_FILENO) != 0)
        return {{}, "Standard input is a terminal: pipe the music source into it, or name the file."};
    const std::string folder = TemporaryFolder();
    int openError = 0;
    const int fd = OpenSpoolFile(folder, openError);
    if (fd < 0) return {{}, "Cannot hold standard input in " + EscapeForDisplay(folder) + ": " + ErrorText(openError) + "."};
    const auto fail = [fd](std::string problem) {
        ::close(fd);
        return SpooledInput{{}, std::move(problem)};
    };
    std::vector<char> block(1 << 20);
    std::uint64_t size = 0;
    for (;;) {
        if (CancelRequested()) return fail({});
        const ssize_t got = ::read(STDIN_FILENO, block.data(), block.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail("Cannot read standard input: " + ErrorText(errno) + ".");
        }
        const auto n = static_cast<std::size_t>(got);
        if (size + n > maxBytes)
            return fail("Standard input is longer than " + Mebibytes(maxBytes) + " (the longest source taken).");
        // Silence in plain samples is zeros: a block of them becomes a hole
        // in the file, which costs the disk nothing and is read back as zeros.
        if (AllZero(block.data(), n)) {
            if (::lseek(fd, got, SEEK_CUR) < 0) return fail("Cannot hold standard input: " + ErrorText(errno) + ".");
        } else if (const int err = WriteAll(fd, block.data(), n)) {
            return fail("Cannot hold standard input in " + EscapeForDisplay(folder) + ": " + ErrorText(err) + ".");
        }
        size += n;
    }
    if (size == 0) return fail("Standard input is empty: pipe the music source into it.");
    // A hole at the end is no part of the file until the size says so.
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0)
        return fail("Cannot hold standard input in " + EscapeForDisplay(folder) + ": " + ErrorText(errno) + ".");
    return {"/proc/self/fd/" + std::to_string(fd), {}};
}

std::uint64_t MaxStandardInputBytes() {
    return std::uint64_t{kMaxSourceFrameCount} * sizeof(StereoFrame) + kSourceHeaderRoom;
}

std::optional<std::uint32_t> QualityForSource(const std::string& sourcePath) {
    const std::unique_ptr<DecodeStream> stream = DecodeStream::Open(sourcePath);
    if (!stream) return std::nullopt;
    const std::uint32_t rate = stream->Info().sampleRate;
    for (std::uint32_t q = 0; q < kQualityCount; ++q)
        if (SampleRateOfQuality(q) >= rate) return q;
    return kQualityCount - 1;
}

}  // namespace dw::cli
