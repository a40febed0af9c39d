#pragma once
// FLAC (24 bits) written on every core. Inside the program only: Export.cpp
// sends FLAC here after its own checks; the tests reach the chunking.
//
// The music is cut into chunks of a whole number of FLAC blocks, encoded
// through WorkerPool::RunOrdered: each thread of the pool encodes the next
// chunk with its own libFLAC encoder into memory; the calling thread writes
// the chunks out in order, computes the MD5 of the samples as they pass,
// reports progress and hears a cancel between chunks. At most two chunks per
// thread are in flight, so memory stays small. Nothing thrown inside
// libFLAC's write callback leaves it: it is kept and thrown again once
// libFLAC has returned.
//
// libFLAC 1.5 encodes on several threads by itself. Once Debian ships it,
// this chunking (and the renumbering of frames it needs) can go in favour of
// one encoder with its thread count set.
//
// A chunk's encoder numbers its frames from 0, so each frame's header is given
// its place in the whole stream (with both of its checksums) as it arrives.
// Only a stream's last frame may be shorter than its block size, which is why
// every chunk but the last holds whole blocks.
//
// The file is what libsndfile wrote for a float write into 24-bit FLAC with
// clipping on: the same samples and MD5, the same encoder level for a
// compression setting, and the same Vorbis comment fields (only the software
// tag no longer ends in libsndfile's name, which no longer writes the file).

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>
#include <memory>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "core/audio/Export.h"
#include "core/audio/VorbisComments.h"

namespace dw {

class OutputFile;

// How the work is cut. The bytes never depend on `workers`. Nor on
// `blocksPerChunk`, except at levels 1 and 4, whose encoders choose the
// stereo coding once every few frames and start that count anew in each chunk.
struct FlacChunking {
    unsigned workers = 0;               // encoding threads; 0: one per core
    // FLAC blocks in a chunk, at least 1. 64 blocks of 4096 frames are 5.5 s
    // at 48000 Hz: a minute of music still makes chunks enough to keep every
    // core busy to the end, and a chunk's frames (about 1 MB) stay in cache.
    std::uint32_t blocksPerChunk = 64;
};

// Whether each chunk's encoder runs without an MD5 of its own. libFLAC
// exports the switch but no installed header declares it, so it is reached
// through a weak symbol, which stays null where a libFLAC lacks it: the
// files are the same either way, only slower (every encoder then computes
// an MD5 that nothing reads).
bool FlacChunkMd5SwitchedOff();

// One line naming the FLAC path this build runs and on how many threads,
// for `driftwell-cli --version --verbose`.
std::string FlacPathText();

// libFLAC's level (0 to 8) for our compression setting (0 to 1) as libsndfile
// maps it: the nearest eighth (a tie goes to the even level); none gives
// libsndfile's default for FLAC, libFLAC's own default level 5.
unsigned FlacLevel(std::optional<double> compression);

// A sample in 24 bits as libsndfile stores a float with clipping on: scaled
// by 2^23, rounded to the nearest (a tie to even), kept within the 24 bits.
inline std::int32_t FlacSample(float value) {
    const float scaled = value * 8388608.0f;
    if (scaled >= 8388607.0f) return 8388607;
    if (scaled <= -8388608.0f) return -8388608;
#if defined(__SSE__)
    // lrintf's own instruction, without the call that the C library's errno
    // rules cost (the value is in range here, so no error can arise).
    return _mm_cvt_ss2si(_mm_set_ss(scaled));
#else
    return static_cast<std::int32_t>(std::lrintf(scaled));
#endif
}

// Gives one encoded frame of a fixed-block-size stream the frame number
// `number` and the two checksums that go with the new header, appending it to
// `out`. False (and nothing appended) for bytes that are no such frame.
bool RenumberFlacFrame(std::span<const unsigned char> frame, std::uint32_t number, std::vector<unsigned char>& out);

// Writes `frameCount` stereo frames as FLAC `format` (24 bits, one or two
// channels at the music's rate) to `target`, through OutputFile like every
// other format, with the same results, messages' ids and reasons as
// WriteSoundFile. Expects WriteSoundFile's checks of the format and settings
// to have passed.
WriteResult WriteFlacFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                          const SoundFormat& format, IProgress& progress, WriteError& error,
                          const WriteOptions& options, const FlacChunking& chunking = {});

// The same encoding for music that comes block by block (a chain of pieces,
// SoundStream.h): the samples are gathered into a batch of chunks, two per
// thread, which the pool encodes at once while the calling thread writes them
// out in order; so the encoding keeps every core busy whatever the pieces'
// lengths. The stream info announces `totalFrames` when known (0: unknown);
// on a target that can go back, Finish puts the frame sizes, the true total
// and the MD5 into it, as WriteFlacFile does. A pipe keeps the front as
// first written. `extra` comments follow the tags in the Vorbis comment.
// Errors name the reason; SystemError() gives the system's error of a
// failed write (EPIPE: a pipe's reader went away). The file is not
// committed here: its owner does that after Finish.
class FlacStream {
public:
    FlacStream(OutputFile& file, const FlacChunking& chunking = {});
    ~FlacStream();
    FlacStream(const FlacStream&) = delete;
    FlacStream& operator=(const FlacStream&) = delete;

    std::optional<WriteError> Open(const SoundFormat& format, const WriteOptions& options,
                                   std::optional<std::uint64_t> totalFrames, const std::vector<VorbisComment>& extra);
    // `frames` frames of samples in the file's channels, interleaved.
    std::optional<WriteError> Write(const float* samples, std::size_t frames);
    std::optional<WriteError> Finish();
    int SystemError() const { return systemError_; }

private:
    std::optional<WriteError> EncodeBatch();
    std::optional<WriteError> Failed(int err);

    OutputFile& file_;
    FlacChunking chunking_;
    unsigned channels_ = 2, rate_ = 0, level_ = 5;
    std::uint32_t blockSize_ = 0;
    std::uint64_t chunkFrames_ = 0, batchFrames_ = 0;
    std::vector<float> batch_;       // samples waiting for the next batch
    std::uint64_t chunksDone_ = 0;   // chunks of the stream written
    std::uint64_t framesDone_ = 0;   // frames of the stream written
    std::vector<unsigned char> front_;
    bool md5Wanted_ = false;
    struct State;  // the MD5 and the chunks' buffers
    std::unique_ptr<State> state_;
    std::uint32_t minFrame_ = 0, maxFrame_ = 0;
    int systemError_ = 0;
};

}  // namespace dw
