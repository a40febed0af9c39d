// The one writer: what it leaves on success, on failure and when killed, for
// unnamed and named temporaries alike; devices and FIFOs written into, never
// replaced; names at the file system's limit; and SameFile.
#include <gtest/gtest.h>

#include <chrono>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/base/OutputFile.h"
#include "core/base/SameFile.h"
#include "core/base/tests/FifoReader.h"
#include "core/base/testing/TestSupport.h"

namespace dw {
namespace {

namespace fs = std::filesystem;

using test::Slurp;
using test::TempDir;

void Put(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int Write(const fs::path& target, const std::string& text) {
    return WriteWholeFile(target, std::as_bytes(std::span(text.data(), text.size())));
}

// Sets the file's change time `age` into the past.
void AgeBy(const fs::path& p, std::chrono::seconds age) {
    const auto then = std::chrono::system_clock::now() - age;
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(then.time_since_epoch()).count();
    const timespec times[2] = {{secs, 0}, {secs, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << p;
}

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Each test runs with unnamed temporaries (where the file system has them)
// and with the named ones of file systems that do not.
class OutputFileTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { SetOutputFileFaultsForTesting({.namedTemporaries = GetParam()}); }
    void TearDown() override { SetOutputFileFaultsForTesting({}); }
    TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Temporaries, OutputFileTest, ::testing::Bool(),
                         [](const auto& p) { return std::string(p.param ? "Named" : "Unnamed"); });

TEST_P(OutputFileTest, ReplacesTheTargetWholeAndKeepsItsMode) {
    const auto target = dir / "kept.bin";
    Put(target, std::string(5000, 'o'));  // longer than the new content
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    ASSERT_EQ(Write(target, "new"), 0);
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_EQ(ModeOf(target) & 07777, 0600u);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"kept.bin"});
}

TEST_P(OutputFileTest, ANewFileFollowsTheUmask) {
    const mode_t old = ::umask(027);
    const int err = Write(dir / "fresh.bin", "x");
    ::umask(old);
    ASSERT_EQ(err, 0);
    EXPECT_EQ(ModeOf(dir / "fresh.bin") & 07777, 0640u);
}

TEST_P(OutputFileTest, KeepsTheOwnerWhereItMay) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const auto target = dir / "owned.bin";
    Put(target, "old");
    ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
    ASSERT_EQ(Write(target, "new"), 0);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
}

TEST_P(OutputFileTest, WritesThroughSymbolicLinks) {
    fs::create_directory(dir / "real");
    Put(dir / "real" / "file.bin", "old");
    ASSERT_EQ(::chmod((dir / "real" / "file.bin").c_str(), 0600), 0);
    fs::create_symlink("real/file.bin", dir / "link1");  // relative, and a link to a link
    fs::create_symlink(dir / "link1", dir / "link2");
    fs::create_symlink("real/later.bin", dir / "dangling");

    ASSERT_EQ(Write(dir / "link2", "through"), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link2"));
    EXPECT_TRUE(fs::is_symlink(dir / "link1"));
    EXPECT_EQ(Slurp(dir / "real" / "file.bin"), "through");
    EXPECT_EQ(ModeOf(dir / "real" / "file.bin") & 07777, 0600u);

    ASSERT_EQ(Write(dir / "dangling", "made"), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(Slurp(dir / "real" / "later.bin"), "made");
    EXPECT_EQ(Listing(dir / "real"), (std::vector<std::string>{"file.bin", "later.bin"}));

    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_EQ(Write(dir / "loop-a", "x"), ELOOP);
}

TEST_P(OutputFileTest, AFailedWriteLeavesTheOldFileAndNothingElse) {
    const auto target = dir / "precious.bin";
    Put(target, "old content");
    for (const std::uint64_t after : {1ull, 4096ull, 100000ull}) {
        SCOPED_TRACE(after);
        SetOutputFileFaultsForTesting({.failAfterBytes = after, .error = ENOSPC, .namedTemporaries = GetParam()});
        OutputFile file;
        ASSERT_EQ(file.Open(target), 0);
        const std::string block(3000, 'n');
        int err = 0;
        for (int i = 0; i < 50 && err == 0; ++i) err = file.Write(block.data(), block.size());
        EXPECT_EQ(err, ENOSPC);
        EXPECT_EQ(file.Commit(), ENOSPC) << "a failed file is never put in place";
    }
    EXPECT_EQ(Slurp(target), "old content");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"precious.bin"});
}

TEST_P(OutputFileTest, AnAbandonedWriteLeavesNothing) {
    const auto target = dir / "t.bin";
    Put(target, "old");
    {
        OutputFile file;
        ASSERT_EQ(file.Open(target), 0);
        ASSERT_EQ(file.Write("partial", 7), 0);
    }
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"t.bin"});
}

TEST_P(OutputFileTest, AKilledWriteLeavesNothingOnceTheNextWriterCame) {
    const auto target = dir / "victim.bin";
    Put(target, "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OutputFile file;
        if (file.Open(target) != 0) ::_exit(1);
        const std::string block(1 << 16, 'k');
        for (int i = 0; i < 16; ++i)
            if (file.Write(block.data(), block.size()) != 0) ::_exit(1);
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child could not write";
    EXPECT_EQ(Slurp(target), "old");
    if (GetParam()) {
        EXPECT_EQ(Listing(dir.path()).size(), 2u) << "a named temporary outlives its killed writer";
    } else {
        EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"victim.bin"}) << "an unnamed file has no name";
    }
    // A writer into the folder leaves a fresh temporary alone (its writer
    // may be on another host of the same name), and clears it once it has
    // stood unchanged for more than a few minutes.
    ASSERT_EQ(Write(dir / "other.bin", "x"), 0);
    EXPECT_EQ(Listing(dir.path()).size(), GetParam() ? 3u : 2u);
    for (const auto& e : fs::directory_iterator(dir.path())) AgeBy(e.path(), std::chrono::minutes(10));
    ASSERT_EQ(Write(dir / "other.bin", "y"), 0);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"other.bin", "victim.bin"}));
}

// What a writer in a shared folder may remove: only a temporary written on
// this host, in this PID namespace, by a process that is gone, and unchanged
// for minutes. Run with named temporaries, as on a file system without
// unnamed files.
struct ForeignTemporary {
    const char* name;
    bool sameHost;
    bool samePidSpace;
    bool writerGone;
    bool old;
    bool oldForm;  // the form of earlier versions, without a host
    bool removed;
};

class TemporariesInASharedFolder : public ::testing::TestWithParam<ForeignTemporary> {
protected:
    void SetUp() override { SetOutputFileFaultsForTesting({.namedTemporaries = true}); }
    void TearDown() override { SetOutputFileFaultsForTesting({}); }
    TempDir dir;
};

TEST_P(TemporariesInASharedFolder, OnlyOursBeyondDoubtAreRemoved) {
    const ForeignTemporary& c = GetParam();
    // Our own host and PID namespace as a temporary of ours spells them.
    const auto probe = dir / "probe.bin";
    std::string ours;
    {
        OutputFile writer;  // abandoned: its temporary goes with it
        ASSERT_EQ(writer.Open(probe), 0);
        for (const auto& e : fs::directory_iterator(dir.path())) ours = e.path().filename().string();
    }
    ASSERT_TRUE(ours.ends_with(".dwtmp")) << ours;
    // ".probe.bin.HOST~PIDNS~PID~RANDOM.dwtmp"
    const std::string fields = ours.substr(std::string(".probe.bin.").size());
    const auto t1 = fields.find('~');
    const auto t2 = fields.find('~', t1 + 1);
    const std::string host = fields.substr(0, t1);
    const std::string pidSpace = fields.substr(t1 + 1, t2 - t1 - 1);

    pid_t pid = ::getppid();  // alive
    if (c.writerGone) {
        pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) ::_exit(0);
        ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    }
    const std::string name =
        c.oldForm ? ".song.flac." + std::to_string(pid) + "-3.dwtmp"
                  : ".song.flac." + (c.sameHost ? host : host + "x") + "~" +
                        (c.samePidSpace ? pidSpace : pidSpace + "1") + "~" + std::to_string(pid) +
                        "~0123456789abcdef.dwtmp";
    Put(dir / name, "another render's half-written music");
    if (c.old) AgeBy(dir / name, std::chrono::minutes(10));

    ASSERT_EQ(Write(dir / "mine.bin", "x"), 0);
    EXPECT_EQ(fs::exists(dir / name), !c.removed) << name;
    EXPECT_TRUE(fs::exists(dir / "mine.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    Fallback, TemporariesInASharedFolder,
    ::testing::Values(ForeignTemporary{"OursKilledLongAgo", true, true, true, true, false, true},
                      ForeignTemporary{"OursKilledJustNow", true, true, true, false, false, false},
                      ForeignTemporary{"OursStillWriting", true, true, false, true, false, false},
                      ForeignTemporary{"AnotherHosts", false, true, true, true, false, false},
                      ForeignTemporary{"AnotherContainers", true, false, true, true, false, false},
                      ForeignTemporary{"AnEarlierVersions", true, true, true, true, true, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_P(OutputFileTest, NamesUpToTheLimitWorkAndLongerOnesAreRefusedAtOnce) {
    for (const std::size_t length : {243u, 250u, 255u}) {
        SCOPED_TRACE(length);
        // Multi-byte characters too: a cut temporary name must not split one.
        const std::string name = std::string(length - 4, 'n') + "\xC3\xA9" + ".x";
        ASSERT_EQ(name.size(), length);
        EXPECT_EQ(CheckOutputTarget(dir / name), 0);
        ASSERT_EQ(Write(dir / name, "fits"), 0);
        ASSERT_EQ(Write(dir / name, "again"), 0) << "replacing needs a temporary name too";
        EXPECT_EQ(Slurp(dir / name), "again");
        fs::remove(dir / name);
    }
    const std::string tooLong(256, 'n');
    EXPECT_EQ(CheckOutputTarget(dir / tooLong), ENAMETOOLONG);
    EXPECT_EQ(Write(dir / tooLong, "x"), ENAMETOOLONG);
    EXPECT_TRUE(Listing(dir.path()).empty());
}

TEST_P(OutputFileTest, ImpossibleTargetsFailWithTheirReason) {
    fs::create_directory(dir / "folder");
    Put(dir / "file", "f");
    struct Case {
        const char* name;
        fs::path target;
        int error;
    };
    const Case cases[] = {
        {"folder", dir / "folder", EISDIR},
        {"trailing slash", dir / "folder" / "", EISDIR},
        {"missing folder", dir / "none" / "x.bin", ENOENT},
        {"under a file", dir / "file" / "x.bin", ENOTDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckOutputTarget(c.target), c.error);
        OutputFile file;
        EXPECT_EQ(file.Open(c.target), c.error);
        EXPECT_EQ(file.Write("x", 1), c.error);
        EXPECT_EQ(file.Commit(), c.error);
    }
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"file", "folder"}));
    EXPECT_EQ(Slurp(dir / "file"), "f");
}

// ------------------------------------------------------------------ devices

bool IsCharDevice(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0 && S_ISCHR(st.st_mode);
}

TEST(OutputFileDevices, NullDiscardsAndFullFailsAndBothStayDevices) {
    ASSERT_TRUE(IsCharDevice("/dev/null") && IsCharDevice("/dev/full"));
    const std::string block(100000, 'd');
    {
        OutputFile file;
        ASSERT_EQ(file.Open("/dev/null"), 0);
        EXPECT_TRUE(file.Direct());
        EXPECT_EQ(file.Write(block.data(), block.size()), 0);
        EXPECT_EQ(file.Commit(), 0);
    }
    {
        EXPECT_EQ(CheckOutputTarget("/dev/full"), 0) << "only writing shows it is full";
        OutputFile file;
        ASSERT_EQ(file.Open("/dev/full"), 0);
        EXPECT_EQ(file.Write(block.data(), block.size()), ENOSPC);
        EXPECT_EQ(file.Commit(), ENOSPC);
        EXPECT_EQ(ErrorText(ENOSPC), "No space left on device");
    }
    EXPECT_TRUE(IsCharDevice("/dev/null")) << "the device node was replaced";
    EXPECT_TRUE(IsCharDevice("/dev/full")) << "the device node was replaced";
}

TEST(OutputFileDevices, AFifoStreamsAndCannotSeekBack) {
    test::FifoInTempDir fifo;
    ASSERT_TRUE(fifo.made);
    OutputFile file;
    ASSERT_EQ(file.Open(fifo.path), 0);
    EXPECT_TRUE(file.Direct());
    std::int64_t at = 0;
    EXPECT_EQ(file.Write("streamed ", 9), 0);
    EXPECT_EQ(file.Seek(0, SEEK_CUR, at), 0) << "staying in place is no seek";
    EXPECT_EQ(at, 9);
    EXPECT_EQ(file.Write("bytes", 5), 0);
    EXPECT_EQ(file.Commit(), 0);
    EXPECT_EQ(fifo.reader.Finish(), "streamed bytes");
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    test::FifoReader drain(fifo.path);
    {
        OutputFile back;
        ASSERT_EQ(back.Open(fifo.path), 0);
        EXPECT_EQ(back.Write("head", 4), 0);
        EXPECT_EQ(back.Seek(0, SEEK_SET, at), ESPIPE);
        EXPECT_EQ(back.Commit(), ESPIPE);
    }
    EXPECT_EQ(drain.Finish(), "head");
}

// ------------------------------------------------------------------ SameFile

TEST(SameFile, AnySpellingOfOneFileIsTheSame) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    Put(dir / "a.wav", "a");
    Put(dir / "b.wav", "b");
    fs::create_symlink(dir / "a.wav", dir / "link.wav");
    fs::create_symlink(dir / "sub", dir / "sublink");
    fs::create_hard_link(dir / "a.wav", dir / "hard.wav");
    struct Case {
        fs::path a, b;
        bool same;
    };
    const Case cases[] = {
        {dir / "a.wav", dir / "a.wav", true},
        {dir / "a.wav", dir / "sub" / ".." / "a.wav", true},
        {dir / "a.wav", dir / "link.wav", true},
        {dir / "a.wav", dir / "hard.wav", true},
        {dir / "a.wav", dir / "b.wav", false},
        // Not there yet: the same place, also through a linked folder.
        {dir / "sub" / "new.wav", dir / "sublink" / "new.wav", true},
        {dir / "sub" / "new.wav", dir / "sub" / "." / "new.wav", true},
        {dir / "sub" / "new.wav", dir / "sub" / "other.wav", false},
        {dir / "a.wav", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameFile(c.a, c.b), c.same) << c.a << " vs " << c.b;
        EXPECT_EQ(SameFile(c.b, c.a), c.same) << c.b << " vs " << c.a;
    }
}

}  // namespace
}  // namespace dw
