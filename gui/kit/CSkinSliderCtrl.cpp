#include "gui/kit/CSkinSliderCtrl.h"

#include "gui/kit/ArtResources.h"
#include "gui/kit/Painting.h"
#include "core/geometry/ControlGeometry.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace dw {

CSkinSliderCtrl::CSkinSliderCtrl(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, 100);
    setTickPosition(QSlider::NoTicks);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinSliderCtrl::LoadSkinBitmaps() {
    LoadSkinBitmaps(LoadBitmapResource(IDB_SLIDER_CHANNEL), LoadBitmapResource(IDB_SLIDER_THUMB));
}

void CSkinSliderCtrl::LoadSkinBitmaps(const QPixmap& channel, const QPixmap& thumb) {
    channel_ = channel;
    channelSize_ = size();
    thumb_ = thumb;
    thumbSize_ = thumb_.deviceIndependentSize().toSize();
    update();
}

QRect CSkinSliderCtrl::thumbRect() const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
}

QPoint CSkinSliderCtrl::thumbOrigin() const {
    const QRect r = thumbRect();
    const Point p = SliderThumbOrigin(RectXYWH(r.x(), r.y(), r.width(), r.height()), thumbSize_.width(),
                                      thumbSize_.height());
    return {p.x, p.y};
}

void CSkinSliderCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Point c = SliderChannelOrigin(RectXYWH(0, 0, width(), height()), channelSize_.width(),
                                        channelSize_.height());
    StretchBitmapTo(channelSize_, channel_, painter, QPoint(c.x, c.y));
    DrawBitmapAt(thumb_, painter, thumbOrigin());
}

// Every drag, key or wheel turn that may move the thumb repaints the whole
// control, so the picture always follows the value.
void CSkinSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    update();
    QSlider::mouseMoveEvent(event);
}

void CSkinSliderCtrl::keyPressEvent(QKeyEvent* event) {
    update();
    QSlider::keyPressEvent(event);
}

void CSkinSliderCtrl::wheelEvent(QWheelEvent* event) {
    update();
    QSlider::wheelEvent(event);
}

}  // namespace dw
