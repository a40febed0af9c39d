#include "cli/RenderInput.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "core/audio/AudioLayer.h"
#include "core/base/OutputFile.h"
#include "cli/ConsoleProgress.h"
#include "core/model/Properties.h"

namespace dw::cli {

SpooledInput SpoolStandardInput() {
    if (::isatty(STDIN_FILENO) != 0)
        return {{}, "Standard input is a terminal: pipe the music source into it, or name the file."};
    const int fd = ::memfd_create("driftwell-source", MFD_CLOEXEC);
    if (fd < 0) return {{}, "Cannot hold standard input: " + ErrorText(errno) + "."};
    std::vector<char> block(1 << 20);
    for (;;) {
        if (CancelRequested()) {
            ::close(fd);
            return {};
        }
        const ssize_t got = ::read(STDIN_FILENO, block.data(), block.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return {{}, "Cannot read standard input: " + ErrorText(err) + "."};
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(fd, block.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                const int err = put < 0 ? errno : ENOSPC;
                ::close(fd);
                return {{}, "Cannot hold standard input: " + ErrorText(err) + "."};
            }
            done += put;
        }
    }
    if (::lseek(fd, 0, SEEK_END) == 0) {
        ::close(fd);
        return {{}, "Standard input is empty: pipe the music source into it."};
    }
    return {"/proc/self/fd/" + std::to_string(fd), {}};
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
