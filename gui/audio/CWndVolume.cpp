#include "gui/audio/CWndVolume.h"

#include <QPainter>
#include <QTimerEvent>

#include <cmath>

#include "core/audio/AudioLayer.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/CSkinSliderCtrl.h"
#include "gui/kit/Painting.h"

namespace dw {

CWndVolume::CWndVolume(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CWndVolume"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    background_ = LoadBitmapResource(IDB_VOLUME_BG);
    resize(171, 40);
    slider_ = new CSkinSliderCtrl(this);
    slider_->setObjectName(QStringLiteral("ctl-%1").arg(kSliderId));
    slider_->setRange(0, 100);
    slider_->setAccessibleName(QStringLiteral("Volume"));
    PlaceSlider();
    slider_->LoadSkinBitmaps();
    slider_->show();
    connect(slider_, &QSlider::valueChanged, this, [this](int v) { OnSliderMoved(v); });
    OnTimerTick();
    timer_.start(kTimerPeriodMs, this);
}

void CWndVolume::PlaceSlider() { slider_->setGeometry(width() - 129, (height() - 20) / 2, 123, 20); }

void CWndVolume::OnSliderMoved(int position) {
    if (following_) return;  // our own follow step, not the user
    SetMasterVolume(static_cast<float>(position) / 100.0f);
}

void CWndVolume::OnTimerTick() {
    // Rounded, not truncated: 0.29f x 100 is 28.99998, and truncating would
    // pull the slider one step back from where the user left it.
    const int position = static_cast<int>(std::lround(GetMasterVolume() * 100.0f));
    following_ = true;
    slider_->setValue(position);
    following_ = false;
    update();
}

void CWndVolume::paintEvent(QPaintEvent*) {
    QPixmap buffer = MakeBackBuffer(*this);
    {
        QPainter p(&buffer);
        p.fillRect(rect(), QColor(39, 54, 61));
        DrawBitmapAt(background_, p, QPoint(0, 0));
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CWndVolume::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        OnTimerTick();
    else
        QWidget::timerEvent(event);
}

void CWndVolume::resizeEvent(QResizeEvent*) {
    PlaceSlider();
    update();
    slider_->update();
}

}  // namespace dw
