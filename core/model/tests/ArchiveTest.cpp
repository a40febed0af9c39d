#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/model/ProjectArchive.h"
#include "core/model/tests/FileBytes.h"
#include "core/base/testing/TestSupport.h"

namespace dw {
namespace {

using test::Bytes;
using Cause = ArchiveError::Cause;

std::vector<std::uint8_t> StoredText(const std::string& utf8) {
    CProjectArchive a;
    a.WriteText(utf8);
    return a.StoredBytes();
}

std::string ReadTextFrom(const std::vector<std::uint8_t>& bytes) {
    CProjectArchive a(bytes);
    return a.ReadText();
}

// The length forms of a stored text: the bytes after the FF FE FF marker.
struct LengthForm {
    std::size_t length;
    std::vector<std::uint8_t> prefix;
};
const LengthForm kLengthForms[] = {
    {0, {0x00}},
    {1, {0x01}},
    {254, {0xFE}},
    {255, {0xFF, 0xFF, 0x00}},
    {0xFFFD, {0xFF, 0xFD, 0xFF}},
    {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
    {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
};

TEST(Archive, TextLengthFormsAndRoundTrip) {
    for (const auto& form : kLengthForms) {
        const std::string text(form.length, 'a');
        const auto bytes = StoredText(text);
        ASSERT_GE(bytes.size(), 3 + form.prefix.size());
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 3),
                  (std::vector<std::uint8_t>{0xFF, 0xFE, 0xFF}))
            << form.length;
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 3, bytes.begin() + 3 + static_cast<long>(form.prefix.size())),
                  form.prefix)
            << form.length;
        EXPECT_EQ(bytes.size(), 3 + form.prefix.size() + 2 * form.length) << form.length;
        EXPECT_EQ(ReadTextFrom(bytes), text) << form.length;
    }
}

TEST(Archive, EmptyTextIsFourBytes) {
    EXPECT_EQ(StoredText(""), (std::vector<std::uint8_t>{0xFF, 0xFE, 0xFF, 0x00}));
}

// Texts as other writers leave them: every read form of the format.
struct ReadForm {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string utf8;
};
const ReadForm kReadForms[] = {
    {"one byte per character", Bytes().u8(3).raw("abc").data, "abc"},
    {"one-byte form, 16-bit length", Bytes().u8(0xFF).u16(4).raw("wxyz").data, "wxyz"},
    {"one-byte form, 32-bit length", Bytes().u8(0xFF).u16(0xFFFF).u32(2).raw("hi").data, "hi"},
    {"one-byte form, 64-bit length", Bytes().u8(0xFF).u16(0xFFFF).u32(0xFFFFFFFF).u64(2).raw("ok").data, "ok"},
    {"Windows-1252 bytes", Bytes().u8(4).u8(0x80).u8(0xE9).u8(0x96).u8(0x9F).data,
     "\xE2\x82\xAC\xC3\xA9\xE2\x80\x93\xC5\xB8"},
    {"marked, 16-bit length", Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(2).u16('o').u16('k').data, "ok"},
    {"marked, 64-bit length", Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0xFFFFFFFF).u64(1).u16('x').data,
     "x"},
    {"surrogate pair", Bytes().u8(0xFF).u16(0xFFFE).u8(2).u16(0xD83C).u16(0xDFB5).data, "\xF0\x9F\x8E\xB5"},
    {"unpaired surrogate", Bytes().u8(0xFF).u16(0xFFFE).u8(2).u16(0xDC00).u16('a').data, "\xEF\xBF\xBD" "a"},
    {"non-ASCII UTF-16", Bytes().u8(0xFF).u16(0xFFFE).u8(2).u16(0x00E9).u16(0x6F22).data, "\xC3\xA9\xE6\xBC\xA2"},
};

TEST(Archive, ReadsEveryTextForm) {
    for (const auto& f : kReadForms) EXPECT_EQ(ReadTextFrom(f.bytes), f.utf8) << f.name;
}

TEST(Archive, Utf8WithBadBytesBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), (std::u16string{0xFFFD, 0xFFFD}));
    EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x8E\xB5"), (std::u16string{0xD83C, 0xDFB5}));
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("Fl\xC3\xBBte \xE2\x82\xAC")), "Fl\xC3\xBBte \xE2\x82\xAC");
}

// Texts that must stop the load, and how.
struct BadText {
    const char* name;
    std::vector<std::uint8_t> bytes;
    Cause cause;
};
const BadText kBadTexts[] = {
    {"cut inside the characters", Bytes().u8(5).raw("ab").data, Cause::EndOfFile},
    {"cut inside the length", Bytes().u8(0xFF).u8(0xFE).data, Cause::EndOfFile},
    {"wide length beyond the file", Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0x7FFFFFFF).data,
     Cause::EndOfFile},
    {"one-byte length beyond the file", Bytes().u8(0xFF).u16(0xFFFF).u32(0x10000000).raw("x").data, Cause::EndOfFile},
    {"wide 32-bit length with top bit", Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0x80000000).data,
     Cause::InvalidArgument},
    {"64-bit length above 2^31-1",
     Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0xFFFFFFFF).u64(0x80000000ull).data, Cause::Generic},
    {"64-bit length huge", Bytes().u8(0xFF).u16(0xFFFF).u32(0xFFFFFFFF).u64(~0ull).data, Cause::Generic},
};

TEST(Archive, BadTextsStopTheLoadWithTheirCause) {
    for (const auto& t : kBadTexts) {
        try {
            ReadTextFrom(t.bytes);
            ADD_FAILURE() << t.name << ": no error";
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.cause(), t.cause) << t.name;
        }
    }
}

TEST(Archive, PrimitivesAreLittleEndianWithoutPadding) {
    CProjectArchive a;
    a.WriteInt32(-2);
    a.WriteUInt32(0x01020304);
    a.WriteFloat(1.0f);
    a.WriteDouble(-2.0);
    a.WriteBool(true);
    const std::vector<std::uint8_t> expected = {0xFE, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x80,
                                                0x3F, 0,    0,    0,    0,    0,    0,    0,    0xC0, 0x01};
    EXPECT_EQ(a.StoredBytes(), expected);

    CProjectArchive r(a.StoredBytes());
    EXPECT_EQ(r.ReadInt32(), -2);
    EXPECT_EQ(r.ReadUInt32(), 0x01020304u);
    EXPECT_EQ(r.ReadFloat(), 1.0f);
    EXPECT_EQ(r.ReadDouble(), -2.0);
    EXPECT_TRUE(r.ReadBool());
    EXPECT_EQ(r.RemainingBytes(), 0u);
    EXPECT_THROW(r.ReadByte(), ArchiveError);
}

TEST(Archive, AnyNonZeroByteReadsAsTrue) {
    const std::vector<std::uint8_t> bytes = {0, 1, 2, 0xFF};
    CProjectArchive r(bytes);
    EXPECT_FALSE(r.ReadBool());
    EXPECT_TRUE(r.ReadBool());
    EXPECT_TRUE(r.ReadBool());
    EXPECT_TRUE(r.ReadBool());
}

TEST(Archive, NanPayloadSurvivesARoundTrip) {
    const double nan = std::bit_cast<double>(0x7FF8000000000123ull);
    CProjectArchive a;
    a.WriteDouble(nan);
    CProjectArchive r(a.StoredBytes());
    EXPECT_EQ(std::bit_cast<std::uint64_t>(r.ReadDouble()), 0x7FF8000000000123ull);
}

// Values that straddle the 4096-byte pieces of a file archive.
TEST(Archive, FileBufferingAcrossPieceBoundaries) {
    const test::TempDir dir;
    const auto path = dir / "pieces.dwv";
    std::string longText;
    for (int i = 0; i < 5000; ++i) longText += static_cast<char>('a' + i % 26);
    {
        CProjectArchive a(path, CProjectArchive::Mode::Store);
        for (int i = 0; i < 1021; ++i) a.WriteInt32(i);  // 4084 bytes: the next double straddles
        a.WriteDouble(0.125);
        a.WriteText(longText);
        a.WriteUInt32(0xCAFEF00D);
        a.Close();
    }
    EXPECT_EQ(std::filesystem::file_size(path), 4084u + 8 + 3 + 3 + 10000 + 4);
    {
        CProjectArchive r(path, CProjectArchive::Mode::Load);
        for (int i = 0; i < 1021; ++i) ASSERT_EQ(r.ReadInt32(), i);
        EXPECT_EQ(r.ReadDouble(), 0.125);
        EXPECT_EQ(r.ReadText(), longText);
        EXPECT_EQ(r.ReadUInt32(), 0xCAFEF00Du);
        EXPECT_THROW(r.ReadByte(), ArchiveError);
    }
}

TEST(Archive, OpeningWhatIsNotAFileFails) {
    EXPECT_THROW(CProjectArchive("/nonexistent/dir/x.dwv", CProjectArchive::Mode::Load), ArchiveError);
    EXPECT_THROW(CProjectArchive(std::filesystem::temp_directory_path(), CProjectArchive::Mode::Load), ArchiveError);
    EXPECT_THROW(CProjectArchive("/nonexistent/dir/x.dwv", CProjectArchive::Mode::Store), ArchiveError);
}

TEST(Archive, CloseReportsAFullDisk) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    std::FILE* f = std::fopen("/dev/full", "wb");
    ASSERT_NE(f, nullptr);
    CProjectArchive a(f, CProjectArchive::Mode::Store);
    a.WriteInt32(1);
    try {
        a.Close();
        ADD_FAILURE() << "writing to a full disk succeeded";
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.cause(), Cause::Write);
        EXPECT_EQ(e.systemError(), ENOSPC);
    }
}

}  // namespace
}  // namespace dw
