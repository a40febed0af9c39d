#pragma once
// Helpers of the widget tests: mouse events delivered straight to a widget
// (as Qt delivers them to the widget that holds the implicit grab), acting on
// a modal dialog once it is up, a stand-in main window that records the
// application messages it receives, and painting into an image whose pixels
// a test checks against a table.

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QMouseEvent>
#include <QObject>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "gui/kit/AppMessages.h"

namespace dw::test {

// Mouse events through Qt Test, which delivers them as the window system
// would: a press grabs the mouse for the widget, so moves and the release
// beyond its edges still reach it. The widget must be shown.
inline void Move(QWidget& w, QPoint pos, Qt::MouseButtons held = Qt::NoButton) {
    (void)held;  // Qt Test remembers which buttons it pressed
    // Qt drops a move to where the cursor already is, even over a new window:
    // step aside first so that every move in a test is delivered.
    static QPoint last(-1, -1);
    const QPoint global = w.mapToGlobal(pos);
    if (global == last) QTest::mouseMove(&w, pos + QPoint(1, 0));
    QTest::mouseMove(&w, pos);
    last = global;
}
inline void Press(QWidget& w, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(&w, button, Qt::NoModifier, pos);
}
inline void Release(QWidget& w, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseRelease(&w, button, Qt::NoModifier, pos);
}
// Shows a widget and waits until the window system has it on screen.
inline bool ShowAndWait(QWidget& w) {
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}
// Shows a window, waits until it is on screen, then makes it the active
// window (keyboard input goes to it) and waits for that too.
inline bool ShowActiveAndWait(QWidget& w) {
    if (!ShowAndWait(w)) return false;
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}
inline void Leave(QWidget& w) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&w, &event);
}

// Acts on the next modal dialog as soon as it is up (polling, so that it does
// not matter which event loop runs first), for tests that drive code which
// runs a dialog modally.
inline void WhenDialogOpens(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act = std::move(act)] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start(5);
}

// Paints a widget through its Render(QPainter&, QSize) into an image of the
// given size, the same way its paint event would, but without a window system.
template <class Widget>
QImage RenderToImage(Widget& w, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    w.Render(painter, image.size());
    painter.end();
    return image;
}

// One pixel a painting test expects: what it shows, where, and its colour.
struct ExpectedPixel {
    const char* what;
    int x;
    int y;
    QColor colour;
};
inline void ExpectPixels(const QImage& image, std::initializer_list<ExpectedPixel> pixels) {
    for (const ExpectedPixel& p : pixels) {
        SCOPED_TRACE(std::string(p.what) + " at (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")");
        EXPECT_EQ(QColor(image.pixel(p.x, p.y)), p.colour);
    }
}

// Records every application message sent to it, in order.
class MessageRecorder final : public QObject {
public:
    std::vector<int> messages;
    std::function<void(int)> onMessage;

    bool event(QEvent* e) override {
        if (e->type() == AppMessageEvent::eventType()) {
            const int message = static_cast<AppMessageEvent*>(e)->message();
            messages.push_back(message);
            if (onMessage) onMessage(message);
            return true;
        }
        return QObject::event(e);
    }
};

}  // namespace dw::test
