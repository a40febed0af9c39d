#pragma once
// What the main window asks of its panels beyond moving and repainting them.
// The main window creates every panel and hands each one what it needs; each
// panel implements (or is wrapped by) the matching interface, so that no
// panel has to find another.

#include "core/geometry/Rect.h"

#include <QSize>

#include <cstdint>
#include <optional>

namespace dw {

class CProject;

// Control ids of the panels (also their objectName "panel-<id>").
enum PanelId : int {
    IDC_TOOLBAR = 20000,
    IDC_TRANSPORT_BAR = 20001,
    IDC_ROW_HEADERS = 20002,
    IDC_MATRIX_EDITOR = 20004,
    IDC_TIMELINE = 20005,
    IDC_CONTROL_PANEL = 133,  // a child dialog: its template number
};

// The timeline owns the play cursor, a fraction 0 to 1 of the music.
class ITimelinePanel {
public:
    virtual ~ITimelinePanel() = default;
    virtual void SetPlayCursor(double fraction) = 0;
    virtual double PlayCursor() const = 0;
};

// The control panel: shows and edits the properties.
class IControlPanel {
public:
    virtual ~IControlPanel() = default;
    // Asks for a music source file when none is named, then decodes it unless
    // it is decoded. True when a source file is named afterwards.
    virtual bool EnsureSource() = 0;
    // Shows the properties again (and applies a changed quality).
    virtual void UpdateControls() = 0;
    virtual void SetEncoderIndex(int index) = 0;
    virtual void SetRememberedQuality(int quality) = 0;
    // Its own client size, fixed when it initialises.
    virtual QSize PanelSize() const = 0;
    // Shows the seed policy's seed and "Keep seed" again (after a creation).
    virtual void ShowSeed() = 0;
};

// The transport bar: the started and paused flags, the band of its controls
// that lines up with the matrix editor, and Play's road, which the main window
// also takes for the commands that need music matching the project.
class ITransportBar {
public:
    virtual ~ITransportBar() = default;
    virtual void SetLayoutBand(const Rect& band) = 0;
    virtual void ClearStartedAndPaused() = 0;
    // Decodes and creates as needed; true when the music matches the project
    // and is in the main stream. `outdated` is the project's musicOutdated.
    virtual bool PlayRoad(std::uint32_t outdated) = 0;
};

}  // namespace dw
