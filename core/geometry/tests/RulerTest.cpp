#include "core/geometry/Ruler.h"

#include <gtest/gtest.h>

namespace dw {
namespace {

TEST(Format, MinutesAndSecondsArePaddedAndTruncated) {
    struct Case {
        double seconds;
        const char* text;
    };
    const Case cases[] = {{0.0, "00:00"}, {6.4, "00:06"}, {59.99, "00:59"}, {60.0, "01:00"}, {3599.0, "59:59"},
                          {6000.0, "100:00"}};
    for (const Case& c : cases) EXPECT_EQ(FormatMinutesSeconds(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace dw
