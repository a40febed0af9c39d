#include "core/audio/SourceLoader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <cctype>
#include <filesystem>
#include <new>
#include <thread>

#include <sndfile.h>

#include "core/base/AllocationFault.h"
#include "core/base/OutputFile.h"
#include "core/base/PathText.h"
#include "core/base/WorkerPool.h"
#include "core/base/TextEscape.h"
#include "core/resources/StringTable.h"

namespace dw {

namespace {

void Say(IMessageSink& sink, int id) { sink.ShowMessage(id, LoadString(id), MessageIcon::Exclamation); }

// Shows the message and keeps it, with the reason, for the caller.
void Fail(IMessageSink& sink, int id, SourceFailure* failure, std::string reason = {}) {
    if (failure != nullptr) *failure = {id, std::move(reason)};
    Say(sink, id);
}

// The open failure with the file and why, on a line of its own under the
// message, so that the user knows which file to look for and what to mend;
// `failure` keeps the system's or the decoder's own reason.
void SayCannotOpen(IMessageSink& sink, const std::string& path, const std::string& reason, SourceFailure* failure,
                   int id, std::string kept) {
    if (failure != nullptr) *failure = {id, std::move(kept)};
    sink.ShowMessage(IDS_SOURCE_OPEN_FAILED,
                     std::string(LoadString(IDS_SOURCE_OPEN_FAILED)) + "\n" + EscapeForDisplay(path) + ": " + reason + ".",
                     MessageIcon::Exclamation);
}

}  // namespace

std::vector<std::string> SourceFileExtensions() {
    std::vector<std::string> found;
    auto add = [&found](std::string e) {
        for (char& ch : e) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (!e.empty() && std::find(found.begin(), found.end(), e) == found.end()) found.push_back(std::move(e));
    };
    // The library's own list of the container types it reads; headerless
    // raw data is left out, as no sample format can be told from it.
    int count = 0;
    bool mpeg = false;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0 || info.extension == nullptr) continue;
        if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) continue;
        mpeg = mpeg || (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
        add(info.extension);
    }
    // Other names of the same types, which the list gives once only.
    for (const char* other : {"wav", "aif", "aiff", "aifc", "flac", "ogg", "oga", "opus"}) add(other);
    if (mpeg)
        for (const char* other : {"mp3", "mp2", "mp1", "mpga"}) add(other);
    return found;
}

namespace {
constexpr std::string_view kNotASoundFile = "it is not a sound file the program can read";
}  // namespace

std::string SourceOpenProblem(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::path(path), error);
    if (error.value() == ENAMETOOLONG && PathLongerThanPathMax(path)) return PathErrorText(path, ENAMETOOLONG);
    if (!std::filesystem::exists(status)) return "the file does not exist";
    if (std::filesystem::is_directory(status)) return "it is a folder, not a sound file";
    // Opening a FIFO or a device waits for its other end, which may never
    // come: only a plain file is opened at all (non-blocking all the same,
    // as it may be replaced by a FIFO between the look and the open).
    if (!std::filesystem::is_regular_file(status)) return "not a regular file";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return "it cannot be read (" + ErrorText(errno) + ")";
    close(fd);
    return std::string(kNotASoundFile);
}

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

bool OpenSource(std::uint32_t targetRate, const std::string& sourcePath, SourceInfo& info, IMessageSink& messages,
                SourceFailure* failure) {
    info.FreeStreams();
    info.targetRate = targetRate;
    std::string why;
    info.decodeStream = DecodeStream::Open(std::filesystem::path(sourcePath), &why);
    if (!info.decodeStream) {
        // The decoder's own finding ("not an MP3 stream") says more than
        // the general word for a file that is there and readable.
        std::string problem = SourceOpenProblem(sourcePath);
        if (problem == kNotASoundFile && why.starts_with("not ")) problem = "it is " + why;
        SayCannotOpen(messages, sourcePath, problem, failure, IDS_SOURCE_OPEN_FAILED, why);
        return false;
    }
    const std::int64_t bytes = info.decodeStream->LengthBytes();
    if (bytes < 0) {
        Fail(messages, IDS_STREAM_FILE_LENGTH, failure, "the file does not tell its length");
        info.FreeStreams();
        return false;
    }
    const auto seconds = static_cast<float>(info.decodeStream->BytesToSeconds(bytes));
    if (seconds < 0.0f) {
        Fail(messages, IDS_STREAM_DURATION, failure, "the file does not tell its length");
        info.FreeStreams();
        return false;
    }
    const DecodeInfo& di = info.decodeStream->Info();
    if (di.sampleRate == 0 || targetRate == 0) {
        Fail(messages, IDS_STREAM_INFO, failure, "the file does not tell its rate");
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
        Fail(messages, IDS_RESAMPLER_OPEN_FAILED, failure, "the resampler could not start");
        info.FreeStreams();
        return false;
    }
    return true;
}

namespace {

// The first block of the SourceBuffer, in frames (32 MiB, about 95 s at
// 44100 Hz): most sources fit it whole; longer ones double it as they decode.
constexpr std::uint64_t kFirstBufferFrames = std::uint64_t{1} << 22;

// Frames asked of the decoder at a time: big enough that the calls cost
// nothing beside the copying, small enough to notice a cancel at once.
constexpr std::uint64_t kReadFrames = std::uint64_t{1} << 16;

// From this length on, a plain source is read by two readers (about 24 s at
// 44100 Hz): shorter ones take too little time to share.
constexpr std::uint64_t kTwoReadersFrames = std::uint64_t{1} << 20;

// A source recorded at less than a quarter of the music's rate is "far
// below" it; resampled, it may hold at most 512 MiB of frames.
constexpr std::uint32_t kFarBelowFactor = 4;
constexpr std::uint64_t kFarBelowMaxFrames = (std::uint64_t{512} << 20) / 8;

// Below one step of 16-bit sound a source counts as silent.
constexpr float kSilentPeak = 1.0f / 32768.0f;

// A new buffer of `frames` holding the first `keep` frames of `old`, the rest
// not yet written; null when it cannot be had.
FrameBuffer Reallocate(const StereoFrame* old, std::uint64_t keep, std::uint64_t frames) {
    FrameBuffer grown = AllocateFrames(static_cast<std::size_t>(frames));
    if (grown && keep > 0) std::memcpy(grown.get(), old, static_cast<std::size_t>(keep) * sizeof(StereoFrame));
    return grown;
}

// Replaces what no sound can be (NaN, infinities: a damaged float file) with
// silence, so that it cannot poison every grain the engine mixes from it, and
// returns the loudest sample of the block.
float CleanAndMeasure(StereoFrame* frames, std::size_t count) {
    float peak = 0.0f;
    auto* samples = reinterpret_cast<float*>(frames);
    for (std::size_t i = 0; i < 2 * count; ++i) {
        if (!std::isfinite(samples[i])) samples[i] = 0.0f;
        peak = std::max(peak, std::fabs(samples[i]));
    }
    return peak;
}

}  // namespace

namespace {

// The source's length in frames at the music's rate, as its header announces
// it; 0 (with the message given) when it holds none or more than can be
// held. Refused on the header's word, before a byte is allocated or decoded:
// the engine would refuse it anyway, after the whole decoding.
std::uint64_t CheckAnnouncedLength(const SourceInfo& info, const std::string& path, IMessageSink& messages,
                                   SourceFailure* failure) {
    // source frames / rate ratio, in whole numbers: in floating point 48000
    // frames at 48000 Hz came out one frame short of 11025 at 11025 Hz. In 64
    // bits, so that a header claiming an absurd length reaches the checks
    // below instead of wrapping round to a small number.
    const auto sourceFrames = static_cast<std::uint64_t>(std::max<std::int64_t>(info.sourceFrames, 0));
    const std::uint64_t announced =
        sourceFrames < (std::uint64_t{1} << 40)
            ? sourceFrames * info.targetRate / info.sourceRate
            : static_cast<std::uint64_t>(static_cast<double>(sourceFrames) / info.rateRatio);
    if (announced == 0 && sourceFrames == 0) {
        // Nothing to decode: said as an open failure, with the reason.
        SayCannotOpen(messages, path, "it is too short: it holds no sound", failure, IDS_STREAM_DATA,
                      "the file holds no sound");
        return 0;
    }
    if (announced == 0) {
        // Some sound, but not one frame's worth at the music's rate.
        const std::string reason = "it is too short: " + std::to_string(sourceFrames) +
                                   (sourceFrames == 1 ? " frame" : " frames") + " at " +
                                   std::to_string(info.sourceRate) + " Hz make less than one frame at " +
                                   std::to_string(info.targetRate) + " Hz";
        SayCannotOpen(messages, path, reason, failure, IDS_STREAM_DATA, reason);
        return 0;
    }
    if (announced > kMaxSourceFrameCount) {
        Fail(messages, IDS_SOURCE_TOO_LONG, failure, "it is longer than the program can hold");
        return 0;
    }
    if (announced > MaxSourceFrames()) {
        Fail(messages, IDS_SOURCE_ALLOC_FAILED, failure, "not enough memory to hold it");
        return 0;
    }
    if (info.sourceRate < info.targetRate / kFarBelowFactor && announced > kFarBelowMaxFrames) {
        // A header at a rate far below the music's (1 Hz) makes a tiny file
        // announce hours of music once resampled: held to what real sound of
        // that length could be, it would take gigabytes for nothing.
        const std::string reason =
            "its " + std::to_string(sourceFrames / info.sourceRate) + " s at " + std::to_string(info.sourceRate) +
            " Hz would take " + std::to_string(announced * sizeof(StereoFrame) >> 20) + " MiB at " +
            std::to_string(info.targetRate) + " Hz (at most " +
            std::to_string(kFarBelowMaxFrames * sizeof(StereoFrame) >> 20) +
            " MiB for a source recorded far below the music's rate)";
        SayCannotOpen(messages, path, reason, failure, IDS_SOURCE_TOO_LONG, reason);
        return 0;
    }
    return announced;
}

// The buffer's first size. It follows what arrives, never more than the
// header announces: a header may claim hours for a file of one second. It
// starts at what the file's size makes possible for plain PCM (two bytes a
// frame and more) beyond the first block, so that a long WAV is read straight
// into a buffer of its length instead of being copied into one twice the size
// of the last; compressed sources may still grow it.
std::uint64_t FirstCapacity(const SourceInfo& info, const std::string& path, std::uint64_t announced) {
    std::error_code sizeError;
    const std::uintmax_t fileBytes = std::filesystem::file_size(path, sizeError);
    const std::uint64_t plausible =
        sizeError || fileBytes >= (std::uint64_t{1} << 40)
            ? 0
            : static_cast<std::uint64_t>(fileBytes) / 2 * info.targetRate / info.sourceRate;
    return std::min(announced, kFirstBufferFrames + plausible);
}

// The decoding of one source into memory, step by step.
class SourceReading {
public:
    SourceReading(SourceInfo& info, const std::string& path, IProgress& progress, SourceFailure* failure,
                  std::uint64_t announced)
        : info_(info), path_(path), progress_(progress), failure_(failure), announced_(announced) {}

    // The first buffer; false (with the message) when it cannot be had.
    bool Allocate(std::uint64_t capacity) {
        // Written only as the decoder delivers; what it does not is silenced
        // when the reading is done.
        frames_ = AllocateFrames(static_cast<std::size_t>(capacity));
        if (!frames_) return OutOfMemory();
        capacity_ = capacity;
        return true;
    }

    // Reads the whole source: a long plain one in two halves at once.
    bool Read() {
        bool ok = CanReadInTwo() ? ReadInTwo() : true;
        if (ok && done_ < announced_) ok = ReadUpTo(announced_, true);
        if (!ok) return false;
        progress_.SetProgress(100);
        info_.FreeStreams();
        return progress_.IsRunning();
    }

    // Keeps the announced length when a little is missing (a decoder's
    // estimate, a resampler's edge, a cut-off last block), silent at the end,
    // as it always did. More than a tenth and more than a second is a header
    // that lied or a file cut short: only what was read is kept.
    bool Trim() {
        const std::uint64_t missing = announced_ - done_;
        farShort_ = missing > announced_ / 10 && missing >= info_.targetRate;
        count_ = farShort_ ? done_ : announced_;
        if (count_ == 0) {
            Fail(progress_, IDS_STREAM_DATA, failure_, "the file holds no sound");
            return false;
        }
        if (count_ != capacity_) {
            frames_ = Reallocate(frames_.get(), std::min(done_, count_), count_);
            if (!frames_) return OutOfMemory();
        }
        // What the decoder fell short of is silence.
        if (done_ < count_)
            std::memset(static_cast<void*>(frames_.get() + done_), 0,
                        static_cast<std::size_t>(count_ - done_) * sizeof(StereoFrame));
        return true;
    }

    // Hands the samples to the project and says what is odd about them.
    void Keep(CProperties& properties, SourceWarnings* warnings) {
        properties.sourceFrames = std::move(frames_);
        properties.sourceFrameCount = static_cast<std::uint32_t>(count_);
        SourceWarnings found;
        if (farShort_) found.push_back(IDS_SOURCE_SHORTER_THAN_ANNOUNCED);
        if (peak_ <= kSilentPeak) found.push_back(IDS_SOURCE_SILENT);
        if (warnings != nullptr) {
            warnings->insert(warnings->end(), found.begin(), found.end());
        } else {
            for (const int id : found) Say(progress_, id);
        }
    }

private:
    bool OutOfMemory() {
        Fail(progress_, IDS_SOURCE_ALLOC_FAILED, failure_, "not enough memory to hold it");
        return false;
    }

    // Reads on to `limit` frames (or the end of the source); false on a
    // decoding error or a failed allocation, with the message given. The
    // progress dialog belongs to the calling thread: only there (`onCaller`)
    // is it told and asked.
    bool ReadUpTo(std::uint64_t limit, bool onCaller) {
        while (done_ < limit && (!onCaller || progress_.IsRunning())) {
            AllocationPoint(AllocationStage::SourceLoading);
            if (done_ == capacity_) {
                const std::uint64_t grown = std::min(announced_, capacity_ * 2);
                frames_ = Reallocate(frames_.get(), done_, grown);
                if (!frames_) return OutOfMemory();
                capacity_ = grown;
            }
            const auto want = static_cast<std::size_t>(std::min({capacity_ - done_, limit - done_, kReadFrames}));
            std::size_t got = 0;
            if (info_.decodeStream->IsActive()) {
                const std::int64_t read = info_.resampler->Read(reinterpret_cast<float*>(frames_.get() + done_), want);
                if (read < 0) {
                    const std::string why = info_.decodeStream->LastError();
                    Fail(progress_, IDS_STREAM_DATA, failure_,
                         why.empty() ? "the file is damaged" : "the file is damaged (" + why + ")");
                    return false;
                }
                got = static_cast<std::size_t>(read);
            }
            peak_ = std::max(peak_, CleanAndMeasure(frames_.get() + done_, got));
            done_ += got;
            if (got < want) break;  // the source ended
            // With two readers the first one's share of its half is the
            // whole's; the bar never goes back.
            const int percent = SourceProgressPercent(done_, limit);
            if (onCaller && percent > bar_) {
                bar_ = percent;
                progress_.SetProgress(percent);
            }
        }
        return true;
    }

    // A long source of plain samples at the music's rate is read as two
    // halves at once, the second through a second handle on the file sought
    // to its middle: the reading is mostly copying out of the system's file
    // cache into fresh memory, which two cores do in about half the time.
    bool CanReadInTwo() {
        if (capacity_ < announced_ || announced_ < kTwoReadersFrames || info_.sourceRate != info_.targetRate ||
            !info_.decodeStream->HoldsPlainSamples() || SharedPool().Threads() < 2)
            return false;
        second_ = DecodeStream::Open(std::filesystem::path(path_));
        const std::uint64_t half = announced_ / 2;
        if (!second_ || !second_->HoldsPlainSamples() || second_->Info().frames != info_.sourceFrames ||
            second_->Info().channels != info_.decodeStream->Info().channels ||
            !second_->SeekFrame(static_cast<std::int64_t>(half))) {
            second_.reset();
            return false;
        }
        middle_ = half;
        return true;
    }

    // Both halves as two tasks on the pool. The calling thread takes the
    // first half, which reports progress; whatever the second reader does not
    // deliver whole, the first reads on afterwards.
    bool ReadInTwo() {
        const auto caller = std::this_thread::get_id();
        std::atomic<int> taken{0};
        bool firstOk = true;
        CancelFlag stopSecond;
        SharedPool().Run(2, [&](std::size_t) {
            // Each task takes the half its thread prefers, or the one left.
            const bool onCaller = std::this_thread::get_id() == caller;
            const int prefer = onCaller ? 1 : 2;
            const bool first = (taken.fetch_or(prefer) & prefer) ? prefer == 2 : prefer == 1;
            if (first) {
                firstOk = ReadUpTo(middle_, onCaller);
                if (!firstOk || (onCaller && !progress_.IsRunning())) stopSecond.Cancel();
            } else {
                ReadSecondHalf(stopSecond);
            }
        });
        second_.reset();
        if (!firstOk) return false;
        if (done_ == middle_ && middle_ + secondGot_ == announced_) {
            done_ = announced_;
            peak_ = std::max(peak_, secondPeak_);
        }
        return true;
    }

    void ReadSecondHalf(const CancelFlag& stop) {
        StereoFrame* const into = frames_.get();
        while (middle_ + secondGot_ < announced_ && !stop.Cancelled()) {
            AllocationPoint(AllocationStage::SourceLoading);
            const auto want = static_cast<std::size_t>(std::min(announced_ - middle_ - secondGot_, kReadFrames));
            StereoFrame* at = into + middle_ + secondGot_;
            const std::int64_t read = second_->ReadStereo(reinterpret_cast<float*>(at), want, false);
            if (read <= 0) break;
            secondPeak_ = std::max(secondPeak_, CleanAndMeasure(at, static_cast<std::size_t>(read)));
            secondGot_ += static_cast<std::uint64_t>(read);
            if (static_cast<std::size_t>(read) < want) break;
        }
    }

    SourceInfo& info_;
    const std::string& path_;
    IProgress& progress_;
    SourceFailure* failure_;
    const std::uint64_t announced_;
    FrameBuffer frames_;
    std::uint64_t capacity_ = 0;
    std::uint64_t done_ = 0;  // frames read from the start
    float peak_ = 0.0f;
    int bar_ = 0;
    // The second reader: its own handle, where it starts, what it read.
    std::unique_ptr<DecodeStream> second_;
    std::uint64_t middle_ = 0;
    std::uint64_t secondGot_ = 0;
    float secondPeak_ = 0.0f;
    // What is kept.
    std::uint64_t count_ = 0;
    bool farShort_ = false;
};

}  // namespace

bool LoadSourceSamples(CProperties& properties, IProgress& progress, SourceWarnings* warnings,
                       SourceFailure* failure) {
    progress.SetProgress(0);
    properties.sourceFrames.reset();
    properties.sourceFrameCount = 0;
    SourceInfo info;
    const std::string& path = properties.sourcePath;
    if (!OpenSource(properties.sampleRate, path, info, progress, failure)) return false;
    const std::uint64_t announced = CheckAnnouncedLength(info, path, progress, failure);
    if (announced == 0) return false;
    SourceReading reading(info, path, progress, failure, announced);
    if (!reading.Allocate(FirstCapacity(info, path, announced))) return false;
    if (!reading.Read()) return false;
    if (!reading.Trim()) return false;
    reading.Keep(properties, warnings);
    return true;
}

bool DecodeSource(CProperties& properties, IProgress& progress, SourceWarnings* warnings, SourceFailure* failure) {
    if (LoadSourceSamples(properties, progress, warnings, failure)) {
        properties.sourceLoaded = true;
        properties.sourceMissing = false;
        return true;
    }
    // The path stays: the project still names its source, and a save must not
    // drop it. A cancel is no failure of the file.
    properties.sourceLoaded = false;
    properties.sourceMissing = progress.IsRunning();
    return false;
}

}  // namespace dw
