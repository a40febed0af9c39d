#include "gui/audio/CDlgTrimPlayer.h"

#include "core/transport/PlaybackTransport.h"
#include "gui/kit/MessageBox.h"

namespace dw {

namespace {
TrimPlayerFactory& Factory() {
    static TrimPlayerFactory factory;
    return factory;
}
}  // namespace

void SetTrimPlayerFactory(TrimPlayerFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<IStreamTransport> MakeTrimPlayer(CProperties& properties) {
    if (Factory()) return Factory()(properties);
    return std::make_unique<OwnedPlaybackTransport>(properties, ActiveWindowMessageSink());
}

}  // namespace dw
