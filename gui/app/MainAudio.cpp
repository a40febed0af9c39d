#include "gui/app/MainAudio.h"

#include "gui/kit/MessageBox.h"

#include "gui/app/commands/CDlgFormatChooser.h"

namespace dw {

MainAudio::~MainAudio() { Shutdown(); }

bool MainAudio::Init(QWidget* owner) {
    MessageBoxSink sink(owner);
    AudioStartOptions options;
    if (choice_ == AudioChoice::Null) options.kind = OutputKind::Null;
    started_ = InitAudio(sink, options) == 0;
    return started_;
}

bool MainAudio::CreateStream(const CProperties& properties, QWidget* owner) {
    if (!started_) return false;
    MessageBoxSink sink(owner);
    return CreatePlaybackStream(properties, stream_, sink) == 0;
}

void MainAudio::ApplyEffectSwitch(int effect, QWidget* owner) {
    if (!stream_.created) return;
    MessageBoxSink sink(owner);
    dw::ApplyEffectSwitch(stream_.effectChain, static_cast<EffectKind>(effect), sink);
}

void MainAudio::ApplyEffectAmount(int effect) {
    if (!stream_.created) return;
    dw::ApplyEffectAmount(stream_.effectChain, static_cast<EffectKind>(effect));
}

void MainAudio::StopMainStream() {
    if (!stream_.created) return;
    PlaybackStop(stream_);
}

void MainAudio::Shutdown() {
    if (!started_) return;
    ShutdownAudio(&stream_);
    started_ = false;
}

std::optional<SoundFormat> MainAudio::ChooseAcmFormat(QWidget* owner, int encoder, std::uint32_t sampleRate) {
    QtFormatChooser chooser(owner);  // "Select output sound file properties"
    MessageBoxSink sink(owner);
    return dw::ChooseAcmFormat(encoder, sampleRate, chooser, sink);
}

}  // namespace dw
