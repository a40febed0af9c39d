#pragma once
// The application messages with which panels report to the main window. They
// are sent synchronously (QCoreApplication::sendEvent) to the main window only,
// never from one panel to another; the main window decides what to redo.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace dw {

constexpr int WM_APP = 0x8000;
enum AppMessage : int {
    WM_APP_NEW_PROJECT = WM_APP + 1,
    WM_APP_ENSURE_SOURCE = WM_APP + 2,
    // WM_APP + 3 is not used.
    WM_APP_REFRESH_PANEL = WM_APP + 4,
    WM_APP_REDRAW_MATRIX = WM_APP + 5,
    WM_APP_ENCODER_CHANGED = WM_APP + 6,
    WM_APP_EFFECT_SWITCHED = WM_APP + 7,
    WM_APP_EFFECT_AMOUNT = WM_APP + 8,
    WM_APP_STOP = WM_APP + 9,
    // An edit of the project has ended (a committed field, a released slider
    // or drag, a menu command, a confirmed dialog, a new source): the main
    // window records it as one step to undo. Sent also when nothing changed;
    // the main window compares.
    WM_APP_PROJECT_EDITED = WM_APP + 10,
    // The control panel's "New variation": create the music again, new seed.
    WM_APP_NEW_VARIATION = WM_APP + 11,
    // The transport bar has created the music (the engine holds its seed).
    WM_APP_MUSIC_CREATED = WM_APP + 12,
};

class AppMessageEvent final : public QEvent {
public:
    AppMessageEvent(int message, qintptr wParam) : QEvent(eventType()), message_(message), wParam_(wParam) {}

    static QEvent::Type eventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    int message() const { return message_; }
    qintptr wParam() const { return wParam_; }
    // What the handler answers (LRESULT); 0 unless it sets one.
    qintptr result = 0;

private:
    int message_;
    qintptr wParam_;
};

// Sends `message` synchronously to the main window and returns its answer.
inline qintptr SendAppMessage(QObject* mainWindow, int message, qintptr wParam = 0) {
    if (!mainWindow) return 0;
    AppMessageEvent event(message, wParam);
    QCoreApplication::sendEvent(mainWindow, &event);
    return event.result;
}

}  // namespace dw
