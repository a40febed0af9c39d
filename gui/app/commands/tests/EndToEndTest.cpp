// A person's route through the project commands on the real main window, on
// an X server (Xvfb): open a project from the command line, edit it, save it
// with Ctrl+S, choose MP3, write the music with Ctrl+E, and close with
// unsaved work (Cancel keeps the window, No closes it); then type values
// without confirming them, save, write, and undo a matrix drag. The real dialogs are
// answered as they open. With DW_SCREENSHOTS=<folder> it keeps a picture of
// each step.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <functional>

#include "gui/app/CDWDlg.h"
#include "gui/app/CWndToolbar.h"
#include "gui/app/commands/CDlgFormatChooser.h"
#include "gui/app/commands/CommandDialogs.h"
#include "gui/app/commands/WriteMusicFlow.h"
#include "gui/app/panel/CWndInfo.h"
#include "gui/editors/CWndMatrix.h"
#include "core/model/ProjectFile.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/testing/WidgetTestSupport.h"

namespace dw {
namespace {

void Shoot(const char* name) {
    const QByteArray dir = qgetenv("DW_SCREENSHOTS");
    if (dir.isEmpty()) return;
    QApplication::processEvents();
    if (QScreen* s = QGuiApplication::primaryScreen())
        s->grabWindow(0).save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name) + ".png");
}

// A ten-second project at 11025 Hz whose source is a copy of the one-second
// test tone at `source`, stored at `projectPath`.
void StoreToneProject(const QString& source, const QString& projectPath) {
    ASSERT_TRUE(QFile::copy(DW_COMMANDS_TEST_DATA "/tone-440-660-44k1-stereo-1s.mp2", source));
    CProject p;
    p.properties.sourcePath = source.toStdString();
    p.properties.musicLength = 10;
    p.properties.quality = 0;
    p.properties.sampleRate = 11025;
    NullProgress quiet;
    ASSERT_TRUE(StoreProject(p, projectPath.toStdString(), quiet));
}

// Answers the next modal dialog of type T once it is on screen.
template <class T>
void WhenOpen(std::function<void(T*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        answer(d);
    });
    timer->start();
}

// Each test opens the real main window on a tone project of its own, with
// every message box caught: none may be shown.
class CommandsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxHook([this](const ShownMessage& m) { shown.push_back(m.text); });
        source = dir.filePath("tone.mp2");
    }
    void TearDown() override { SetMessageBoxHook({}); }

    // Stores the tone project as NAME.dwv and opens `w` on it.
    void Open(CDWDlg& w, const QString& name) {
        projectPath = dir.filePath(name + QStringLiteral(".dwv"));
        ASSERT_NO_FATAL_FAILURE(StoreToneProject(source, projectPath));
        w.SetCommandLineFile(projectPath);
        w.OnInitDialog();
        ASSERT_TRUE(test::ShowActiveAndWait(w));
        QTRY_COMPARE(w.windowTitle(), name + QStringLiteral(" - Driftwell"));
    }
    void ExpectNoMessageShown() {
        for (const QString& m : shown) ADD_FAILURE() << m.toStdString();
    }

    std::vector<QString> shown;
    QTemporaryDir dir;
    QString source;
    QString projectPath;
};

TEST_F(CommandsEndToEnd, EditSaveExportAndClose) {
    CDWDlg w(nullptr, AudioChoice::Null);
    ASSERT_NO_FATAL_FAILURE(Open(w, QStringLiteral("Evening")));
    Shoot("1-opened");

    // An edit shows in the title; Ctrl+S saves to the project's own file.
    w.project().matrix.SetCell(kTexture, 1, 0.2f);
    QTRY_COMPARE(w.windowTitle(), QStringLiteral("*Evening - Driftwell"));
    Shoot("2-edited");
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE(w.windowTitle(), QStringLiteral("Evening - Driftwell"));
    {
        CProject reread;
        NullProgress quiet;
        ASSERT_TRUE(LoadProject(reread, projectPath.toStdString(), quiet));
        EXPECT_FLOAT_EQ(reread.matrix.Cell(kTexture, 1), 0.2f);
    }

    // MP3 through the chooser, then Ctrl+E: the music is created first and
    // written where the save dialog says.
    WhenOpen<CDlgFormatChooser>([](CDlgFormatChooser* d) {
        Shoot("3-format-chooser");
        d->selectIndex(0);
        d->accept();
    });
    auto* combo = static_cast<CWndInfo*>(w.controlPanelWidget())->ControlAs<QComboBox>(CWndInfo::IDC_ENCODER);
    combo->setCurrentIndex(kEncoderMp3);
    ASSERT_EQ(w.toolbar()->encoderIndex(), kEncoderMp3);
    const QString music = dir.filePath("Evening.mp3");
    WhenOpen<QFileDialog>([music](QFileDialog* d) {
        Shoot("4-music-file-dialog");
        EXPECT_EQ(d->objectName(), QLatin1String(kMusicFileDialogName));
        d->selectFile(music);
        static_cast<QDialog*>(d)->accept();
    });
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(w.project().musicOutdated, 0u);
    SF_INFO info{};
    SNDFILE* f = sf_open(music.toLocal8Bit().constData(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << "no music file";
    sf_close(f);
    EXPECT_EQ(info.samplerate, 11025);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(static_cast<double>(info.frames), 110250.0, 2304.0);

    // Closing with unsaved work: Cancel keeps the window, No closes it.
    w.project().properties.fadeIn = 4;
    QTRY_COMPARE(w.windowTitle(), QStringLiteral("*Evening - Driftwell"));
    WhenOpen<QMessageBox>([](QMessageBox* box) {
        Shoot("5-save-question");
        EXPECT_EQ(box->text(), QStringLiteral("Save project?"));
        box->button(QMessageBox::Cancel)->click();
    });
    w.close();
    EXPECT_TRUE(w.isVisible());
    WhenOpen<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    w.close();
    EXPECT_FALSE(w.isVisible());
    ExpectNoMessageShown();
}

// Typed values and undo, with the real keyboard and mouse: type a base motif
// length without Enter and save with Ctrl+S; type another and write the music
// with Ctrl+E while the field has the focus; drag a matrix value and save;
// undo the drag with Ctrl+Z and save again.
TEST_F(CommandsEndToEnd, TypedValuesAreSavedAndAMatrixDragIsUndone) {
    CDWDlg w(nullptr, AudioChoice::Null);
    ASSERT_NO_FATAL_FAILURE(Open(w, QStringLiteral("Night")));
    auto stored = [&] {
        auto p = std::make_unique<CProject>();
        NullProgress quiet;
        EXPECT_TRUE(LoadProject(*p, projectPath.toStdString(), quiet));
        return p;
    };
    std::vector<QString> titles;
    QObject::connect(&w, &QWidget::windowTitleChanged, &w, [&](const QString& t) { titles.push_back(t); });

    // Type 9 into the base motif length (select, type, no Enter), Ctrl+S.
    auto* panel = static_cast<CWndInfo*>(w.controlPanelWidget());
    auto* motif = panel->ControlAs<QLineEdit>(CWndInfo::IDC_BASE_MOTIF);
    QTest::mouseDClick(motif, Qt::LeftButton, Qt::NoModifier, motif->rect().center());
    motif->selectAll();
    QTest::keyClicks(motif, QStringLiteral("9"));
    ASSERT_TRUE(motif->hasFocus());
    Shoot("6-typed");
    QTest::keyClick(motif, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(stored()->properties.baseMotifLength, 9.0);
    EXPECT_NE(std::find(titles.begin(), titles.end(), QStringLiteral("*Night - Driftwell")), titles.end());
    QTRY_COMPARE(w.windowTitle(), QStringLiteral("Night - Driftwell"));

    // Type 8 and press Ctrl+E in the field: the music is written with it.
    const QString music = dir.filePath("Night.wav");
    WhenOpen<QFileDialog>([music](QFileDialog* d) {
        d->selectFile(music);
        static_cast<QDialog*>(d)->accept();
    });
    motif->setFocus();
    motif->selectAll();
    QTest::keyClicks(motif, QStringLiteral("8"));
    QTest::keyClick(motif, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(w.project().properties.baseMotifLength, 8.0);
    EXPECT_TRUE(QFileInfo::exists(music)) << "Ctrl+E reached Write Music to File from the field";
    EXPECT_EQ(w.project().musicOutdated, 0u);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    // Drag a value of the matrix and save.
    w.setFocus();
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    const auto beforeDrag = stored();
    QWidget* matrix = w.matrixEditorWidget();
    const QPoint from(matrix->width() * 6 / 10, matrix->height() * 55 / 100);
    const QPoint to(from.x(), matrix->height() * 40 / 100);
    QTest::mouseMove(matrix, from);
    QTest::mousePress(matrix, Qt::LeftButton, Qt::NoModifier, from);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(matrix, from + (to - from) * step / 4);
    QTest::mouseRelease(matrix, Qt::LeftButton, Qt::NoModifier, to);
    QTRY_COMPARE(w.windowTitle(), QStringLiteral("*Night - Driftwell"));
    Shoot("7-dragged");
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    const auto dragged = stored();
    EXPECT_NE(dragged->matrix.rows, beforeDrag->matrix.rows);

    // Ctrl+Z takes the whole drag back; saved, the file is as before it.
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.project().matrix.rows, beforeDrag->matrix.rows);
    EXPECT_EQ(w.project().musicOutdated, 1u);
    QTRY_COMPARE(w.windowTitle(), QStringLiteral("*Night - Driftwell"));
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(stored()->matrix.rows, beforeDrag->matrix.rows);
    EXPECT_EQ(stored()->properties.baseMotifLength, 8.0) << "the typed value is no part of the drag";
    // And Ctrl+Y brings the drag back.
    QTest::keyClick(&w, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(w.project().matrix.rows, dragged->matrix.rows);

    ExpectNoMessageShown();
    SetMessageBoxHook({});
    CProjectCommandsUi::SetSaveQuestionHook([] { return SaveAnswer::No; });
    w.close();
    CProjectCommandsUi::SetSaveQuestionHook({});
}

}  // namespace
}  // namespace dw
