#include "gui/editors/CWndHeaders.h"

#include <QImage>

#include <gtest/gtest.h>

#include "core/geometry/MatrixGeometry.h"
#include "core/model/Project.h"
#include "gui/kit/ShapePainting.h"
#include "gui/kit/testing/WidgetTestSupport.h"

namespace dw {
namespace {

TEST(RowHeaders, BandsLineUpWithTheEditorsRowsWithSeparatorsBetweenThem) {
    CProject project;
    CWndHeaders headers(nullptr, &project);
    const QImage image = test::RenderToImage(headers, {120, 803});
    const auto at = [&](int x, int y) { return QColor(image.pixel(x, y)); };
    const std::vector<int> heights{101, 101, 101, 100, 100, 100, 100, 100};
    int top = 0;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE("band " + std::to_string(i));
        const QColor colour = HslColor(RowHue(i, 8), kHeaderSaturation, kHeaderLightness);
        EXPECT_EQ(at(115, top + 2), colour);
        EXPECT_EQ(at(115, top + heights[i] - 2), colour);
        if (i > 0) {
            EXPECT_EQ(at(115, top - 1), QColor(95, 100, 105));
            EXPECT_EQ(at(115, top), QColor(135, 140, 145));
            EXPECT_EQ(at(115, top + 1), QColor(95, 100, 105));
        }
        top += heights[i];
    }
    // No separator above the first band or below the last.
    EXPECT_EQ(at(115, 0), HslColor(RowHue(0, 8), kHeaderSaturation, kHeaderLightness));
    EXPECT_EQ(at(115, 802), HslColor(RowHue(7, 8), kHeaderSaturation, kHeaderLightness));
    // The name is drawn in black from (5, top + 5): some dark pixels there.
    bool text = false;
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 60; ++x) text = text || at(x, y).lightness() < 60;
    EXPECT_TRUE(text);
}

}  // namespace
}  // namespace dw
