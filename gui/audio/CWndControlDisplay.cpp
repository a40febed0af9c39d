#include "gui/audio/CWndControlDisplay.h"

#include <QPainter>
#include <QTimerEvent>

#include "core/transport/PlayCursor.h"
#include "core/transport/TransportLogic.h"
#include "core/model/Project.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/Painting.h"

namespace dw {

CWndControlDisplay::CWndControlDisplay(QWidget* parent, CProject* project, IPlayCursor* cursor)
    : QWidget(parent), project_(project), cursor_(cursor) {
    setObjectName(QStringLiteral("ctl-%1").arg(kControlId));
    setAttribute(Qt::WA_OpaquePaintEvent);
    background_ = LoadBitmapResource(IDB_DISPLAY_BG);
    digits_ = LoadBitmapResource(IDB_DIGITS);
    const QSize strip = digits_.deviceIndependentSize().toSize();
    digitWidth_ = strip.width() / 10;
    digitHeight_ = strip.height();
    timer_.start(kTimerPeriodMs, this);
}

void CWndControlDisplay::OnTimerTick() {
    double f = cursor_ ? cursor_->CurrentFraction() : 0.0;
    if (!(f >= 0.0 && f <= 1.0)) f = 0.0;
    fraction_ = f;
    update();
}

std::array<int, 5> CWndControlDisplay::Digits() const {
    return DisplayDigits(project_ ? project_->properties.musicLength : 0, fraction_);
}

std::array<int, 5> CWndControlDisplay::DigitX() const { return DisplayDigitX(digitWidth_); }

int CWndControlDisplay::DigitY() const { return (height() - digitHeight_) / 2; }

void CWndControlDisplay::Render(QPainter& p) const {
    p.fillRect(rect(), Qt::black);
    DrawBitmapAt(background_, p, QPoint(0, 0));
    if (digits_.isNull() || digitWidth_ <= 0) return;
    const auto d = Digits();
    const auto x = DigitX();
    const int y = DigitY();
    const qreal ratio = digits_.devicePixelRatio();
    for (int i = 0; i < 5; ++i) {
        const QRectF source(d[i] * digitWidth_ * ratio, 0, digitWidth_ * ratio, digitHeight_ * ratio);
        p.drawPixmap(QRectF(x[i], y, digitWidth_, digitHeight_), digits_, source);
    }
}

void CWndControlDisplay::paintEvent(QPaintEvent*) {
    QPixmap buffer = MakeBackBuffer(*this);
    {
        QPainter p(&buffer);
        Render(p);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CWndControlDisplay::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        OnTimerTick();
    else
        QWidget::timerEvent(event);
}

void CWndControlDisplay::resizeEvent(QResizeEvent*) { update(); }

}  // namespace dw
