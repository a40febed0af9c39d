#include "gui/app/QuitOnSignal.h"

#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace dw {

namespace {
int gPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the result cannot be acted on anyway.
    [[maybe_unused]] const ssize_t n = write(gPipe[1], &byte, 1);
}
}  // namespace

void QuitOnSignal(QWidget* window, std::function<void()> keepWork, std::function<void()> end) {
    if (gPipe[0] < 0) {
        if (pipe(gPipe) != 0) return;
        fcntl(gPipe[0], F_SETFD, FD_CLOEXEC);
        fcntl(gPipe[1], F_SETFD, FD_CLOEXEC);
        fcntl(gPipe[1], F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window, keepWork = std::move(keepWork), end = std::move(end)] {
        char buffer[16];
        [[maybe_unused]] const ssize_t n = read(gPipe[0], buffer, sizeof buffer);
        // No question is asked: nobody may be there to answer it. The work
        // is kept instead, and the next start says where.
        if (keepWork) keepWork();
        QMetaObject::invokeMethod(window, "reject", Qt::DirectConnection);
        // A modal dialog's event loop would go on after the window's ended;
        // the process ends here, its files closed and its sound released.
        if (end) {
            end();
            return;
        }
        std::fflush(nullptr);
        std::_Exit(0);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

}  // namespace dw
