#pragma once
// The application's start: check the operating system and the screen, name
// the application, take the project file named on the command line and run
// the main window modally. When the main window closes the program ends.

#include "core/platform/Platform.h"

#include <QStringList>

class QScreen;

namespace dw {

class CDWApp {
public:
    // Runs the program inside an existing QApplication; returns its exit code
    // (0 also when a start-up check fails, after its message).
    static int Run(const QStringList& arguments);

    // The screen as the start-up check sees it (device-independent pixels).
    static ScreenInfo ScreenInfoOf(const QScreen* screen);
    // Which start-up message applies, in the order the checks run; empty when
    // both pass. The OS check runs first, so only its message shows when both fail.
    static QString StartupCheckMessage(bool osSupported, bool screenSupported);
    // The switch that selects the silent output device.
    static bool WantsNullAudio(const QStringList& arguments);
};

}  // namespace dw
