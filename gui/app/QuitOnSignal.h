#pragma once
// Ends the program on SIGTERM, SIGINT or SIGHUP, even while a modal dialog
// runs its own event loop: the signal handler only writes the signal's
// number to a pipe; the user-interface thread reads it, lets `keepWork`
// write unsaved work to a recovery file, stops and releases the sound
// output through `window`'s reject(), and ends the process with status 0
// without returning into whatever dialog was open.

#include <functional>

class QWidget;

namespace dw {

// `end` replaces the end of the process (tests); by default std::_Exit(0).
void QuitOnSignal(QWidget* window, std::function<void()> keepWork = {}, std::function<void()> end = {});

}  // namespace dw
