#pragma once
// The trim dialog: shows the decoded source as a two-channel waveform with a
// time ruler, lets the user select a range of it with the mouse and listen
// to the whole source or to the range only, and returns the range as two
// fractions of the source length. One dialog serves two callers: the control
// panel's Trim button (mode 1, the part of the source that music is made
// from) and the matrix editor's Set Section Source (mode 0, one section's
// own range).
//
// Runs modally on the user-interface thread. It plays through a playback
// stream of its own, created when it opens and freed when it closes; the
// caller stops the main playback first (WM_APP_STOP). The decoded source
// belongs to the properties and must not change while the dialog runs.

#include <QBasicTimer>
#include <QDialog>
#include <QFont>

#include <cstdint>
#include <memory>
#include <optional>

#include "core/geometry/TrimGeometry.h"

class QPushButton;

namespace dw {

class CProject;
class CProperties;
class IStreamTransport;
class TrimCanvas;

class CDlgTrim final : public QDialog {
public:
    enum Mode : std::uint8_t { kSectionSource = 0, kTrimSource = 1 };
    static constexpr int kTimerId = 9;
    static constexpr int kTimerPeriodMs = 100;

    // Button ids, for those who drive the dialog by id.
    enum ButtonId { kIdOk = 1, kIdCancel = 2, kIdDefault = 5, kIdPlay = 6, kIdPlayRange = 7, kIdStop = 8 };

    CDlgTrim(QWidget* parent, CProperties* properties, Mode mode, FractionRange range, FractionRange defaultRange);
    ~CDlgTrim() override;

    // The selected range; read it after the dialog was accepted.
    FractionRange Range() const { return range_; }

    // The control panel's Trim button: runs the dialog on the project's trim
    // range (default 0.05 to 0.95) and on OK stores the range and marks the
    // music outdated. Returns true when the user confirmed.
    static bool RunTrimSource(QWidget* parent, CProject& project);

    // The matrix editor's Set Section Source: runs the dialog in section mode
    // and returns the confirmed range, nothing when cancelled.
    static std::optional<FractionRange> RunSectionSource(QWidget* parent, CProperties* properties,
                                                         const FractionRange& defaultRange,
                                                         const FractionRange& initialRange);

    // The buttons' actions.
    void OnPlay();
    void OnPlayRange();
    void OnStop();
    void OnDefault();

    // One tick of the 100 ms timer (public so that tests need not wait).
    void OnTimerTick();

    // State, for tests and the canvas.
    int Marker() const { return marker_; }
    bool Playing() const { return playing_; }
    bool PlayingRange() const { return playRange_; }
    TrimEdge GrabbedEdge() const { return grabbed_; }
    TrimCursor CursorShape() const { return cursorShape_; }
    // The drawing area, whose left and top edges the mouse positions are measured from.
    QWidget* Canvas() const;
    TrimLayout Layout() const;
    // Frame the dialog's own player stands at, and whether it plays.
    std::uint64_t PlayerFrame() const;
    bool PlayerActive() const;

    // Draws the drawing rectangle into `p` (its top-left corner at 0, 0).
    void RenderWave(QPainter& p, const TrimLayout& layout);

protected:
    void done(int result) override;
    void timerEvent(QTimerEvent* event) override;

private:
    friend class TrimCanvas;
    void MousePress(QPoint pos);
    void MouseMove(QPoint pos);
    void MouseRelease();
    void UpdateCursor();
    void SetMarkerFromX(int x);
    void PlayFromMarker();
    std::uint32_t FrameCount() const;
    const float* Samples() const;

    CProperties* properties_;
    Mode mode_;
    FractionRange range_;
    FractionRange default_;
    std::unique_ptr<IStreamTransport> player_;
    TrimCanvas* canvas_ = nullptr;
    QFont font_;
    QBasicTimer timer_;
    WavePeakCache peaks_;

    bool draggingRange_ = false;
    bool draggingMarker_ = false;
    TrimEdge grabbed_ = TrimEdge::None;
    QPoint mouse_{0, 0};
    int anchor_ = 0;
    int marker_ = 0;
    bool playing_ = false;
    bool playRange_ = false;
    TrimCursor cursorShape_ = TrimCursor::Arrow;
};

}  // namespace dw
