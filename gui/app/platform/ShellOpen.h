#pragma once
// The shell's "open": asks the desktop to open a file or an address with the
// program the user chose for it. It goes through a replaceable hook so the
// tests can see what the program would open.

#include <QUrl>

#include <functional>

namespace dw {

// False when the desktop could not open it.
bool ShellOpen(const QUrl& url);
using ShellOpenHook = std::function<bool(const QUrl&)>;
// Replaces the desktop (tests); an empty function restores it.
void SetShellOpenHook(ShellOpenHook hook);

}  // namespace dw
