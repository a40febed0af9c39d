// The whole road from a source file to sound in the real main window on a
// real X server (run under Xvfb): a source is named, the Play button is
// clicked, the source is decoded, the music created and played on the silent
// output device, and the transport bar sees the stream reach its end. And a
// seed kept in the window gives the command line's music.

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "gui/app/CDWDlg.h"
#include "gui/app/panel/CWndInfo.h"
#include "core/model/ProjectFile.h"
#include "core/audio/Playback.h"
#include "gui/audio/CWndControlbar.h"
#include "gui/audio/tests/TestSource.h"
#include "gui/engine/CDlgProgress.h"
#include "gui/kit/CHoverButton.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/testing/WidgetTestSupport.h"

namespace dw {
namespace {

TEST(EndToEnd, PlayButtonDecodesCreatesAndPlaysToTheEnd) {
    std::vector<ShownMessage> messages;
    SetMessageBoxHook([&](const ShownMessage& m) { messages.push_back(m); });
    CDlgProgress::Hooks() = {};
    // DW_SCREENSHOT=<prefix> keeps pictures of the creation dialog and of the
    // window while it plays, for looking at them.
    const QString shots = qEnvironmentVariable("DW_SCREENSHOT");
    if (!shots.isEmpty()) {
        CDlgProgress::Hooks().onReport = [&](CDlgProgress& d, int percent) {
            if (percent >= 50 && d.objectName() == QStringLiteral("CDlgProgressCreateMusic"))
                d.grab().save(shots + QStringLiteral("-create.png"));
        };
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = test::WriteToneWav(dir, "Evening tone.wav", 1.0);

    CDWDlg w(nullptr, AudioChoice::Null);
    w.OnInitDialog();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    CProject& project = w.project();
    project.properties.sourcePath = source.toStdString();
    project.properties.musicLength = 10;
    w.controlPanel()->UpdateControls();

    auto* bar = qobject_cast<CWndControlbar*>(w.transportBarWidget());
    ASSERT_NE(bar, nullptr);
    CHoverButton* play = bar->button(CWndControlbar::ID_PLAY);
    ASSERT_NE(play, nullptr);
    QTest::mouseClick(play, Qt::LeftButton);  // runs both progress dialogs, then plays

    EXPECT_TRUE(project.properties.sourceLoaded);
    EXPECT_EQ(project.musicOutdated, 0u);
    ASSERT_TRUE(bar->started());
    PlaybackStream& stream = w.playbackStream();
    EXPECT_TRUE(stream.active);
    EXPECT_EQ(stream.total.load(), 10u * project.properties.sampleRate * 8u);

    QTest::qWait(300);
    EXPECT_GT(stream.position.load(), 0u);  // the device pulls the music
    if (!shots.isEmpty()) w.grab().save(shots + QStringLiteral("-playing.png"));
    w.timeline()->SetPlayCursor(0.95);       // half a second before the end
    QTRY_VERIFY_WITH_TIMEOUT(!bar->started(), 5000);
    EXPECT_EQ(stream.position.load(), stream.total.load());
    EXPECT_FALSE(stream.active);
    EXPECT_TRUE(messages.empty());
    w.reject();
    SetMessageBoxHook({});
}

// The seed typed into the window and kept makes the music the command line
// makes with that seed: the program's float WAV and the command line's are the
// same bytes. The project keeps the default trim range, which the window puts
// back after decoding a loaded project's source, has no effects, and settings
// of its own where both roads read them from the file.
TEST(EndToEnd, KeptSeedWritesWhatTheCommandLineWrites) {
    std::vector<ShownMessage> messages;
    SetMessageBoxHook([&](const ShownMessage& m) { messages.push_back(m); });
    CDlgProgress::Hooks() = {};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = test::WriteToneWav(dir, "Evening tone.wav", 1.0);
    const QString projectPath = dir.filePath("Evening.dwv");
    {
        CProject p;
        p.properties.sourcePath = source.toStdString();
        p.properties.musicLength = 10;
        p.properties.quality = 0;
        p.properties.sampleRate = 11025;
        p.properties.baseMotifLength = 3.0;
        p.properties.fractalScanner = true;
        NullProgress quiet;
        ASSERT_TRUE(StoreProject(p, projectPath.toStdString(), quiet));
    }

    CDWDlg w(nullptr, AudioChoice::Null);
    w.SetCommandLineFile(projectPath);
    w.OnInitDialog();
    ASSERT_TRUE(test::ShowActiveAndWait(w));
    ASSERT_TRUE(w.project().properties.sourceLoaded);

    // Typed and left with Tab, as a person does: the seed is kept.
    auto* panel = static_cast<CWndInfo*>(w.controlPanelWidget());
    auto* seed = panel->ControlAs<QLineEdit>(CWndInfo::IDC_SEED);
    QTest::mouseClick(seed, Qt::LeftButton);
    seed->selectAll();
    QTest::keyClicks(seed, QStringLiteral("3735928559"));
    QTest::keyClick(seed, Qt::Key_Tab);
    EXPECT_TRUE(panel->ControlAs<QCheckBox>(CWndInfo::IDC_KEEP_SEED)->isChecked());

    // Ctrl+E creates the music and writes it as float WAV, the first encoder.
    const QString fromWindow = dir.filePath("window.wav");
    auto* timer = new QTimer(&w);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, fromWindow] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        timer->stop();
        d->selectFile(fromWindow);
        static_cast<QDialog*>(d)->accept();
    });
    timer->start();
    w.activateWindow();
    QTest::keyClick(&w, Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(QFile::exists(fromWindow));
    EXPECT_EQ(w.engine().Seed(), 3735928559u);
    EXPECT_EQ(seed->text(), QStringLiteral("3735928559"));

    const QString fromCli = dir.filePath("cli.wav");
    QProcess cli;
    cli.start(QStringLiteral(DW_CLI_PATH),
              {QStringLiteral("render"), QStringLiteral("-p"), projectPath, QStringLiteral("--seed"),
               QStringLiteral("3735928559"), QStringLiteral("--format"), QStringLiteral("wav-float"),
               QStringLiteral("-o"), fromCli, QStringLiteral("-q")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();

    QFile a(fromWindow), b(fromCli);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    const QByteArray windowBytes = a.readAll(), cliBytes = b.readAll();
    EXPECT_GT(windowBytes.size(), 10 * 11025 * 8);
    EXPECT_TRUE(windowBytes == cliBytes) << "the window wrote " << windowBytes.size() << " bytes, the command line "
                                         << cliBytes.size();
    for (const ShownMessage& m : messages) ADD_FAILURE() << m.text.toStdString();
    w.reject();
    SetMessageBoxHook({});
}

}  // namespace
}  // namespace dw
