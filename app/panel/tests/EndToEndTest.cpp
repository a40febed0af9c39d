// The whole road from a source file to sound in the real main window on a
// real X server (run under Xvfb): a source is named, the Play button is
// clicked, the source is decoded, the music created and played on the silent
// output device, and the transport bar sees the stream reach its end.

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/CDWDlg.h"
#include "audio/Playback.h"
#include "audio/windows/CWndControlbar.h"
#include "audio/windows/tests/TestSource.h"
#include "engine/windows/CDlgProgress.h"
#include "ui/CHoverButton.h"
#include "ui/MessageBox.h"

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

}  // namespace
}  // namespace dw
