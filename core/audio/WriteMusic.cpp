#include "core/audio/WriteMusic.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

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

// The first frame with a sample that is not a finite number, or the end.
// Looked at by its bits: an exponent of all ones is NaN or infinity, and the
// test stays exact whatever the compiler's floating-point flags.
std::size_t FirstUnfiniteFrame(std::span<const StereoFrame> music) {
    const auto unfinite = [](float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return (bits & 0x7F800000u) == 0x7F800000u;
    };
    for (std::size_t i = 0; i < music.size(); ++i)
        if (unfinite(music[i].left) || unfinite(music[i].right)) return i;
    return music.size();
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

    // The last look before an encoder sees the music: a NaN or an infinity
    // would make one encoder abort the whole program and the others write
    // noise or silence. Whatever produced it, no file is better than that.
    if (const std::size_t at = FirstUnfiniteFrame(music); at < music.size()) {
        char when[32];
        std::snprintf(when, sizeof when, "%.3f", sampleRate > 0 ? static_cast<double>(at) / sampleRate : 0.0);
        report.finishProblem = std::string("it holds a sample that is not a number or is infinite, at ") + when +
                               " s (frame " + std::to_string(at) + ")";
        report.result = WriteResult::Failed;
        return report;
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
