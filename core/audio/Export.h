#pragma once
// Writing the created music to a sound file, and choosing the compressed
// format for the two compressed encoders.
//
// Encoders (the project's `encoder` index):
//   0 "WAV original (float)"  32-bit float WAV, exactly the buffer
//   1 "WAV 16 bits"           16-bit WAV, clipped and TPDF-dithered
//   2 "WAV ACM compressed"    IMA ADPCM, MS ADPCM, GSM 6.10, u-law or A-law WAV
//   3 "MP3 ACM"               MPEG layer III at a constant bit rate
// plus, for the command line, FLAC (24 bits), Ogg Vorbis and Opus.
//
// Opus through libsndfile takes 48000 Hz only: music at another rate is
// resampled to 48000 Hz (libsoxr, high quality) as it is written.
// GSM 6.10 in WAV is mono only in libsndfile, so the chooser never offers it
// for two channels; asked for by name it writes the mix (left + right) / 2.
//
// FLAC is encoded by libFLAC on every core (audio/FlacWriter.h), the other
// formats through libsndfile on the calling thread; progress, cancel and
// messages always go through IProgress on the calling thread.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/Progress.h"
#include "core/model/StereoFrame.h"

namespace dw {

enum class SoundContainer { Wav, Mp3, Flac, Ogg, Opus };

// How the samples are coded inside the container.
enum class SoundCodec { Float32, Pcm16, Pcm24, ImaAdpcm, MsAdpcm, Gsm610, ULaw, ALaw, Mpeg3, Vorbis, Opus };

// Our description of one output format (the "format block").
struct SoundFormat {
    std::uint16_t formatTag = 0;  // WAVE format tag, e.g. 0x0055 for MPEG layer III; 0 for FLAC, Ogg, Opus
    SoundContainer container = SoundContainer::Wav;
    SoundCodec codec = SoundCodec::Float32;
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 0;     // of the file written
    std::uint16_t bitsPerSample = 0;  // 0 where it does not apply
    std::uint32_t bitRate = 0;        // bits per second for MP3, 0 otherwise
    std::string name;                 // for the chooser, e.g. "MPEG Layer-3, 128 kbit/s, 44100 Hz, stereo"
    std::string extension;            // without the dot: "wav", "mp3", "flac", "ogg", "opus"

    bool operator==(const SoundFormat&) const = default;
};

inline constexpr std::uint16_t kTagPcm = 0x0001;
inline constexpr std::uint16_t kTagMsAdpcm = 0x0002;
inline constexpr std::uint16_t kTagFloat = 0x0003;
inline constexpr std::uint16_t kTagALaw = 0x0006;
inline constexpr std::uint16_t kTagMuLaw = 0x0007;
inline constexpr std::uint16_t kTagImaAdpcm = 0x0011;
inline constexpr std::uint16_t kTagGsm610 = 0x0031;
inline constexpr std::uint16_t kTagMpegLayer3 = 0x0055;

inline constexpr int kEncoderWavFloat = 0;
inline constexpr int kEncoderWav16 = 1;
inline constexpr int kEncoderWavCompressed = 2;
inline constexpr int kEncoderMp3 = 3;

// One output format the program writes. The table of them (OutputFormats) is
// the only list: the short names, the extensions, the chooser's offer and the
// help texts all read it, so adding a format is adding one row.
struct OutputFormatRecord {
    std::string_view id;     // the short name: "wav-ima-adpcm"
    std::string_view label;  // the chooser's name before rate and channels: "IMA ADPCM"
    SoundContainer container;
    SoundCodec codec;
    std::uint16_t formatTag;  // WAVE format tag; 0 outside WAV
    std::uint16_t bitsPerSample;
    bool compressed;          // coded (lossy or not) rather than plain samples
    bool streams;             // written front to back only, so a FIFO can take it
    int encoder;              // the project encoder that writes it, -1 for the command line only
    std::string_view extension;  // of the files written, without the dot
    std::string_view pickedBy;   // extensions that choose this format by themselves, space-separated
    std::uint16_t channels;      // when asked for by name (GSM 6.10 in WAV holds one)
    std::uint32_t fixedRate;     // the only rate the format takes (Opus: 48000), 0 for any
};

// Every output format, in the order the chooser and the help list them.
std::span<const OutputFormatRecord> OutputFormats();

// "wav-float, wav16, ..., opus": the short names, for help and messages;
// with `streamingOnly`, those of the formats that a FIFO can take.
std::string OutputFormatNames(bool streamingOnly = false);
// The row `format` was made from; null for a format of no row.
const OutputFormatRecord* OutputFormatOf(const SoundFormat& format);
// ".wav, .mp3, ... or .opus": the extensions that choose a format by themselves.
std::string OutputFormatExtensions();

// The format of encoder 0 or 1 at `sampleRate`, two channels.
SoundFormat FormatForEncoder(int encoder, std::uint32_t sampleRate);

// The formats that fit encoder 2 or 3, `sampleRate` and two channels, in the
// order the chooser shows them; empty for other encoders or unusable rates.
std::vector<SoundFormat> CompressedFormats(int encoder, std::uint32_t sampleRate);

// MP3 bit rates (kbit/s) that libsndfile's encoder offers at `sampleRate`.
std::vector<std::uint32_t> Mp3BitRates(std::uint32_t sampleRate);

// The format for a short name (wav-float, wav16, wav-ima-adpcm, wav-ms-adpcm,
// wav-gsm, wav-ulaw, wav-alaw, mp3, flac, ogg, opus) or a file extension
// (".wav" is float, ".mp3", ".flac", ".ogg", ".oga", ".opus"), case-insensitive,
// at `sampleRate`. `mp3BitRateKbps` 0 takes a default (192 kbit/s at 32000 Hz
// and above, 128 below, 64 at 12000 Hz and below). None for an unknown name,
// a bit rate that the rate does not offer, or a format that cannot hold it.
std::optional<SoundFormat> FormatFromName(std::string_view nameOrExtension, std::uint32_t sampleRate,
                                          std::uint32_t mp3BitRateKbps = 0);

// Where the user picks one of the offered formats: the format dialog of the
// windows, the command line's option, the tests.
class IFormatChooser {
public:
    virtual ~IFormatChooser() = default;
    // The index of the chosen format, or none when the user cancelled.
    virtual std::optional<std::size_t> ChooseFormat(std::string_view title, std::span<const SoundFormat> formats) = 0;
};

inline constexpr std::string_view kChooserTitle = "Select output sound file properties";

// Lists the formats that fit `encoder` (2 or 3), `sampleRate` and two
// channels and asks the chooser. None when the user cancels (no message), when
// no format fits ("Error (audio): Wrong format") or the rate is unusable
// ("Error (audio): Encoder create file failed").
std::optional<SoundFormat> ChooseAcmFormat(int encoder, std::uint32_t sampleRate, IFormatChooser& chooser,
                                           IMessageSink& messages);

enum class WriteResult { Written, Cancelled, Failed };

struct WriteOptions;

// Coded lossily in a way whose decoders can give back more than full scale
// (MP3, Vorbis, Opus), so the music needs headroom under its true peak.
bool IsLossyCodec(const SoundFormat& format);

// Why a write failed: the program's message for it and, where the system
// gave one, the reason ("No space left on device").
struct WriteError {
    int messageId = 0;
    std::string reason;
};

// Writes `frameCount` frames at `sampleRate` to `target` in `format`, through
// the one writer of base/OutputFile.h: the target is replaced only by a
// complete file that reached the disk (its mode, owner and symbolic link
// kept); on failure, cancel or kill it is untouched and nothing is left
// beside it. A device or FIFO is written into, never replaced; formats that
// must go back to finish their header fail there. Every write, flush and
// close is checked, for every format. Messages: "Error (audio): Encoder ACM
// file" for a format that cannot be written at this rate, "Error (audio):
// Encoder create failed" when the file cannot be created, "Error (audio):
// Wencoder write failed" when writing or putting it in place fails; the last
// two followed by the target and the reason. Cancel shows nothing.
// The same music in the same format always gives the same bytes (Ogg streams
// take their serial number from the music).
WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress);
// The same with tags and encoder settings.
WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress,
                           const WriteOptions& options);

// The same for callers that word their own messages (the command line): shows
// nothing, and on failure fills `error`.
WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress,
                           WriteError& error);

// Text a written file carries in its container's own place (RIFF INFO in
// WAV, Vorbis comments in FLAC, Ogg and Opus); empty fields are left out.
// MP3 carries none: libsndfile's ID3 block would move the encoder's Info
// frame out of its place and cost the file its exact length and seamless loop.
struct SoundTags {
    std::string title;
    std::string artist;
    std::string software;
    std::string date;     // "YYYY-MM-DD"
    std::string comment;
};

// The encoder's own controls; none: its default.
struct EncoderSettings {
    std::optional<double> compression;        // 0 (largest, best) to 1 (smallest): FLAC, Ogg, Opus, MP3 (VBR)
    std::optional<std::uint32_t> bitrateKbps; // MP3 (constant) and Opus
};

struct WriteOptions {
    SoundTags tags;
    EncoderSettings encoder;
};

// Empty when `settings` suit `format`; otherwise why not, with the values the
// encoder takes ("--bitrate: MP3 at 44100 Hz takes 32, 40, ... or 320 kbit/s").
// For MP3 a bit rate is also folded into the returned format by
// ApplyEncoderSettings.
std::string EncoderSettingsProblem(const SoundFormat& format, const EncoderSettings& settings);
// `format` with the settings that belong to the format block itself (the MP3 bit rate).
SoundFormat ApplyEncoderSettings(SoundFormat format, const EncoderSettings& settings);

// As above, with tags and encoder settings.
WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress,
                           WriteError& error, const WriteOptions& options);

// Whether `encoder` writes `format`: encoders 0 and 1 their own format,
// 2 a WAV format block, 3 an MP3 one.
bool EncoderWrites(int encoder, const SoundFormat& format);

// The toolbar's Write Music to File: encoder 0 or 1 writes its own format;
// encoder 2 or 3 writes the chosen format block, and without one (or with a
// block of another encoder) shows "Error (audio): Encoder ACM file".
WriteResult WriteMusic(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                       std::uint32_t sampleRate, int encoder, const SoundFormat* chosen, IProgress& progress);
WriteResult WriteMusic(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                       std::uint32_t sampleRate, int encoder, const SoundFormat* chosen, IProgress& progress,
                       const WriteOptions& options);

}  // namespace dw
