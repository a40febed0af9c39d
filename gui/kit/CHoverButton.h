#pragma once
// A picture push button with three state pictures side by side in one strip:
// normal, pressed, hovered. It shows the hovered picture a millisecond after
// the mouse first moves over it and drops it when the mouse leaves. A quick
// second click counts as a click of its own, so a double click runs the
// command twice. Lives on the user-interface thread; the strip is loaded once.

#include <QAbstractButton>
#include <QPixmap>
#include <QTimer>

namespace dw {

class CHoverButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CHoverButton(QWidget* parent = nullptr, int commandId = 0);

    // Loads the strip with this bitmap number and sizes the button to one
    // state picture. Returns true (a missing picture leaves an empty button).
    bool LoadStateStrip(int resourceId);
    bool LoadStateStrip(const QPixmap& strip);

    // Gives the button a tooltip; an empty text does nothing, a second call
    // replaces the text.
    void AssignTooltip(const QString& text);

    int commandId() const { return commandId_; }
    bool hovered() const { return hovered_; }
    bool tracking() const { return tracking_; }
    int stateWidth() const { return stateWidth_; }
    int stateHeight() const { return stateHeight_; }
    // The x in the strip of the picture the button shows now.
    int currentPictureX() const;

    QSize sizeHint() const override { return {stateWidth_, stateHeight_}; }

signals:
    // Sent with the command id on every click, like a command to the parent.
    void command(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void OnHover();

    bool hovered_ = false;
    int stateWidth_ = 0;
    int stateHeight_ = 0;
    QPixmap strip_;
    bool tracking_ = false;
    QTimer hoverTimer_;
    int commandId_ = 0;
};

}  // namespace dw
