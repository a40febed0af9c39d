#include "gui/editors/CWndTimeline.h"

#include <QImage>

#include <gtest/gtest.h>

#include "gui/audio/tests/FakeTransport.h"
#include "core/model/Project.h"
#include "gui/kit/testing/WidgetTestSupport.h"

namespace dw {
namespace {

using test::Leave;
using test::Move;
using test::Press;
using test::Release;

// An 800-pixel timeline on the default project: 64 s at 11025 Hz, 705600 frames.
class Timeline : public ::testing::Test {
protected:
    Timeline() : timeline(nullptr, &project, &stream) {
        timeline.resize(800, CWndTimeline::kHeight);
        EXPECT_TRUE(test::ShowAndWait(timeline));
    }

    CProject project;
    test::FakeTransport stream;
    CWndTimeline timeline;
};

TEST_F(Timeline, DraggingSetsTheCursorExactlyAtAndBeyondTheEdges) {
    struct Case {
        const char* name;
        int x;
        double cursor;
    };
    const Case cases[] = {
        {"press at the left edge", 0, 0.0}, {"a quarter", 200, 0.25}, {"last column", 799, 799.0 / 800},
        {"beyond the right edge", 1200, 1.0}, {"beyond the left edge", -40, 0.0},
    };
    Press(timeline, {0, 15});
    EXPECT_TRUE(timeline.Dragging());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Move(timeline, {c.x, 15}, Qt::LeftButton);
        EXPECT_EQ(timeline.PlayCursor(), c.cursor);
    }
    Release(timeline, {-40, 15});
    EXPECT_FALSE(timeline.Dragging());
    Move(timeline, {300, 15});  // hovering no longer moves the cursor
    EXPECT_EQ(timeline.PlayCursor(), 0.0);
    EXPECT_TRUE(stream.seeks.empty());  // nothing plays: nothing to seek
}

TEST_F(Timeline, ClickWhilePlayingSeeksThePlayback) {
    stream.active = true;
    Move(timeline, {400, 15});
    Press(timeline, {400, 15});
    Release(timeline, {400, 15});
    EXPECT_EQ(timeline.PlayCursor(), 0.5);
    EXPECT_EQ(stream.seeks, std::vector<std::uint32_t>{352800});
    timeline.SetPlayCursor(1.0);
    EXPECT_EQ(stream.seeks.back(), 705600u);  // the end: a playing stream ends at once
}

TEST_F(Timeline, CurrentFractionFollowsPlaybackThenHoverThenCursor) {
    timeline.SetPlayCursor(0.3);
    EXPECT_DOUBLE_EQ(timeline.CurrentFraction(), 0.3);
    Move(timeline, {799, 15});
    EXPECT_DOUBLE_EQ(timeline.CurrentFraction(), 1.0);  // x / (W - 1)
    EXPECT_DOUBLE_EQ(timeline.PlayCursor(), 0.3);
    stream.active = true;
    stream.frame = 705599;  // the last frame
    EXPECT_DOUBLE_EQ(timeline.CurrentFraction(), 1.0);
    stream.active = false;
    Leave(timeline);
    EXPECT_EQ(timeline.MouseX(), -1);
    EXPECT_DOUBLE_EQ(timeline.CurrentFraction(), 0.3);
}

TEST_F(Timeline, PaintsMotifBlocksTicksCursorAndPlayedPosition) {
    stream.active = true;
    timeline.SetPlayCursor(0.55);  // a = 440, between two labels
    stream.frame = 176400;  // g = trunc(800 × 176400 / 705599) = 200
    const QImage image = test::RenderToImage(timeline, {800, 30});
    const QColor dark(106, 116, 121);
    const QColor ground(39, 54, 61);
    const QColor ruler(182, 187, 189);
    const QColor cursorFrame(56, 66, 76);
    test::ExpectPixels(image, {
        // Blocks of 50 pixels along the top, dark first.
        {"first block, dark", 25, 2, dark},
        {"second block, light", 75, 2, QColor(220, 225, 230)},
        {"third block, dark", 125, 4, dark},
        {"below the blocks", 125, 5, ground},
        // The ruler line and a long tick at i = 5 (x = 81), a short one at i = 1 (x = 17).
        {"ruler line", 60, 6, ruler},
        {"long tick", 81, 10, ruler},
        {"short tick", 17, 8, ruler},
        {"below the short tick", 17, 9, ground},
        // The played position: white, then a dark line beside it.
        {"played position", 200, 20, QColor(Qt::white)},
        {"line beside the played position", 201, 20, QColor(76, 86, 96)},
        // The play cursor: dark outer frame at a - 7, light frame inside.
        {"cursor outer frame, left", 433, 20, cursorFrame},
        {"cursor outer frame, right", 446, 20, cursorFrame},
        {"cursor inner frame", 435, 20, QColor(240, 245, 250)},
        {"cursor middle", 440, 20, ground},
    });
}

}  // namespace
}  // namespace dw
