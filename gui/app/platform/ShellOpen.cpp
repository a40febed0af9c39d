#include "gui/app/platform/ShellOpen.h"

#include <QDesktopServices>

namespace dw {

namespace {
ShellOpenHook& OpenHook() {
    static ShellOpenHook hook;
    return hook;
}
}  // namespace

bool ShellOpen(const QUrl& url) {
    if (OpenHook()) return OpenHook()(url);
    return QDesktopServices::openUrl(url);
}

void SetShellOpenHook(ShellOpenHook hook) { OpenHook() = std::move(hook); }

}  // namespace dw
