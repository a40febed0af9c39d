// Makes the user's guide's pictures from the real windows, so that they show
// the program as it is built:
//   dw_guide_pictures <project.dwv> <source sound file> <out dir>
// writes main-window.png, trim-dialog.png and section-menu.png. The windows
// are drawn offscreen (no display needed) at twice their size, so that they
// stay sharp in the PDF, on the project given with its source loaded, and
// play nothing.

#include "gui/app/CDWDlg.h"
#include "gui/audio/CDlgTrim.h"
#include "gui/audio/CDlgTrimPlayer.h"
#include "gui/editors/CWndMatrix.h"
#include "core/model/ProjectFile.h"
#include "core/model/Progress.h"
#include "gui/kit/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <string_view>

namespace {

// Messages of loading the project end up here instead of in message boxes.
class PrintedMessages final : public dw::IMessageSink {
public:
    void ShowMessage(int, std::string_view text, dw::MessageIcon) override {
        std::fprintf(stderr, "dw_guide_pictures: %.*s\n", static_cast<int>(text.size()), text.data());
    }
};

void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// PNGs without a time or a gamma chunk of the moment, the same bytes every build.
bool Save(const QImage& image, const QString& path) {
    QImageWriter writer(path, "png");
    writer.setQuality(0);  // for PNG: the smallest file
    if (writer.write(image)) return true;
    std::fprintf(stderr, "dw_guide_pictures: cannot write %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
    return false;
}

QImage Grab(QWidget& w) {
    QImage image = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The scale is the PDF's business: the file says nothing of it.
    image.setDevicePixelRatio(1.0);
    image.setDotsPerMeterX(0);
    image.setDotsPerMeterY(0);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: dw_guide_pictures <project.dwv> <source sound file> <out dir>\n");
        return 2;
    }
    const QString projectPath = QString::fromLocal8Bit(argv[1]);
    const QString sourcePath = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const QDir out(QString::fromLocal8Bit(argv[3]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "dw_guide_pictures: cannot make the folder %s\n", argv[3]);
        return 1;
    }

    // A message box would wait for a click nobody gives: print it and fail.
    bool messageShown = false;
    dw::SetMessageBoxHook([&messageShown](const dw::ShownMessage& m) {
        std::fprintf(stderr, "dw_guide_pictures: the program said: %s\n", qPrintable(m.text));
        messageShown = true;
    });
    dw::SetTrimPlayerFactory([](dw::CProperties&) { return std::unique_ptr<dw::IStreamTransport>(); });

    // The project, pointing at the source where it is now, under the name the
    // window's title and the guide use.
    PrintedMessages sink;
    dw::CProject project;
    if (!dw::LoadProject(project, projectPath.toStdString(), sink)) return 1;
    project.properties.sourcePath = sourcePath.toStdString();
    QTemporaryDir dir;
    const QString opened = dir.filePath(QStringLiteral("Evening Tide.dwv"));
    dw::NullProgress quiet;
    if (!dir.isValid() || !dw::StoreProject(project, opened.toStdString(), quiet)) {
        std::fprintf(stderr, "dw_guide_pictures: cannot write a project into a temporary folder\n");
        return 1;
    }

    dw::CDWDlg window(nullptr, dw::AudioChoice::Null);
    window.SetCommandLineFile(opened);
    window.OnInitDialog();
    window.setWindowState(Qt::WindowNoState);
    window.setMinimumSize(0, 0);
    window.resize(1280, 800);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || !window.project().properties.sourceLoaded || messageShown) {
        std::fprintf(stderr, "dw_guide_pictures: the main window did not open the project with its source\n");
        return 1;
    }
    Settle();
    const QImage mainWindow = Grab(window);
    if (!Save(mainWindow, out.filePath(QStringLiteral("main-window.png")))) return 1;

    // The section menu, as a right click on the second section's third row
    // opens it: the menu drawn over the part of the window around it.
    auto* matrix = static_cast<dw::CWndMatrix*>(window.matrixEditorWidget());
    const QPoint click(matrix->width() * 3 / 8, matrix->height() * 5 / 16);
    QImage menuPicture;
    matrix->SetMenuRunner([&](QMenu& menu, const QPoint& globalPos) {
        menu.popup(globalPos);
        Settle();
        const QImage menuImage = Grab(menu);
        // Where a desktop puts it: its corner at the click (the offscreen
        // screen may be too small to hold it there itself).
        const QPoint clickInWindow = matrix->mapTo(&window, click) * 2;
        QImage scene = mainWindow.copy();
        QPainter p(&scene);
        p.drawImage(clickInWindow, menuImage);
        p.end();
        const QRect area(clickInWindow - QPoint(260, 120), QSize(menuImage.width() + 520, menuImage.height() + 240));
        menuPicture = scene.copy(area.intersected(scene.rect()));
        menu.close();
        return 0;
    });
    QMouseEvent move(QEvent::MouseMove, click, matrix->mapToGlobal(click), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(matrix, &move);
    QTest::mousePress(matrix, Qt::RightButton, Qt::NoModifier, click);
    if (menuPicture.isNull()) {
        std::fprintf(stderr, "dw_guide_pictures: the matrix editor opened no section menu\n");
        return 1;
    }
    if (!Save(menuPicture, out.filePath(QStringLiteral("section-menu.png")))) return 1;

    // The trim dialog on the project's source, a range chosen.
    dw::CDlgTrim trim(&window, &window.project().properties, dw::CDlgTrim::kTrimSource, {0.2, 0.55}, {0.05, 0.95});
    trim.show();
    if (!QTest::qWaitForWindowExposed(&trim)) return 1;
    Settle();
    if (!Save(Grab(trim), out.filePath(QStringLiteral("trim-dialog.png")))) return 1;
    trim.close();

    dw::SetMessageBoxHook({});
    return messageShown ? 1 : 0;
}
