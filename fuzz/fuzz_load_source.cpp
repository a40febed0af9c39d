// Feeds arbitrary bytes to the source loader as a music source file, the way
// the program and the command line load one: opened by name, decoded by
// libsndfile, resampled to the project's rate into the SourceBuffer.
//
// The bytes go into one memory file (memfd) that lives for the whole run and
// is rewritten for each input; the loader opens it through a link named with
// a sound file's extension, because the decoder also goes by the name when the
// content leaves the format open (raw MPEG streams have no signature). The
// input's first byte picks the link, the rest is the file.
//
// Beyond "no crash, leak or undefined behaviour" it checks the loader's
// promises: a loaded source has sound and only finite samples, within the
// engine's limit; a refused one leaves no buffer and says at most one thing;
// no file handle stays open either way.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/audio/SourceLoader.h"
#include "core/resources/StringTable.h"

namespace {

namespace fs = std::filesystem;

// Extensions the program offers for a source, and a few that libsndfile
// decides by content anyway.
constexpr std::array<const char*, 8> kExtensions = {".wav", ".aiff", ".flac", ".ogg", ".mp3", ".mp2", ".mp1", ".au"};

// The project's rate in the fuzzer: the lowest quality, so that a long source
// costs the least.
constexpr std::uint32_t kTargetRate = 11025;

// Sources that announce more than this at the target rate (about 6 minutes)
// are genuine work rather than a fault: they are skipped, except those past
// the engine's limit, which the loader must refuse before decoding anything.
constexpr std::uint64_t kLongestDecoded = std::uint64_t{1} << 22;

class RecordingSink final : public dw::IProgress {
public:
    void ShowMessage(int id, std::string_view, dw::MessageIcon) override {
        ++count;
        lastId = id;
    }
    void SetProgress(int percent) override {
        if (percent < 0 || percent > 100) {
            std::fprintf(stderr, "fuzz_load_source: progress %d\n", percent);
            std::abort();
        }
    }
    bool IsRunning() const override { return true; }
    int count = 0;
    int lastId = 0;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_load_source: %s\n", what);
    std::abort();
}

struct MemoryFile {
    int fd = -1;
    fs::path folder;

    MemoryFile() {
        fd = ::memfd_create("fuzz-source", MFD_CLOEXEC);
        if (fd < 0) Fail("memfd_create failed");
        std::string pattern = (fs::temp_directory_path() / "fuzz_load_source_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp failed");
        folder = pattern;
        const fs::path target = "/proc/self/fd/" + std::to_string(fd);
        for (const char* ext : kExtensions) fs::create_symlink(target, folder / (std::string("source") + ext));
    }
    ~MemoryFile() {
        std::error_code ec;
        fs::remove_all(folder, ec);
        ::close(fd);
    }

    bool Fill(const std::uint8_t* data, std::size_t size) const {
        if (::ftruncate(fd, 0) != 0) return false;
        std::size_t written = 0;
        while (written < size) {
            const ssize_t n = ::pwrite(fd, data + written, size - written, static_cast<off_t>(written));
            if (n <= 0) return false;
            written += static_cast<std::size_t>(n);
        }
        return true;
    }
};

int LowestFreeDescriptor() {
    const int fd = ::dup(0);
    if (fd >= 0) ::close(fd);
    return fd;
}

// Whether the source's announced length is one the fuzzer should decode.
bool WorthDecoding(const fs::path& path) {
    const auto stream = dw::DecodeStream::Open(path);
    if (!stream) return true;  // refused at once: cheap, and worth checking
    const dw::DecodeInfo& info = stream->Info();
    if (info.frames <= 0 || info.sampleRate == 0) return true;
    const double atTarget = static_cast<double>(info.frames) * kTargetRate / info.sampleRate;
    return atTarget <= static_cast<double>(kLongestDecoded) || atTarget > dw::kMaxSourceFrameCount;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MemoryFile file;
    if (size < 1) return 0;
    const fs::path path = file.folder / (std::string("source") + kExtensions[data[0] % kExtensions.size()]);
    if (!file.Fill(data + 1, size - 1)) Fail("cannot fill the memory file");
    // The lowest free descriptor before the loading: a handle that the
    // loading leaks takes it. (Taken here, not once for the run: libFuzzer's
    // symbolizer keeps pipes open between inputs.)
    const int firstFree = LowestFreeDescriptor();
    if (!WorthDecoding(path)) return 0;

    dw::CProperties properties;
    properties.sourcePath = path.string();
    properties.sampleRate = kTargetRate;
    RecordingSink sink;
    const bool loaded = dw::LoadSourceSamples(properties, sink);
    // DW_FUZZ_VERBOSE=1 tells what became of each input (seeds that must load).
    static const bool verbose = std::getenv("DW_FUZZ_VERBOSE") != nullptr;
    if (verbose)
        std::fprintf(stderr, "fuzz_load_source: %s %s, %u frames, message %d\n", path.filename().c_str(),
                     loaded ? "loaded" : "refused", properties.sourceFrameCount, sink.lastId);
    if (loaded) {
        if (!properties.sourceFrames || properties.sourceFrameCount == 0) Fail("a loaded source has no frames");
        if (properties.sourceFrameCount > dw::kMaxSourceFrameCount) Fail("a loaded source is longer than the engine takes");
        const auto* samples = reinterpret_cast<const float*>(properties.sourceFrames.get());
        for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(properties.sourceFrameCount); ++i)
            if (!std::isfinite(samples[i])) Fail("a loaded source holds a sample that is not a number");
        if (sink.count > 2) Fail("a loaded source gave more than its two warnings");
        if (sink.count > 0 && sink.lastId != dw::IDS_SOURCE_SHORTER_THAN_ANNOUNCED && sink.lastId != dw::IDS_SOURCE_SILENT)
            Fail("a loaded source gave a message that is not a warning");
    } else {
        if (properties.sourceFrames || properties.sourceFrameCount != 0) Fail("a refused source left a buffer");
        if (sink.count > 1) Fail("a refused source gave more than one message");
    }
    if (LowestFreeDescriptor() != firstFree) Fail("a file handle stayed open");
    return 0;
}
