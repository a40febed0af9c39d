#include "core/audio/Export.h"

#include <ogg/ogg.h>
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <random>
#include <utility>

#include "core/audio/FlacWriter.h"
#include "core/audio/SoundStream.h"
#include "core/base/OutputFile.h"
#include "core/resources/StringTable.h"

namespace dw {

namespace {

constexpr std::uint32_t kWriteBlock = 16384;  // frames per write call
constexpr std::uint32_t kOpusRate = 48000;

void Say(IMessageSink& sink, int id) { sink.ShowMessage(id, LoadString(id), MessageIcon::Exclamation); }

std::string RateText(std::uint32_t rate, int channels) {
    return std::to_string(rate) + " Hz, " + (channels == 1 ? "mono" : "stereo");
}

constexpr int kMpeg = kEncoderMp3;
constexpr int kAcm = kEncoderWavCompressed;
constexpr int kNone = -1;

// The table of output formats: one row each.
constexpr OutputFormatRecord kFormats[] = {
    // id               label                 container               codec                tag            bits  compr. streams encoder          ext     pickedBy   ch  rate
    {"wav-float",     "IEEE float 32 bits", SoundContainer::Wav,  SoundCodec::Float32,  kTagFloat,      32, false, false, kEncoderWavFloat, "wav",  "wav",     2, 0},
    {"wav16",         "PCM 16 bits",        SoundContainer::Wav,  SoundCodec::Pcm16,    kTagPcm,        16, false, false, kEncoderWav16,    "wav",  "",        2, 0},
    {"wav-ima-adpcm", "IMA ADPCM",          SoundContainer::Wav,  SoundCodec::ImaAdpcm, kTagImaAdpcm,    4, true,  false, kAcm,             "wav",  "",        2, 0},
    {"wav-ms-adpcm",  "Microsoft ADPCM",    SoundContainer::Wav,  SoundCodec::MsAdpcm,  kTagMsAdpcm,     4, true,  false, kAcm,             "wav",  "",        2, 0},
    {"wav-gsm",       "GSM 6.10",           SoundContainer::Wav,  SoundCodec::Gsm610,   kTagGsm610,      0, true,  false, kAcm,             "wav",  "",        1, 0},
    {"wav-ulaw",      "CCITT u-Law",        SoundContainer::Wav,  SoundCodec::ULaw,     kTagMuLaw,       8, true,  false, kAcm,             "wav",  "",        2, 0},
    {"wav-alaw",      "CCITT A-Law",        SoundContainer::Wav,  SoundCodec::ALaw,     kTagALaw,        8, true,  false, kAcm,             "wav",  "",        2, 0},
    {"mp3",           "MPEG Layer-3",       SoundContainer::Mp3,  SoundCodec::Mpeg3,    kTagMpegLayer3,  0, true,  true,  kMpeg,            "mp3",  "mp3",     2, 0},
    {"flac",          "FLAC 24 bits",       SoundContainer::Flac, SoundCodec::Pcm24,    0,              24, true,  true,  kNone,            "flac", "flac",    2, 0},
    {"ogg",           "Ogg Vorbis",         SoundContainer::Ogg,  SoundCodec::Vorbis,   0,               0, true,  true,  kNone,            "ogg",  "ogg oga", 2, 0},
    {"opus",          "Ogg Opus",           SoundContainer::Opus, SoundCodec::Opus,     0,               0, true,  true,  kNone,            "opus", "opus",    2, kOpusRate},
};

// libsndfile's name for a container and codec; 0 for a pair it cannot write.
int SndfileFormat(SoundContainer container, SoundCodec codec) {
    int major = 0;
    switch (container) {
    case SoundContainer::Wav: major = SF_FORMAT_WAV; break;
    case SoundContainer::Mp3: major = SF_FORMAT_MPEG; break;
    case SoundContainer::Flac: major = SF_FORMAT_FLAC; break;
    case SoundContainer::Ogg:
    case SoundContainer::Opus: major = SF_FORMAT_OGG; break;
    }
    switch (codec) {
    case SoundCodec::Float32: return major | SF_FORMAT_FLOAT;
    case SoundCodec::Pcm16: return major | SF_FORMAT_PCM_16;
    case SoundCodec::Pcm24: return major | SF_FORMAT_PCM_24;
    case SoundCodec::ImaAdpcm: return major | SF_FORMAT_IMA_ADPCM;
    case SoundCodec::MsAdpcm: return major | SF_FORMAT_MS_ADPCM;
    case SoundCodec::Gsm610: return major | SF_FORMAT_GSM610;
    case SoundCodec::ULaw: return major | SF_FORMAT_ULAW;
    case SoundCodec::ALaw: return major | SF_FORMAT_ALAW;
    case SoundCodec::Mpeg3: return major | SF_FORMAT_MPEG_LAYER_III;
    case SoundCodec::Vorbis: return major | SF_FORMAT_VORBIS;
    case SoundCodec::Opus: return major | SF_FORMAT_OPUS;
    }
    return 0;
}

const OutputFormatRecord* RowById(std::string_view id) {
    for (const auto& row : kFormats)
        if (row.id == id) return &row;
    return nullptr;
}

// The row a file extension chooses by itself.
const OutputFormatRecord* RowByExtension(std::string_view ext) {
    for (const auto& row : kFormats) {
        std::string_view list = row.pickedBy;
        while (!list.empty()) {
            const auto space = list.find(' ');
            if (list.substr(0, space) == ext) return &row;
            list = space == std::string_view::npos ? std::string_view() : list.substr(space + 1);
        }
    }
    return nullptr;
}

SoundFormat Make(const OutputFormatRecord& row, std::uint32_t rate, int channels, std::uint32_t kbps = 0) {
    SoundFormat f;
    f.formatTag = row.formatTag;
    f.container = row.container;
    f.codec = row.codec;
    f.channels = static_cast<std::uint16_t>(channels);
    f.sampleRate = row.fixedRate != 0 ? row.fixedRate : rate;
    f.bitsPerSample = row.bitsPerSample;
    f.bitRate = kbps * 1000;
    f.name = std::string(row.label) + (kbps != 0 ? ", " + std::to_string(kbps) + " kbit/s" : std::string()) + ", " +
             RateText(f.sampleRate, channels);
    f.extension = std::string(row.extension);
    return f;
}

bool Writable(const SoundFormat& f) {
    if (f.sampleRate == 0 || f.channels == 0) return false;
    SF_INFO info{};
    info.samplerate = static_cast<int>(f.sampleRate);
    info.channels = f.channels;
    info.format = SndfileFormat(f.container, f.codec);
    return info.format != 0 && sf_format_check(&info) != 0;
}

SoundFormat Mp3At(std::uint32_t rate, std::uint32_t kbps) { return Make(*RowById("mp3"), rate, 2, kbps); }

// libsndfile sets the MP3 bit rate through a compression level from 0 (the
// highest rate of the MPEG version) to 1 (the lowest); the encoder then takes
// the nearest rate it has. These are the ends of that scale.
struct Mp3Scale {
    std::uint32_t minKbps, maxKbps;
};

// Level 1.0 itself is refused for MP3; just below it still lands on the lowest rate.
constexpr double kMp3TopLevel = 0.999;

// libsndfile sets the Opus bit rate through the compression level too, on a
// straight line from 256 kbit/s per channel (level 0) down to 6 (level 1);
// Opus itself takes at most 510 kbit/s for two channels.
constexpr std::uint32_t kOpusMinKbps = 12;
constexpr std::uint32_t kOpusMaxKbps = 510;
constexpr double kOpusMinPerChannel = 6.0;
constexpr double kOpusMaxPerChannel = 256.0;

double OpusLevelFor(std::uint32_t kbps) {
    // Half a bit per second high, so that the encoder's truncation lands on the rate asked for.
    const double perChannel = kbps / 2.0 + 0.0005;
    return std::clamp(1.0 - (perChannel - kOpusMinPerChannel) / (kOpusMaxPerChannel - kOpusMinPerChannel), 0.0, 1.0);
}

Mp3Scale ScaleOf(std::uint32_t rate) {
    if (rate >= 32000) return {32, 320};  // MPEG-1
    if (rate >= 16000) return {8, 160};   // MPEG-2
    return {8, 64};                       // MPEG-2.5
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

// Gives every page of an Ogg stream the serial number `serial` and the
// checksum that goes with it. libsndfile draws the serial from the clock,
// which would make two writes of the same music differ; the pages pass
// through here on their way to the file, and the serial is a property of the
// stream only (no packet refers to it), so rewriting it is safe.
class OggSerial {
public:
    explicit OggSerial(std::uint32_t serial, std::vector<VorbisComment> comments = {}) : serial_(serial) {
        if (!comments.empty()) editor_.emplace(serial, std::move(comments));
    }

    // Takes bytes as the encoder writes them and passes on each whole page.
    int Write(const unsigned char* data, std::size_t size, OutputFile& out) {
        if (passThrough_) return out.Write(data, size);
        pending_.insert(pending_.end(), data, data + size);
        while (!pending_.empty()) {
            const std::size_t page = CompletePage();
            if (page == 0) break;
            if (page == kNotAPage) return Flush(out);  // not Ogg after all: leave it be
            if (const int err = Emit(pending_.data(), page, out)) return err;
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(page));
        }
        return 0;
    }
    // Whatever is held back goes out as it is (a seek or the end came).
    int Flush(OutputFile& out) {
        if (editor_) {
            std::vector<unsigned char> held;
            editor_->Flush(held);
            if (const int err = held.empty() ? 0 : out.Write(held.data(), held.size())) return err;
        }
        if (pending_.empty()) return 0;
        passThrough_ = true;  // a page cut in two can no longer be rewritten
        const int err = out.Write(pending_.data(), pending_.size());
        pending_.clear();
        return err;
    }
    std::size_t Pending() const { return pending_.size(); }

private:
    static constexpr std::size_t kHeader = 27;  // before the segment table
    static constexpr std::size_t kNotAPage = static_cast<std::size_t>(-1);

    // The length of the page at the start of the held bytes, after giving it
    // our serial and checksum; 0 while it is incomplete.
    std::size_t CompletePage() {
        if (pending_.size() < kHeader) return 0;
        unsigned char* h = pending_.data();
        if (std::memcmp(h, "OggS", 4) != 0) {
            passThrough_ = true;
            return kNotAPage;
        }
        const std::size_t segments = h[26];
        if (pending_.size() < kHeader + segments) return 0;
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments; ++i) body += h[kHeader + i];
        const std::size_t header = kHeader + segments;
        if (pending_.size() < header + body) return 0;
        for (int i = 0; i < 4; ++i) h[14 + i] = static_cast<unsigned char>(serial_ >> (8 * i));
        ogg_page page{h, static_cast<long>(header), h + header, static_cast<long>(body)};
        ogg_page_checksum_set(&page);
        return header + body;
    }

    // A whole page, through the comment editor when there is one.
    int Emit(const unsigned char* page, std::size_t size, OutputFile& out) {
        if (!editor_) return out.Write(page, size);
        edited_.clear();
        editor_->Page({page, size}, edited_);
        return edited_.empty() ? 0 : out.Write(edited_.data(), edited_.size());
    }

    std::uint32_t serial_;
    std::optional<OggCommentEditor> editor_;
    std::vector<unsigned char> edited_;
    bool passThrough_ = false;
    std::vector<unsigned char> pending_;
};

// What libsndfile writes through: our OutputFile, with every result kept.
// The first error stays; libsndfile ignores some failed writes of some
// encoders, so the writer asks here, not libsndfile, whether all went well.
struct SoundSink {
    OutputFile file;
    std::optional<OggSerial> ogg;
    int error = 0;
    // An exception thrown inside a callback (out of memory holding back an
    // Ogg page) must not unwind through libsndfile's C frames: it is kept
    // here, the callback answers as a failed call would, and the writer
    // throws it again once libsndfile has returned.
    std::exception_ptr caught;
    // On a target that only goes forward, a format that streams may still
    // go back at the end to fill in totals its readers can do without (the
    // MP3 encoder's tag frame). Those rewrites are dropped: `rewrite` is
    // where such a write would land, -1 when none.
    bool dropRewrites = false;
    std::int64_t rewrite = -1;

    int Keep(int err) {
        if (error == 0) error = err;
        return err;
    }
    int Settle() { return ogg ? Keep(ogg->Flush(file)) : 0; }

    static SoundSink& Of(void* user) { return *static_cast<SoundSink*>(user); }

    // Runs a callback's body; an exception becomes `failed`, what libsndfile
    // takes for the call's failure, and is kept for the writer.
    template <class Body>
    static sf_count_t Guarded(void* user, sf_count_t failed, Body&& body) noexcept {
        SoundSink& s = Of(user);
        try {
            return body(s);
        } catch (...) {
            if (!s.caught) s.caught = std::current_exception();
            s.Keep(EIO);
            return failed;
        }
    }
    // Throws what a callback caught, once back on this side of libsndfile.
    void Rethrow() {
        if (caught) std::rethrow_exception(std::exchange(caught, nullptr));
    }

    static sf_count_t Length(void* user) {
        return Guarded(user, -1, [](SoundSink& s) { return s.LengthOf(); });
    }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        return Guarded(user, -1, [&](SoundSink& s) { return s.SeekTo(offset, whence); });
    }
    static sf_count_t Read(void* data, sf_count_t count, void* user) {
        return Guarded(user, 0, [&](SoundSink& s) { return s.ReadInto(data, count); });
    }
    static sf_count_t Write(const void* data, sf_count_t count, void* user) {
        return Guarded(user, 0, [&](SoundSink& s) { return s.WriteFrom(data, count); });
    }
    static sf_count_t Tell(void* user) {
        return Guarded(user, -1, [](SoundSink& s) { return s.TellWhere(); });
    }

private:
    sf_count_t LengthOf() {
        return std::max<sf_count_t>(file.Size(), file.Position() + static_cast<sf_count_t>(Held()));
    }
    sf_count_t SeekTo(sf_count_t offset, int whence) {
        if (dropRewrites) {
            const std::int64_t here = rewrite >= 0 ? rewrite : file.Position() + static_cast<std::int64_t>(Held());
            const std::int64_t end = file.Position() + static_cast<std::int64_t>(Held());
            const std::int64_t to = whence == SEEK_SET ? offset : whence == SEEK_CUR ? here + offset : end + offset;
            if (to < 0 || to > end) return -1;
            rewrite = to < end ? to : -1;
            return to;
        }
        std::int64_t at = file.Position();
        if (Settle() != 0 || Keep(file.Seek(offset, whence, at)) != 0) return -1;
        return at;
    }
    sf_count_t ReadInto(void* data, sf_count_t count) {
        std::size_t got = 0;
        if (count < 0 || rewrite >= 0 || Settle() != 0) return 0;
        // Reading back may meet the end of a file still being written: that
        // is no failure, and a write-only device may refuse reads altogether.
        if (file.Read(data, static_cast<std::size_t>(count), got) != 0) return 0;
        return static_cast<sf_count_t>(got);
    }
    // After a failure the bytes are dropped but reported as taken: the write
    // has failed already, and some of libsndfile's encoders print to standard
    // output when told of a short write.
    sf_count_t WriteFrom(const void* data, sf_count_t count) {
        if (count <= 0 || error != 0) return std::max<sf_count_t>(count, 0);
        if (rewrite >= 0) {
            // Going over what has left already: dropped, but a write that
            // runs past the end would lose music.
            const std::int64_t end = file.Position() + static_cast<std::int64_t>(Held());
            if (rewrite + count > end) {
                Keep(ESPIPE);
                return count;
            }
            rewrite += count;
            if (rewrite == end) rewrite = -1;
            return count;
        }
        const auto* bytes = static_cast<const unsigned char*>(data);
        const auto n = static_cast<std::size_t>(count);
        Keep(ogg ? ogg->Write(bytes, n, file) : file.Write(bytes, n));
        return count;
    }
    sf_count_t TellWhere() const {
        if (rewrite >= 0) return rewrite;
        return file.Position() + static_cast<sf_count_t>(Held());
    }

public:
    std::size_t Held() const { return ogg ? ogg->Pending() : 0; }
};

// The Ogg serial number of some music: the same music, the same number;
// other music, most likely another (streams chained into one file need
// distinct serials).
std::uint32_t SerialOf(const StereoFrame* frames, std::uint32_t count) {
    std::uint64_t h = 1469598103934665603ull ^ count;
    const std::uint32_t step = std::max<std::uint32_t>(1, count / 65536);
    for (std::uint32_t i = 0; frames != nullptr && i < count; i += step) {
        std::uint32_t bits[2];
        std::memcpy(bits, &frames[i], sizeof bits);
        h = (h ^ bits[0]) * 1099511628211ull;
        h = (h ^ bits[1]) * 1099511628211ull;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// Feeds the music block by block in the file's channel count and rate.
class FrameSource {
public:
    FrameSource(const StereoFrame* frames, std::uint32_t count, std::uint32_t rate, const SoundFormat& format)
        : frames_(frames), count_(count), channels_(format.channels) {
        if (format.sampleRate != rate) {
            soxr_error_t err = nullptr;
            const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
            const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
            soxr_ = soxr_create(rate, format.sampleRate, 2, &err, &io, &q, nullptr);
            if (err != nullptr) {
                soxr_delete(soxr_);
                soxr_ = nullptr;
                ok_ = false;
            }
            ratio_ = static_cast<double>(format.sampleRate) / rate;
        }
        block_.resize(static_cast<std::size_t>(kWriteBlock * ratio_ + 64) * 2);
    }
    ~FrameSource() {
        if (soxr_ != nullptr) soxr_delete(soxr_);
    }
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;
    bool ok() const { return ok_; }
    std::uint32_t consumed() const { return next_; }
    bool done() const { return next_ >= count_ && drained_; }

    // Next block in the file's layout; returns frames (of `channels_` samples) ready in data().
    std::size_t Next() {
        const std::uint32_t n = std::min(kWriteBlock, count_ - next_);
        const float* in = reinterpret_cast<const float*>(frames_ + next_);
        std::size_t frames = n;
        if (soxr_ != nullptr) {
            // A null input tells soxr the music has ended, so it flushes its tail.
            std::size_t idone = 0, odone = 0;
            const std::size_t capacity = block_.size() / 2;
            soxr_process(soxr_, n > 0 ? in : nullptr, n, &idone, block_.data(), capacity, &odone);
            frames = odone;
            next_ += static_cast<std::uint32_t>(idone);
            if (n == 0 && odone == 0) drained_ = true;
        } else {
            std::copy_n(in, 2 * static_cast<std::size_t>(n), block_.data());
            next_ += n;
            if (n == 0) drained_ = true;
        }
        if (channels_ == 1)
            for (std::size_t i = 0; i < frames; ++i) block_[i] = 0.5f * (block_[2 * i] + block_[2 * i + 1]);
        return frames;
    }
    float* data() { return block_.data(); }

private:
    const StereoFrame* frames_;
    std::uint32_t count_;
    std::uint16_t channels_;
    std::uint32_t next_ = 0;
    double ratio_ = 1.0;
    soxr_t soxr_ = nullptr;
    bool ok_ = true;
    bool drained_ = false;
    std::vector<float> block_;
};

// 16-bit samples with triangular dither of one step peak, clipped.
void ToDithered16(const float* in, std::size_t samples, std::vector<short>& out, std::minstd_rand& gen) {
    std::uniform_real_distribution<float> uni(0.0f, 1.0f);
    out.resize(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const float dither = uni(gen) - uni(gen);
        const float v = std::round(in[i] * 32767.0f + dither);
        out[i] = static_cast<short>(std::clamp(v, -32768.0f, 32767.0f));
    }
}

}  // namespace

std::span<const OutputFormatRecord> OutputFormats() { return kFormats; }

std::string OutputFormatNames(bool streamingOnly) {
    std::string out;
    for (const auto& row : kFormats)
        if (row.streams || !streamingOnly) out += (out.empty() ? "" : ", ") + std::string(row.id);
    return out;
}

const OutputFormatRecord* OutputFormatOf(const SoundFormat& format) {
    for (const auto& row : kFormats)
        if (row.container == format.container && row.codec == format.codec) return &row;
    return nullptr;
}

std::string OutputFormatExtensions() {
    std::vector<std::string> all;
    for (const auto& row : kFormats) {
        std::string_view list = row.pickedBy;
        while (!list.empty()) {
            const auto space = list.find(' ');
            std::string extension(1, '.');
            extension.append(list.substr(0, space));
            all.push_back(std::move(extension));
            list = space == std::string_view::npos ? std::string_view() : list.substr(space + 1);
        }
    }
    std::string out;
    for (std::size_t i = 0; i < all.size(); ++i)
        out += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i];
    return out;
}

SoundFormat FormatForEncoder(int encoder, std::uint32_t sampleRate) {
    const int wanted = encoder == kEncoderWav16 ? kEncoderWav16 : kEncoderWavFloat;
    for (const auto& row : kFormats)
        if (row.encoder == wanted) return Make(row, sampleRate, 2);
    return {};
}

std::vector<std::uint32_t> Mp3BitRates(std::uint32_t sampleRate) {
    static constexpr std::uint32_t kMpeg1[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr std::uint32_t kMpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    // MPEG audio knows these nine rates only (MPEG-1, 2 and 2.5).
    static constexpr std::uint32_t kMpegRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    if (std::find(std::begin(kMpegRates), std::end(kMpegRates), sampleRate) == std::end(kMpegRates) ||
        !Writable(Mp3At(sampleRate, 128)))
        return {};
    const Mp3Scale scale = ScaleOf(sampleRate);
    std::vector<std::uint32_t> out;
    for (std::uint32_t k : sampleRate >= 32000 ? std::span<const std::uint32_t>(kMpeg1) : std::span<const std::uint32_t>(kMpeg2))
        if (k >= scale.minKbps && k <= scale.maxKbps) out.push_back(k);
    return out;
}

std::vector<SoundFormat> CompressedFormats(int encoder, std::uint32_t sampleRate) {
    std::vector<SoundFormat> out;
    if (encoder == kEncoderWavCompressed) {
        for (const auto& row : kFormats)
            if (row.encoder == kEncoderWavCompressed)
                if (SoundFormat f = Make(row, sampleRate, 2); Writable(f)) out.push_back(std::move(f));
    } else if (encoder == kEncoderMp3) {
        for (std::uint32_t k : Mp3BitRates(sampleRate)) out.push_back(Mp3At(sampleRate, k));
    }
    return out;
}

std::optional<SoundFormat> FormatFromName(std::string_view nameOrExtension, std::uint32_t sampleRate,
                                          std::uint32_t mp3BitRateKbps) {
    std::string name = Lower(nameOrExtension);
    if (!name.empty() && name[0] == '.') name.erase(0, 1);
    const OutputFormatRecord* row = RowById(name);
    if (row == nullptr) row = RowByExtension(name);
    if (row == nullptr) return std::nullopt;
    SoundFormat f;
    if (row->codec == SoundCodec::Mpeg3) {
        const auto rates = Mp3BitRates(sampleRate);
        std::uint32_t kbps = mp3BitRateKbps;
        if (kbps == 0) kbps = sampleRate >= 32000 ? 192 : sampleRate > 12000 ? 128 : 64;
        if (std::find(rates.begin(), rates.end(), kbps) == rates.end()) return std::nullopt;
        f = Mp3At(sampleRate, kbps);
    } else {
        f = Make(*row, sampleRate, row->channels);
    }
    if (!Writable(f)) return std::nullopt;
    return f;
}

std::optional<SoundFormat> ChooseAcmFormat(int encoder, std::uint32_t sampleRate, IFormatChooser& chooser,
                                           IMessageSink& messages) {
    if (sampleRate < 1000 || sampleRate > 384000) {
        messages.ShowMessage(IDS_ENCODER_CREATE_FILE_FAILED, LoadString(IDS_ENCODER_CREATE_FILE_FAILED),
                             MessageIcon::Exclamation);
        return std::nullopt;
    }
    if (encoder != kEncoderWavCompressed && encoder != kEncoderMp3) return std::nullopt;
    const auto formats = CompressedFormats(encoder, sampleRate);
    if (formats.empty()) {
        messages.ShowMessage(IDS_WRONG_FORMAT, LoadString(IDS_WRONG_FORMAT), MessageIcon::Exclamation);
        return std::nullopt;
    }
    const auto chosen = chooser.ChooseFormat(kChooserTitle, formats);
    if (!chosen || *chosen >= formats.size()) return std::nullopt;
    return formats[*chosen];
}

std::string EncoderSettingsProblem(const SoundFormat& format, const EncoderSettings& settings) {
    const bool mp3 = format.container == SoundContainer::Mp3;
    const bool opus = format.container == SoundContainer::Opus;
    const bool compressible = mp3 || opus || format.container == SoundContainer::Flac ||
                              format.container == SoundContainer::Ogg;
    if (settings.compression) {
        if (!compressible) return "--compression: only FLAC, Ogg Vorbis, Opus and MP3 take a compression level.";
        if (!(*settings.compression >= 0.0 && *settings.compression <= 1.0))
            return "--compression: the level runs from 0 (best) to 1 (smallest).";
        if (mp3 && settings.bitrateKbps)
            return "--compression and --bitrate: MP3 takes one of them (a variable or a constant bit rate).";
    }
    if (settings.bitrateKbps) {
        const std::uint32_t k = *settings.bitrateKbps;
        if (mp3) {
            const auto rates = Mp3BitRates(format.sampleRate);
            if (std::find(rates.begin(), rates.end(), k) == rates.end()) {
                std::string list;
                for (std::size_t i = 0; i < rates.size(); ++i)
                    list += (i == 0 ? "" : i + 1 == rates.size() ? " or " : ", ") + std::to_string(rates[i]);
                return "--bitrate: MP3 at " + std::to_string(format.sampleRate) + " Hz takes " + list + " kbit/s.";
            }
        } else if (opus) {
            if (k < kOpusMinKbps || k > kOpusMaxKbps)
                return "--bitrate: Opus takes " + std::to_string(kOpusMinKbps) + " to " + std::to_string(kOpusMaxKbps) +
                       " kbit/s.";
        } else {
            return "--bitrate: only MP3 and Opus take a bit rate.";
        }
    }
    return {};
}

SoundFormat ApplyEncoderSettings(SoundFormat format, const EncoderSettings& settings) {
    if (format.container == SoundContainer::Mp3 && settings.bitrateKbps && EncoderSettingsProblem(format, settings).empty())
        format = Mp3At(format.sampleRate, *settings.bitrateKbps);
    return format;
}

WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress,
                           WriteError& error) {
    return WriteSoundFile(target, frames, frameCount, sampleRate, format, progress, error, WriteOptions{});
}

namespace {

// The open libsndfile handle, closed once by whoever holds it last: a step
// that gives up just returns. Declared after the sink it writes through, so
// that it closes (and writes its last bytes) while the sink is still there.
class SoundFileHandle {
public:
    explicit SoundFileHandle(SNDFILE* file) : file_(file) {}
    ~SoundFileHandle() { Close(); }
    SoundFileHandle(const SoundFileHandle&) = delete;
    SoundFileHandle& operator=(const SoundFileHandle&) = delete;

    SNDFILE* get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }
    // Closes now, where the close's result counts: it writes the encoder's
    // last blocks and the final header. 0 on success, as sf_close answers.
    int Close() {
        SNDFILE* file = std::exchange(file_, nullptr);
        return file != nullptr ? sf_close(file) : 0;
    }

private:
    SNDFILE* file_;
};

// A step's failure: the message and the reason; none when the step went well.
using StepFailure = std::optional<WriteError>;

StepFailure CheckWritable(const std::uint32_t sampleRate, const SoundFormat& format, const StereoFrame* frames,
                          std::uint32_t frameCount) {
    // Only Opus may differ from the music's rate (it is resampled to 48000 Hz).
    const bool rateFits = format.sampleRate == sampleRate || format.container == SoundContainer::Opus;
    if (!rateFits || sampleRate == 0 || !Writable(format) || format.channels > 2)
        return WriteError{IDS_ENCODER_ACM_FILE,
                          "the format cannot hold music at " + std::to_string(sampleRate) + " Hz"};
    if (frames == nullptr && frameCount > 0) return WriteError{IDS_ENCODER_CREATE_FAILED, "there is no music"};
    return std::nullopt;
}

StepFailure OpenSink(SoundSink& sink, const std::filesystem::path& target, const SoundFormat& format,
                     const StereoFrame* frames, std::uint32_t frameCount) {
    if (const int err = sink.file.Open(target)) return WriteError{IDS_ENCODER_CREATE_FAILED, ErrorText(err)};
    if (format.container == SoundContainer::Ogg || format.container == SoundContainer::Opus)
        sink.ogg.emplace(SerialOf(frames, frameCount));
    if (const OutputFormatRecord* row = OutputFormatOf(format); row != nullptr && row->streams)
        sink.dropRewrites = !sink.file.Seekable();
    return std::nullopt;
}

SNDFILE* OpenEncoder(SoundSink& sink, const SoundFormat& format) {
    SF_VIRTUAL_IO io{&SoundSink::Length, &SoundSink::Seek, &SoundSink::Read, &SoundSink::Write, &SoundSink::Tell};
    SF_INFO info{};
    info.samplerate = static_cast<int>(format.sampleRate);
    info.channels = format.channels;
    info.format = SndfileFormat(format.container, format.codec);
    return sf_open_virtual(&io, SFM_WRITE, &info, &sink);
}

// Tags go in before the first samples: FLAC, Ogg and Opus write them into
// their headers. MP3 goes without: libsndfile writes its ID3 block in front
// of the frames, and the encoder's Info frame (its delay and padding) then
// no longer lands where decoders look for it, so the music would decode
// longer than it is and lose its seamless loop.
StepFailure SetTags(SNDFILE* file, const SoundFormat& format, const SoundTags& tags) {
    if (format.container == SoundContainer::Mp3) return std::nullopt;
    const std::pair<int, const std::string*> fields[] = {
        {SF_STR_TITLE, &tags.title},     {SF_STR_ARTIST, &tags.artist}, {SF_STR_SOFTWARE, &tags.software},
        {SF_STR_DATE, &tags.date},       {SF_STR_COMMENT, &tags.comment}};
    for (const auto& [kind, text] : fields) {
        if (text->empty()) continue;
        if (sf_set_string(file, kind, text->c_str()) != 0)
            return WriteError{IDS_ENCODER_CREATE_FAILED,
                              "the tags could not be written (" + std::string(sf_strerror(file)) + ")"};
    }
    return std::nullopt;
}

// The encoder's compression level or, for MP3 without one, its constant bit rate.
StepFailure SetEncoderLevel(SNDFILE* file, const SoundFormat& format, const EncoderSettings& encoder) {
    const auto refused = [](const char* what) {
        return WriteError{IDS_ENCODER_CREATE_FAILED, std::string("the encoder refused the ") + what};
    };
    std::optional<double> level = encoder.compression;
    if (format.container == SoundContainer::Opus && encoder.bitrateKbps) level = OpusLevelFor(*encoder.bitrateKbps);
    // The bit-rate mode answers 0 on success, the compression level SF_TRUE.
    if (format.container == SoundContainer::Mp3 && level) {
        // A compression level asks for a variable bit rate, as MP3 users know it.
        int mode = SF_BITRATE_MODE_VARIABLE;
        double value = std::min(*level, kMp3TopLevel);
        if (sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof(mode)) != 0 ||
            sf_command(file, SFC_SET_COMPRESSION_LEVEL, &value, sizeof(value)) != SF_TRUE)
            return refused("compression level");
    } else if (level) {
        double value = *level;
        if (sf_command(file, SFC_SET_COMPRESSION_LEVEL, &value, sizeof(value)) != SF_TRUE)
            return refused("compression level");
    } else if (format.container == SoundContainer::Mp3) {
        int mode = SF_BITRATE_MODE_CONSTANT;
        const Mp3Scale scale = ScaleOf(format.sampleRate);
        const double kbps = format.bitRate / 1000.0;
        double cbr = std::clamp((scale.maxKbps - kbps) / (scale.maxKbps - scale.minKbps), 0.0, kMp3TopLevel);
        if (sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof(mode)) != 0 ||
            sf_command(file, SFC_SET_COMPRESSION_LEVEL, &cbr, sizeof(cbr)) != SF_TRUE)
            return refused("bit rate");
    }
    return std::nullopt;
}

// The music block by block, with progress. False when cancelled; a write
// the library refused leaves its reason in `libraryError`.
bool WriteFrames(SNDFILE* file, const SoundSink& sink, FrameSource& source, const SoundFormat& format,
                 std::uint32_t frameCount, IProgress& progress, std::string& libraryError) {
    std::minstd_rand dither(1);
    std::vector<short> shorts;
    int bar = 0;
    while (!source.done() && sink.error == 0) {
        if (!progress.IsRunning()) return false;
        const std::size_t n = source.Next();
        if (n == 0) continue;
        sf_count_t written = 0;
        const std::size_t samples = n * format.channels;
        if (format.codec == SoundCodec::Pcm16) {
            ToDithered16(source.data(), samples, shorts, dither);
            written = sf_write_short(file, shorts.data(), static_cast<sf_count_t>(samples));
        } else {
            written = sf_write_float(file, source.data(), static_cast<sf_count_t>(samples));
        }
        if (written != static_cast<sf_count_t>(samples)) {
            libraryError = sf_strerror(file);
            break;
        }
        const int percent = frameCount == 0 ? 100 : static_cast<int>(std::uint64_t{source.consumed()} * 100 / frameCount);
        if (percent != bar) {
            bar = percent;
            progress.SetProgress(percent);
        }
    }
    return true;
}

// Closing writes the encoder's last blocks and the final header: its
// failures count like any other write's. Only a file that went well in
// every step is put in place.
StepFailure CloseAndCommit(SoundFileHandle& file, SoundSink& sink, std::string libraryError) {
    if (file.Close() != 0 && libraryError.empty()) libraryError = sf_strerror(nullptr);
    sink.Rethrow();
    sink.Settle();
    if (sink.error == 0 && libraryError.empty()) sink.Keep(sink.file.Commit());
    if (sink.error != 0) {
        // A FIFO or device cannot go back to finish a header.
        if (sink.error == ESPIPE && sink.file.Direct())
            return WriteError{IDS_ENCODER_WRITE_FAILED, "this format must go back to finish its header, which " +
                                                            sink.file.Resolved().string() + " cannot"};
        return WriteError{IDS_ENCODER_WRITE_FAILED, ErrorText(sink.error)};
    }
    if (!libraryError.empty()) return WriteError{IDS_ENCODER_WRITE_FAILED, libraryError};
    return std::nullopt;
}

}  // namespace

WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress,
                           WriteError& error, const WriteOptions& options) {
    const auto failed = [&](WriteError why) {
        error = std::move(why);
        return WriteResult::Failed;
    };
    if (std::string problem = EncoderSettingsProblem(format, options.encoder); !problem.empty())
        return failed({IDS_ENCODER_CREATE_FAILED, std::move(problem)});
    progress.SetProgress(0);
    if (StepFailure f = CheckWritable(sampleRate, format, frames, frameCount)) return failed(*f);
    // FLAC is encoded on every core by libFLAC itself, not through libsndfile.
    if (format.container == SoundContainer::Flac)
        return WriteFlacFile(target, frames, frameCount, format, progress, error, options);

    SoundSink sink;
    if (StepFailure f = OpenSink(sink, target, format, frames, frameCount)) return failed(*f);
    SoundFileHandle file(OpenEncoder(sink, format));
    // What went wrong inside a callback is thrown here rather than worded.
    const auto failedWriting = [&](WriteError why) {
        file.Close();
        sink.Rethrow();
        return failed(std::move(why));
    };
    FrameSource source(frames, frameCount, sampleRate, format);
    if (!file || !source.ok()) {
        const std::string reason = sink.error != 0 ? ErrorText(sink.error)
                                   : !file         ? std::string(sf_strerror(nullptr))
                                                   : "the resampler could not start";
        return failedWriting({IDS_ENCODER_CREATE_FAILED, reason});
    }
    // No PEAK chunk: it stamps the time of writing into float files, and the
    // same music must always give the same bytes.
    sf_command(file.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (StepFailure f = SetTags(file.get(), format, options.tags)) return failedWriting(*f);
    if (StepFailure f = SetEncoderLevel(file.get(), format, options.encoder)) return failedWriting(*f);
    std::string libraryError;
    if (!WriteFrames(file.get(), sink, source, format, frameCount, progress, libraryError)) {
        file.Close();
        sink.Rethrow();
        return WriteResult::Cancelled;
    }
    if (StepFailure f = CloseAndCommit(file, sink, std::move(libraryError))) return failed(*f);
    progress.SetProgress(100);
    return WriteResult::Written;
}

WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress) {
    return WriteSoundFile(target, frames, frameCount, sampleRate, format, progress, WriteOptions{});
}

WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress,
                           const WriteOptions& options) {
    WriteError error;
    const WriteResult result = WriteSoundFile(target, frames, frameCount, sampleRate, format, progress, error, options);
    if (result == WriteResult::Failed) {
        std::string text(LoadString(error.messageId));
        // The program's own message first; then which file and why, where
        // the system said why.
        if (error.messageId != IDS_ENCODER_ACM_FILE && !error.reason.empty())
            text += "\n\n" + target.string() + ": " + error.reason;
        progress.ShowMessage(error.messageId, text, MessageIcon::Exclamation);
    }
    return result;
}

WriteResult WriteMusic(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                       std::uint32_t sampleRate, int encoder, const SoundFormat* chosen, IProgress& progress) {
    return WriteMusic(target, frames, frameCount, sampleRate, encoder, chosen, progress, WriteOptions{});
}

WriteResult WriteMusic(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                       std::uint32_t sampleRate, int encoder, const SoundFormat* chosen, IProgress& progress,
                       const WriteOptions& options) {
    if (encoder == kEncoderWavFloat || encoder == kEncoderWav16)
        return WriteSoundFile(target, frames, frameCount, sampleRate, FormatForEncoder(encoder, sampleRate), progress,
                              options);
    if (chosen == nullptr || !EncoderWrites(encoder, *chosen)) {
        Say(progress, IDS_ENCODER_ACM_FILE);
        return WriteResult::Failed;
    }
    return WriteSoundFile(target, frames, frameCount, sampleRate, *chosen, progress, options);
}

bool EncoderWrites(int encoder, const SoundFormat& format) {
    switch (encoder) {
    case kEncoderWavFloat:
    case kEncoderWav16: return format == FormatForEncoder(encoder, format.sampleRate);
    case kEncoderWavCompressed: return format.container == SoundContainer::Wav;
    case kEncoderMp3: return format.formatTag == kTagMpegLayer3;
    default: return false;
    }
}

bool IsLossyCodec(const SoundFormat& format) {
    return format.codec == SoundCodec::Mpeg3 || format.codec == SoundCodec::Vorbis || format.codec == SoundCodec::Opus;
}


// ---------------------------------------------------------------------------
// Writing front to back (SoundStream.h).

namespace {

constexpr std::uint64_t kRiffLimit = 0xFFFFFFFFull - 1024;  // room for the header and tags
std::uint64_t g_rf64Limit = 0;

std::uint64_t Rf64Limit() { return g_rf64Limit != 0 ? g_rf64Limit : kRiffLimit; }

void PutLe(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}
void PutTag(std::vector<unsigned char>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// The header of a WAV whose length is known, for a target that cannot go back.
std::vector<unsigned char> WavHeader(const SoundFormat& format, std::uint64_t dataBytes, bool rf64) {
    std::vector<unsigned char> h;
    const unsigned bytesPerSample = format.codec == SoundCodec::Pcm16 ? 2 : 4;
    const std::uint64_t riffSize = 4 + (rf64 ? 8 + 28 : 0) + 8 + 16 + 8 + dataBytes;
    PutTag(h, rf64 ? "RF64" : "RIFF");
    PutLe(h, rf64 ? 0xFFFFFFFFull : riffSize, 4);
    PutTag(h, "WAVE");
    if (rf64) {
        PutTag(h, "ds64");
        PutLe(h, 28, 4);
        PutLe(h, riffSize, 8);
        PutLe(h, dataBytes, 8);
        PutLe(h, dataBytes / (bytesPerSample * format.channels), 8);
        PutLe(h, 0, 4);
    }
    PutTag(h, "fmt ");
    PutLe(h, 16, 4);
    PutLe(h, format.codec == SoundCodec::Pcm16 ? kTagPcm : kTagFloat, 2);
    PutLe(h, format.channels, 2);
    PutLe(h, format.sampleRate, 4);
    PutLe(h, std::uint64_t{format.sampleRate} * bytesPerSample * format.channels, 4);
    PutLe(h, bytesPerSample * format.channels, 2);
    PutLe(h, bytesPerSample * 8, 2);
    PutTag(h, "data");
    PutLe(h, rf64 ? 0xFFFFFFFFull : dataBytes, 4);
    return h;
}

std::uint64_t BytesPerFrame(const SoundFormat& format) {
    switch (format.codec) {
    case SoundCodec::Pcm16: return 2u * format.channels;
    case SoundCodec::Float32: return 4u * format.channels;
    default: return 2u * format.channels;  // the coded WAVs are smaller still
    }
}

}  // namespace

void SetRf64LimitForTesting(std::uint64_t bytes) { g_rf64Limit = bytes; }

struct SoundStreamWriter::Impl {
    SoundSink sink;
    std::optional<SoundFileHandle> file;
    SoundFormat format;
    std::uint32_t rate = 0;
    bool rawWav = false;  // our own header, then the samples
    bool rf64 = false;
    bool open = false;
    soxr_t soxr = nullptr;
    std::vector<float> block;
    std::vector<short> shorts;
    std::minstd_rand dither{1};
    std::string libraryError;
    std::unique_ptr<FlacStream> flac;

    ~Impl() {
        if (file) file->Close();
        if (soxr != nullptr) soxr_delete(soxr);
    }

    std::optional<WriteError> Failure() {
        sink.Rethrow();
        if (sink.error != 0) return WriteError{IDS_ENCODER_WRITE_FAILED, ErrorText(sink.error)};
        if (!libraryError.empty()) return WriteError{IDS_ENCODER_WRITE_FAILED, libraryError};
        return std::nullopt;
    }

    // Writes `frames` frames of block (in the file's channels) through the encoder or straight out.
    std::optional<WriteError> Put(const float* samples, std::size_t frames) {
        const std::size_t count = frames * format.channels;
        if (flac) {
            std::optional<WriteError> f = flac->Write(samples, frames);
            sink.Keep(flac->SystemError());
            return f ? f : Failure();
        }
        if (format.codec == SoundCodec::Pcm16) {
            ToDithered16(samples, count, shorts, dither);
            if (rawWav) {
                sink.Keep(sink.file.Write(shorts.data(), count * sizeof(short)));
            } else if (sf_write_short(file->get(), shorts.data(), static_cast<sf_count_t>(count)) !=
                       static_cast<sf_count_t>(count)) {
                libraryError = sf_strerror(file->get());
            }
        } else if (rawWav) {
            sink.Keep(sink.file.Write(samples, count * sizeof(float)));
        } else if (sf_write_float(file->get(), samples, static_cast<sf_count_t>(count)) !=
                   static_cast<sf_count_t>(count)) {
            libraryError = sf_strerror(file->get());
        }
        return Failure();
    }

    // Resamples (Opus), mixes to mono (GSM) and writes; a null `in` drains the resampler.
    std::optional<WriteError> Feed(const StereoFrame* in, std::size_t frames) {
        const double ratio = soxr != nullptr ? static_cast<double>(format.sampleRate) / rate : 1.0;
        std::size_t done = 0;
        do {
            const std::size_t n = in == nullptr ? 0 : std::min<std::size_t>(kWriteBlock, frames - done);
            std::size_t out = n;
            if (soxr != nullptr) {
                block.resize((static_cast<std::size_t>(kWriteBlock * ratio) + 64) * 2);
                std::size_t idone = 0;
                soxr_process(soxr, in != nullptr ? reinterpret_cast<const float*>(in + done) : nullptr, n, &idone,
                             block.data(), block.size() / 2, &out);
                if (in != nullptr && idone != n) return WriteError{IDS_ENCODER_WRITE_FAILED, "the resampler stalled"};
                if (in == nullptr && out == 0) return std::nullopt;
            } else {
                block.resize(n * 2);
                std::memcpy(block.data(), in + done, n * sizeof(StereoFrame));
            }
            if (format.channels == 1)
                for (std::size_t i = 0; i < out; ++i) block[i] = 0.5f * (block[2 * i] + block[2 * i + 1]);
            if (out > 0)
                if (auto f = Put(block.data(), out)) return f;
            done += n;
        } while (in == nullptr ? true : done < frames);
        return std::nullopt;
    }
};

SoundStreamWriter::SoundStreamWriter() : impl_(std::make_unique<Impl>()) {}
SoundStreamWriter::~SoundStreamWriter() = default;

bool SoundStreamWriter::Rf64() const { return impl_->rf64; }
int SoundStreamWriter::SystemError() const { return impl_->sink.error; }

std::optional<WriteError> SoundStreamWriter::Open(const std::filesystem::path& target, std::uint32_t sampleRate,
                                                  const SoundFormat& format, const StreamOptions& options) {
    Impl& s = *impl_;
    if (std::string problem = EncoderSettingsProblem(format, options.write.encoder); !problem.empty())
        return WriteError{IDS_ENCODER_CREATE_FAILED, std::move(problem)};
    if (StepFailure f = CheckWritable(sampleRate, format, nullptr, 0)) return f;
    s.format = format;
    s.rate = sampleRate;
    if (const int err = s.sink.file.Open(target)) return WriteError{IDS_ENCODER_CREATE_FAILED, ErrorText(err)};
    const OutputFormatRecord* row = OutputFormatOf(format);
    const bool streams = row != nullptr && row->streams;
    const bool wav = format.container == SoundContainer::Wav;
    if (!options.totalFrames && !streams)
        return WriteError{IDS_ENCODER_CREATE_FAILED, "music without an end needs a format that streams (" +
                                                         OutputFormatNames(true) + ")"};
    const std::uint64_t dataBytes = options.totalFrames.value_or(0) * BytesPerFrame(format);
    s.rf64 = wav && dataBytes > Rf64Limit();
    if (wav && !s.sink.file.Seekable()) {
        if (format.codec != SoundCodec::Float32 && format.codec != SoundCodec::Pcm16)
            return WriteError{IDS_ENCODER_CREATE_FAILED,
                              "a coded WAV must go back to finish its header, which this target cannot"};
        s.rawWav = true;
        const std::vector<unsigned char> header = WavHeader(format, dataBytes, s.rf64);
        s.sink.Keep(s.sink.file.Write(header.data(), header.size()));
    } else if (format.container == SoundContainer::Flac && !options.flacOnOneThread) {
        // Known only when no resampling can change the count.
        std::optional<std::uint64_t> total;
        if (format.sampleRate == sampleRate) total = options.totalFrames;
        s.flac = std::make_unique<FlacStream>(s.sink.file);
        if (auto f = s.flac->Open(format, options.write, total, options.comments)) {
            s.sink.Keep(s.flac->SystemError());
            return f;
        }
    } else {
        if (format.container == SoundContainer::Ogg || format.container == SoundContainer::Opus)
            s.sink.ogg.emplace(options.oggSerial, options.comments);
        s.sink.dropRewrites = streams && !s.sink.file.Seekable();
        SF_VIRTUAL_IO io{&SoundSink::Length, &SoundSink::Seek, &SoundSink::Read, &SoundSink::Write, &SoundSink::Tell};
        SF_INFO info{};
        info.samplerate = static_cast<int>(format.sampleRate);
        info.channels = format.channels;
        info.format = SndfileFormat(format.container, format.codec);
        if (s.rf64) info.format = (info.format & ~SF_FORMAT_TYPEMASK) | SF_FORMAT_RF64;
        SNDFILE* handle = sf_open_virtual(&io, SFM_WRITE, &info, &s.sink);
        if (handle == nullptr) {
            s.sink.Rethrow();
            return WriteError{IDS_ENCODER_CREATE_FAILED,
                              s.sink.error != 0 ? ErrorText(s.sink.error) : std::string(sf_strerror(nullptr))};
        }
        s.file.emplace(handle);
        sf_command(handle, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
        sf_command(handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        if (StepFailure f = SetTags(handle, format, options.write.tags)) return f;
        if (StepFailure f = SetEncoderLevel(handle, format, options.write.encoder)) return f;
    }
    if (format.sampleRate != sampleRate) {
        soxr_error_t err = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        s.soxr = soxr_create(sampleRate, format.sampleRate, 2, &err, &io, &q, nullptr);
        if (err != nullptr) return WriteError{IDS_ENCODER_CREATE_FAILED, "the resampler could not start"};
    }
    s.open = true;
    return s.Failure();
}

std::optional<WriteError> SoundStreamWriter::Write(std::span<const StereoFrame> frames) {
    if (!impl_->open) return WriteError{IDS_ENCODER_WRITE_FAILED, "the file is not open"};
    if (frames.empty()) return std::nullopt;
    return impl_->Feed(frames.data(), frames.size());
}

std::optional<WriteError> SoundStreamWriter::Finish() {
    Impl& s = *impl_;
    if (!s.open) return WriteError{IDS_ENCODER_WRITE_FAILED, "the file is not open"};
    s.open = false;
    if (s.soxr != nullptr)
        if (auto f = s.Feed(nullptr, 0)) return f;
    if (s.flac) {
        std::optional<WriteError> f = s.flac->Finish();
        s.sink.Keep(s.flac->SystemError());
        if (f) return f;
    }
    if (s.rawWav || s.flac) {
        if (s.sink.error == 0) s.sink.Keep(s.sink.file.Commit());
        return s.Failure();
    }
    return CloseAndCommit(*s.file, s.sink, s.libraryError);
}

}  // namespace dw
