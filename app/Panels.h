#pragma once
// What the main window asks of its panels beyond moving and repainting them,
// and plain stand-ins for the panels that are not built yet. The main window
// creates every panel in CDWDlg::CreatePanels(); a real panel replaces its
// stand-in there and implements (or is wrapped by) the matching interface.

#include "app/platform/Geometry.h"

#include <QString>
#include <QWidget>

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
};

// The transport bar: the started and paused flags, and the band of its
// controls that lines up with the matrix editor.
class ITransportBar {
public:
    virtual ~ITransportBar() = default;
    virtual void SetLayoutBand(const Rect& band) = 0;
    virtual void ClearStartedAndPaused() = 0;
};

// A quiet panel-coloured stand-in with the panel's id and name, used until the
// real panel exists.
class CPanelPlaceholder : public QWidget {
    Q_OBJECT
public:
    CPanelPlaceholder(QWidget* parent, int id, QString name, bool thinBorder);
    int panelId() const { return id_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int id_;
    QString name_;
    bool border_;
};

// Stands in for the control panel: keeps its size, and refreshes like the real
// one does (a changed quality sets the sample rate, drops the decoded source,
// takes the shown encoder into the properties and tells the main window with
// WM_APP_ENCODER_CHANGED). It asks for no file and decodes nothing.
class CControlPanelPlaceholder final : public CPanelPlaceholder, public IControlPanel {
    Q_OBJECT
public:
    CControlPanelPlaceholder(QWidget* parent, CProject* project);
    bool EnsureSource() override;
    void UpdateControls() override;
    void SetEncoderIndex(int index) override { encoderIndex_ = index; }
    void SetRememberedQuality(int quality) override { rememberedQuality_ = quality; }
    QSize PanelSize() const override;

    int encoderIndex() const { return encoderIndex_; }
    int rememberedQuality() const { return rememberedQuality_; }
    int ensureSourceCalls = 0;
    int updateControlsCalls = 0;

private:
    CProject* project_;
    int encoderIndex_ = 0;
    int rememberedQuality_ = -1;
};

}  // namespace dw
