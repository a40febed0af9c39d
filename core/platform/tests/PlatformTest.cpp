// Start-up decisions: operating-system and screen checks, the command-line
// file name, the installation folder.
#include "core/platform/Platform.h"

#include <gtest/gtest.h>

#include <set>

namespace dw {
namespace {

TEST(CheckOsVersion, ReleaseIsReadAsMajorAndMinor) {
    struct Case {
        const char* release;
        std::optional<KernelVersion> version;
    };
    const Case cases[] = {
        {"6.1.0-18-amd64", KernelVersion{6, 1}}, {"5.10.0-28-amd64", KernelVersion{5, 10}},
        {"13", KernelVersion{13, 0}},            {"4.x", KernelVersion{4, 0}},
        {"", std::nullopt},                      {"linux", std::nullopt},
        {"-5.1", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto version = KernelVersionFromRelease(c.release);
        ASSERT_EQ(version.has_value(), c.version.has_value()) << c.release;
        if (!version) continue;
        EXPECT_EQ(version->major, c.version->major) << c.release;
        EXPECT_EQ(version->minor, c.version->minor) << c.release;
    }
}

TEST(CheckOsVersion, KernelFromFiveOnCountsAsSupported) {
    struct Case {
        const char* release;
        bool supported;
    };
    const Case cases[] = {
        {"6.1.0-18-amd64", true}, {"5.10.0-28-amd64", true}, {"5.0", true},   {"7.2.1", true},
        {"13.0.0", true},         {"4.19.0-26-amd64", false}, {"3.16.0", false}, {"2.6.32", false},
        {"", false},              {"linux", false},          {"-5.1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsKernelSupported(KernelVersionFromRelease(c.release)), c.supported) << c.release;
}

TEST(CheckOsVersion, RunningKernelIsReadable) { EXPECT_TRUE(QueryKernelVersion().has_value()); }

TEST(CheckScreen, Thresholds) {
    struct Case {
        const char* name;
        ScreenInfo screen;
        bool supported;
    };
    const Case cases[] = {
        {"1024x768 16 bit 96 dpi", {1024, 768, 16, 96, 96}, true},
        {"1024x767", {1024, 767, 16, 96, 96}, false},
        {"1023x768", {1023, 768, 32, 96, 96}, false},
        {"1280x1024 8 bit", {1280, 1024, 8, 96, 96}, false},
        {"15 bit is enough", {1280, 1024, 15, 96, 96}, true},
        {"1920x1080 32 bit 144 dpi", {1920, 1080, 32, 144, 144}, true},
        {"1920x1080 32 bit 168 dpi", {1920, 1080, 32, 168, 168}, false},
        {"150 dpi is the limit", {1920, 1080, 24, 150, 150}, true},
        {"the larger density counts", {1920, 1080, 24, 96, 151}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsScreenSupported(c.screen), c.supported) << c.name;
}

TEST(CommandLine, FirstArgumentThatIsNotASwitch) {
    const std::set<std::string> files{"/home/ann/Evening.dwv"};
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string file;
    };
    const Case cases[] = {
        {"an existing absolute path is a file", {"/home/ann/Evening.dwv", "/x"}, "/home/ann/Evening.dwv"},
        {"a missing absolute path is a switch", {"/x", "--null-audio"}, ""},
        // No switch holds a second slash: opening it says that it is missing.
        {"a missing path in a folder is a file", {"/x", "/home/ann/Gone.dwv"}, "/home/ann/Gone.dwv"},
        {"switches are skipped", {"--null-audio", "/x", "rel.dwv"}, "rel.dwv"},
        {"the first of two files", {"-a", "first.dwv", "second.dwv"}, "first.dwv"},
        // A missing relative file is still the file name: opening it reports the error.
        {"a missing relative file", {"missing.dwv"}, "missing.dwv"},
        {"a path with backslashes", {"C:\\Projects\\Evening.dwv", "/x"}, "C:\\Projects\\Evening.dwv"},
        {"no arguments", {}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CommandLineFileNamePosix(c.args, exists), c.file) << c.name;
}

TEST(InstallPath, FoundBesideTheExecutablesFolder) {
    const std::set<std::string> dirs{"/usr/share/driftwell", "/opt/dw/share/driftwell"};
    auto isDir = [&](const std::string& p) { return dirs.count(p) > 0; };
    EXPECT_EQ(FindInstallPath("/usr/bin/driftwell", isDir), "/usr/share/driftwell");
    EXPECT_EQ(FindInstallPath("/opt/dw/bin/driftwell", isDir), "/opt/dw/share/driftwell");
    EXPECT_EQ(FindInstallPath("/usr/local/bin/driftwell", isDir), "");
    EXPECT_EQ(FindInstallPath("driftwell", isDir), "");
}

TEST(InstallPath, GuidePathJoinsFolderAndName) {
    EXPECT_EQ(JoinInstallPath("/usr/share/driftwell", "Driftwell - User's Guide.pdf"),
              "/usr/share/driftwell/Driftwell - User's Guide.pdf");
    EXPECT_EQ(JoinInstallPath("/opt/dw/", "Guide.pdf"), "/opt/dw//Guide.pdf");
    EXPECT_EQ(JoinInstallPath("", "Guide.pdf"), "/Guide.pdf");
}

}  // namespace
}  // namespace dw

#include "core/geometry/Title.h"

namespace dw {
namespace {

TEST(Title, FromTheProjectPath) {
    struct Case {
        const char* path;
        const char* title;
    };
    const Case cases[] = {
        {"", "Driftwell"},
        {"C:\\Music\\Evening.dwv", "Evening - Driftwell"},
        {"/home/ann/Music/Evening.dwv", "Evening - Driftwell"},
        {"Evening.dwv", "Evening - Driftwell"},
        {"/home/ann/Evening", "Evening - Driftwell"},
        // A dot in a folder name is not an extension: the file keeps its name.
        {"C:\\My.Projects\\Evening", "Evening - Driftwell"},
        {"/home/ann/my.projects/Evening", "Evening - Driftwell"},
        {"/home/ann/Evening.backup.dwv", "Evening.backup - Driftwell"},
    };
    for (const auto& c : cases) EXPECT_EQ(TitleForProjectPath(c.path), c.title) << c.path;
}

}  // namespace
}  // namespace dw
