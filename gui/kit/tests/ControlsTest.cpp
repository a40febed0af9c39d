// The custom controls under the offscreen platform: picture button states,
// hover tracking, double clicks, tooltips; the skinned slider; the painting
// helpers against real pixels.
#include "gui/kit/ArtResources.h"
#include "gui/kit/CHoverButton.h"
#include "gui/kit/CSkinSliderCtrl.h"
#include "gui/kit/Painting.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace dw {
namespace {

// A strip whose three pictures are plain red, green and blue.
QPixmap ColourStrip(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    const int third = w / 3;
    for (int x = 0; x < w; ++x) {
        const QRgb c = x < third ? qRgb(255, 0, 0) : x < 2 * third ? qRgb(0, 255, 0) : qRgb(0, 0, 255);
        for (int y = 0; y < h; ++y) img.setPixel(x, y, c);
    }
    return QPixmap::fromImage(img);
}

QRgb ShownColour(CHoverButton& button) {
    const QImage img = button.grab().toImage();
    return img.pixel(img.width() / 2, img.height() / 2) & 0xFFFFFF;
}

TEST(CHoverButton, StripSizesTheButton) {
    QWidget parent;
    struct Case {
        int stripW, stripH, w, h;
    };
    for (const Case c : {Case{84, 28, 28, 28}, Case{120, 40, 40, 40}, Case{86, 28, 28, 28}}) {
        CHoverButton b(&parent, 20012);
        EXPECT_TRUE(b.LoadStateStrip(ColourStrip(c.stripW, c.stripH)));
        EXPECT_EQ(b.size(), QSize(c.w, c.h)) << c.stripW;
        EXPECT_EQ(b.stateWidth(), c.w);
    }
}

TEST(CHoverButton, ResourceStripsAreThreeSquarePictures) {
    for (int id : {IDB_TB_NEW, IDB_TB_OPEN, IDB_TB_SAVE, IDB_TB_SAVECOPY, IDB_TB_EXPORT, IDB_TB_GUIDE, IDB_TB_ABOUT,
                   IDB_TB_HOME}) {
        CHoverButton b;
        b.LoadStateStrip(id);
        EXPECT_EQ(b.size(), QSize(28, 28)) << id;
    }
    for (int id : {IDB_BTN_PLAY, IDB_BTN_PAUSE, IDB_BTN_STOP, IDB_BTN_START, IDB_BTN_PREV, IDB_BTN_NEXT}) {
        CHoverButton b;
        b.LoadStateStrip(id);
        EXPECT_EQ(b.size(), QSize(40, 40)) << id;
    }
}

TEST(CHoverButton, ShowsNormalHoveredAndPressedPictures) {
    QWidget parent;
    parent.resize(100, 100);
    CHoverButton b(&parent, 20013);
    b.LoadStateStrip(ColourStrip(84, 28));
    b.move(10, 10);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));

    EXPECT_EQ(ShownColour(b), 0xFF0000u) << "normal";
    QTest::mouseMove(&b, QPoint(5, 5));
    EXPECT_TRUE(b.tracking());
    QTRY_VERIFY_WITH_TIMEOUT(b.hovered(), 1000);
    EXPECT_EQ(ShownColour(b), 0x0000FFu) << "hovered";
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(ShownColour(b), 0x00FF00u) << "pressed wins over hovered";
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    EXPECT_FALSE(b.hovered());
    EXPECT_FALSE(b.tracking());
    EXPECT_EQ(ShownColour(b), 0xFF0000u) << "after leaving";
}

TEST(CHoverButton, DoubleClickRunsTheCommandTwice) {
    QWidget parent;
    CHoverButton b(&parent, 20017);
    b.LoadStateStrip(ColourStrip(84, 28));
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    // The two event sequences a double click arrives as: with the second
    // press delivered before the double-click event, and without it.
    const std::vector<std::vector<QEvent::Type>> sequences{
        {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
         QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease},
        {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
         QEvent::MouseButtonRelease},
    };
    for (const auto& sequence : sequences) {
        QSignalSpy spy(&b, &CHoverButton::command);
        for (QEvent::Type type : sequence) {
            const bool release = type == QEvent::MouseButtonRelease;
            QMouseEvent e(type, QPointF(5, 5), b.mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                          release ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&b, &e);
        }
        ASSERT_EQ(spy.count(), 2) << sequence.size();
        EXPECT_EQ(spy.at(1).at(0).toInt(), 20017);
        EXPECT_FALSE(b.isDown());
    }
}

TEST(CHoverButton, AssignTooltip) {
    CHoverButton b;
    b.AssignTooltip(QString());
    EXPECT_TRUE(b.toolTip().isEmpty()) << "no text, no tooltip";
    b.AssignTooltip("New Project");
    EXPECT_EQ(b.toolTip(), "New Project");
    b.AssignTooltip("Open Project");
    EXPECT_EQ(b.toolTip(), "Open Project") << "a second call replaces the text";
    b.AssignTooltip(QString());
    EXPECT_EQ(b.toolTip(), "Open Project");
}

TEST(CSkinSliderCtrl, KeepsSliderBehaviourAndCentresTheThumb) {
    QWidget parent;
    CSkinSliderCtrl s(&parent);
    s.setGeometry(0, 0, 123, 20);
    s.LoadSkinBitmaps();
    EXPECT_EQ(s.channelSize(), QSize(123, 20));
    EXPECT_EQ(s.thumbSize(), QSize(11, 22));
    EXPECT_EQ(s.minimum(), 0);
    EXPECT_EQ(s.maximum(), 100);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    s.setFocus();
    s.setValue(50);
    QTest::keyClick(&s, Qt::Key_Right);
    EXPECT_EQ(s.value(), 51);
    const QRect r = s.thumbRect();
    const QPoint o = s.thumbOrigin();
    EXPECT_EQ(o.x(), r.left() + (r.width() / 2 - 11 / 2));
    EXPECT_EQ(o.y(), r.top() + (r.height() / 2 - 22 / 2));
    // The thumb follows the value.
    s.setValue(0);
    const int left = s.thumbOrigin().x();
    s.setValue(100);
    EXPECT_GT(s.thumbOrigin().x(), left + 50);
}

TEST(Painting, TileBitmapReachesRightAndBottomInclusively) {
    QImage target(120, 60, QImage::Format_RGB32);
    target.fill(Qt::black);
    QImage tile(40, 40, QImage::Format_RGB32);
    tile.fill(Qt::white);
    {
        QPainter p(&target);
        TileBitmap(QPixmap::fromImage(tile), Rect{0, 0, 100, 40}, p);
    }
    EXPECT_EQ(target.pixel(100, 40) & 0xFFFFFF, 0xFFFFFFu) << "corner pixel (r, b) painted";
    EXPECT_EQ(target.pixel(101, 40) & 0xFFFFFF, 0u);
    EXPECT_EQ(target.pixel(100, 41) & 0xFFFFFF, 0u);
}

TEST(ArtResources, EveryPictureHasItsSize) {
    struct Case {
        int id, w, h;
    };
    const Case cases[] = {
        {IDB_PROGRESS_CREATE, 375, 120}, {IDB_PROGRESS_LOAD, 375, 120}, {IDB_DISPLAY_BG, 120, 40},
        {IDB_TRANSPORT_BG, 60, 60},      {IDB_TOOLBAR_BG, 40, 40},      {IDB_DIGITS, 150, 19},
        {IDB_ABOUT, 450, 220},           {IDB_VOLUME_BG, 171, 40},      {IDB_SLIDER_CHANNEL, 123, 20},
        {IDB_SLIDER_THUMB, 11, 22},      {IDB_MAIN_BG, 64, 64},         {IDB_BTN_NEXT, 120, 40},
        {IDB_TB_HOME, 84, 28},
    };
    for (const auto& c : cases) {
        const QPixmap p = LoadBitmapResource(c.id);
        EXPECT_EQ(p.size(), QSize(c.w, c.h)) << c.id;
    }
    EXPECT_TRUE(LoadBitmapResource(999).isNull());
    const QCursor hand = LoadCursorResource(IDC_HAND_LEFTRIGHT);
    EXPECT_EQ(hand.hotSpot(), QPoint(10, 2));
    EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(LoadCursorResource(IDC_HAND_LEFT).pixmap().size(), QSize(32, 32));
    EXPECT_EQ(LoadCursorResource(12345).shape(), Qt::ArrowCursor);
    EXPECT_FALSE(LoadAppIcon().isNull());
}

}  // namespace
}  // namespace dw
