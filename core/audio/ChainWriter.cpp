#include "core/audio/ChainWriter.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <optional>
#include <vector>

#include "core/audio/SoundStream.h"
#include "core/audio/WriteMusic.h"
#include "core/base/WorkerPool.h"
#include "core/engine/MusicEngine.h"
#include "core/model/Project.h"
#include "core/model/Random.h"

namespace dw {

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string SecondsText(std::uint64_t frames, std::uint32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(frames) / rate);
    return text;
}

// The creation's progress on the job: it hears the writer's cancel and keeps
// the engine's messages for the calling thread to show.
class JobProgress final : public IProgress {
public:
    explicit JobProgress(const CancelFlag& cancel) : cancel_(cancel) {}
    void ShowMessage(int id, std::string_view text, MessageIcon icon) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({id, std::string(text), icon});
    }
    void SetProgress(int) override {}
    bool IsRunning() const override { return !cancel_.Cancelled(); }
    void PassOn(IMessageSink& sink) {
        std::vector<RecordingProgress::Message> messages;
        {
            std::lock_guard lock(mutex_);
            messages.swap(messages_);
        }
        for (const auto& m : messages) sink.ShowMessage(m.stringId, m.text, m.icon);
    }

private:
    const CancelFlag& cancel_;
    std::mutex mutex_;
    std::vector<RecordingProgress::Message> messages_;
};

// The finishing's progress: only the cancel of the caller's.
class CancelOnly final : public IProgress {
public:
    explicit CancelOnly(IProgress& outer) : outer_(outer) {}
    void ShowMessage(int id, std::string_view text, MessageIcon icon) override { outer_.ShowMessage(id, text, icon); }
    void SetProgress(int) override {}
    bool IsRunning() const override { return outer_.IsRunning(); }

private:
    IProgress& outer_;
};

// The project as a chain's pieces are created: without the fades (the
// chain's own) and without looping; put back as it was afterwards.
class PieceSettings {
public:
    explicit PieceSettings(CProperties& p) : p_(p), fadeIn_(p.fadeIn), fadeOut_(p.fadeOut), loop_(p.loopMusic) {
        p.fadeIn = 0;
        p.fadeOut = 0;
        p.loopMusic = false;
    }
    ~PieceSettings() {
        p_.fadeIn = fadeIn_;
        p_.fadeOut = fadeOut_;
        p_.loopMusic = loop_;
    }
    PieceSettings(const PieceSettings&) = delete;
    PieceSettings& operator=(const PieceSettings&) = delete;

private:
    CProperties& p_;
    std::uint32_t fadeIn_, fadeOut_;
    bool loop_;
};

}  // namespace

std::string ChainComment(const ChainPlan& plan, std::uint32_t sampleRate) {
    std::string text = plan.totalFrames ? "chain of " + std::to_string(plan.PieceCount()) + " pieces" : "endless chain";
    text += " of " + SecondsText(plan.pieceFrames, sampleRate) + " from seed " + std::to_string(plan.seed) +
            ", crossfade " + SecondsText(plan.crossfadeFrames, sampleRate) + ", piece seeds splitmix64";
    return text;
}

std::vector<VorbisComment> ChainChapters(const ChainPlan& plan, std::uint64_t from, std::uint32_t sampleRate) {
    std::vector<VorbisComment> chapters;
    if (!plan.totalFrames || from >= *plan.totalFrames || plan.Stride() == 0) return chapters;
    const std::uint64_t count = plan.PieceCount();
    std::size_t number = 0;
    for (std::uint64_t k = plan.FirstPieceAt(from); k < count; ++k) {
        const std::uint64_t start = std::max(plan.PieceStart(k), from) - from;
        AddChapter(chapters, ++number, start, sampleRate,
                   "piece " + std::to_string(k + 1) + ", seed " + std::to_string(PieceSeed(plan.seed, k)));
    }
    // One mark says nothing a player does not show already.
    if (number < 2) chapters.clear();
    return chapters;
}

ChainReport WriteChain(CProject& project, const ChainRequest& request, IProgress& progress) {
    ChainReport report;
    CProperties& properties = project.properties;
    const std::uint32_t rate = properties.sampleRate;
    const ChainPlan& plan = request.plan;
    PieceSettings pieceSettings(properties);

    FinishOptions finish = request.finish;
    finish.lossy = IsLossyCodec(request.format);
    TagRequest tags = request.tags;
    tags.seed = plan.seed;
    tags.extra += (tags.extra.empty() ? "" : ", ") + ChainComment(plan, rate);
    const std::string done = FinishingComment(finish, FinishReport{}, request.encoder);
    if (!done.empty()) tags.extra += ", " + done;

    StreamOptions stream;
    stream.write.encoder = request.encoder;
    stream.write.tags = MakeSoundTags(properties, tags);
    if (plan.totalFrames) stream.totalFrames = *plan.totalFrames - std::min(request.from, *plan.totalFrames);
    stream.oggSerial = PieceSeed(plan.seed, 0xFFFFFFFFull) | 1u;
    stream.comments = ChainChapters(plan, request.from, rate);
    stream.flacOnOneThread = request.flacOnOneThread;

    progress.SetProgress(0);
    SoundStreamWriter writer;
    if (auto failure = writer.Open(request.target, rate, request.format, stream)) {
        report.error = *failure;
        report.readerGone = writer.SystemError() == EPIPE;
        return report;
    }
    report.rf64 = writer.Rf64();

    ChainMixer mixer(plan, request.from);
    CMusicEngine engines[2];
    CancelFlag cancel;
    JobProgress jobProgress(cancel);
    WorkerPool jobs(1);
    const auto create = [&](std::uint64_t k) {
        const auto started = std::chrono::steady_clock::now();
        CreateOptions options;
        options.random = Random(PieceSeed(plan.seed, k));
        options.threads = request.threads;
        options.renderInPlace = true;
        options.allocationLimitBytes = request.allocationLimitBytes;
        const bool created = engines[k % 2].Create(project, jobProgress, options);
        return std::make_pair(created, Since(started));
    };
    // A job still running must be waited for before anything it uses goes.
    std::optional<std::future<std::pair<bool, double>>> ahead;
    struct Drain {
        std::optional<std::future<std::pair<bool, double>>>& f;
        CancelFlag& cancel;
        ~Drain() {
            if (f && f->valid()) {
                cancel.Cancel();
                f->wait();
            }
        }
    } drain{ahead, cancel};

    const std::uint64_t total = stream.totalFrames.value_or(0);
    std::optional<WriteError> writeFailure;
    CancelOnly finishProgress(progress);
    ahead = jobs.Start([&, k = mixer.NextPiece()] { return create(k); });
    while (!mixer.Done()) {
        const std::uint64_t k = mixer.NextPiece();
        const auto waitStart = std::chrono::steady_clock::now();
        const auto [created, creationSeconds] = ahead->get();
        ahead.reset();
        report.seconds.waiting += Since(waitStart);
        report.seconds.creation += creationSeconds;
        jobProgress.PassOn(progress);
        if (!progress.IsRunning()) {
            report.result = WriteResult::Cancelled;
            return report;
        }
        if (!created) {
            report.problem = "piece " + std::to_string(k) + " (seed " + std::to_string(PieceSeed(plan.seed, k)) +
                             ") was not created";
            return report;
        }
        ++report.pieces;
        if (request.onPiece) request.onPiece(k, PieceSeed(plan.seed, k));
        // The next piece is created while this one is finished and written.
        if (mixer.Needs(k + 1)) ahead = jobs.Start([&, next = k + 1] { return create(next); });

        CMusicEngine& engine = engines[k % 2];
        std::span<StereoFrame> piece(engine.MutableOutput(), engine.OutputFrameCount());
        const auto finishStart = std::chrono::steady_clock::now();
        FinishReport finished;
        std::string problem;
        const bool ok = FinishForFile(piece, rate, properties, finish, &finishProgress, finished, problem);
        report.seconds.finishing += Since(finishStart);
        if (!ok) {
            if (problem.empty()) {
                report.result = WriteResult::Cancelled;
            } else {
                report.problem = "piece " + std::to_string(k) + " could not be finished: " + problem;
            }
            return report;
        }
        report.lastFinish = finished;

        const auto encodeStart = std::chrono::steady_clock::now();
        mixer.AddPiece(piece, [&](std::span<const StereoFrame> part) {
            // Written in slices, so a cancel or a closed pipe is heard within a second or so.
            constexpr std::size_t kSlice = 1 << 16;
            for (std::size_t at = 0; at < part.size() && !writeFailure && progress.IsRunning(); at += kSlice) {
                writeFailure = writer.Write(part.subspan(at, std::min(kSlice, part.size() - at)));
                if (!writeFailure) report.frames += std::min(kSlice, part.size() - at);
                if (total > 0) progress.SetProgress(static_cast<int>(report.frames * 100 / total));
            }
        });
        report.seconds.encoding += Since(encodeStart);
        if (writeFailure) {
            report.error = *writeFailure;
            report.readerGone = writer.SystemError() == EPIPE;
            return report;
        }
        if (!progress.IsRunning()) {
            report.result = WriteResult::Cancelled;
            return report;
        }
    }
    const auto encodeStart = std::chrono::steady_clock::now();
    if (auto failure = writer.Finish()) {
        report.error = *failure;
        report.readerGone = writer.SystemError() == EPIPE;
        return report;
    }
    report.seconds.encoding += Since(encodeStart);
    progress.SetProgress(100);
    report.result = WriteResult::Written;
    return report;
}

}  // namespace dw
