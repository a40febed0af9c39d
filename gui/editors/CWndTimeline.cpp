#include "gui/editors/CWndTimeline.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "core/transport/StreamTransport.h"
#include "core/geometry/TimelineGeometry.h"
#include "core/model/Project.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/ShapePainting.h"

namespace dw {

CWndTimeline::CWndTimeline(QWidget* parent, CProject* project, IStreamTransport* playback)
    : QWidget(parent), project_(project), playback_(playback) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole window
    setMouseTracking(true);
    // A hand under a pair of arrows: the user moves the play cursor here.
    setCursor(LoadCursorResource(IDC_HAND_LEFTRIGHT));
    font_ = VerdanaFont(10, this);
    timer_.start(kTimerPeriodMs, this);
}

std::uint32_t CWndTimeline::Frames() const {
    return project_ ? MusicFrames(project_->properties.sampleRate, project_->properties.musicLength) : 0;
}

void CWndTimeline::SetPlayCursor(double fraction) {
    playCursor_ = fraction;
    if (playback_ && playback_->Active()) playback_->Seek(SeekFrame(fraction, Frames()));
}

double CWndTimeline::CurrentFraction() const {
    const bool active = playback_ && playback_->Active();
    return CurrentFractionOf(active, active ? playback_->Frame() : 0, Frames(), mouseX_, width(), playCursor_);
}

void CWndTimeline::Render(QPainter& p, QSize size) const {
    const int w = size.width();
    const int h = size.height();
    const QColor background = Rgb(39, 54, 61);
    const QColor ruler = Rgb(182, 187, 189);
    FillRect(p, 0, 0, w, h, background);
    HLine(p, 0, w, 6, ruler);

    const std::uint32_t length = project_ ? project_->properties.musicLength : 0;
    p.setFont(font_);
    p.setPen(ruler);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(background);
    const QFontMetrics metrics(font_);
    for (const RulerTick& tick : TimelineTicks(w, length)) {
        VLine(p, tick.x, 7, 7 + tick.length, ruler);
        if (tick.label.empty()) continue;
        const QString text = QString::fromStdString(tick.label);
        const int tw = metrics.horizontalAdvance(text);
        p.drawText(QRect(tick.x - tw / 2, 11, tw + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
    }
    p.setBackgroundMode(Qt::TransparentMode);

    if (project_) {
        for (const MotifBlock& block : MotifBlocks(w, length, project_->properties.baseMotifLength))
            FillRect(p, block.left, 0, block.left + block.width, 5, block.dark ? Rgb(106, 116, 121) : Rgb(220, 225, 230));
    }

    // The play cursor: a light 3-pixel frame inside a dark 1-pixel one, 14 pixels wide.
    const int a = CursorX(playCursor_, w);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Rgb(240, 245, 250), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawRect(QRect(a - 5, 1, 10 - 1, h - 3 - 1));
    p.setPen(QPen(Rgb(56, 66, 76), 1));
    p.drawRect(QRect(a - 7, 0, 14 - 1, h - 1));

    if (playback_ && playback_->Active()) {
        const int g = static_cast<int>(w * PlayedFraction(playback_->Frame(), Frames()));
        VLine(p, g, 0, h, Qt::white);
        VLine(p, g + 1, 0, h, Rgb(76, 86, 96));
    }
}

void CWndTimeline::paintEvent(QPaintEvent*) {
    PaintBuffered(this, [this](QPainter& p, QSize size) { Render(p, size); });
}

void CWndTimeline::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        update();
    else
        QWidget::timerEvent(event);
}

void CWndTimeline::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;  // Qt keeps the mouse grabbed for the widget while the button is held
    SetPlayCursor(CursorFromX(event->position().toPoint().x(), width()));
    update();
}

void CWndTimeline::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (dragging_) {
        SetPlayCursor(CursorFromX(pos.x(), width()));
        update();
    }
    mouseX_ = pos.x();
    mouseY_ = pos.y();
}

void CWndTimeline::mouseReleaseEvent(QMouseEvent* event) {
    // Nothing is repainted: the next timer tick shows the new cursor.
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

void CWndTimeline::leaveEvent(QEvent*) {
    mouseX_ = -1;
    mouseY_ = -1;
    update();
}

}  // namespace dw
