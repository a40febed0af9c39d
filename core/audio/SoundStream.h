#pragma once
// Writing a sound file front to back, block by block, for music too long to
// hold at once (a chain of pieces, core/audio/ChainWriter.h). The same
// formats, encoders, tags and all-or-nothing contract as WriteSoundFile
// (Export.h, base/OutputFile.h): the target becomes the file only when Finish
// succeeds; a failure, a cancel or an object destroyed before Finish leaves
// the old file as it was.
//
// FLAC goes through our chunked encoder (FlacWriter.h's FlacStream), which
// encodes on every core beside the creation of the music; every other format
// through libsndfile. `comments` (a chain's chapter marks) are added to the
// Vorbis comment of FLAC, Ogg Vorbis and Opus; the other formats have none.
// A WAV whose data would pass the 4 GiB that a RIFF header can count is
// written as RF64, libsndfile's own. A WAV (float or 16 bits) to a target that
// cannot go back (a pipe, a FIFO) is written here with its header first,
// which works because the length is known before the first byte: RIFF, or
// RF64 past the limit.
//
// Thread: the caller's, one object per file.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/audio/Export.h"
#include "core/audio/VorbisComments.h"
#include "core/model/StereoFrame.h"

namespace dw {

struct StreamOptions {
    WriteOptions write;
    // Frames (at the music's rate) that will be written; none when not known
    // (endless music: only formats that stream can take it).
    std::optional<std::uint64_t> totalFrames;
    // The Ogg serial number (Ogg Vorbis and Opus): the same number, the same bytes.
    std::uint32_t oggSerial = 1;
    // Vorbis comments after the tags (FLAC, Ogg Vorbis, Opus).
    std::vector<VorbisComment> comments;
    // FLAC through libsndfile's encoder on the calling thread, without the
    // comments: how chains were written before, for the benchmark to compare.
    bool flacOnOneThread = false;
};

class SoundStreamWriter {
public:
    SoundStreamWriter();
    ~SoundStreamWriter();
    SoundStreamWriter(const SoundStreamWriter&) = delete;
    SoundStreamWriter& operator=(const SoundStreamWriter&) = delete;

    // Opens `target` for music at `sampleRate` in `format` (checked as
    // WriteSoundFile checks it). None on success.
    std::optional<WriteError> Open(const std::filesystem::path& target, std::uint32_t sampleRate,
                                   const SoundFormat& format, const StreamOptions& options);
    // The next frames of the music.
    std::optional<WriteError> Write(std::span<const StereoFrame> frames);
    // Writes what the encoder holds back and the header, and makes the target the file.
    std::optional<WriteError> Finish();

    // True when the file is written as RF64.
    bool Rf64() const;
    // The system's error of the first failed write (EPIPE: the reader of a
    // pipe went away), 0 when none.
    int SystemError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Data bytes above which a WAV is written as RF64: 4 GiB less its header by
// default. For tests, process-wide; 0 restores the default.
void SetRf64LimitForTesting(std::uint64_t bytes);

}  // namespace dw
