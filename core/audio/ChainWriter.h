#pragma once
// Writing a chain of variations (core/engine/Chain.h) to a sound file piece
// by piece, in bounded memory: while piece k is finished (effects, loudness),
// crossfaded and encoded on the calling thread, piece k + 1 is created on a
// job of the worker pool. Two engines take turns, so their two music buffers
// are made once and reused for every later piece: whatever the length, the
// music held is two pieces, the crossfade's frames and the encoder's blocks.
//
// Every piece is finished as a single render is (FinishForFile), with the
// same loudness target under the true-peak ceiling, so the levels stay even
// across the chain. The project's fades are the chain's (ChainPlan); pieces
// are created without them and without looping.
//
// Progress (by the frames written) and cancel go through IProgress on the
// calling thread; the engine's messages are passed on there too. A cancel
// stops the creation ahead at its next check. The file is all or nothing
// (SoundStream.h). For the command line now, for the program later.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/audio/Export.h"
#include "core/audio/FileTags.h"
#include "core/audio/Mastering.h"
#include "core/audio/VorbisComments.h"
#include "core/engine/Chain.h"
#include "core/model/Progress.h"

namespace dw {

class CProject;

struct ChainRequest {
    ChainPlan plan;            // seed, lengths and fades in frames at the project's rate
    std::uint64_t from = 0;    // the first frame of the chain written
    std::filesystem::path target;
    SoundFormat format;
    EncoderSettings encoder;
    TagRequest tags;           // seed: the chain's; `extra` is followed by the chain's settings
    FinishOptions finish;      // `lossy` is taken from the format
    unsigned threads = 0;      // creation threads; 0: one per core
    std::uint64_t allocationLimitBytes = 0;  // per creation, as CreateOptions has it
    bool flacOnOneThread = false;  // as StreamOptions has it: for the benchmark's comparison
    // Called on the calling thread as each piece starts being worked on; may be empty.
    std::function<void(std::uint64_t piece, std::uint32_t seed)> onPiece;
};

// Wall time of the stages, summed over the pieces. Creation runs on its own
// job beside the others, so the stages add up to more than the wall time
// when both keep busy.
struct ChainStageSeconds {
    double creation = 0.0;
    double finishing = 0.0;
    double encoding = 0.0;   // encoding and writing (FLAC: the pool encodes, the writer takes part)
    double waiting = 0.0;    // the writing side waiting for the next piece
};

struct ChainReport {
    WriteResult result = WriteResult::Failed;
    WriteError error;          // a failed write
    std::string problem;       // a piece not created or not finished
    bool readerGone = false;   // the write failed because a pipe's reader closed it
    bool rf64 = false;
    std::uint64_t pieces = 0;  // pieces created
    std::uint64_t frames = 0;  // frames written
    ChainStageSeconds seconds;
    FinishReport lastFinish;   // what the finishing did to the last piece
};

// The chain of the project (its decoded source, its settings) as `request`
// says, written to its target.
ChainReport WriteChain(CProject& project, const ChainRequest& request, IProgress& progress);

// The comment's words for a chain: "chain of 48 pieces of 600 s from seed
// 1234, crossfade 30 s, piece seeds splitmix64".
std::string ChainComment(const ChainPlan& plan, std::uint32_t sampleRate);

// The chapter marks of a chain of known length written from frame `from`:
// one per piece that sounds there, at its start in the written file (the
// first at 0), named by its number and seed ("piece 2, seed 1234"). None
// where only one piece sounds, and none for an endless chain: the marks go into the stream's header, written
// before the music, and an endless chain's pieces have no count.
std::vector<VorbisComment> ChainChapters(const ChainPlan& plan, std::uint64_t from, std::uint32_t sampleRate);

}  // namespace dw
