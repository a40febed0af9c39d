#include "core/audio/WriteMusic.h"

#include <cmath>
#include <cstdio>

namespace dw {

namespace {

std::string Decibels(double value) {
    if (!std::isfinite(value)) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Runs `step` between the caller's begin and end, when it shows steps.
template <class Work>
auto InStep(const MusicFileRequest& request, MusicFileStep step, Work&& work) {
    if (request.beginStep) request.beginStep(step);
    auto result = work();
    if (request.endStep) request.endStep();
    return result;
}

bool HasFinishing(const FinishOptions& finish, const CProperties& properties) {
    return (finish.effects && AnyEffectOn(properties)) || finish.loudnessLufs || finish.lossy;
}

}  // namespace

std::string FinishingComment(const FinishOptions& finish, const FinishReport& finished,
                             const EncoderSettings& encoder) {
    std::string text = finish.effects ? "" : "no effects";
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (finish.loudnessLufs)
        add("loudness " + Decibels(*finish.loudnessLufs) + " LUFS under " + Decibels(finish.truePeakCeilingDbtp) +
            " dBTP");
    if (finished.headroomDb < 0.0) add("lowered " + Decibels(-finished.headroomDb) + " dB for the codec");
    if (encoder.bitrateKbps) add(std::to_string(*encoder.bitrateKbps) + " kbit/s");
    if (encoder.compression) {
        char level[16];
        std::snprintf(level, sizeof level, "%.2f", *encoder.compression);
        add(std::string("compression ") + level);
    }
    return text;
}

MusicFileReport WriteFinishedMusic(std::span<StereoFrame> music, std::uint32_t sampleRate,
                                   const CProperties& properties, const MusicFileRequest& request,
                                   IProgress& progress) {
    MusicFileReport report;
    FinishOptions finish = request.finish;
    finish.lossy = IsLossyCodec(request.format);

    if (HasFinishing(finish, properties)) {
        const bool finished = InStep(request, MusicFileStep::Finishing, [&] {
            return FinishForFile(music, sampleRate, properties, finish, &progress, report.finished,
                                 report.finishProblem);
        });
        if (!finished) {
            report.result = report.finishProblem.empty() ? WriteResult::Cancelled : WriteResult::Failed;
            return report;
        }
    }

    TagRequest tags = request.tags;
    const std::string done = FinishingComment(finish, report.finished, request.encoder);
    if (!done.empty()) tags.extra += (tags.extra.empty() ? "" : ", ") + done;
    WriteOptions options;
    options.encoder = request.encoder;
    options.tags = MakeSoundTags(properties, tags);

    const auto frames = static_cast<std::uint32_t>(music.size());
    report.result = InStep(request, MusicFileStep::Writing, [&] {
        return request.error != nullptr
                   ? WriteSoundFile(request.target, music.data(), frames, sampleRate, request.format, progress,
                                    *request.error, options)
                   : WriteSoundFile(request.target, music.data(), frames, sampleRate, request.format, progress,
                                    options);
    });
    return report;
}

}  // namespace dw
