// The source loading dialog: a decode that fills the SourceBuffer, a file that
// cannot be decoded, and Cancel, each with what it leaves in the properties.

#include <QProgressBar>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "gui/audio/CDlgProgressLoadMusic.h"
#include "gui/audio/tests/TestSource.h"
#include "core/model/Properties.h"
#include "core/resources/StringTable.h"

namespace dw {
namespace {

struct Sink final : IMessageSink {
    std::vector<int> ids;
    void ShowMessage(int id, std::string_view, MessageIcon) override { ids.push_back(id); }
};

class LoadMusicDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        CDlgProgress::Hooks() = {};
        CDlgProgress::Hooks().holdRounds = 1;
        props.sampleRate = 11025;
        props.quality = 0;
    }
    void TearDown() override { CDlgProgress::Hooks() = {}; }
    QTemporaryDir dir;
    CProperties props;
    Sink sink;
};

TEST_F(LoadMusicDialogTest, DecodesTheSourceAtTheProjectRate) {
    props.sourcePath = test::WriteToneWav(dir, "tone.wav", 0.5, 22050).toStdString();
    CDlgProgressLoadMusic dlg(nullptr, &props, &sink);
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_TRUE(props.sourceLoaded);
    EXPECT_EQ(props.sourceFrameCount, 11025u / 2u);
    EXPECT_EQ(dlg.progressBar()->value(), 100);
    EXPECT_EQ(dlg.banner().size(), QSize(375, 120));
    EXPECT_TRUE(sink.ids.empty());
}

// The project keeps naming its source either way, so that a save keeps it;
// only a failure marks it missing.
TEST_F(LoadMusicDialogTest, FailureAndCancelKeepTheSourceFile) {
    struct Case {
        const char* name;
        bool decodable;
        bool cancel;
        std::vector<int> messages;
        bool missing;
    };
    const Case cases[] = {
        {"not a sound file", false, false, {61001}, true},
        {"cancelled", true, true, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.ids.clear();
        QString path = test::WriteToneWav(dir, "good.wav", 0.5);
        if (!c.decodable) {
            path = dir.filePath("bad.wav");
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("this is not a sound file at all");
        }
        props.sourcePath = path.toStdString();
        props.sourceLoaded = true;
        CDlgProgress::Hooks().onStart = [&](CDlgProgress& d) {
            if (c.cancel) d.cancelButton()->click();  // decoding running: stops, dialog ends itself
        };
        CDlgProgressLoadMusic dlg(nullptr, &props, &sink);
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
        EXPECT_FALSE(props.sourceLoaded);
        EXPECT_EQ(props.sourcePath, path.toStdString());
        EXPECT_EQ(props.sourceMissing, c.missing);
        EXPECT_EQ(sink.ids, c.messages);
    }
}

TEST_F(LoadMusicDialogTest, WarningComesOnceTheDialogHasEnded) {
    // A source of nothing but silence loads, and is told after the dialog.
    props.sourcePath = test::WriteToneWav(dir, "silence.wav", 0.5, 11025, 0.0).toStdString();
    struct AfterSink final : IMessageSink {
        const QDialog* dialog = nullptr;
        std::vector<int> ids;
        std::vector<bool> dialogVisible;
        void ShowMessage(int id, std::string_view, MessageIcon) override {
            ids.push_back(id);
            dialogVisible.push_back(dialog->isVisible());
        }
    } after;
    CDlgProgressLoadMusic dlg(nullptr, &props, &after);
    after.dialog = &dlg;
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_TRUE(props.sourceLoaded);
    EXPECT_EQ(after.ids, std::vector<int>{IDS_SOURCE_SILENT});
    EXPECT_EQ(after.dialogVisible, std::vector<bool>{false});
}

}  // namespace
}  // namespace dw
