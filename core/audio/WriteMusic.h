#pragma once
// From the created music to a file: finished (the project's effects, the
// loudness target or the codec's headroom, see Mastering.h), tagged with the
// settings and with what the finishing did, and written (Export.h). The
// command line and the program's Write Music to File both come through here,
// so the same choices give the same file whichever of them wrote it.

#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "core/audio/Export.h"
#include "core/audio/FileTags.h"
#include "core/audio/Mastering.h"
#include "core/model/Progress.h"
#include "core/model/Properties.h"
#include "core/model/StereoFrame.h"

namespace dw {

// The two long steps, for callers that show them apart.
enum class MusicFileStep { Finishing, Writing };

struct MusicFileRequest {
    std::filesystem::path target;
    SoundFormat format;
    FinishOptions finish;       // `lossy` is taken from the format
    EncoderSettings encoder;
    TagRequest tags;            // `extra` is followed by what the finishing did
    // Null: the writer's messages are shown through the progress (the
    // program's message boxes); otherwise they are left here for the caller
    // to word (the command line).
    WriteError* error = nullptr;
    // Called before and after each step that runs (the finishing runs only
    // when it has something to do); may be empty.
    std::function<void(MusicFileStep)> beginStep;
    std::function<void()> endStep;
};

struct MusicFileReport {
    WriteResult result = WriteResult::Failed;
    FinishReport finished;        // what the finishing did and measured
    std::string finishProblem;    // why the finishing failed (empty for a cancel or a success)
};

// The finishing's share of a file's comment tag: "no effects", "loudness
// -16.0 LUFS under -1.0 dBTP", "lowered 0.4 dB for the codec", and the
// encoder's settings; empty when none applies.
std::string FinishingComment(const FinishOptions& finish, const FinishReport& finished,
                             const EncoderSettings& encoder);

// Finishes `music` in place (the caller passes a copy where it keeps the
// music), then writes it with tags made from `properties` and the request.
// Nothing is written when the finishing fails or is cancelled, nor when the
// finished music holds a sample that is NaN or infinite: that fails with
// `finishProblem` telling where, before any encoder sees it.
MusicFileReport WriteFinishedMusic(std::span<StereoFrame> music, std::uint32_t sampleRate,
                                   const CProperties& properties, const MusicFileRequest& request,
                                   IProgress& progress);

}  // namespace dw
