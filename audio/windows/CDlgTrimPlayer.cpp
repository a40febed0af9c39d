#include "audio/windows/CDlgTrimPlayer.h"

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
    return nullptr;
}

}  // namespace dw
