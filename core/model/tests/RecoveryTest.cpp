// Unsaved work kept for the next start: where it goes, that it reads back as
// the project, and that the next start is told of each file once.
#include "core/model/Recovery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "core/model/ProjectFile.h"
#include "core/base/testing/TestSupport.h"

namespace dw {
namespace {

namespace fs = std::filesystem;

struct FolderCase {
    const char* name;
    const char* xdg;
    const char* home;
    const char* expected;  // null: none
};
void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }
class RecoveryFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(RecoveryFolderTest, FollowsTheStateHome) {
    const FolderCase& c = GetParam();
    const auto folder = RecoveryFolderFrom(c.xdg, c.home);
    if (c.expected == nullptr) {
        EXPECT_FALSE(folder.has_value());
    } else {
        ASSERT_TRUE(folder.has_value());
        EXPECT_EQ(folder->string(), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecoveryFolderTest,
    ::testing::Values(FolderCase{"StateHomeSet", "/s", "/h", "/s/driftwell"},
                      FolderCase{"StateHomeUnset", nullptr, "/h", "/h/.local/state/driftwell"},
                      FolderCase{"StateHomeEmpty", "", "/h", "/h/.local/state/driftwell"},
                      FolderCase{"StateHomeRelative", "state", "/h", "/h/.local/state/driftwell"},
                      FolderCase{"Nothing", nullptr, nullptr, nullptr}),
    [](const auto& p) { return std::string(p.param.name); });

class RecoveryTest : public ::testing::Test {
protected:
    test::TempDir temp;
    const fs::path& dir = temp.path();
};

TEST_F(RecoveryTest, WorkReadsBackAndIsToldOnce) {
    const fs::path folder = dir / "state" / "driftwell";  // created on the way
    CProject evening;
    evening.properties.musicLength = 321;
    evening.properties.sourcePath = "/music/tone.wav";
    const fs::path first = RecoveryFileFor(folder, "/projects/Evening.dwv");
    EXPECT_EQ(first, folder / "Evening (recovered).dwv");
    ASSERT_EQ(WriteRecoveryFile(evening, first), "");
    const fs::path second = RecoveryFileFor(folder, {});
    EXPECT_EQ(second, folder / "Untitled (recovered).dwv");
    ASSERT_EQ(WriteRecoveryFile(CProject{}, second), "");
    evening.properties.musicLength = 123;
    ASSERT_EQ(WriteRecoveryFile(evening, first), "");  // written again: listed once, newest last

    CProject reread;
    NullProgress quiet;
    ASSERT_TRUE(LoadProject(reread, first, quiet));
    EXPECT_EQ(reread.properties.musicLength, 123u);
    EXPECT_EQ(reread.properties.sourcePath, "/music/tone.wav");

    EXPECT_EQ(TakeRecoveryNote(folder), (std::vector<fs::path>{second, first}));
    EXPECT_TRUE(TakeRecoveryNote(folder).empty()) << "told once";
    EXPECT_TRUE(fs::exists(first)) << "the work itself stays";
}

TEST_F(RecoveryTest, AFileRemovedMeanwhileIsNotTold) {
    const fs::path file = RecoveryFileFor(dir, "Dusk.dwv");
    ASSERT_EQ(WriteRecoveryFile(CProject{}, file), "");
    fs::remove(file);
    EXPECT_TRUE(TakeRecoveryNote(dir).empty());
}

TEST_F(RecoveryTest, AFolderThatCannotBeMadeGivesItsReason) {
    std::ofstream(dir / "plain").put('x');
    EXPECT_NE(WriteRecoveryFile(CProject{}, dir / "plain" / "driftwell" / "Dusk (recovered).dwv"), "");
    EXPECT_FALSE(fs::exists(dir / "plain" / "driftwell"));
}

}  // namespace
}  // namespace dw
