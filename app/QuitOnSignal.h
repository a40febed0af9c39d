#pragma once
// Ends the program cleanly on SIGTERM, SIGINT or SIGHUP: the signal handler
// only writes a byte to a pipe; the user-interface thread reads it and closes
// the main window the ordinary way, so the sound output is stopped and
// released as on the close box.

class QWidget;

namespace dw {

// Installs the handlers; `window` is closed when a signal arrives.
void QuitOnSignal(QWidget* window);

}  // namespace dw
