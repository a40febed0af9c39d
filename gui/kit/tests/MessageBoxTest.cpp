// The one message-box path of the windows and the progress window of long
// work, under the offscreen platform.
#include "gui/kit/ArtResources.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/ProgressBox.h"
#include "gui/kit/testing/WidgetTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dw {
namespace {

// Every sink of the windows ends in the same hook, with the text as UTF-8 and
// the icon kept.
struct SinkCase {
    const char* name;
    bool ownerWindow;  // a sink of its owner window, or the active window's
};
void PrintTo(const SinkCase& c, std::ostream* os) { *os << c.name; }

class EverySink : public ::testing::TestWithParam<SinkCase> {
protected:
    void SetUp() override {
        SetMessageBoxHook([this](const ShownMessage& m) { shown.push_back(m); });
    }
    void TearDown() override { SetMessageBoxHook({}); }
    std::vector<ShownMessage> shown;
};

TEST_P(EverySink, GoesThroughTheHook) {
    QWidget owner;
    MessageBoxSink ownerSink(&owner);
    IMessageSink& sink = GetParam().ownerWindow ? static_cast<IMessageSink&>(ownerSink) : ActiveWindowMessageSink();
    sink.ShowMessage(7, "Caf\xC3\xA9 \xE2\x80\x93 not found", MessageIcon::Exclamation);
    sink.ShowMessage(0, "", MessageIcon::Information);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Caf\u00E9 \u2013 not found"));
    EXPECT_EQ(shown[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(shown[1].text.isEmpty());
    EXPECT_EQ(shown[1].icon, MessageIcon::Information);
}

INSTANTIATE_TEST_SUITE_P(Sinks, EverySink,
                         ::testing::Values(SinkCase{"OwnerWindow", true}, SinkCase{"ActiveWindow", false}),
                         [](const ::testing::TestParamInfo<SinkCase>& param) { return std::string(param.param.name); });

// Without the hook the box is a real modal message box: the program's name as
// its title, the text, the icon for the kind of message and one OK button.
struct IconCase {
    const char* name;
    MessageIcon icon;
    QMessageBox::Icon shown;
};
void PrintTo(const IconCase& c, std::ostream* os) { *os << c.name; }

class RealBox : public ::testing::TestWithParam<IconCase> {};

TEST_P(RealBox, ShowsTitleTextIconAndOk) {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    test::WhenDialogOpens([&](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    QWidget owner;
    MessageBoxSink(&owner).ShowMessage(0, "The file is damaged.", GetParam().icon);
    EXPECT_EQ(title, QStringLiteral("Driftwell"));
    EXPECT_EQ(text, QStringLiteral("The file is damaged."));
    EXPECT_EQ(icon, GetParam().shown);
    EXPECT_EQ(buttons, 1);
}

INSTANTIATE_TEST_SUITE_P(Icons, RealBox,
                         ::testing::Values(IconCase{"None", MessageIcon::None, QMessageBox::NoIcon},
                                           IconCase{"Information", MessageIcon::Information, QMessageBox::Information},
                                           IconCase{"Exclamation", MessageIcon::Exclamation, QMessageBox::Warning},
                                           IconCase{"Stop", MessageIcon::Stop, QMessageBox::Critical},
                                           IconCase{"Error", MessageIcon::Error, QMessageBox::Critical}),
                         [](const ::testing::TestParamInfo<IconCase>& param) { return std::string(param.param.name); });

TEST(ProgressBox, FollowsTheWorkAndAnswersCancel) {
    QWidget owner;
    RecordingProgress messages;
    ProgressBox box(&owner, QStringLiteral("Writing Music"), &messages, QStringLiteral("write-progress"));
    EXPECT_EQ(box.window().objectName(), QStringLiteral("write-progress"));
    EXPECT_EQ(box.window().labelText(), QStringLiteral("Writing Music"));
    EXPECT_EQ(box.window().windowTitle(), QStringLiteral("Processing..."));
    EXPECT_TRUE(box.IsRunning());
    box.SetProgress(40);
    EXPECT_EQ(box.window().value(), 40);
    EXPECT_TRUE(box.window().isVisible()) << "shown from the first report on";
    box.SetProgress(100);
    EXPECT_TRUE(box.window().isVisible()) << "stays up at 100 % until the work ends";

    box.window().cancel();
    EXPECT_FALSE(box.IsRunning());
}

// With the writing banner the window looks like the loading and creating
// windows: the picture above the bar, as wide as the window's content.
TEST(ProgressBox, ShowsItsBannerAboveTheBar) {
    QWidget owner;
    ProgressBox box(&owner, QStringLiteral("Writing Music"), nullptr);
    const QPixmap banner = LoadBitmapResource(IDB_PROGRESS_WRITE);
    ASSERT_FALSE(banner.isNull());
    box.SetBanner(banner);
    box.SetProgress(10);
    EXPECT_EQ(box.window().labelText(), QStringLiteral("Writing Music"));
    QLabel* label = nullptr;
    for (QLabel* l : box.window().findChildren<QLabel*>())
        if (l->text() == QStringLiteral("Writing Music")) label = l;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->size(), QSize(375, 120));
    EXPECT_GE(box.window().width(), 375);
    auto* bar = box.window().findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_GE(bar->y(), label->geometry().bottom());
}

TEST(ProgressBox, StepsAsideForTheWorksMessages) {
    QWidget owner;
    RecordingProgress messages;
    ProgressBox box(&owner, QStringLiteral("Writing Music"), &messages);
    box.SetProgress(10);
    ASSERT_TRUE(box.window().isVisible());
    box.ShowMessage(5, "Disk full", MessageIcon::Stop);
    EXPECT_FALSE(box.window().isVisible());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, 5);
    EXPECT_EQ(messages.messages[0].text, "Disk full");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::Stop);

    // Without a sink the message is dropped, not shown in a box of its own.
    SetMessageBoxHook([](const ShownMessage&) { ADD_FAILURE() << "no message box expected"; });
    ProgressBox silent(&owner, QStringLiteral("Writing Music"), nullptr);
    silent.ShowMessage(5, "Disk full", MessageIcon::Stop);
    SetMessageBoxHook({});
}

}  // namespace
}  // namespace dw
