// The music creation dialog on the offscreen platform: layout around its
// banner, success, cancel during the work, and a refused creation that waits
// for the user's Cancel.

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <gtest/gtest.h>

#include "gui/engine/CDlgProgressCreateMusic.h"
#include "core/model/Project.h"
#include "core/model/testing/ToneProject.h"

namespace dw {
namespace {

struct Sink final : IMessageSink {
    std::vector<std::string> texts;
    std::function<void()> then;
    void ShowMessage(int, std::string_view text, MessageIcon) override {
        texts.emplace_back(text);
        if (then) then();
    }
};

class CreateDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        CDlgProgress::Hooks() = {};
        CDlgProgress::Hooks().holdRounds = 2;
        options.random = Random(7);
        options.threads = 1;
    }
    void TearDown() override { CDlgProgress::Hooks() = {}; }
    CProject project;
    CMusicEngine engine;
    CreateOptions options;
};

TEST_F(CreateDialogTest, LaysItselfOutAroundTheBannerAndCreatesTheMusic) {
    test::MakeToneProject(project);
    CDlgProgressCreateMusic dlg(nullptr, &engine, &project);
    dlg.SetCreateOptions(options);
    std::vector<int> reports;
    CDlgProgress::Hooks().onReport = [&](CDlgProgress&, int p) { reports.push_back(p); };

    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Processing..."));
    ASSERT_FALSE(dlg.banner().isNull());
    EXPECT_EQ(dlg.banner().size(), QSize(375, 120));
    EXPECT_EQ(dlg.width(), 375);
    EXPECT_EQ(dlg.height(), dlg.cancelButton()->geometry().bottom() + 1 + 25);
    EXPECT_EQ(dlg.progressBar()->x(), 25);
    EXPECT_EQ(dlg.progressBar()->width(), 375 - 51);
    EXPECT_GE(dlg.progressBar()->y(), 120);  // below the banner
    EXPECT_EQ(dlg.cancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dlg.progressBar()->value(), 100);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), 100);
    EXPECT_EQ(project.musicOutdated, 0u);
    EXPECT_EQ(engine.OutputFrameCount(), 10u * 11025u);
}

TEST_F(CreateDialogTest, CancelDuringTheWorkEndsWithCancelAndKeepsThePreviousMusic) {
    test::MakeToneProject(project);
    {
        CDlgProgressCreateMusic first(nullptr, &engine, &project);
        first.SetCreateOptions(options);
        ASSERT_EQ(first.exec(), QDialog::Accepted);
    }
    const std::vector<StereoFrame> before(engine.Output(), engine.Output() + engine.OutputFrameCount());
    project.musicOutdated = 1;
    options.random = Random(8);  // a different creation would change the music

    for (int cancelAt : {0, 3}) {
        SCOPED_TRACE(cancelAt);
        CDlgProgressCreateMusic dlg(nullptr, &engine, &project);
        dlg.SetCreateOptions(options);
        int n = 0;
        CDlgProgress::Hooks().onReport = [&](CDlgProgress& d, int) {
            if (n++ == cancelAt) d.cancelButton()->click();
        };
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
        EXPECT_NE(project.musicOutdated, 0u);
        ASSERT_EQ(engine.OutputFrameCount(), before.size());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), engine.Output(), [](const StereoFrame& a, const StereoFrame& b) {
            return a.left == b.left && a.right == b.right;
        }));
    }
}

TEST_F(CreateDialogTest, CancelBeforeTheWorkStartsRunsNothing) {
    test::MakeToneProject(project);
    CDlgProgressCreateMusic dlg(nullptr, &engine, &project);
    dlg.SetCreateOptions(options);
    CDlgProgress::Hooks().onStart = [](CDlgProgress& d) { d.OnCancel(); };
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(engine.Output(), nullptr);
    EXPECT_EQ(project.musicOutdated, 1u);
}

TEST_F(CreateDialogTest, ARefusedCreationShowsItsMessageAndWaitsForCancel) {
    project.musicOutdated = 1;  // no decoded source: the engine refuses
    Sink sink;
    CDlgProgressCreateMusic dlg(nullptr, &engine, &project, &sink);
    dlg.SetCreateOptions(options);
    bool openAfterWork = false;
    sink.then = [&] {
        QTimer::singleShot(50, &dlg, [&] {
            openAfterWork = dlg.isVisible() && dlg.workDone();
            dlg.cancelButton()->click();
        });
    };
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(sink.texts.size(), 1u);
    EXPECT_TRUE(openAfterWork);
    EXPECT_EQ(project.musicOutdated, 1u);
}

}  // namespace
}  // namespace dw
