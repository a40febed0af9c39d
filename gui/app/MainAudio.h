#pragma once
// The main window's sound: starting the output device, the one playback
// stream of the program's run with its effects, and the shutdown. A thin
// layer over audio/Playback.h that keeps the main window free of the audio
// layer's details and shows the layer's messages as message boxes.

#include "gui/app/CDWDlg.h"
#include "core/audio/Export.h"
#include "core/audio/Playback.h"

#include <optional>

class QWidget;

namespace dw {

class MainAudio {
public:
    explicit MainAudio(AudioChoice choice) : choice_(choice) {}
    ~MainAudio();
    MainAudio(const MainAudio&) = delete;
    MainAudio& operator=(const MainAudio&) = delete;

    // Opens the output device; false after its message when it cannot.
    bool Init(QWidget* owner);
    // Creates the main playback stream for the properties (message on failure).
    bool CreateStream(const CProperties& properties, QWidget* owner);
    // The effect switch and amount operations on the main stream's chain;
    // effect 0 high-cut, 1 reverb, 2 chorus.
    void ApplyEffectSwitch(int effect, QWidget* owner);
    void ApplyEffectAmount(int effect);
    // Stops the main stream (clearing its active flag when the stop succeeds).
    void StopMainStream();
    // Stops and frees the main stream and releases the device.
    void Shutdown();
    // Asks the user for the compressed format of encoder 2 or 3.
    std::optional<SoundFormat> ChooseAcmFormat(QWidget* owner, int encoder, std::uint32_t sampleRate);

    bool started() const { return started_; }
    bool streamCreated() const { return stream_.created; }
    PlaybackStream& stream() { return stream_; }

private:
    AudioChoice choice_;
    bool started_ = false;
    PlaybackStream stream_;
};

}  // namespace dw
