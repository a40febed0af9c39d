// The output device (PortAudio or the null device) and the output streams.
//
// The device thread mixes every playing stream into its block. Streams are
// published in a fixed table of atomic pointers; the control thread removes
// one by clearing its entry and then waiting until the device thread has left
// the block it may have been in (the block counter is odd inside a block).
// Nothing on the device thread allocates, locks or blocks.
#include <portaudio.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "core/audio/AudioLayer.h"
#include "core/audio/RateConverter.h"

namespace dw {

namespace {

constexpr std::size_t kMaxBlock = 512;   // device frames mixed per pass
constexpr std::size_t kMaxPull = 512;    // stream frames asked of a StreamProc per call
constexpr std::size_t kMaxStreams = 16;
constexpr int kParamCount = 7;

// The device thread must never take a lock, not even one hidden in an atomic.
static_assert(std::atomic<StreamState>::is_always_lock_free);
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// One effect of a stream, shared between the control thread (writer) and the
// device thread (reader). Parameters are published by bumping `generation`
// after writing them; the reader picks them up at its next block.
struct EffectSlot {
    std::atomic<bool> enabled{false};
    std::atomic<std::uint32_t> generation{0};
    std::array<std::atomic<float>, kParamCount> values{};
    std::uint32_t handle = 0;  // control thread only
    // Device thread only:
    bool wasEnabled = false;
    std::uint32_t seenGeneration = 0;
};

}  // namespace

class OutputStream {
public:
    std::uint32_t rate = 0;
    StreamProc proc = nullptr;
    void* user = nullptr;
    std::atomic<StreamState> state{StreamState::Stopped};
    std::atomic<bool> resetPending{true};
    std::array<EffectSlot, 3> slots;  // indexed by EffectKind
    std::uint32_t handleSerial = 0;

    // Device thread only.
    RateConverter converter;
    LowPassFilter lowPass;
    Reverb reverb;
    Chorus chorus;
    bool ended = false;
    std::vector<float> mixBuf;

    void Prepare(std::uint32_t deviceRate) {
        converter.Prepare(rate, deviceRate, kMaxPull);
        lowPass.Prepare(rate);
        reverb.Prepare(rate);
        chorus.Prepare(rate);
        mixBuf.assign(kMaxBlock * 2, 0.0f);
    }

    void UpdateEffects() {
        for (std::size_t i = 0; i < slots.size(); ++i) {
            EffectSlot& s = slots[i];
            // An effect starts once its parameters have been published, so
            // that it never runs a block on another effect's old settings.
            const bool on = s.enabled.load(std::memory_order_acquire) &&
                            s.generation.load(std::memory_order_acquire) != 0;
            if (on && !s.wasEnabled) ResetEffect(i);
            s.wasEnabled = on;
            if (!on) continue;
            const std::uint32_t gen = s.generation.load(std::memory_order_acquire);
            if (gen == s.seenGeneration) continue;
            s.seenGeneration = gen;
            float v[kParamCount];
            for (int k = 0; k < kParamCount; ++k) v[k] = s.values[static_cast<std::size_t>(k)].load(std::memory_order_relaxed);
            switch (static_cast<EffectKind>(i)) {
            case EffectKind::HighCut:
                lowPass.SetParams({v[0], v[1], static_cast<int>(v[2])});
                break;
            case EffectKind::Reverb:
                reverb.SetParams({v[0], static_cast<int>(v[1])});
                break;
            case EffectKind::Chorus:
                chorus.SetParams({v[0], v[1], v[2], v[3], v[4], v[5], static_cast<int>(v[6])});
                break;
            }
        }
    }

    void ResetEffect(std::size_t i) {
        switch (static_cast<EffectKind>(i)) {
        case EffectKind::HighCut: lowPass.Reset(); break;
        case EffectKind::Reverb: reverb.Reset(); break;
        case EffectKind::Chorus: chorus.Reset(); break;
        }
    }

    // Fills n frames at the stream's rate from the StreamProc, then runs the effects.
    void Pull(float* dest, std::size_t n) {
        std::size_t got = 0;
        if (!ended) {
            const std::uint32_t answer = proc(this, dest, static_cast<std::uint32_t>(n * 8), user);
            const std::uint32_t bytes = std::min<std::uint32_t>(answer & ~kStreamEnd, static_cast<std::uint32_t>(n * 8));
            got = bytes / 8;
            if ((answer & kStreamEnd) != 0) ended = true;
        }
        std::memset(dest + 2 * got, 0, (n - got) * 2 * sizeof(float));
        // The high-cut comes last so that it also softens the reverb and chorus.
        if (slots[static_cast<std::size_t>(EffectKind::Chorus)].wasEnabled) chorus.Process(dest, n);
        if (slots[static_cast<std::size_t>(EffectKind::Reverb)].wasEnabled) reverb.Process(dest, n);
        if (slots[static_cast<std::size_t>(EffectKind::HighCut)].wasEnabled) lowPass.Process(dest, n);
    }

    // Adds `frames` device frames of this stream, times gain, into out.
    void RenderAdd(float* out, std::size_t frames, float gain) {
        if (state.load() != StreamState::Playing) return;
        if (resetPending.exchange(false)) {
            converter.Reset();
            lowPass.Reset();
            reverb.Reset();
            chorus.Reset();
            ended = false;
        }
        UpdateEffects();
        converter.Render(mixBuf.data(), frames, [this](float* d, std::size_t n) { Pull(d, n); });
        for (std::size_t i = 0; i < 2 * frames; ++i) out[i] += mixBuf[i] * gain;
        if (ended) {
            // The StreamProc said it was done: stop, so that the next play asks it again.
            StreamState expected = StreamState::Playing;
            state.compare_exchange_strong(expected, StreamState::Stopped);
            resetPending.store(true);
        }
    }
};

namespace {

struct Device {
    DeviceOptions options;
    std::array<std::atomic<OutputStream*>, kMaxStreams> streams{};
    std::atomic<std::uint64_t> blockCounter{0};  // odd while a block is being mixed
    std::atomic<float> volume{1.0f};
    PaStream* pa = nullptr;
    std::thread nullThread;
    std::atomic<bool> running{false};
    std::size_t captured = 0;  // null device thread only

    void Mix(float* out, std::size_t frames) {
        blockCounter.fetch_add(1);
        const float gain = volume.load(std::memory_order_relaxed);
        while (frames > 0) {
            const std::size_t n = std::min(frames, kMaxBlock);
            std::memset(out, 0, n * 2 * sizeof(float));
            for (auto& slot : streams) {
                OutputStream* s = slot.load();
                if (s != nullptr) s->RenderAdd(out, n, gain);
            }
            out += 2 * n;
            frames -= n;
        }
        blockCounter.fetch_add(1);
    }

    // Returns once the device thread is outside any block that began before the call.
    void WaitForBlockEnd() {
        const std::uint64_t seen = blockCounter.load();
        if ((seen & 1) == 0) return;
        while (blockCounter.load() == seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

    void RunNull() {
        std::vector<float> block(options.blockFrames * 2);
        const auto period = std::chrono::duration<double>(static_cast<double>(options.blockFrames) / options.rate);
        auto next = std::chrono::steady_clock::now();
        while (running.load()) {
            Mix(block.data(), options.blockFrames);
            if (options.capture != nullptr) {
                const std::size_t room = options.capture->size() - captured;
                const std::size_t n = std::min(room, block.size());
                std::copy_n(block.begin(), n, options.capture->begin() + static_cast<std::ptrdiff_t>(captured));
                captured += n;
            }
            next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
            std::this_thread::sleep_until(next);
        }
    }
};

std::unique_ptr<Device> g_device;

int PaCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
               PaStreamCallbackFlags, void* user) {
    static_cast<Device*>(user)->Mix(static_cast<float*>(output), frames);
    return paContinue;
}

// True when `s` is a live stream of the open device. Every control-thread
// entry point checks this first, so that a stale pointer (a stream freed with
// its device) is refused instead of followed.
bool Known(const OutputStream* s) {
    if (s == nullptr || !g_device) return false;
    for (const auto& slot : g_device->streams)
        if (slot.load() == s) return true;
    return false;
}

EffectSlot* SlotOf(OutputStream* s, EffectHandle h) {
    if (!Known(s) || h == 0) return nullptr;
    const std::size_t type = h & 3u;
    if (type >= s->slots.size()) return nullptr;
    EffectSlot& slot = s->slots[type];
    if (slot.handle != h || !slot.enabled.load()) return nullptr;
    return &slot;
}

bool Publish(OutputStream* s, EffectHandle h, std::initializer_list<float> values) {
    EffectSlot* slot = SlotOf(s, h);
    if (slot == nullptr) return false;
    std::size_t k = 0;
    for (float v : values) slot->values[k++].store(v, std::memory_order_relaxed);
    slot->generation.fetch_add(1, std::memory_order_release);
    return true;
}

}  // namespace

OutputKind OutputKindFromEnvironment() {
    const char* v = std::getenv("DRIFTWELL_AUDIO");
    return v != nullptr && std::string_view(v) == "null" ? OutputKind::Null : OutputKind::Default;
}

bool OpenAudioDevice(const DeviceOptions& options) {
    if (g_device) return false;
    if (options.rate < 1000 || options.rate > 384000 || options.blockFrames == 0) return false;
    auto dev = std::make_unique<Device>();
    dev->options = options;
    if (options.kind == OutputKind::Null) {
        dev->running = true;
        Device* raw = dev.get();
        dev->nullThread = std::thread([raw] { raw->RunNull(); });
    } else {
        if (Pa_Initialize() != paNoError) return false;
        const PaDeviceIndex out = Pa_GetDefaultOutputDevice();
        const auto open = [&](double rate) {
            return Pa_OpenDefaultStream(&dev->pa, 0, 2, paFloat32, rate, paFramesPerBufferUnspecified, PaCallback,
                                        dev.get()) == paNoError;
        };
        bool opened = out != paNoDevice && open(options.rate);
        if (!opened && out != paNoDevice) {
            // A device that refuses the asked rate still plays at its own: the
            // streams are converted to whatever rate the device runs at.
            const PaDeviceInfo* info = Pa_GetDeviceInfo(out);
            if (info != nullptr && info->defaultSampleRate >= 1000.0 && info->defaultSampleRate <= 384000.0) {
                opened = open(info->defaultSampleRate);
                if (opened) dev->options.rate = static_cast<std::uint32_t>(info->defaultSampleRate);
            }
        }
        if (!opened || Pa_StartStream(dev->pa) != paNoError) {
            if (opened) Pa_CloseStream(dev->pa);
            Pa_Terminate();
            return false;
        }
    }
    g_device = std::move(dev);
    return true;
}

void CloseAudioDevice() {
    if (!g_device) return;
    if (g_device->options.kind == OutputKind::Null) {
        g_device->running = false;
        g_device->nullThread.join();
    } else {
        Pa_StopStream(g_device->pa);
        Pa_CloseStream(g_device->pa);
        Pa_Terminate();
    }
    // Streams that were not freed can no longer be pulled; release them here.
    for (auto& slot : g_device->streams) delete slot.exchange(nullptr);
    g_device.reset();
}

bool AudioDeviceIsOpen() { return static_cast<bool>(g_device); }
std::uint32_t AudioDeviceRate() { return g_device ? g_device->options.rate : 0; }

void SetMasterVolume(float volume) {
    if (g_device) g_device->volume.store(std::clamp(volume, 0.0f, 1.0f));
}
float GetMasterVolume() { return g_device ? g_device->volume.load() : 0.0f; }

OutputStream* CreateOutputStream(std::uint32_t rate, StreamProc proc, void* user) {
    if (!g_device || proc == nullptr || rate < 1000 || rate > 384000) return nullptr;
    auto s = std::make_unique<OutputStream>();
    s->rate = rate;
    s->proc = proc;
    s->user = user;
    s->Prepare(g_device->options.rate);
    for (auto& slot : g_device->streams) {
        OutputStream* expected = nullptr;
        if (slot.compare_exchange_strong(expected, s.get())) return s.release();
    }
    return nullptr;
}

void FreeOutputStream(OutputStream* stream) {
    if (stream == nullptr || !g_device) return;
    for (auto& slot : g_device->streams) {
        OutputStream* expected = stream;
        if (slot.compare_exchange_strong(expected, nullptr)) {
            g_device->WaitForBlockEnd();
            delete stream;
            return;
        }
    }
}

std::uint32_t StreamRate(const OutputStream* stream) { return Known(stream) ? stream->rate : 0; }

StreamState GetStreamState(const OutputStream* stream) {
    return Known(stream) ? stream->state.load() : StreamState::Stopped;
}

bool StreamPlay(OutputStream* stream, bool restart) {
    if (!Known(stream)) return false;
    if (restart) stream->resetPending.store(true);
    stream->state.store(StreamState::Playing);
    return true;
}

bool StreamPause(OutputStream* stream) {
    if (!Known(stream)) return false;
    stream->state.store(StreamState::Paused);
    return true;
}

bool StreamStop(OutputStream* stream) {
    if (!Known(stream)) return false;
    stream->state.store(StreamState::Stopped);
    stream->resetPending.store(true);
    g_device->WaitForBlockEnd();
    return true;
}

EffectHandle StreamSetEffect(OutputStream* stream, EffectKind kind) {
    if (!Known(stream)) return 0;
    EffectSlot& slot = stream->slots[static_cast<std::size_t>(kind)];
    if (slot.enabled.load()) return slot.handle;
    stream->handleSerial = (stream->handleSerial + 1) & 0x3FFFFFFFu;
    if (stream->handleSerial == 0) stream->handleSerial = 1;
    slot.handle = (stream->handleSerial << 2) | static_cast<std::uint32_t>(kind);
    slot.enabled.store(true, std::memory_order_release);
    return slot.handle;
}

bool StreamRemoveEffect(OutputStream* stream, EffectHandle effect) {
    EffectSlot* slot = SlotOf(stream, effect);
    if (slot == nullptr) return false;
    slot->enabled.store(false, std::memory_order_release);
    slot->handle = 0;
    return true;
}

bool EffectSetParams(OutputStream* stream, EffectHandle effect, const LowPassParams& p) {
    if ((effect & 3u) != static_cast<std::uint32_t>(EffectKind::HighCut)) return false;
    return Publish(stream, effect, {p.cutoffHz, p.resonance, static_cast<float>(p.channels)});
}

bool EffectSetParams(OutputStream* stream, EffectHandle effect, const ReverbParams& p) {
    if ((effect & 3u) != static_cast<std::uint32_t>(EffectKind::Reverb)) return false;
    return Publish(stream, effect, {p.level, static_cast<float>(p.delayMs)});
}

bool EffectSetParams(OutputStream* stream, EffectHandle effect, const ChorusParams& p) {
    if ((effect & 3u) != static_cast<std::uint32_t>(EffectKind::Chorus)) return false;
    return Publish(stream, effect,
                   {p.dryMix, p.wetMix, p.feedback, p.minSweep, p.maxSweep, p.rate, static_cast<float>(p.channels)});
}

}  // namespace dw
