// The main window's start-up with the real panels, offscreen: a close that
// arrives while the command line's source is being decoded (the progress
// dialog dispatches events, so the close box or SIGTERM are handled there)
// ends the run instead of being lost before the event loop starts.

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "gui/app/CDWDlg.h"
#include "gui/audio/CDlgProgressLoadMusic.h"
#include "gui/audio/tests/TestSource.h"
#include "core/model/ProjectFile.h"
#include "gui/kit/MessageBox.h"

namespace dw {
namespace {

TEST(MainWindowStart, CloseDuringTheStartUpDecodeEndsTheRun) {
    SetMessageBoxHook([](const ShownMessage&) {});
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CProject saved;
    saved.properties.sourcePath = test::WriteToneWav(dir, "tone.wav", 0.5).toStdString();
    const QString projectPath = dir.filePath("Evening.dwv");
    RecordingProgress sink;
    ASSERT_TRUE(StoreProject(saved, projectPath.toStdString(), sink));

    CDWDlg w(nullptr, AudioChoice::Null);
    w.SetCommandLineFile(projectPath);
    bool closedDuringDecode = false;
    CDlgProgress::Hooks() = {};
    CDlgProgress::Hooks().onStart = [&](CDlgProgress& d) {
        if (dynamic_cast<CDlgProgressLoadMusic*>(&d) == nullptr || closedDuringDecode) return;
        closedDuringDecode = true;
        w.close();
    };
    // Without the fix the loop would run on: end it with another code.
    QTimer::singleShot(5000, &w, [&] { w.done(2); });
    EXPECT_EQ(w.exec(), 1);
    EXPECT_TRUE(closedDuringDecode);
    EXPECT_FALSE(w.playbackStreamCreated());
    CDlgProgress::Hooks() = {};
    SetMessageBoxHook({});
}

}  // namespace
}  // namespace dw
