#pragma once
// The master volume of the transport bar: a skinned slider (0 to 100) in a
// framed window with a speaker symbol. Moving it sets the audio layer's
// master volume; every 250 ms (timer 5) it follows the master volume, so a
// change made elsewhere shows here too.

#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>

namespace dw {

class CSkinSliderCtrl;

class CWndVolume final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSliderId = 20020;
    static constexpr int kTimerId = 5;
    static constexpr int kTimerPeriodMs = 250;

    explicit CWndVolume(QWidget* parent);

    CSkinSliderCtrl* slider() const { return slider_; }
    // One tick of timer 5: the slider follows the master volume.
    void OnTimerTick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceSlider();
    void OnSliderMoved(int position);

    QPixmap background_;
    CSkinSliderCtrl* slider_ = nullptr;
    bool following_ = false;
    QBasicTimer timer_;
};

}  // namespace dw
