// A small window that shows the editors as the main window lays them out,
// on the default project, for looking at them (screenshots under Xvfb):
//
//   dw_editors_preview            row headers, matrix editor and timeline
//   dw_editors_preview --trim     the trim dialog on a synthetic source
//
// Not part of the application; it plays nothing.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstring>

#include "gui/audio/CDlgTrim.h"
#include "gui/audio/CDlgTrimPlayer.h"
#include "gui/editors/CWndHeaders.h"
#include "gui/editors/CWndMatrix.h"
#include "gui/editors/CWndTimeline.h"
#include "core/model/Project.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dw::CProject project;
    project.sections.Split(1);
    project.matrix.SplitColumn(1);
    project.properties.sourceLoaded = true;
    const std::uint32_t frames = 11025 * 75;
    project.properties.sourceFrames = dw::MakeSilentFrames(frames);
    project.properties.sourceFrameCount = frames;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = i / 11025.0;
        const double envelope = 0.5 + 0.45 * std::sin(t * 0.35) * std::sin(t * 1.7);
        project.properties.sourceFrames[i].left = static_cast<float>(envelope * std::sin(i * 0.05));
        project.properties.sourceFrames[i].right = static_cast<float>(0.8 * envelope * std::sin(i * 0.031));
    }
    dw::SetTrimPlayerFactory([](dw::CProperties&) { return std::unique_ptr<dw::IStreamTransport>(); });

    if (argc > 1 && std::strcmp(argv[1], "--trim") == 0) {
        dw::CDlgTrim dialog(nullptr, &project.properties, dw::CDlgTrim::kTrimSource, {0.2, 0.45}, {0.05, 0.95});
        dialog.move(40, 40);
        dialog.show();
        return app.exec();
    }

    // The main window's layout with a control panel of 300 pixels: headers at
    // (4, 44), editor at (128, 44), timeline under the editor.
    QWidget window;
    window.setWindowTitle(QStringLiteral("Editors"));
    window.setStyleSheet(QStringLiteral("background: rgb(120, 130, 145)"));
    const int w = 1100, b = 760, pw = 300;
    window.resize(w, b);
    auto* headers = new dw::CWndHeaders(&window, &project);
    auto* matrix = new dw::CWndMatrix(&window, &project, nullptr);
    auto* timeline = new dw::CWndTimeline(&window, &project, nullptr);
    headers->setGeometry(4, 44, 120, b - 138);
    matrix->setGeometry(128, 44, w - pw - 136, b - 138);
    timeline->setGeometry(128, b - 94, w - pw - 136, 30);
    headers->SetThinBorder(true);
    matrix->SetThinBorder(true);
    timeline->SetPlayCursor(0.3);
    window.move(20, 20);
    window.show();
    return app.exec();
}
