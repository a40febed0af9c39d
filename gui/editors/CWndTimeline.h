#pragma once
// The strip under the matrix editor that shows the time axis of the music to
// create: a ruler with minute:second labels, the base motifs as alternating
// blocks along its top edge, the play cursor that the user sets by clicking
// or dragging, and, while the created music plays, a line at the played
// position. Repaints itself ten times a second (timer 7).
//
// The timeline owns the play cursor, a fraction 0 to 1 of the music. Moving it
// while the music plays seeks the playback stream. User-interface thread
// only; the project and the stream belong to the main window and outlive it.

#include <QBasicTimer>
#include <QFont>
#include <QWidget>

#include <cstdint>

namespace dw {

class CProject;
class IStreamTransport;

class CWndTimeline final : public QWidget {
public:
    static constexpr int kControlId = 20005;
    static constexpr int kTimerId = 7;
    static constexpr int kTimerPeriodMs = 100;
    static constexpr int kHeight = 30;

    // `playback` is the main playback stream (may be null: nothing plays).
    CWndTimeline(QWidget* parent, CProject* project, IStreamTransport* playback);

    // The play cursor becomes `fraction`; while the stream plays it also seeks
    // there. Does not repaint: callers that need it call update().
    void SetPlayCursor(double fraction);
    double PlayCursor() const { return playCursor_; }

    // The fraction the time display shows: the played position while the
    // stream plays, else the hovered position, else the play cursor.
    double CurrentFraction() const;

    int MouseX() const { return mouseX_; }
    bool Dragging() const { return dragging_; }

    // Draws the whole window into `p` at `size`; paintEvent and tests use it.
    void Render(QPainter& p, QSize size) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::uint32_t Frames() const;

    CProject* project_;
    IStreamTransport* playback_;
    double playCursor_ = 0.0;
    int mouseX_ = -1;
    int mouseY_ = -1;
    bool dragging_ = false;
    QFont font_;
    QBasicTimer timer_;
};

}  // namespace dw
