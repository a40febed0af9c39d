#include "audio/SourceLoader.h"

#include <unistd.h>

#include <algorithm>
#include <new>

#include "resources/StringTable.h"

namespace dw {

namespace {

void Say(IMessageSink& sink, int id) { sink.ShowMessage(id, LoadString(id), MessageIcon::Exclamation); }

}  // namespace

int SourceProgressPercent(std::uint64_t done, std::uint64_t total) {
    // The bar divides by total - 1 so that the last frame reads 100; with one
    // frame that would divide by zero, and short sources would pass 100.
    const std::uint64_t denominator = total > 1 ? total - 1 : 1;
    return static_cast<int>(std::min<std::uint64_t>(100, done * 100 / denominator));
}

std::uint64_t MaxSourceFrames() {
    std::uint64_t limitBytes = 0xFFFFFFFFull;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        limitBytes = std::min(limitBytes, static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2);
    return limitBytes / sizeof(StereoFrame);
}

bool OpenSource(std::uint32_t targetRate, const std::string& sourcePath, SourceInfo& info, IMessageSink& messages) {
    info.FreeStreams();
    info.targetRate = targetRate;
    info.decodeStream = DecodeStream::Open(std::filesystem::path(sourcePath));
    if (!info.decodeStream) {
        Say(messages, IDS_SOURCE_OPEN_FAILED);
        return false;
    }
    const std::int64_t bytes = info.decodeStream->LengthBytes();
    if (bytes < 0) {
        Say(messages, IDS_STREAM_FILE_LENGTH);
        info.FreeStreams();
        return false;
    }
    const auto seconds = static_cast<float>(info.decodeStream->BytesToSeconds(bytes));
    if (seconds < 0.0f) {
        Say(messages, IDS_STREAM_DURATION);
        info.FreeStreams();
        return false;
    }
    const DecodeInfo& di = info.decodeStream->Info();
    if (di.sampleRate == 0 || targetRate == 0) {
        Say(messages, IDS_STREAM_INFO);
        info.FreeStreams();
        return false;
    }
    info.sourceRate = di.sampleRate;
    // The frame count comes straight from the decoder: going through the
    // seconds as a 32-bit float would lose frames (1000 frames at 44100 Hz
    // came out as 999).
    info.sourceFrames = di.frames;
    info.rateRatio = static_cast<double>(info.sourceRate) / static_cast<double>(targetRate);
    info.resampler = ResampleStream::Create(targetRate, *info.decodeStream);
    if (!info.resampler) {
        Say(messages, IDS_RESAMPLER_OPEN_FAILED);
        info.FreeStreams();
        return false;
    }
    return true;
}

bool LoadSourceSamples(CProperties& properties, IProgress& progress) {
    int bar = 0;
    progress.SetProgress(0);
    SourceInfo info;
    if (!OpenSource(properties.sampleRate, properties.sourcePath, info, progress)) return false;

    // source frames / rate ratio, in whole numbers: in floating point 48000
    // frames at 48000 Hz came out one frame short of 11025 at 11025 Hz. In 64
    // bits, so that a header claiming an absurd length reaches the allocation
    // check below instead of wrapping round to a small number.
    const auto sourceFrames = static_cast<std::uint64_t>(std::max<std::int64_t>(info.sourceFrames, 0));
    const std::uint64_t targetFrames =
        sourceFrames < (std::uint64_t{1} << 40)
            ? sourceFrames * info.targetRate / info.sourceRate
            : static_cast<std::uint64_t>(static_cast<double>(sourceFrames) / info.rateRatio);
    if (targetFrames == 0) {
        properties.sourceFrames.reset();
        properties.sourceFrameCount = 0;
        return false;
    }

    properties.sourceFrames.reset();
    properties.sourceFrameCount = 0;
    StereoFrame* frames = nullptr;
    if (targetFrames <= MaxSourceFrames()) frames = new (std::nothrow) StereoFrame[targetFrames];  // all 0.0
    if (frames == nullptr) {
        Say(progress, IDS_SOURCE_ALLOC_FAILED);
        return false;
    }
    properties.sourceFrames.reset(frames);
    properties.sourceFrameCount = static_cast<std::uint32_t>(targetFrames);

    std::uint64_t done = 0;
    while (done < targetFrames && progress.IsRunning()) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(targetFrames - done, kSourceBlockFrames));
        std::size_t got = 0;
        if (info.decodeStream->IsActive()) {
            const std::int64_t read = info.resampler->Read(reinterpret_cast<float*>(frames + done), want);
            if (read < 0) {
                Say(progress, IDS_STREAM_DATA);
                return false;
            }
            got = static_cast<std::size_t>(read);
        }
        if (got < want) break;  // the source ended early: the rest stays silent
        done += got;
        if ((done / kSourceBlockFrames) % 1000 == 0) {
            const int percent = SourceProgressPercent(done, targetFrames);
            if (percent != bar) {
                bar = percent;
                progress.SetProgress(percent);
            }
        }
    }
    progress.SetProgress(100);
    info.FreeStreams();
    return progress.IsRunning();
}

bool DecodeSource(CProperties& properties, IProgress& progress) {
    if (LoadSourceSamples(properties, progress)) {
        properties.sourceLoaded = true;
        return true;
    }
    properties.sourcePath.clear();
    properties.sourceLoaded = false;
    return false;
}

}  // namespace dw
