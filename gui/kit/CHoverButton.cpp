#include "gui/kit/CHoverButton.h"

#include "gui/kit/ArtResources.h"
#include "core/geometry/ControlGeometry.h"

#include <QMouseEvent>
#include <QPainter>

namespace dw {

CHoverButton::CHoverButton(QWidget* parent, int commandId) : QAbstractButton(parent), commandId_(commandId) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole button
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(1);
    connect(&hoverTimer_, &QTimer::timeout, this, &CHoverButton::OnHover);
    connect(this, &QAbstractButton::clicked, this, [this] { emit command(commandId_); });
}

bool CHoverButton::LoadStateStrip(int resourceId) { return LoadStateStrip(LoadBitmapResource(resourceId)); }

bool CHoverButton::LoadStateStrip(const QPixmap& strip) {
    hovered_ = false;
    strip_ = strip;
    const QSize size = strip_.deviceIndependentSize().toSize();
    stateWidth_ = size.width() / 3;
    stateHeight_ = size.height();
    resize(stateWidth_, stateHeight_);
    raise();
    return true;
}

void CHoverButton::AssignTooltip(const QString& text) {
    if (text.isEmpty()) return;
    setToolTip(text);
}

int CHoverButton::currentPictureX() const { return StatePictureX(stateWidth_, isDown(), hovered_); }

void CHoverButton::paintEvent(QPaintEvent*) {
    if (strip_.isNull()) return;
    QPainter painter(this);
    const qreal dpr = strip_.devicePixelRatio();
    painter.drawPixmap(QRect(0, 0, stateWidth_, stateHeight_), strip_,
                       QRectF(currentPictureX() * dpr, 0, stateWidth_ * dpr, stateHeight_ * dpr));
}

void CHoverButton::mouseMoveEvent(QMouseEvent* event) {
    // Ask once for the hover report; it arrives a millisecond later and the
    // leave report ends the tracking again.
    if (!tracking_) {
        hoverTimer_.start();
        tracking_ = true;
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CHoverButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is an ordinary press, so a quick
    // second click runs the command again. Qt 6 already delivers that press
    // before the double-click event; press here only when it did not.
    if (!isDown()) mousePressEvent(event);
    else event->accept();
}

void CHoverButton::leaveEvent(QEvent* event) {
    hoverTimer_.stop();
    tracking_ = false;
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CHoverButton::OnHover() {
    hovered_ = true;
    update();
}

}  // namespace dw
