#include "core/base/TextEscape.h"

#include <gtest/gtest.h>

#include <string>

namespace dw {
namespace {

struct EscapeCase {
    const char* name;
    std::string in;
    std::string out;
};
void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class EscapeForDisplayTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeForDisplayTest, WritesControlsVisibly) { EXPECT_EQ(EscapeForDisplay(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    Cases, EscapeForDisplayTest,
    ::testing::Values(
        EscapeCase{"Plain", "/home/me/Evening rain.wav", "/home/me/Evening rain.wav"},
        EscapeCase{"Utf8Kept", "/m\xC3\xBAsica/\xE6\x97\xA5.wav", "/m\xC3\xBAsica/\xE6\x97\xA5.wav"},
        EscapeCase{"Newline", "a\nb", "a\\nb"},
        EscapeCase{"NulInside", std::string("a\0b", 3), "a\\x00b"},
        // Sets the terminal's title when printed raw.
        EscapeCase{"OscTitle", "\x1B]0;owned\x07", "\\e]0;owned\\x07"},
        EscapeCase{"CsiClear", "\x1B[2J", "\\e[2J"},
        EscapeCase{"Delete", "a\x7F", "a\\x7F"},
        EscapeCase{"Backslash", "C:\\dir", "C:\\\\dir"},
        // U+009B is the one-character CSI in UTF-8 terminals.
        EscapeCase{"C1AsUtf8", "x\xC2\x9B" "2J", "x\\u{009B}2J"},
        EscapeCase{"LoneC1Byte", "x\x9B" "2J", "x\\x9B2J"},
        EscapeCase{"Truncated", "ab\xE6\x97", "ab\\xE6\\x97"},
        EscapeCase{"Overlong", "\xC0\x8A", "\\xC0\\x8A"},
        EscapeCase{"Surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
        // A right-to-left override shows "evil\u202Ewav.exe" as "evilexe.vaw".
        EscapeCase{"RightToLeftOverride", "evil\xE2\x80\xAEwav.exe", "evil\\u{202E}wav.exe"},
        EscapeCase{"LeftToRightEmbedding", "\xE2\x80\xAA" "a", "\\u{202A}a"},
        EscapeCase{"FirstStrongIsolate", "a\xE2\x81\xA8" "b\xE2\x81\xA9", "a\\u{2068}b\\u{2069}"},
        EscapeCase{"RightToLeftMark", "\xE2\x80\x8F.wav", "\\u{200F}.wav"},
        EscapeCase{"ArabicLetterMark", "\xD8\x9C", "\\u{061C}"},
        EscapeCase{"ZeroWidthJoinerKept", "a\xE2\x80\x8D" "b", "a\xE2\x80\x8D" "b"}),
    [](const ::testing::TestParamInfo<EscapeCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace dw
