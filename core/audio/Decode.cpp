// DecodeStream (libsndfile) and ResampleStream (libsoxr).
#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string_view>
#include <optional>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "core/audio/AudioLayer.h"
#include "core/base/PathText.h"

namespace dw {

namespace {
constexpr std::size_t kResampleBlock = 1024;  // input frames per refill
constexpr float kSideGain = 0.70710678f;      // extra channels enter both sides at -3 dB

SNDFILE* Sf(void* p) { return static_cast<SNDFILE*>(p); }
soxr_t Sx(void* p) { return static_cast<soxr_t>(p); }

std::atomic<bool> g_silenceNotes{false};

// Points standard error at /dev/null for its lifetime when the notes are to
// be silenced, and restores it (also after the decoder failed).
class QuietDecoder {
public:
    QuietDecoder() {
        if (!g_silenceNotes.load(std::memory_order_relaxed)) return;
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return;
        saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (saved_ >= 0 && ::dup2(null, STDERR_FILENO) < 0) {
            ::close(saved_);
            saved_ = -1;
        }
        ::close(null);
    }
    ~QuietDecoder() {
        if (saved_ < 0) return;
        while (::dup2(saved_, STDERR_FILENO) < 0 && errno == EINTR) {
        }
        ::close(saved_);
    }
    QuietDecoder(const QuietDecoder&) = delete;
    QuietDecoder& operator=(const QuietDecoder&) = delete;

private:
    int saved_ = -1;
};

// libsndfile's texts end in a full stop and sometimes start with its own
// "System error : "; the message around them adds its own punctuation.
std::string Trimmed(std::string text) {
    constexpr std::string_view kSystem = "System error : ";
    if (text.starts_with(kSystem)) text.erase(0, kSystem.size());
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text;
}
}  // namespace

std::string NotTheFormatText(const std::filesystem::path& path, bool empty) {
    std::string ext = path.extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    struct Named {
        std::string_view extension;
        std::string_view text;
    };
    static constexpr Named kNames[] = {
        {".mp3", "not an MP3 stream"},   {".mp2", "not an MP2 stream"},   {".mp1", "not an MP1 stream"},
        {".mpga", "not an MPEG audio stream"}, {".wav", "not a WAV file"}, {".wave", "not a WAV file"},
        {".aif", "not an AIFF file"},    {".aiff", "not an AIFF file"},   {".aifc", "not an AIFF-C file"},
        {".flac", "not a FLAC stream"},  {".ogg", "not an Ogg stream"},   {".oga", "not an Ogg stream"},
        {".opus", "not an Opus stream"}, {".au", "not an AU file"},       {".caf", "not a CAF file"},
        {".w64", "not a Wave64 file"},   {".rf64", "not an RF64 file"},
    };
    std::string text = "not a sound file the program can read";
    for (const Named& n : kNames)
        if (ext == n.extension) text = n.text;
    return empty ? text + " (the file is empty)" : text;
}

void DecodeStream::SilenceDecoderNotes(bool silence) { g_silenceNotes.store(silence, std::memory_order_relaxed); }

std::unique_ptr<DecodeStream> DecodeStream::Open(const std::filesystem::path& path, std::string* why) {
    const auto refuse = [&](std::string reason) -> std::unique_ptr<DecodeStream> {
        if (why != nullptr) *why = std::move(reason);
        return nullptr;
    };
    // libsndfile would happily open a folder or a device node, and opening a
    // FIFO waits for a writer that may never come: the file is opened here,
    // without waiting, and anything that is not a plain file is refused with
    // the system's word for what it is before the decoder sees it.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return refuse(PathErrorText(path, errno));
    if (S_ISDIR(st.st_mode)) return refuse(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
    // libsndfile says only "Format not recognised" for a file it may not
    // read; the system knows better.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return refuse(std::strerror(errno));
    // The name may have been given to a FIFO since the look above.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse("not a regular file");
    }
    SF_INFO sfi{};
    SNDFILE* f = nullptr;
    {
        QuietDecoder quiet;
        f = sf_open_fd(fd, SFM_READ, &sfi, SF_TRUE);  // closes fd, also on failure
    }
    if (f == nullptr) {
        const int code = sf_error(nullptr);
        // For a file that holds no stream it knows (an empty one included)
        // libsndfile says "File does not exist or is not a regular file
        // (possibly a pipe?)" or "Format not recognised": both mislead, as
        // the file was just found and read. The extension tells what the
        // file was meant to be.
        if (code == SF_ERR_UNRECOGNISED_FORMAT || code == SF_ERR_SYSTEM)
            return refuse(NotTheFormatText(path, st.st_size == 0));
        return refuse(Trimmed(sf_strerror(nullptr)));
    }
    if (sfi.channels <= 0 || sfi.channels > 256 || sfi.samplerate <= 0 || sfi.frames < 0) {
        sf_close(f);
        return refuse(sfi.channels <= 0 || sfi.channels > 256 ? "the file names an impossible channel count"
                                                              : "the file names an impossible rate or length");
    }
    std::unique_ptr<DecodeStream> s(new DecodeStream());
    s->file_ = f;
    s->format_ = sfi.format;
    s->info_.sampleRate = static_cast<std::uint32_t>(sfi.samplerate);
    s->info_.channels = static_cast<std::uint32_t>(sfi.channels);
    s->info_.frames = sfi.frames;
    if (sfi.channels != 2) s->scratch_.resize(static_cast<std::size_t>(sfi.channels) * kResampleBlock);
    return s;
}

DecodeStream::~DecodeStream() {
    if (file_ != nullptr) sf_close(Sf(file_));
}

std::int64_t DecodeStream::LengthBytes() const {
    if (info_.frames < 0 || info_.frames == SF_COUNT_MAX) return -1;
    const std::int64_t perFrame = static_cast<std::int64_t>(info_.channels) * 4;
    if (info_.frames > INT64_MAX / perFrame) return -1;
    return info_.frames * perFrame;
}

double DecodeStream::BytesToSeconds(std::int64_t bytes) const {
    if (bytes < 0 || info_.sampleRate == 0 || info_.channels == 0) return -1.0;
    return static_cast<double>(bytes) / (4.0 * info_.channels) / info_.sampleRate;
}

std::string DecodeStream::LastError() const {
    if (file_ == nullptr || sf_error(Sf(file_)) == SF_ERR_NO_ERROR) return {};
    return Trimmed(sf_strerror(Sf(file_)));
}

bool DecodeStream::HoldsPlainSamples() const {
    switch (format_ & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV: case SF_FORMAT_WAVEX: case SF_FORMAT_RF64: case SF_FORMAT_W64: case SF_FORMAT_AIFF:
        case SF_FORMAT_AU: case SF_FORMAT_CAF:
            break;
        default:
            return false;
    }
    switch (format_ & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: case SF_FORMAT_PCM_16: case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32: case SF_FORMAT_FLOAT: case SF_FORMAT_DOUBLE:
            return true;
        default:
            return false;
    }
}

bool DecodeStream::SeekFrame(std::int64_t frame) {
    return file_ != nullptr && sf_seek(Sf(file_), static_cast<sf_count_t>(frame), SEEK_SET) == frame;
}

std::int64_t DecodeStream::ReadStereo(float* dest, std::size_t frames, bool quietNotes) {
    if (!active_) return 0;
    std::optional<QuietDecoder> quiet;
    if (quietNotes) quiet.emplace();
    const std::size_t ch = info_.channels;
    std::size_t done = 0;
    while (done < frames) {
        sf_count_t got = 0;
        if (ch == 2) {
            got = sf_readf_float(Sf(file_), dest + 2 * done, static_cast<sf_count_t>(frames - done));
        } else {
            const std::size_t want = std::min(frames - done, kResampleBlock);
            got = sf_readf_float(Sf(file_), scratch_.data(), static_cast<sf_count_t>(want));
            float* out = dest + 2 * done;
            if (ch == 1) {
                for (sf_count_t i = 0; i < got; ++i) out[2 * i] = out[2 * i + 1] = scratch_[static_cast<std::size_t>(i)];
            } else {
                const float norm = 1.0f / (1.0f + kSideGain * static_cast<float>(ch - 2));
                for (sf_count_t i = 0; i < got; ++i) {
                    const float* in = &scratch_[static_cast<std::size_t>(i) * ch];
                    float shared = 0.0f;
                    for (std::size_t k = 2; k < ch; ++k) shared += in[k];
                    out[2 * i] = (in[0] + kSideGain * shared) * norm;
                    out[2 * i + 1] = (in[1] + kSideGain * shared) * norm;
                }
            }
        }
        if (got <= 0) {
            if (done == 0 && sf_error(Sf(file_)) != SF_ERR_NO_ERROR) return -1;
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

// ------------------------------------------------------------------ resampler

ResampleStream::ResampleStream(std::uint32_t targetRate, DecodeStream& source)
    : targetRate_(targetRate), source_(source) {}

std::unique_ptr<ResampleStream> ResampleStream::Create(std::uint32_t targetRate, DecodeStream& source) {
    if (targetRate == 0) return nullptr;
    std::unique_ptr<ResampleStream> r(new ResampleStream(targetRate, source));
    if (source.Info().sampleRate != targetRate) {
        soxr_error_t err = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        r->soxr_ = soxr_create(source.Info().sampleRate, targetRate, 2, &err, &io, &q, nullptr);
        if (err != nullptr || r->soxr_ == nullptr) return nullptr;
        r->in_.resize(2 * kResampleBlock);
    }
    return r;
}

ResampleStream::~ResampleStream() {
    if (soxr_ != nullptr) soxr_delete(Sx(soxr_));
}

std::int64_t ResampleStream::Read(float* dest, std::size_t frames) {
    if (soxr_ == nullptr) {
        const std::int64_t got = source_.ReadStereo(dest, frames);
        if (got == 0) source_.MarkEnded();
        return got;
    }
    std::size_t produced = 0;
    while (produced < frames) {
        if (!inputEnded_ && inLen_ == 0) {
            const std::int64_t got = source_.ReadStereo(in_.data(), kResampleBlock);
            if (got < 0) return -1;
            inPos_ = 0;
            inLen_ = static_cast<std::size_t>(got);
            if (got == 0) inputEnded_ = true;
        }
        std::size_t idone = 0, odone = 0;
        // A null input tells soxr that the input has ended, so it flushes its tail.
        const soxr_error_t err = soxr_process(Sx(soxr_), inputEnded_ ? nullptr : in_.data() + 2 * inPos_,
                                              inputEnded_ ? 0 : inLen_, &idone, dest + 2 * produced,
                                              frames - produced, &odone);
        if (err != nullptr) return -1;
        inPos_ += idone;
        inLen_ -= idone;
        produced += odone;
        if (inputEnded_ && odone == 0) {
            source_.MarkEnded();
            break;
        }
    }
    return static_cast<std::int64_t>(produced);
}

}  // namespace dw
