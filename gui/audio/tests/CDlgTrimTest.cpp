#include "gui/audio/CDlgTrim.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

#include "gui/audio/CDlgTrimPlayer.h"
#include "gui/audio/tests/FakeTransport.h"
#include "core/model/Project.h"
#include "gui/kit/testing/WidgetTestSupport.h"

namespace dw {
namespace {

using test::Move;
using test::Press;
using test::Release;

// Ten seconds of a decoded source at 11025 Hz, and a dialog on it whose
// player is a stand-in that the test moves by hand.
class TrimDialog : public ::testing::Test {
protected:
    static constexpr std::uint32_t kFrames = 110250;

    TrimDialog() {
        project.properties.sourceFrames = MakeSilentFrames(kFrames);
        project.properties.sourceFrameCount = kFrames;
        project.properties.sourceLoaded = true;
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            project.properties.sourceFrames[i].left = static_cast<float>(0.8 * std::sin(i * 0.01));
            project.properties.sourceFrames[i].right = static_cast<float>(0.4 * std::sin(i * 0.013));
        }
        SetTrimPlayerFactory([this](CProperties&) {
            auto made = std::make_unique<test::FakeTransport>();
            made->destroyed = &playerFreed;
            player = made.get();
            return made;
        });
    }
    ~TrimDialog() override { SetTrimPlayerFactory({}); }

    std::unique_ptr<CDlgTrim> Open(FractionRange range, CDlgTrim::Mode mode = CDlgTrim::kSectionSource) {
        auto dialog = std::make_unique<CDlgTrim>(nullptr, &project.properties, mode, range, FractionRange{0.3, 0.6});
        EXPECT_TRUE(test::ShowAndWait(*dialog));
        layout = dialog->Layout();
        return dialog;
    }

    // Canvas position of wave-area x (and y in the wave area's middle, or
    // inside the position bar).
    QPoint Wave(int x) const { return {x + 2, layout.waveHeight / 2 + 2}; }
    QPoint Bar(int x) const { return {x + 2, layout.waveHeight + 15 + 2}; }
    double Fraction(int x) const { return static_cast<double>(x) / (layout.width - 1); }

    CProject project;
    test::FakeTransport* player = nullptr;
    bool playerFreed = false;
    TrimLayout layout;
};

TEST_F(TrimDialog, CaptionNamesTheMode) {
    EXPECT_EQ(Open({0.1, 0.2}, CDlgTrim::kTrimSource)->windowTitle(), QStringLiteral("Trim the music source"));
    EXPECT_EQ(Open({0.1, 0.2}, CDlgTrim::kSectionSource)->windowTitle(),
              QStringLiteral("Define a section source range"));
}

TEST_F(TrimDialog, ClickAwayFromTheEdgesStartsASelectionOfAtLeastFivePixels) {
    auto dialog = Open({0.1, 0.2});
    QWidget& canvas = *dialog->Canvas();
    ASSERT_GT(layout.width, 400);
    Move(canvas, Wave(300));
    Press(canvas, Wave(300));
    Release(canvas, Wave(300));
    EXPECT_DOUBLE_EQ(dialog->Range().start, Fraction(300));
    EXPECT_DOUBLE_EQ(dialog->Range().end, Fraction(305));
    Press(canvas, Wave(350));
    Move(canvas, Wave(250), Qt::LeftButton);
    Release(canvas, Wave(250));
    EXPECT_DOUBLE_EQ(dialog->Range().start, Fraction(250));
    EXPECT_DOUBLE_EQ(dialog->Range().end, Fraction(350));
}

TEST_F(TrimDialog, DraggingTheStartEdgePastTheEndSwapsThemAndTheCursor) {
    auto dialog = Open({0.25, 0.5});
    QWidget& canvas = *dialog->Canvas();
    const int s = static_cast<int>(layout.width * 0.25);
    const int e = static_cast<int>(layout.width * 0.5);
    Move(canvas, Wave(s + 3));
    EXPECT_EQ(dialog->CursorShape(), TrimCursor::StartEdge);
    Press(canvas, Wave(s + 3));
    EXPECT_EQ(dialog->GrabbedEdge(), TrimEdge::Start);
    Move(canvas, Wave(e + 40), Qt::LeftButton);
    EXPECT_EQ(dialog->GrabbedEdge(), TrimEdge::End);
    EXPECT_EQ(dialog->CursorShape(), TrimCursor::EndEdge);
    EXPECT_DOUBLE_EQ(dialog->Range().start, 0.5);
    EXPECT_DOUBLE_EQ(dialog->Range().end, Fraction(e + 40));
    Release(canvas, Wave(e + 40));
    Move(canvas, Bar(10));
    EXPECT_EQ(dialog->CursorShape(), TrimCursor::Position);
}

TEST_F(TrimDialog, PositionBarMovesTheMarkerAndPlaysFromItOnlyWhilePlaying) {
    auto dialog = Open({0.25, 0.5});
    QWidget& canvas = *dialog->Canvas();
    ASSERT_NE(player, nullptr);
    Press(canvas, Bar(100));
    Move(canvas, Bar(-50), Qt::LeftButton);
    EXPECT_EQ(dialog->Marker(), 0);
    Move(canvas, Bar(120), Qt::LeftButton);
    Release(canvas, Bar(120));
    EXPECT_EQ(dialog->Marker(), 120);
    EXPECT_TRUE(player->seeks.empty());

    dialog->OnPlay();
    EXPECT_TRUE(dialog->Playing());
    const std::uint32_t frame = static_cast<std::uint32_t>(Fraction(120) * kFrames);
    EXPECT_EQ(player->seeks, std::vector<std::uint32_t>{frame});
    EXPECT_TRUE(player->active);
    Press(canvas, Bar(layout.width + 300));  // outside the bar: ignored
    EXPECT_EQ(dialog->Marker(), 120);
    Press(canvas, Bar(200));
    Move(canvas, Bar(layout.width + 300), Qt::LeftButton);  // clamped to the last column: the end of the source
    Release(canvas, Bar(layout.width + 300));
    EXPECT_EQ(dialog->Marker(), layout.width - 1);
    EXPECT_EQ(player->seeks.back(), kFrames);
}

TEST_F(TrimDialog, PlayRangeRepeatsTheRangeAndStopKeepsTheMarker) {
    auto dialog = Open({0.25, 0.5});
    dialog->OnPlayRange();
    const int start = static_cast<int>(layout.width * 0.25);
    EXPECT_EQ(dialog->Marker(), start);
    EXPECT_TRUE(dialog->PlayingRange());
    const std::uint32_t startFrame = static_cast<std::uint32_t>(Fraction(start) * kFrames);
    EXPECT_EQ(player->seeks, std::vector<std::uint32_t>{startFrame});

    player->frame = kFrames * 4 / 10;  // inside the range: the marker follows
    dialog->OnTimerTick();
    EXPECT_EQ(dialog->Marker(), static_cast<int>(0.4 * layout.width));
    player->frame = kFrames * 51 / 100;  // past the end: back to the start
    dialog->OnTimerTick();
    EXPECT_EQ(dialog->Marker(), start);
    EXPECT_EQ(player->seeks.back(), startFrame);

    player->frame = kFrames * 3 / 10;
    dialog->OnTimerTick();
    dialog->OnStop();
    EXPECT_FALSE(dialog->Playing());
    EXPECT_FALSE(player->active);
    EXPECT_EQ(dialog->Marker(), static_cast<int>(0.3 * layout.width));
}

TEST_F(TrimDialog, EndOfTheSourceReturnsTheMarkerToTheStart) {
    auto dialog = Open({0.25, 0.5});
    dialog->OnPlay();
    player->frame = kFrames;
    player->active = false;  // played to its end
    dialog->OnTimerTick();
    EXPECT_EQ(dialog->Marker(), 0);
    EXPECT_FALSE(dialog->Playing());
}

TEST_F(TrimDialog, DefaultRestoresAndClosingFreesThePlayer) {
    auto dialog = Open({0.1, 0.2});
    dialog->OnDefault();
    EXPECT_EQ(dialog->Range(), (FractionRange{0.3, 0.6}));
    dialog->OnPlay();
    dialog->reject();
    EXPECT_TRUE(playerFreed);
    EXPECT_EQ(dialog->PlayerFrame(), 0u);
}

TEST_F(TrimDialog, TrimButtonStoresTheRangeOnOkOnly) {
    project.properties.trimStart = 0.2;
    project.properties.trimEnd = 0.4;
    project.musicOutdated = 0;
    const auto answer = [](bool ok) {
        test::WhenDialogOpens([ok](QDialog* dialog) {
            static_cast<CDlgTrim*>(dialog)->OnDefault();
            ok ? dialog->accept() : dialog->reject();
        });
    };
    answer(false);
    EXPECT_FALSE(CDlgTrim::RunTrimSource(nullptr, project));
    EXPECT_EQ(project.properties.trimStart, 0.2);
    EXPECT_EQ(project.musicOutdated, 0u);
    answer(true);
    EXPECT_TRUE(CDlgTrim::RunTrimSource(nullptr, project));
    EXPECT_EQ(project.properties.trimStart, 0.05);
    EXPECT_EQ(project.properties.trimEnd, 0.95);
    EXPECT_EQ(project.musicOutdated, 1u);
}

TEST_F(TrimDialog, PaintsTheSourceWithoutASourceToo) {
    project.properties.ReleaseSource();
    auto dialog = Open({0.1, 0.2});
    QImage image(layout.width, layout.Height(), QImage::Format_RGB32);
    QPainter p(&image);
    dialog->RenderWave(p, layout);
    EXPECT_EQ(QColor(image.pixel(layout.width / 2, 5)), QColor(39, 54, 61));
    dialog->OnPlay();  // nothing to play: no crash, nothing sought past the end
    EXPECT_EQ(player->seeks, std::vector<std::uint32_t>{0});
}

}  // namespace
}  // namespace dw
