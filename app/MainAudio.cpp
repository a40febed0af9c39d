#include "app/MainAudio.h"

#include "app/MessageBox.h"

#include <QInputDialog>
#include <QStringList>

namespace dw {

namespace {

// The format dialog: one list of the formats that fit.
class ListFormatChooser final : public IFormatChooser {
public:
    explicit ListFormatChooser(QWidget* owner) : owner_(owner) {}
    std::optional<std::size_t> ChooseFormat(std::string_view title, std::span<const SoundFormat> formats) override {
        QStringList names;
        for (const SoundFormat& f : formats) names << QString::fromStdString(f.name);
        bool ok = false;
        const QString choice =
            QInputDialog::getItem(owner_, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                                  QStringLiteral("Format:"), names, 0, false, &ok);
        if (!ok) return std::nullopt;
        const auto index = names.indexOf(choice);
        if (index < 0) return std::nullopt;
        return static_cast<std::size_t>(index);
    }

private:
    QWidget* owner_;
};

}  // namespace

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
    ListFormatChooser chooser(owner);
    MessageBoxSink sink(owner);
    return dw::ChooseAcmFormat(encoder, sampleRate, chooser, sink);
}

}  // namespace dw
