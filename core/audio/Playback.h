#pragma once
// Playback: a PlaybackStream plays an array of StereoFrames that the program
// already holds (the created music, or the decoded source in the trim
// dialog) through an output stream of the audio layer, with the project's
// high-cut, reverb and chorus effects.
//
// Threads: every function here runs on the user-interface thread except
// PlaybackStreamProc, which the device calls on its own thread. The fields the
// two share (data, frames, total, position, active) are atomics; data, frames
// and total change only while the stream is stopped.
//
// Effect units (see audio/Effects.h): the high-cut's cut-off is in Hz and its
// resonance is the filter's Q; the reverb's level is the wet gain and its
// delay the reverb time in ms (3000: a three-second tail); the chorus sweeps
// its delay between minSweep and maxSweep microseconds (1 to 6 ms) at `rate`
// millihertz (0.5 Hz).

#include <atomic>
#include <cstdint>

#include "core/audio/AudioLayer.h"
#include "core/model/Progress.h"
#include "core/model/Properties.h"
#include "core/model/StereoFrame.h"

namespace dw {

struct EffectChain {
    OutputStream* stream = nullptr;       // copy of the stream
    EffectHandle highCut = 0;             // 0, or the handle kept from the last set
    EffectHandle reverb = 0;
    EffectHandle chorus = 0;
    const CProperties* properties = nullptr;
};

struct PlaybackStream {
    OutputStream* stream = nullptr;
    EffectChain effectChain;
    bool created = false;
    std::atomic<const StereoFrame*> data{nullptr};  // not owned
    std::atomic<std::int32_t> frames{0};
    const CProperties* properties = nullptr;
    std::atomic<std::uint32_t> total{0};     // bytes, frames x 8
    std::atomic<std::uint32_t> position{0};  // byte offset of the next byte to deliver
    std::atomic<bool> active{false};         // playing or paused
    // A gain on what is handed to the device (the sleep timer's fade): set
    // by the user-interface thread, reached by the device thread in a ramp
    // across its next block so that a step never clicks. At 1 the music
    // passes untouched.
    std::atomic<float> gain{1.0f};
    float appliedGain = 1.0f;                // device thread only
    // Endless play: the piece queued to follow (not owned), published by a
    // release store of nextData after nextTotal and crossfade. In the last
    // `crossfade` bytes of the playing piece the callback crossfades into it
    // (equal power); at the end it swaps it in, goes on after its crossfade,
    // clears nextData and bumps `swaps` once it no longer reads the old piece.
    std::atomic<const StereoFrame*> nextData{nullptr};
    std::atomic<std::uint32_t> nextTotal{0};   // bytes
    std::atomic<std::uint32_t> crossfade{0};   // bytes
    std::atomic<std::uint32_t> swaps{0};

    PlaybackStream() = default;
    PlaybackStream(const PlaybackStream&) = delete;
    PlaybackStream& operator=(const PlaybackStream&) = delete;
    // Frees the output stream if the owner did not (FreePlaybackStream).
    ~PlaybackStream();
};

// How InitAudio picks its device.
struct AudioStartOptions {
    OutputKind kind = OutputKindFromEnvironment();
    std::uint32_t deviceRate = 44100;
};

// Starts the audio layer: opens the output device. The layer is linked in
// statically, so there is no other build of it whose version could differ.
// 0 on success, 1 on failure (with its message). The null device is used only
// when asked for (DRIFTWELL_AUDIO=null or options.kind).
int InitAudio(IMessageSink& messages, const AudioStartOptions& options = {});
// Stops and frees the main stream, then releases the device.
void ShutdownAudio(PlaybackStream* mainStream);

// Creates the record's output stream at `properties.sampleRate` and sets the
// effects from the switches. 0 on success, 1 on failure (with its message).
int CreatePlaybackStream(const CProperties& properties, PlaybackStream& record, IMessageSink& messages);
// Stops the stream and hands it `frameCount` frames at `data` (not owned),
// position 0. Re-creates the stream when `sampleRate` changed. 0, or the
// failure of the re-creation. A record that is not created is left alone.
int SetPlaybackSource(PlaybackStream& record, std::int32_t frameCount, const StereoFrame* data, IMessageSink& messages);
// Stops and frees the record's output stream; the record is not created afterwards.
void FreePlaybackStream(PlaybackStream& record);

// The StreamProc of every PlaybackStream (device thread).
std::uint32_t PlaybackStreamProc(OutputStream* stream, void* dest, std::uint32_t bytes, void* user);

// Sets or removes each effect from its switch and applies its amount.
// 0 on success, 1 on failure (with its message).
int ApplyEffects(OutputStream* stream, EffectChain& chain, const CProperties& properties, IMessageSink& messages);
// The switch operation of one effect: apply the current switch. 0 or 1.
int ApplyEffectSwitch(EffectChain& chain, EffectKind kind, IMessageSink& messages);
// The amount operation of one effect: apply the current amount to the kept handle.
void ApplyEffectAmount(EffectChain& chain, EffectKind kind);

// Parameter records from an amount and the sample rate.
LowPassParams HighCutParams(double amount, std::uint32_t sampleRate);
ReverbParams ReverbParamsFor(double amount);
ChorusParams ChorusParamsFor(double amount);

// Transport. Failures are not reported; `active` follows the layer's answer.
void PlaybackPlay(PlaybackStream& record);   // continues from `position`
void PlaybackPause(PlaybackStream& record);
void PlaybackStop(PlaybackStream& record);
void PlaybackSeek(PlaybackStream& record, std::uint32_t bytePosition);

// Queues `frameCount` frames at `data` (not owned; kept until `swaps` moved
// past its value now and the piece after it was swapped in, or the source was
// set again) to follow the playing piece, crossfaded over `crossfadeFrames`
// (at most half of either piece). Replaces a piece queued before.
void PlaybackQueueNext(PlaybackStream& record, std::int32_t frameCount, const StereoFrame* data,
                       std::uint32_t crossfadeFrames);

// Byte position of fraction f (0 to 1) of a buffer of `frameCount` frames:
// truncate(f x frameCount) x 8.
std::uint32_t PlaybackPositionOf(double fraction, std::uint32_t frameCount);
// Played fraction (position / 8) / (frameCount - 1), 0 to 1.
double PlayedFraction(const PlaybackStream& record, std::uint32_t frameCount);

}  // namespace dw
