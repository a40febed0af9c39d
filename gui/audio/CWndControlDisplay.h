#pragma once
// The time display of the transport bar: MM:SS.t of the position the timeline
// reports (the played position while the music plays, else the hovered or the
// play cursor position), drawn from a digit strip over a framed background and
// refreshed ten times a second (timer 8).

#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>

#include <array>

namespace dw {

class CProject;
class IPlayCursor;

class CWndControlDisplay final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kControlId = 20003;
    static constexpr int kTimerId = 8;
    static constexpr int kTimerPeriodMs = 100;

    CWndControlDisplay(QWidget* parent, CProject* project, IPlayCursor* cursor);

    // One tick of timer 8: takes the fraction to show and repaints.
    void OnTimerTick();
    double ShownFraction() const { return fraction_; }
    // The five digits shown now and where they stand.
    std::array<int, 5> Digits() const;
    std::array<int, 5> DigitX() const;
    int DigitY() const;
    QSize DigitSize() const { return {digitWidth_, digitHeight_}; }

    // Draws the whole window into `p` (paintEvent and the tests).
    void Render(QPainter& p) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CProject* project_;
    IPlayCursor* cursor_;
    QPixmap background_;
    QPixmap digits_;
    int digitWidth_ = 0;
    int digitHeight_ = 0;
    double fraction_ = 0.0;
    QBasicTimer timer_;
};

}  // namespace dw
