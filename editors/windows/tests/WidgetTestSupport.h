#pragma once
// Helpers of the widget tests: mouse events delivered straight to a widget
// (as Qt delivers them to the widget that holds the implicit grab), and a
// stand-in main window that records the application messages it receives.

#include <QApplication>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>

#include <vector>

#include "app/AppMessages.h"
#include "editors/windows/StreamTransport.h"

namespace dw::test {

inline void SendMouse(QWidget& w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), QPointF(w.mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}
inline void Move(QWidget& w, QPoint pos, Qt::MouseButtons held = Qt::NoButton) {
    SendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, held);
}
inline void Press(QWidget& w, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonPress, pos, button, button);
}
inline void Release(QWidget& w, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}
inline void Leave(QWidget& w) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&w, &event);
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

// A playback stream whose position the test sets by hand.
class FakeTransport final : public IStreamTransport {
public:
    bool active = false;
    std::uint64_t frame = 0;
    std::vector<std::uint32_t> seeks;
    int plays = 0;
    int stops = 0;
    bool* destroyed = nullptr;

    ~FakeTransport() override {
        if (destroyed) *destroyed = true;
    }
    bool Active() const override { return active; }
    std::uint64_t Frame() const override { return frame; }
    void Seek(std::uint32_t f) override {
        frame = f;
        seeks.push_back(f);
    }
    bool Play() override {
        ++plays;
        active = true;
        return true;
    }
    void Stop() override {
        ++stops;
        active = false;
    }
};

}  // namespace dw::test
