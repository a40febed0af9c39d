// A window for looking at the transport bar, the control panel and the
// progress dialogs (screenshots); not a test. With "progress" as argument the
// loading dialog opens over it on the given source file; with "focus" the Play
// button has the keyboard focus.

#include <QApplication>
#include <QTimer>

#include "gui/app/panel/CWndInfo.h"
#include "core/audio/Playback.h"
#include "gui/audio/CDlgProgressLoadMusic.h"
#include "gui/audio/CWndControlbar.h"
#include "core/transport/PlayCursor.h"
#include "core/model/Project.h"
#include "gui/kit/CHoverButton.h"

namespace {
struct Cursor final : dw::IPlayCursor {
    double c = 0.37;
    void SetPlayCursor(double f) override { c = f; }
    double PlayCursor() const override { return c; }
    double CurrentFraction() const override { return c; }
    void Repaint() override {}
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dw::NullProgress quiet;
    dw::InitAudio(quiet, dw::AudioStartOptions{dw::OutputKind::Null, 44100});
    dw::CProject project;
    project.properties.musicLength = 754;
    project.properties.reverbOn = true;
    project.properties.reverb = 0.35;
    dw::CMusicEngine engine;
    dw::PlaybackStream stream;
    Cursor cursor;

    QWidget window;
    window.setWindowTitle(QStringLiteral("Driftwell preview"));
    window.resize(1100, 640);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(120, 130, 145));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    auto* panel = new dw::CWndInfo(&window, &project, nullptr);
    panel->move(1100 - panel->width() - 4, 44);
    auto* bar = new dw::CWndControlbar(&window, &project, &engine, &stream, &cursor, nullptr);
    bar->setGeometry(0, 640 - 60, 1100, 60);
    bar->SetLayoutBand(dw::Rect{128, 0, 1100 - panel->width() - 8, 60});
    window.show();
    window.activateWindow();
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("focus"))
        QTimer::singleShot(500, [bar] {
            bar->button(dw::CWndControlbar::ID_PLAY)->setFocus(Qt::TabFocusReason);
        });

    if (argc > 2 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("progress")) {
        project.properties.sourcePath = argv[2];
        QTimer::singleShot(300, [&] {
            dw::CDlgProgress::Hooks().holdRounds = 100000;  // stays open for the picture
            dw::CDlgProgressLoadMusic dlg(&window, &project.properties);
            dlg.exec();
        });
    }
    const int rc = app.exec();
    dw::ShutdownAudio(&stream);
    return rc;
}
