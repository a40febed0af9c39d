#include "core/audio/Playback.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/resources/StringTable.h"

namespace dw {

// Shared with the device thread, which must never take a lock.
static_assert(std::atomic<const StereoFrame*>::is_always_lock_free);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

namespace {

void Say(IMessageSink& sink, int id, MessageIcon icon) { sink.ShowMessage(id, LoadString(id), icon); }

int FailureIdOf(EffectKind kind) {
    switch (kind) {
    case EffectKind::HighCut: return IDS_CANNOT_APPLY_LOW_PASS;
    case EffectKind::Reverb: return IDS_CANNOT_APPLY_REVERB;
    case EffectKind::Chorus: break;
    }
    return IDS_CANNOT_APPLY_CHORUS;
}

EffectHandle& HandleOf(EffectChain& chain, EffectKind kind) {
    switch (kind) {
    case EffectKind::HighCut: return chain.highCut;
    case EffectKind::Reverb: return chain.reverb;
    case EffectKind::Chorus: break;
    }
    return chain.chorus;
}

bool SwitchOf(const CProperties& p, EffectKind kind) {
    switch (kind) {
    case EffectKind::HighCut: return p.highCutOn;
    case EffectKind::Reverb: return p.reverbOn;
    case EffectKind::Chorus: break;
    }
    return p.chorusOn;
}

}  // namespace

PlaybackStream::~PlaybackStream() {
    if (stream != nullptr && AudioDeviceIsOpen()) FreeOutputStream(stream);
}

int InitAudio(IMessageSink& messages, const AudioStartOptions& options) {
    if (AudioDeviceIsOpen()) return 0;
    DeviceOptions device;
    device.kind = options.kind;
    device.rate = options.deviceRate;
    if (!OpenAudioDevice(device)) {
        Say(messages, IDS_CANNOT_INIT_DEVICE, MessageIcon::None);
        return 1;
    }
    return 0;
}

void ShutdownAudio(PlaybackStream* mainStream) {
    if (mainStream != nullptr) FreePlaybackStream(*mainStream);
    CloseAudioDevice();
}

void FreePlaybackStream(PlaybackStream& record) {
    if (record.stream != nullptr) {
        if (StreamStop(record.stream)) record.active = false;
        FreeOutputStream(record.stream);
    }
    record.stream = nullptr;
    record.effectChain = EffectChain{};
    record.created = false;
    record.active = false;
}

int CreatePlaybackStream(const CProperties& properties, PlaybackStream& record, IMessageSink& messages) {
    record.properties = &properties;
    // A record that already has a stream gets a fresh one; the old one would
    // otherwise stay registered with the device for ever.
    if (record.stream != nullptr) {
        StreamStop(record.stream);
        FreeOutputStream(record.stream);
        record.stream = nullptr;
        record.effectChain = EffectChain{};
    }
    record.stream = CreateOutputStream(properties.sampleRate, PlaybackStreamProc, &record);
    if (record.stream == nullptr) {
        Say(messages, IDS_CANNOT_OPEN_PLAYBACK_STREAM, MessageIcon::None);
        record.created = false;
        return 1;
    }
    if (ApplyEffects(record.stream, record.effectChain, properties, messages) != 0) {
        FreePlaybackStream(record);
        return 1;
    }
    record.created = true;
    record.active = false;
    return 0;
}

int SetPlaybackSource(PlaybackStream& record, std::int32_t frameCount, const StereoFrame* data, IMessageSink& messages) {
    if (!record.created || record.stream == nullptr) return 0;
    if (StreamStop(record.stream)) record.active = false;
    // total is a 32-bit byte count: keep the frame count where it fits.
    const std::int32_t count = data == nullptr ? 0 : std::clamp<std::int32_t>(frameCount, 0, 0x1FFFFFFF);
    record.nextData = nullptr;  // a new source ends an endless run
    record.data = data;
    record.frames = count;
    record.total = static_cast<std::uint32_t>(count) * 8u;
    record.position = 0;
    if (record.properties != nullptr && StreamRate(record.stream) != record.properties->sampleRate) {
        const int result = CreatePlaybackStream(*record.properties, record, messages);
        if (result != 0) return result;
    }
    record.active = false;
    return 0;
}

namespace {

// The sleep timer's gain, ramped across the block from the one applied last.
void ApplyGain(PlaybackStream& record, void* dest, std::uint32_t n) {
    const float gain = record.gain.load(std::memory_order_relaxed);
    if (n < 8 || (gain == 1.0f && record.appliedGain == 1.0f)) return;
    auto* samples = static_cast<float*>(dest);
    const std::uint32_t frames = n / 8;
    const float from = record.appliedGain;
    const float step = (gain - from) / static_cast<float>(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float g = i + 1 == frames ? gain : from + step * static_cast<float>(i + 1);
        samples[2 * i] *= g;
        samples[2 * i + 1] *= g;
    }
    record.appliedGain = gain;
}

// The callback while a next piece is queued: the seam's frames are mixed one
// by one, and the swap happens inside the block, so the music runs on
// without a gap. No allocation, no lock.
std::uint32_t CrossfadingProc(PlaybackStream& record, StereoFrame* out, std::uint32_t wanted,
                              const StereoFrame* next) {
    std::uint32_t position = record.position.load();
    const StereoFrame* data = record.data.load();
    const std::uint32_t total = record.total.load() / 8;
    const std::uint32_t nextFrames = record.nextTotal.load() / 8;
    const std::uint32_t fade = std::min({record.crossfade.load() / 8, total / 2, nextFrames / 2});
    const std::uint32_t seamStart = total - fade;
    std::uint32_t at = position / 8;
    std::uint32_t i = 0;
    for (; i < wanted && at < total; ++i, ++at) {
        StereoFrame f = data[at];
        if (at >= seamStart) {
            const double phase = 1.5707963267948966 * (static_cast<double>(at - seamStart) + 0.5) / fade;
            const auto gOut = static_cast<float>(std::cos(phase));
            const auto gIn = static_cast<float>(std::sin(phase));
            const StereoFrame& in = next[at - seamStart];
            f = {f.left * gOut + in.left * gIn, f.right * gOut + in.right * gIn};
        }
        out[i] = f;
    }
    if (at < total) {
        // A seek meanwhile wins, as in the plain callback.
        record.position.compare_exchange_strong(position, at * 8);
        return i * 8;
    }
    // The playing piece is over: the next one goes on after its crossfade.
    std::uint32_t nextAt = fade;
    for (; i < wanted && nextAt < nextFrames; ++i, ++nextAt) out[i] = next[nextAt];
    record.frames = static_cast<std::int32_t>(nextFrames);
    record.total = nextFrames * 8;
    record.data.store(next);
    record.position.store(nextAt * 8);
    record.nextData.store(nullptr, std::memory_order_release);
    record.swaps.fetch_add(1, std::memory_order_release);
    return i * 8;
}

}  // namespace

void PlaybackQueueNext(PlaybackStream& record, std::int32_t frameCount, const StereoFrame* data,
                       std::uint32_t crossfadeFrames) {
    record.nextData.store(nullptr, std::memory_order_release);
    const std::uint32_t count = data == nullptr ? 0u : static_cast<std::uint32_t>(std::clamp<std::int32_t>(frameCount, 0, 0x1FFFFFFF));
    record.nextTotal = count * 8u;
    record.crossfade = std::min(crossfadeFrames, count / 2) * 8u;
    if (count > 0) record.nextData.store(data, std::memory_order_release);
}

std::uint32_t PlaybackStreamProc(OutputStream*, void* dest, std::uint32_t bytes, void* user) {
    auto* record = static_cast<PlaybackStream*>(user);
    if (const StereoFrame* next = record->nextData.load(std::memory_order_acquire);
        next != nullptr && record->data.load() != nullptr && record->position.load() < record->total.load()) {
        const std::uint32_t n = CrossfadingProc(*record, static_cast<StereoFrame*>(dest), bytes / 8, next);
        ApplyGain(*record, dest, n);
        return n;
    }
    std::uint32_t position = record->position.load();
    const std::uint32_t total = record->total.load();
    const StereoFrame* data = record->data.load();
    std::uint32_t n = bytes;
    if (position >= total || data == nullptr) {
        n = 0;
    } else if (static_cast<std::uint64_t>(position) + n >= total) {
        n = total - position;
    }
    if (n > 0) std::memcpy(dest, reinterpret_cast<const char*>(data) + position, n);
    ApplyGain(*record, dest, n);
    // A seek from the user-interface thread between our load and this store
    // wins: the next call starts where it points.
    if (!record->position.compare_exchange_strong(position, position + n)) return n;
    if (position + n >= total) {
        record->active = false;
        return n | kStreamEnd;
    }
    return n;
}

LowPassParams HighCutParams(double amount, std::uint32_t sampleRate) {
    const auto halfRate = static_cast<float>(static_cast<std::int64_t>(sampleRate / 2) - 500);
    const float a = std::max(static_cast<float>(amount), 0.01f);
    return {500.0f + halfRate * (1.0f - a), 1.0f, -1};
}

ReverbParams ReverbParamsFor(double amount) {
    return {0.6f * std::pow(static_cast<float>(std::max(amount, 0.0)), 0.25f), 3000};
}

ChorusParams ChorusParamsFor(double amount) {
    return {0.5f, 0.4f * static_cast<float>(amount), 0.5f, 1000.0f, 6000.0f, 500.0f, -1};
}

int ApplyEffects(OutputStream* stream, EffectChain& chain, const CProperties& properties, IMessageSink& messages) {
    chain.stream = stream;
    chain.properties = &properties;
    for (EffectKind kind : {EffectKind::HighCut, EffectKind::Reverb, EffectKind::Chorus})
        if (ApplyEffectSwitch(chain, kind, messages) != 0) return 1;
    return 0;
}

int ApplyEffectSwitch(EffectChain& chain, EffectKind kind, IMessageSink& messages) {
    if (chain.properties == nullptr) return 1;
    EffectHandle& handle = HandleOf(chain, kind);
    if (SwitchOf(*chain.properties, kind)) {
        const EffectHandle h = StreamSetEffect(chain.stream, kind);
        if (h == 0) {
            Say(messages, FailureIdOf(kind), MessageIcon::None);
            return 1;
        }
        handle = h;
        ApplyEffectAmount(chain, kind);
    } else if (handle != 0) {
        StreamRemoveEffect(chain.stream, handle);
        handle = 0;
    }
    return 0;
}

void ApplyEffectAmount(EffectChain& chain, EffectKind kind) {
    if (chain.properties == nullptr) return;
    const CProperties& p = *chain.properties;
    const EffectHandle handle = HandleOf(chain, kind);
    switch (kind) {
    case EffectKind::HighCut: EffectSetParams(chain.stream, handle, HighCutParams(p.highCut, p.sampleRate)); break;
    case EffectKind::Reverb: EffectSetParams(chain.stream, handle, ReverbParamsFor(p.reverb)); break;
    case EffectKind::Chorus: EffectSetParams(chain.stream, handle, ChorusParamsFor(p.chorus)); break;
    }
}

void PlaybackPlay(PlaybackStream& record) {
    if (StreamPlay(record.stream, false)) record.active = true;
}

void PlaybackPause(PlaybackStream& record) {
    if (StreamPause(record.stream)) record.active = true;
}

void PlaybackStop(PlaybackStream& record) {
    if (StreamStop(record.stream)) record.active = false;
}

void PlaybackSeek(PlaybackStream& record, std::uint32_t bytePosition) { record.position = bytePosition; }

std::uint32_t PlaybackPositionOf(double fraction, std::uint32_t frameCount) {
    const double f = std::clamp(fraction, 0.0, 1.0);
    return static_cast<std::uint32_t>(f * frameCount) * 8u;
}

double PlayedFraction(const PlaybackStream& record, std::uint32_t frameCount) {
    if (frameCount <= 1) return 0.0;
    const double f = (record.position.load() / 8) / static_cast<double>(frameCount - 1);
    return std::min(f, 1.0);
}

}  // namespace dw
