#pragma once
// Driftwell's audio library layer: everything the program asks of sound goes
// through here. Decoding uses libsndfile, resampling libsoxr, output PortAudio
// (or the null device); the effects are our own (audio/Effects.h).
//
//   DecodeStream    a sound file opened for decoding to float stereo
//   ResampleStream  a stream fed by a DecodeStream, at another rate
//   OpenAudioDevice the output device, shared by all output streams
//   OutputStream    a stream that the device pulls through a StreamProc on
//                   its own thread, with effects and a play/pause/stop state
//
// Threads: everything here is called from one control thread (the user
// interface) except the StreamProc, which the device calls on its own thread.
// Sources of one channel play on both sides. Sources of more than two channels
// are mixed down: the first channel goes left, the second right, and every
// further channel is added to both sides at -3 dB (x 0.7071); both sides are
// then scaled by 1 / (1 + 0.7071 x (channels - 2)) so that the mix never
// exceeds the loudest input.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/audio/Effects.h"

namespace dw {

// ------------------------------------------------------------------ decoding

struct DecodeInfo {
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;  // of the file; reads always give stereo
    std::int64_t frames = 0;     // as the file announces it
};

// What the decoder is told for a file that holds no stream it knows, from
// the extension `path` ends in ("not an MP3 stream"); `empty` adds that the
// file is empty.
std::string NotTheFormatText(const std::filesystem::path& path, bool empty);

class DecodeStream {
public:
    // Nullptr when the path cannot be opened or decoded (a folder, an unknown
    // or damaged format, a file with no channels or no rate); `why` then
    // receives the system's or the decoder's reason ("No such file or
    // directory", "Format not recognised.").
    static std::unique_ptr<DecodeStream> Open(const std::filesystem::path& path, std::string* why = nullptr);

    // Process-wide: keep the decoders' own notes (the MP3 decoder prints
    // "Note: Illegal Audio-MPEG-Header ..." on standard error by itself) off
    // standard error while they decode. The command line turns it on; the
    // decoders offer no switch of their own through libsndfile, so standard
    // error is pointed at /dev/null around each call into them. Only for a
    // process that decodes on the one thread that writes standard error.
    static void SilenceDecoderNotes(bool silence);
    ~DecodeStream();
    DecodeStream(const DecodeStream&) = delete;
    DecodeStream& operator=(const DecodeStream&) = delete;

    const DecodeInfo& Info() const { return info_; }
    // Length in bytes of the float data at the file's own channel count;
    // -1 when unknown.
    std::int64_t LengthBytes() const;
    // Seconds for a byte length of this stream; negative on error.
    double BytesToSeconds(std::int64_t bytes) const;
    // True while the stream has data left to give.
    bool IsActive() const { return active_; }
    // Reads up to `frames` stereo frames (interleaved floats); returns the
    // count read, 0 at the end, -1 on a decoding error. `quietNotes: false`
    // leaves standard error alone (SilenceDecoderNotes), for a second
    // reader on another thread of a file whose decoder prints nothing.
    std::int64_t ReadStereo(float* dest, std::size_t frames, bool quietNotes = true);
    // True when the file holds plain samples (integer or float, not coded),
    // so that any frame can be sought exactly and read on its own.
    bool HoldsPlainSamples() const;
    // Moves the reading to `frame`; false when the decoder cannot.
    bool SeekFrame(std::int64_t frame);
    // Marks the stream finished (its reader has drained what it holds).
    void MarkEnded() { active_ = false; }
    // The decoder's reason for the last failed read ("Internal psf_fseek()
    // failed."); empty when there was none.
    std::string LastError() const;

private:
    DecodeStream() = default;
    void* file_ = nullptr;  // SNDFILE*
    int format_ = 0;        // libsndfile's container and coding
    DecodeInfo info_;
    bool active_ = true;
    std::vector<float> scratch_;
};

// Resampling reader on top of a DecodeStream (not owned; it must outlive the
// resampler). When both rates are equal the samples pass through unchanged.
class ResampleStream {
public:
    static std::unique_ptr<ResampleStream> Create(std::uint32_t targetRate, DecodeStream& source);
    ~ResampleStream();
    ResampleStream(const ResampleStream&) = delete;
    ResampleStream& operator=(const ResampleStream&) = delete;

    std::uint32_t Rate() const { return targetRate_; }
    // Reads up to `frames` stereo frames at the target rate; fewer only at the
    // end of the source. -1 on error.
    std::int64_t Read(float* dest, std::size_t frames);

private:
    ResampleStream(std::uint32_t targetRate, DecodeStream& source);
    std::uint32_t targetRate_;
    DecodeStream& source_;
    void* soxr_ = nullptr;  // soxr_t; null for pass-through
    std::vector<float> in_;
    std::size_t inPos_ = 0, inLen_ = 0;
    bool inputEnded_ = false;
};

// ------------------------------------------------------------------ output

enum class OutputKind {
    Default,  // PortAudio's default output device
    Null,     // no sound: a thread that pulls the streams at real-time pace
};

// DRIFTWELL_AUDIO=null chooses the null device; anything else the default.
OutputKind OutputKindFromEnvironment();

struct DeviceOptions {
    OutputKind kind = OutputKind::Default;
    std::uint32_t rate = 44100;
    std::uint32_t blockFrames = 256;  // null device: frames per pull
    // Null device only, for tests: when set, the mixed output (interleaved
    // stereo at `rate`) is written here until it is full. Read it after
    // CloseAudioDevice().
    std::vector<float>* capture = nullptr;
};

// Opens the device; false when it cannot be opened or one is already open.
bool OpenAudioDevice(const DeviceOptions& options);
// Stops the device. Every stream must have been freed first.
void CloseAudioDevice();
bool AudioDeviceIsOpen();
std::uint32_t AudioDeviceRate();

// Master volume: the layer's own output gain, 0 to 1.
void SetMasterVolume(float volume);
float GetMasterVolume();

class OutputStream;

// Flag OR-ed into a StreamProc's answer when the stream has ended.
inline constexpr std::uint32_t kStreamEnd = 0x80000000u;

// Called on the device's thread: write up to `bytes` bytes of interleaved
// float stereo at the stream's rate into `dest`, return the bytes written,
// OR kStreamEnd on the last call. Must not allocate, lock or block.
using StreamProc = std::uint32_t (*)(OutputStream* stream, void* dest, std::uint32_t bytes, void* user);

enum class StreamState { Stopped, Playing, Paused };

// The three effects a stream can carry, one of each. The high cut is the
// low-pass filter (LowPassParams). The values index a stream's effect slots
// and make up the low two bits of an EffectHandle.
enum class EffectKind { HighCut = 0, Reverb = 1, Chorus = 2 };
// 0 is "no effect"; otherwise the handle of an effect set on a stream.
using EffectHandle = std::uint32_t;

// Creates a stream at `rate` (2 channels, float) fed by `proc`. Nullptr when
// no device is open, the rate is out of range or the device has no free slot.
OutputStream* CreateOutputStream(std::uint32_t rate, StreamProc proc, void* user);
// Stops and frees the stream; the device no longer touches it afterwards.
void FreeOutputStream(OutputStream* stream);

std::uint32_t StreamRate(const OutputStream* stream);
StreamState GetStreamState(const OutputStream* stream);
// Playing continues from where the StreamProc stands; `restart` clears the
// effects and the converter first. False for a null stream.
bool StreamPlay(OutputStream* stream, bool restart);
bool StreamPause(OutputStream* stream);
// On return the device thread is out of this stream's StreamProc, and the
// next play asks the StreamProc again (also after an end).
bool StreamStop(OutputStream* stream);

// Effects: one of each type per stream, set, re-parameterised and removed from
// the control thread while the stream plays; the device thread sees the
// change at its next block, lock-free. Setting a type that is already set
// returns the same handle.
EffectHandle StreamSetEffect(OutputStream* stream, EffectKind kind);
bool StreamRemoveEffect(OutputStream* stream, EffectHandle effect);
bool EffectSetParams(OutputStream* stream, EffectHandle effect, const LowPassParams& p);
bool EffectSetParams(OutputStream* stream, EffectHandle effect, const ReverbParams& p);
bool EffectSetParams(OutputStream* stream, EffectHandle effect, const ChorusParams& p);

}  // namespace dw
