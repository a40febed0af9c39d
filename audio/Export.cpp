#include "audio/Export.h"

#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <random>

#include "resources/StringTable.h"

namespace dw {

namespace {

constexpr std::uint32_t kWriteBlock = 16384;  // frames per write call
constexpr std::uint32_t kOpusRate = 48000;

void Say(IMessageSink& sink, int id) { sink.ShowMessage(id, LoadString(id), MessageIcon::Exclamation); }

std::string RateText(std::uint32_t rate, int channels) {
    return std::to_string(rate) + " Hz, " + (channels == 1 ? "mono" : "stereo");
}

SoundFormat Make(std::uint16_t tag, SoundContainer c, std::uint32_t rate, int channels, std::uint16_t bits,
                 std::uint32_t bitRate, std::string label, std::string ext, int sf) {
    SoundFormat f;
    f.formatTag = tag;
    f.container = c;
    f.channels = static_cast<std::uint16_t>(channels);
    f.sampleRate = rate;
    f.bitsPerSample = bits;
    f.bitRate = bitRate;
    f.name = std::move(label) + ", " + RateText(rate, channels);
    f.extension = std::move(ext);
    f.sndfileFormat = sf;
    return f;
}

bool Writable(const SoundFormat& f) {
    if (f.sampleRate == 0 || f.channels == 0) return false;
    SF_INFO info{};
    info.samplerate = static_cast<int>(f.sampleRate);
    info.channels = f.channels;
    info.format = f.sndfileFormat;
    return sf_format_check(&info) != 0;
}

// The compressed WAV formats, in the order the chooser lists them.
std::vector<SoundFormat> WavCompressedAt(std::uint32_t rate, int channels) {
    return {
        Make(kTagImaAdpcm, SoundContainer::Wav, rate, channels, 4, 0, "IMA ADPCM", "wav",
             SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM),
        Make(kTagMsAdpcm, SoundContainer::Wav, rate, channels, 4, 0, "Microsoft ADPCM", "wav",
             SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM),
        Make(kTagGsm610, SoundContainer::Wav, rate, channels, 0, 0, "GSM 6.10", "wav", SF_FORMAT_WAV | SF_FORMAT_GSM610),
        Make(kTagMuLaw, SoundContainer::Wav, rate, channels, 8, 0, "CCITT u-Law", "wav", SF_FORMAT_WAV | SF_FORMAT_ULAW),
        Make(kTagALaw, SoundContainer::Wav, rate, channels, 8, 0, "CCITT A-Law", "wav", SF_FORMAT_WAV | SF_FORMAT_ALAW),
    };
}

SoundFormat Mp3At(std::uint32_t rate, std::uint32_t kbps) {
    return Make(kTagMpegLayer3, SoundContainer::Mp3, rate, 2, 0, kbps * 1000,
                "MPEG Layer-3, " + std::to_string(kbps) + " kbit/s", "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
}

// libsndfile sets the MP3 bit rate through a compression level from 0 (the
// highest rate of the MPEG version) to 1 (the lowest); the encoder then takes
// the nearest rate it has. These are the ends of that scale.
struct Mp3Scale {
    std::uint32_t minKbps, maxKbps;
};

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

// Removes the temporary file unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const std::filesystem::path& target) {
        const auto dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
        // A hidden name beside the target, so that the rename stays on one file system.
        std::string name = ".";
        name.append(target.filename().string());
        name.append(".XXXXXX.part");
        std::string pattern = (dir / name).string();
        fd_ = mkstemps(pattern.data(), 5);
        if (fd_ >= 0) path_ = pattern;
    }
    ~TempFile() {
        if (fd_ >= 0) close(fd_);
        if (!path_.empty()) unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    int fd() const { return fd_; }
    // Flushes to disk, gives the file the usual permissions and moves it over the target.
    bool Commit(const std::filesystem::path& target) {
        const mode_t mask = umask(0);
        umask(mask);
        if (fchmod(fd_, 0666 & ~mask) != 0 || fsync(fd_) != 0) return false;
        if (close(fd_) != 0) {
            fd_ = -1;
            return false;
        }
        fd_ = -1;
        if (std::rename(path_.c_str(), target.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

private:
    int fd_ = -1;
    std::string path_;
};

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

SoundFormat FormatForEncoder(int encoder, std::uint32_t sampleRate) {
    if (encoder == kEncoderWav16)
        return Make(kTagPcm, SoundContainer::Wav, sampleRate, 2, 16, 0, "PCM 16 bits", "wav",
                    SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    return Make(kTagFloat, SoundContainer::Wav, sampleRate, 2, 32, 0, "IEEE float 32 bits", "wav",
                SF_FORMAT_WAV | SF_FORMAT_FLOAT);
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
        for (auto& f : WavCompressedAt(sampleRate, 2))
            if (Writable(f)) out.push_back(std::move(f));
    } else if (encoder == kEncoderMp3) {
        for (std::uint32_t k : Mp3BitRates(sampleRate)) out.push_back(Mp3At(sampleRate, k));
    }
    return out;
}

std::optional<SoundFormat> FormatFromName(std::string_view nameOrExtension, std::uint32_t sampleRate,
                                          std::uint32_t mp3BitRateKbps) {
    std::string name = Lower(nameOrExtension);
    if (!name.empty() && name[0] == '.') name.erase(0, 1);
    std::optional<SoundFormat> f;
    if (name == "wav-float" || name == "wav") {
        f = FormatForEncoder(kEncoderWavFloat, sampleRate);
    } else if (name == "wav16") {
        f = FormatForEncoder(kEncoderWav16, sampleRate);
    } else if (name == "wav-ima-adpcm" || name == "wav-ms-adpcm" || name == "wav-gsm" || name == "wav-ulaw" ||
               name == "wav-alaw") {
        static constexpr std::string_view kNames[] = {"wav-ima-adpcm", "wav-ms-adpcm", "wav-gsm", "wav-ulaw", "wav-alaw"};
        const auto index = static_cast<std::size_t>(std::find(std::begin(kNames), std::end(kNames), name) - std::begin(kNames));
        f = WavCompressedAt(sampleRate, name == "wav-gsm" ? 1 : 2)[index];
    } else if (name == "mp3") {
        const auto rates = Mp3BitRates(sampleRate);
        std::uint32_t kbps = mp3BitRateKbps;
        if (kbps == 0) kbps = sampleRate >= 32000 ? 192 : sampleRate > 12000 ? 128 : 64;
        if (std::find(rates.begin(), rates.end(), kbps) == rates.end()) return std::nullopt;
        f = Mp3At(sampleRate, kbps);
    } else if (name == "flac") {
        f = Make(0, SoundContainer::Flac, sampleRate, 2, 24, 0, "FLAC 24 bits", "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    } else if (name == "ogg" || name == "oga") {
        f = Make(0, SoundContainer::Ogg, sampleRate, 2, 0, 0, "Ogg Vorbis", "ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    } else if (name == "opus") {
        f = Make(0, SoundContainer::Opus, kOpusRate, 2, 0, 0, "Ogg Opus", "opus", SF_FORMAT_OGG | SF_FORMAT_OPUS);
    } else {
        return std::nullopt;
    }
    if (!Writable(*f)) return std::nullopt;
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

WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress) {
    progress.SetProgress(0);
    // Only Opus may differ from the music's rate (it is resampled to 48000 Hz).
    const bool rateFits = format.sampleRate == sampleRate || format.container == SoundContainer::Opus;
    if (!rateFits || sampleRate == 0 || !Writable(format) || format.channels > 2) {
        Say(progress, IDS_ENCODER_ACM_FILE);
        return WriteResult::Failed;
    }
    if (frames == nullptr && frameCount > 0) {
        Say(progress, IDS_ENCODER_CREATE_FAILED);
        return WriteResult::Failed;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) {
        Say(progress, IDS_ENCODER_CREATE_FAILED);
        return WriteResult::Failed;
    }
    TempFile temp(target);
    SF_INFO info{};
    info.samplerate = static_cast<int>(format.sampleRate);
    info.channels = format.channels;
    info.format = format.sndfileFormat;
    SNDFILE* file = temp.fd() >= 0 ? sf_open_fd(temp.fd(), SFM_WRITE, &info, SF_FALSE) : nullptr;
    FrameSource source(frames, frameCount, sampleRate, format);
    if (file == nullptr || !source.ok()) {
        if (file != nullptr) sf_close(file);
        Say(progress, IDS_ENCODER_CREATE_FAILED);
        return WriteResult::Failed;
    }
    // No PEAK chunk: it stamps the time of writing into float files, and the
    // same music must always give the same bytes.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (format.container == SoundContainer::Mp3) {
        int mode = SF_BITRATE_MODE_CONSTANT;
        const Mp3Scale scale = ScaleOf(format.sampleRate);
        const double kbps = format.bitRate / 1000.0;
        // Level 1.0 itself is refused; just below it still lands on the lowest rate.
        double level = std::clamp((scale.maxKbps - kbps) / (scale.maxKbps - scale.minKbps), 0.0, 0.999);
        // The bit-rate mode answers 0 on success, the compression level SF_TRUE.
        if (sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof(mode)) != 0 ||
            sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof(level)) != SF_TRUE) {
            sf_close(file);
            Say(progress, IDS_ENCODER_CREATE_FAILED);
            return WriteResult::Failed;
        }
    }

    std::minstd_rand dither(1);
    std::vector<short> shorts;
    int bar = 0;
    bool failed = false;
    while (!source.done()) {
        if (!progress.IsRunning()) {
            sf_close(file);
            return WriteResult::Cancelled;
        }
        const std::size_t n = source.Next();
        if (n == 0) continue;
        sf_count_t written = 0;
        const std::size_t samples = n * format.channels;
        if (format.sndfileFormat == (SF_FORMAT_WAV | SF_FORMAT_PCM_16)) {
            ToDithered16(source.data(), samples, shorts, dither);
            written = sf_write_short(file, shorts.data(), static_cast<sf_count_t>(samples));
        } else {
            written = sf_write_float(file, source.data(), static_cast<sf_count_t>(samples));
        }
        if (written != static_cast<sf_count_t>(samples)) {
            failed = true;
            break;
        }
        const int percent = frameCount == 0 ? 100 : static_cast<int>(std::uint64_t{source.consumed()} * 100 / frameCount);
        if (percent != bar) {
            bar = percent;
            progress.SetProgress(percent);
        }
    }
    if (sf_close(file) != 0) failed = true;
    if (failed || !temp.Commit(target)) {
        Say(progress, IDS_ENCODER_WRITE_FAILED);
        return WriteResult::Failed;
    }
    progress.SetProgress(100);
    return WriteResult::Written;
}

WriteResult WriteMusic(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                       std::uint32_t sampleRate, int encoder, const SoundFormat* chosen, IProgress& progress) {
    if (encoder == kEncoderWavFloat || encoder == kEncoderWav16)
        return WriteSoundFile(target, frames, frameCount, sampleRate, FormatForEncoder(encoder, sampleRate), progress);
    const bool fits = chosen != nullptr &&
                      ((encoder == kEncoderWavCompressed && chosen->container == SoundContainer::Wav) ||
                       (encoder == kEncoderMp3 && chosen->formatTag == kTagMpegLayer3));
    if (!fits) {
        Say(progress, IDS_ENCODER_ACM_FILE);
        return WriteResult::Failed;
    }
    return WriteSoundFile(target, frames, frameCount, sampleRate, *chosen, progress);
}

}  // namespace dw
