#pragma once
// Source loading: the music source file is decoded, turned into float stereo
// and resampled to the project's `sampleRate`, block by block, into the
// properties' `sourceFrames` (the SourceBuffer).
//
// Runs on the thread that calls it (the user-interface thread inside the
// loading progress dialog, or the command line); progress, cancel and the
// messages go through `IProgress`.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/audio/AudioLayer.h"
#include "core/model/Progress.h"
#include "core/model/Properties.h"

namespace dw {

// What one decoding knows about its source; lives only during the decoding.
struct SourceInfo {
    std::uint32_t sourceRate = 0;     // the file's own rate, Hz
    std::int64_t sourceFrames = 0;    // length of the file in frames at sourceRate
    std::uint32_t targetRate = 0;     // `sampleRate`, Hz
    double rateRatio = 0.0;           // sourceRate / targetRate
    std::unique_ptr<DecodeStream> decodeStream;
    std::unique_ptr<ResampleStream> resampler;  // reads from decodeStream

    // Frees both streams (the resampler first: it reads from the decoder).
    void FreeStreams() {
        resampler.reset();
        decodeStream.reset();
    }
    ~SourceInfo() { FreeStreams(); }
};

// Why a loading failed, for callers that word their own one-line message
// (the command line): the id of the message the loader showed and, where the
// system or the decoder gave one, its reason ("Permission denied",
// "Format not recognised"). Empty after a cancel.
struct SourceFailure {
    int messageId = 0;
    std::string reason;
};

// Opens `sourcePath` as a decode stream with a resampler to `targetRate`.
// On failure shows its message, fills `failure` when given, and leaves no
// stream open.
bool OpenSource(std::uint32_t targetRate, const std::string& sourcePath, SourceInfo& info, IMessageSink& messages,
                SourceFailure* failure = nullptr);

// What a loading that succeeded has to say about its source: string ids of
// warnings (IDS_SOURCE_SHORTER_THAN_ANNOUNCED, IDS_SOURCE_SILENT), in the
// order they were found.
using SourceWarnings = std::vector<int>;

// Decodes `properties.sourcePath` at `properties.sampleRate` into
// `sourceFrames` / `sourceFrameCount`. True when the source was read to its
// end and the user did not cancel.
//
// A header cannot make us allocate what the file does not hold: a source whose
// announced length exceeds kMaxSourceFrameCount at the target rate is refused
// before anything is allocated, and the buffer grows in blocks as frames
// actually arrive. A source that ends a little before its announced length
// keeps that length, silent at the end; one that ends far before it keeps only
// what was read, with a warning. A silent source loads with a warning.
// Warnings go to `warnings` when given (to be shown once the loading is over),
// otherwise to `progress` at the end. Never touches `sourceLoaded` or
// `sourcePath`; see DecodeSource for the whole step.
bool LoadSourceSamples(CProperties& properties, IProgress& progress, SourceWarnings* warnings = nullptr,
                       SourceFailure* failure = nullptr);

// The file name extensions of every type the decoder reads, lower case,
// without the dot, each once: what the decoding library reports, and the
// usual other spellings of the same types (aiff, oga, opus, mp2, mp1 ...).
std::vector<std::string> SourceFileExtensions();

// Why the file at `path` cannot be opened as a source, in words for the user:
// it does not exist, is a folder, cannot be read (with the system's reason),
// or is not a sound file the decoder reads.
std::string SourceOpenProblem(const std::string& path);

// The loading dialog's step around LoadSourceSamples: on success sets
// `sourceLoaded` and clears `sourceMissing`; on failure or cancel clears
// `sourceLoaded` and keeps `sourcePath`, so that the project still names its
// source; a failure (not a cancel) sets `sourceMissing`.
bool DecodeSource(CProperties& properties, IProgress& progress, SourceWarnings* warnings = nullptr,
                  SourceFailure* failure = nullptr);

// The bar position for `done` of `total` frames, always 0 to 100.
int SourceProgressPercent(std::uint64_t done, std::uint64_t total);

// Largest SourceBuffer we agree to allocate, in frames: the byte size must fit
// 32 bits and stay within half of the machine's physical memory.
std::uint64_t MaxSourceFrames();

}  // namespace dw
