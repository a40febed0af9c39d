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
// Everything runs on the calling thread; progress, cancel and messages go
// through IProgress.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/Progress.h"
#include "model/StereoFrame.h"

namespace dw {

enum class SoundContainer { Wav, Mp3, Flac, Ogg, Opus };

// Our description of one output format (the "format block").
struct SoundFormat {
    std::uint16_t formatTag = 0;  // WAVE format tag, e.g. 0x0055 for MPEG layer III; 0 for FLAC, Ogg, Opus
    SoundContainer container = SoundContainer::Wav;
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 0;     // of the file written
    std::uint16_t bitsPerSample = 0;  // 0 where it does not apply
    std::uint32_t bitRate = 0;        // bits per second for MP3, 0 otherwise
    std::string name;                 // for the chooser, e.g. "MPEG Layer-3, 128 kbit/s, 44100 Hz, stereo"
    std::string extension;            // without the dot: "wav", "mp3", "flac", "ogg", "opus"
    int sndfileFormat = 0;            // SF_FORMAT_* major | subtype

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
// no format fits ("Errpr (Bass): Wrong format") or the rate is unusable
// ("Error (Bass): Encoder create file failed").
std::optional<SoundFormat> ChooseAcmFormat(int encoder, std::uint32_t sampleRate, IFormatChooser& chooser,
                                           IMessageSink& messages);

enum class WriteResult { Written, Cancelled, Failed };

// Writes `frameCount` frames at `sampleRate` to `target` in `format`. The data
// goes to a temporary file beside the target, which replaces the target only
// once complete; on failure or cancel the target is untouched and the
// temporary file removed. Messages: "Error (Bass): Encoder ACM file" for a
// format that cannot be written at this rate, "Error (Bass): Encoder create
// failed" when the file cannot be created, "Error (Bass): Wencoder write
// failed" when writing or the final rename fails. Cancel shows nothing.
WriteResult WriteSoundFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                           std::uint32_t sampleRate, const SoundFormat& format, IProgress& progress);

// The toolbar's Write Music to File: encoder 0 or 1 writes its own format;
// encoder 2 or 3 writes the chosen format block, and without one (or with a
// block of another encoder) shows "Error (Bass): Encoder ACM file".
WriteResult WriteMusic(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                       std::uint32_t sampleRate, int encoder, const SoundFormat* chosen, IProgress& progress);

}  // namespace dw
