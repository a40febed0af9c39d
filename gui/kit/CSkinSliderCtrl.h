#pragma once
// A horizontal slider that keeps all of QSlider's behaviour (range, value,
// keyboard, mouse, signals) and only paints differently: a channel picture
// stretched over the control and a thumb picture centred on the handle.

#include <QPixmap>
#include <QSlider>

namespace dw {

class CSkinSliderCtrl : public QSlider {
    Q_OBJECT
public:
    explicit CSkinSliderCtrl(QWidget* parent = nullptr);

    // Loads the channel and thumb pictures. Call once the control has its
    // final size: the channel is drawn in the size the control has now.
    void LoadSkinBitmaps();
    void LoadSkinBitmaps(const QPixmap& channel, const QPixmap& thumb);

    QSize channelSize() const { return channelSize_; }
    QSize thumbSize() const { return thumbSize_; }
    // The handle rectangle the style gives for the current value.
    QRect thumbRect() const;
    // Where the thumb picture goes (centred in thumbRect).
    QPoint thumbOrigin() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QPixmap channel_;
    QSize channelSize_;
    QPixmap thumb_;
    QSize thumbSize_;
};

}  // namespace dw
