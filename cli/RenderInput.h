#pragma once
// What `render` does with its source before decoding it: standard input is
// copied into a temporary file so that the decoder can seek in it, and without
// a project or --quality the source's rate chooses the quality.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/model/Progress.h"

namespace dw::cli {

// Room for a header and tags in front of the samples.
inline constexpr std::uint64_t kSourceHeaderRoom = std::uint64_t{1} << 20;

// The most standard input may bring: the longest source the engine takes
// (kMaxSourceFrameCount frames) as two channels of 32-bit floats, the widest
// usual form of plain samples, plus the header's room. A source that holds
// more is longer than anything the engine would take from it.
std::uint64_t MaxStandardInputBytes();

// Standard input copied into an unnamed file on disk, in $TMPDIR or /tmp, so
// that the decoder can seek in it (it reads headers and ends first); the
// decoder opens it through its /proc name. The file lives until the process
// ends and leaves nothing behind. On disk, not in memory: memory given to a
// file escapes the limits a user sets on the process. More than `maxBytes`
// is refused as soon as it arrives, so an endless stream (/dev/zero) stops
// at once instead of filling the disk.
struct SpooledInput {
    std::string path;     // empty on failure or cancel
    std::string problem;  // why, on failure (empty for a cancel)
};
SpooledInput SpoolStandardInput(std::uint64_t maxBytes = MaxStandardInputBytes());

// The quality whose rate is the source's own when it is one of the four,
// otherwise the next higher one (the highest above 48000 Hz), so that nothing
// is lost nor made up. None when the source cannot be opened: the decoding
// then says why.
std::optional<std::uint32_t> QualityForSource(const std::string& sourcePath);

// Passes progress and cancel on, but keeps the loader's messages: the
// command line words its own one-line message from SourceFailure.
class QuietMessages final : public IProgress {
public:
    explicit QuietMessages(IProgress& inner) : inner_(inner) {}
    void SetProgress(int percent) override { inner_.SetProgress(percent); }
    bool IsRunning() const override { return inner_.IsRunning(); }
    void ShowMessage(int, std::string_view, MessageIcon) override {}

private:
    IProgress& inner_;
};

}  // namespace dw::cli
