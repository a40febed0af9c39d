#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/base/OutputFile.h"
#include "core/model/ProjectFile.h"
#include "core/model/tests/FileBytes.h"
#include "core/base/testing/TestSupport.h"

// The largest single allocation made while `g_track` is set: a hostile file
// must never make the loader allocate for data the file does not hold.
namespace {
std::atomic<bool> g_track{false};
std::atomic<std::size_t> g_largest{0};
}  // namespace

// The replacements pair malloc with free on purpose; GCC cannot see that
// every pointer reaching our delete came from our new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (g_track.load(std::memory_order_relaxed) && size > g_largest.load(std::memory_order_relaxed))
        g_largest.store(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace dw {
namespace {

using test::Bytes;
using test::FileSection;
using test::ProjectFields;

const std::string kPastEnd = "Attempted to access an unnamed file past its end.";
const std::string kFileError = "Error encountered in the project file.";
const std::string kVersion = "Project version number is not sipported.";
const std::string kUnknown = "An unknown error occurred while accessing an unnamed file.";
const std::string kImproper = "Encountered an improper argument.";

// One folder for the whole run (the tests name their files apart), removed
// when the run ends.
const std::filesystem::path& TempDir() {
    static const test::TempDir dir;
    return dir.path();
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A project unlike the defaults in every stored field.
void MakeDistinct(CProject& p) {
    auto& pr = p.properties;
    pr.sourcePath = "/home/\xC3\xA9lise/Music/Fl\xC3\xBBte \xE2\x82\xAC \xF0\x9F\x8E\xB5.wav";
    pr.musicLength = 600;
    pr.trimStart = 0.125;
    pr.trimEnd = 0.875;
    pr.baseMotifLength = 7.5;
    pr.fractalScanner = false;
    pr.loopMotifs = true;
    pr.quality = 2;
    pr.sampleRate = 44100;
    pr.volume = 0.8;
    pr.loopMusic = true;
    pr.fadeIn = 7;
    pr.fadeOut = 9;
    pr.encoder = 3;
    pr.highCutOn = true;
    pr.highCut = 0.1;
    pr.reverbOn = true;
    pr.reverb = 0.2;
    pr.chorusOn = true;
    pr.chorus = 0.3;
    p.sections.Split(2);
    p.matrix.SplitColumn(2);
    p.sections.items[0].sourceStart = 0.2;
    p.sections.items[0].sourceEnd = 0.6;
    p.sections.items[3].sourceStart = 0.7;  // mixed: explicit start, default end
    p.matrix.rows[6][4] = 0.77f;
}

void ExpectSameStoredFields(const CProject& a, const CProject& b) {
    EXPECT_EQ(StoreProjectToBytes(a), StoreProjectToBytes(b));
    EXPECT_EQ(a.sections.items, b.sections.items);
    EXPECT_EQ(a.matrix.rows, b.matrix.rows);
    EXPECT_EQ(a.matrix.columnCount, b.matrix.columnCount);
    EXPECT_EQ(a.properties.sourcePath, b.properties.sourcePath);
}

// ---- the stored form -------------------------------------------------------

TEST(ProjectFile, DefaultProjectStoresIn366Bytes) {
    const CProject p;
    const auto bytes = StoreProjectToBytes(p);
    ASSERT_EQ(bytes.size(), 366u);
    const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + 12);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0xA3, 0xEB, 0xEE, 0x00, 0x94, 0x01, 0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x00}));
    // Exactly the bytes a hand-written default file holds.
    EXPECT_EQ(bytes, ProjectFields().Build());
}

TEST(ProjectFile, RoundTripInMemoryAndThroughAFile) {
    CProject original;
    MakeDistinct(original);
    ASSERT_EQ(CheckInvariants(original), "");

    CProject fromBytes;
    RecordingProgress sink;
    ASSERT_TRUE(LoadProjectFromBytes(fromBytes, StoreProjectToBytes(original), sink));
    EXPECT_TRUE(sink.messages.empty());
    ExpectSameStoredFields(original, fromBytes);

    const auto path = TempDir() / "round trip.dwv";
    ASSERT_TRUE(StoreProject(original, path, sink));
    CProject fromFile;
    EXPECT_EQ(LoadProjectFile(fromFile, path, sink), LoadResult::Loaded);
    ExpectSameStoredFields(original, fromFile);
    EXPECT_EQ(ReadAll(path), StoreProjectToBytes(original));
}

TEST(ProjectFile, ARelativeSourceBesideTheProjectIsTakenFromThere) {
    const auto dir = TempDir() / "travel";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "source.wav") << "x";
    RecordingProgress sink;
    struct Case {
        std::string stored;
        std::string loaded;
    };
    const Case cases[] = {
        {"source.wav", (dir / "source.wav").string()},        // beside the project
        {"missing.wav", "missing.wav"},                       // nothing there: kept
        {"C:\\Music\\a.wav", "C:\\Music\\a.wav"},           // another system's path: kept
        {"/music/source.wav", "/music/source.wav"},           // absolute: kept
    };
    for (const Case& c : cases) {
        CProject original;
        original.properties.sourcePath = c.stored;
        ASSERT_TRUE(StoreProject(original, dir / "p.dwv", sink));
        CProject loaded;
        ASSERT_EQ(LoadProjectFile(loaded, dir / "p.dwv", sink), LoadResult::Loaded);
        EXPECT_EQ(loaded.properties.sourcePath, c.loaded) << c.stored;
    }
}

TEST(ProjectFile, LoadTouchesNothingOutsideTheBlocksButSourceLoaded) {
    CProject p;
    p.musicOutdated = 0;
    p.properties.sourceFrames = MakeSilentFrames(8);
    StereoFrame* frames = p.properties.sourceFrames.get();
    p.properties.sourceFrameCount = 8;
    p.properties.sourceLoaded = true;
    p.graphs.names[0] = "changed";
    ProjectFields f;
    f.quality = 1;
    f.sampleRate = 22050;
    RecordingProgress sink;
    ASSERT_TRUE(LoadProjectFromBytes(p, f.Build(), sink));
    EXPECT_EQ(p.musicOutdated, 0u);
    EXPECT_EQ(p.properties.sourceFrames.get(), frames);
    EXPECT_EQ(p.properties.sourceFrameCount, 8u);
    EXPECT_FALSE(p.properties.sourceLoaded);
    EXPECT_EQ(p.graphs.names[0], "changed");
    EXPECT_EQ(p.properties.sampleRate, 22050u);
}

// Files other writers produce that follow the layout.
struct GoodFile {
    const char* name;
    std::vector<std::uint8_t> bytes;
    void (*check)(const CProject&);
};

std::vector<std::uint8_t> WithOneBytePath() {
    // The same file with the path written one byte per character, Windows-1252.
    ProjectFields f;
    auto bytes = f.Build();
    const std::vector<std::uint8_t> path = {9, 'C', ':', '\\', 'M', 0xFC, 's', 'i', 'k', 0x80};
    bytes.erase(bytes.begin() + 8, bytes.begin() + 12);
    bytes.insert(bytes.begin() + 8, path.begin(), path.end());
    return bytes;
}

std::vector<GoodFile> GoodFiles() {
    std::vector<GoodFile> files;
    {
        ProjectFields f;
        f.version = 400;
        files.push_back({"version 400", f.Build(), [](const CProject&) {}});
    }
    {
        ProjectFields f;
        f.rowCount = 5;  // read and ignored: eight rows are always read
        files.push_back({"row count 5", f.Build(), [](const CProject& p) {
                             EXPECT_EQ(p.matrix.rows[7], (std::vector<CCell>{0.2f, 0.3f, 0.4f, 0.3f}));
                         }});
    }
    {
        ProjectFields f;
        f.fractalScanner = 2;
        f.loopMusic = 0x80;
        files.push_back({"bool bytes 2 and 0x80", f.Build(), [](const CProject& p) {
                             EXPECT_TRUE(p.properties.fractalScanner);
                             EXPECT_TRUE(p.properties.loopMusic);
                             // Stored back as exactly 1.
                             const auto out = StoreProjectToBytes(p);
                             EXPECT_EQ(out[12 + 28], 1);
                         }});
    }
    {
        ProjectFields f;
        auto bytes = f.Build();
        bytes.insert(bytes.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01});
        files.push_back({"bytes after the sections block", bytes, [](const CProject&) {}});
    }
    files.push_back({"one-byte path in Windows-1252", WithOneBytePath(), [](const CProject& p) {
                         EXPECT_EQ(p.properties.sourcePath, "C:\\M\xC3\xBCsik\xE2\x82\xAC");
                     }});
    {
        ProjectFields f;
        f.path = "/music/source.wav";
        f.n = f.s = 1;
        f.rows.assign(8, {0.5f});
        f.sections = {{0.0, 1.0, 0.25, 0.5}};
        files.push_back({"one section with an explicit range", f.Build(), [](const CProject& p) {
                             EXPECT_EQ(p.sections.items, (std::vector<CSection>{{0.0, 1.0, 0.25, 0.5}}));
                             EXPECT_EQ(p.properties.sourcePath, "/music/source.wav");
                         }});
    }
    return files;
}

TEST(ProjectFile, LoadsFilesOfOtherWriters) {
    for (const auto& file : GoodFiles()) {
        CProject p;
        RecordingProgress sink;
        ASSERT_TRUE(LoadProjectFromBytes(p, file.bytes, sink)) << file.name;
        EXPECT_TRUE(sink.messages.empty()) << file.name;
        EXPECT_EQ(CheckInvariants(p), "") << file.name;
        file.check(p);
    }
}

// ---- refused, cut short and hostile files ----------------------------------

// After a failed load the project in use is exactly as before.
void ExpectRefused(const std::vector<std::uint8_t>& bytes, const std::string& message, MessageIcon icon,
                   const std::string& name) {
    CProject p;
    MakeDistinct(p);
    p.musicOutdated = 0;
    const auto before = StoreProjectToBytes(p);
    RecordingProgress sink;
    g_largest = 0;
    g_track = true;
    const bool loaded = LoadProjectFromBytes(p, bytes, sink);
    g_track = false;
    EXPECT_FALSE(loaded) << name;
    ASSERT_EQ(sink.messages.size(), 1u) << name;
    EXPECT_EQ(sink.messages[0].text, message) << name;
    EXPECT_EQ(sink.messages[0].icon, icon) << name;
    EXPECT_EQ(StoreProjectToBytes(p), before) << name;
    EXPECT_EQ(p.musicOutdated, 0u) << name;
    // Small fixed allowance for the loader's own objects, and a small
    // multiple of the file for what it holds.
    EXPECT_LE(g_largest.load(), 4096 + 4 * bytes.size()) << name;
}

TEST(ProjectFile, HeaderRefusals) {
    ProjectFields wrongMagic;
    wrongMagic.magic = 15657892;
    ExpectRefused(wrongMagic.Build(), kFileError, MessageIcon::Exclamation, "wrong magic");
    for (const std::uint32_t v : {0u, 399u, 405u, 0xFFFFFFFFu}) {
        ProjectFields f;
        f.version = v;
        ExpectRefused(f.Build(), kVersion, MessageIcon::Exclamation, "version " + std::to_string(v));
    }
}

TEST(ProjectFile, EveryTruncationStopsAtTheEndOfFileAndChangesNothing) {
    ProjectFields f;
    f.path = "/music/a.wav";
    const auto full = f.Build();
    for (std::size_t size = 0; size < full.size(); ++size) {
        const std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<long>(size));
        ExpectRefused(cut, kPastEnd, MessageIcon::Stop, "cut at " + std::to_string(size));
    }
}

struct HostileFile {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string message;
};

std::vector<std::uint8_t> HeaderThen(Bytes rest) {
    Bytes b;
    b.i32(15657891).u32(404);
    b.data.insert(b.data.end(), rest.data.begin(), rest.data.end());
    return b.data;
}

std::vector<std::uint8_t> WithCounts(std::int32_t n, std::int32_t s, bool cells) {
    ProjectFields f;
    f.n = n;
    f.s = s;
    if (!cells) f.rows.assign(8, {});
    f.sections.clear();
    return f.Build();
}

std::vector<HostileFile> HostileFiles() {
    return {
        {"path length 2^31-1 in UTF-16", HeaderThen(Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0x7FFFFFFF)),
         kPastEnd},
        {"path length 2^32-2 one byte each", HeaderThen(Bytes().u8(0xFF).u16(0xFFFF).u32(0xFFFFFFFE)), kPastEnd},
        {"path length in 64 bits above 2^31-1",
         HeaderThen(Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0xFFFFFFFF).u64(0x100000000ull)), kUnknown},
        {"path length in 64 bits 2^31-1",
         HeaderThen(Bytes().u8(0xFF).u16(0xFFFF).u32(0xFFFFFFFF).u64(0x7FFFFFFF)), kPastEnd},
        {"UTF-16 path length with top bit", HeaderThen(Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0x80000001)),
         kImproper},
        {"N = 2^31-1", WithCounts(0x7FFFFFFF, 4, false), kPastEnd},
        {"N negative", WithCounts(-1, 4, false), kImproper},
        {"N most negative", WithCounts(std::numeric_limits<std::int32_t>::min(), 0, false), kImproper},
        {"S = 2^31-1", WithCounts(4, 0x7FFFFFFF, true), kPastEnd},
        {"S = 200000000", WithCounts(4, 200000000, true), kPastEnd},
    };
}

TEST(ProjectFile, AllocationTrackingSeesAllocations) {
    g_largest = 0;
    g_track = true;
    auto* block = new std::vector<std::uint8_t>(100000);
    g_track = false;
    delete block;
    EXPECT_GE(g_largest.load(), 100000u);
}

TEST(ProjectFile, HostileFilesAllocateNothingTheyDoNotHold) {
    for (const auto& h : HostileFiles()) ExpectRefused(h.bytes, h.message, MessageIcon::Stop, h.name);
}

// The loading policy: each bad file is either repaired (and then satisfies
// every invariant) or refused with the project file message.
struct BadFile {
    const char* name;
    void (*mutate)(ProjectFields&);
    bool refused;
    void (*check)(const CProject&);  // for repaired files
};

void NoCheck(const CProject&) {}
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const BadFile kBadFiles[] = {
    // Clamped into range.
    {"musicLength 5", [](ProjectFields& f) { f.musicLength = 5; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.musicLength, 10u); }},
    {"musicLength 100000", [](ProjectFields& f) { f.musicLength = 100000; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.musicLength, 3599u); }},
    {"baseMotifLength 50", [](ProjectFields& f) { f.baseMotifLength = 50; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.baseMotifLength, 20.0); }},
    {"baseMotifLength 0.5", [](ProjectFields& f) { f.baseMotifLength = 0.5; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.baseMotifLength, 2.0); }},
    {"baseMotifLength above musicLength", [](ProjectFields& f) { f.musicLength = 10, f.baseMotifLength = 15; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.baseMotifLength, 10.0); }},
    {"sampleRate not that of quality", [](ProjectFields& f) { f.quality = 2, f.sampleRate = 11025; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.sampleRate, 44100u); }},
    {"volume 1.5", [](ProjectFields& f) { f.volume = 1.5; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.volume, 1.0); }},
    {"reverb -infinity", [](ProjectFields& f) { f.reverb = -kInf; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.reverb, 0.0); }},
    {"fades 99", [](ProjectFields& f) { f.fadeIn = 99, f.fadeOut = 11; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.fadeIn + p.properties.fadeOut, 20u); }},
    {"trimEnd 1.5", [](ProjectFields& f) { f.trimEnd = 1.5; }, false,
     [](const CProject& p) { EXPECT_EQ(p.properties.trimEnd, 1.0); }},
    {"cells 2 and -1", [](ProjectFields& f) { f.rows[2][1] = 2.0f, f.rows[5][3] = -1.0f; }, false,
     [](const CProject& p) { EXPECT_EQ(p.matrix.rows[2][1] + p.matrix.rows[5][3], 1.0f); }},
    {"source end 1.5", [](ProjectFields& f) { f.sections[1].sourceStart = 0.5, f.sections[1].sourceEnd = 1.5; }, false,
     [](const CProject& p) { EXPECT_EQ(p.sections.items[1].sourceEnd, 1.0); }},
    // Left by splitting a section whose end is the default marker: the mean of
    // a fraction and -1. A negative fraction can only mean the default.
    {"source start -0.3 from a split", [](ProjectFields& f) { f.sections[2].sourceStart = -0.3, f.sections[2].sourceEnd = 0.4; },
     false, [](const CProject& p) { EXPECT_TRUE(p.sections.items[2].HasDefaultSourceRange()); }},
    {"source end -0.3 from a split", [](ProjectFields& f) { f.sections[1].sourceStart = 0.4, f.sections[1].sourceEnd = -0.3; },
     false, [](const CProject& p) { EXPECT_EQ(p.sections.items[1], (CSection{0.25, 0.5, 0.4, -1.0})); }},
    // Kept as stored: editing makes these, and resolving handles them.
    {"mixed source range", [](ProjectFields& f) { f.sections[1].sourceStart = 0.3; }, false,
     [](const CProject& p) { EXPECT_EQ(p.sections.items[1].sourceEnd, -1.0); }},
    {"backwards source range", [](ProjectFields& f) { f.sections[1].sourceStart = 0.6, f.sections[1].sourceEnd = 0.2; },
     false, NoCheck},
    // Refused.
    {"quality 4", [](ProjectFields& f) { f.quality = 4; }, true, nullptr},
    {"encoder 9", [](ProjectFields& f) { f.encoder = 9; }, true, nullptr},
    {"volume NaN", [](ProjectFields& f) { f.volume = kNaN; }, true, nullptr},
    {"baseMotifLength NaN", [](ProjectFields& f) { f.baseMotifLength = kNaN; }, true, nullptr},
    {"trim reversed", [](ProjectFields& f) { f.trimStart = 0.9, f.trimEnd = 0.1; }, true, nullptr},
    {"trim both above 1", [](ProjectFields& f) { f.trimStart = 2, f.trimEnd = 3; }, true, nullptr},
    {"N 3 with S 4", [](ProjectFields& f) { f.n = 3, f.rows.assign(8, {0.1f, 0.1f, 0.1f}); }, true, nullptr},
    {"no section", [](ProjectFields& f) { f.n = 0, f.s = 0, f.rows.assign(8, {}), f.sections.clear(); }, true, nullptr},
    {"S negative", [](ProjectFields& f) { f.n = 0, f.s = -3, f.rows.assign(8, {}), f.sections.clear(); }, true, nullptr},
    {"sections overlap", [](ProjectFields& f) { f.sections[1].start = 0.2; }, true, nullptr},
    {"sections leave a gap", [](ProjectFields& f) { f.sections[1].end = 0.45; }, true, nullptr},
    {"sections unordered", [](ProjectFields& f) { std::swap(f.sections[1], f.sections[2]); }, true, nullptr},
    {"first does not start at 0", [](ProjectFields& f) { f.sections[0].start = 0.01; }, true, nullptr},
    {"last does not end at 1", [](ProjectFields& f) { f.sections[3].end = 0.99; }, true, nullptr},
    {"empty section", [](ProjectFields& f) { f.sections[1].end = 0.25, f.sections[2].start = 0.25; }, true, nullptr},
    {"section start NaN", [](ProjectFields& f) { f.sections[2].start = kNaN; }, true, nullptr},
    {"source start NaN", [](ProjectFields& f) { f.sections[2].sourceStart = kNaN; }, true, nullptr},
    {"cell NaN", [](ProjectFields& f) { f.rows[7][3] = std::numeric_limits<float>::quiet_NaN(); }, true, nullptr},
};

TEST(ProjectFile, BadFilesAreRepairedOrRefused) {
    for (const auto& bad : kBadFiles) {
        ProjectFields f;
        bad.mutate(f);
        const auto bytes = f.Build();
        if (bad.refused) {
            ExpectRefused(bytes, kFileError, MessageIcon::Exclamation, bad.name);
            continue;
        }
        CProject p;
        RecordingProgress sink;
        ASSERT_TRUE(LoadProjectFromBytes(p, bytes, sink)) << bad.name;
        EXPECT_TRUE(sink.messages.empty()) << bad.name;
        EXPECT_EQ(CheckInvariants(p), "") << bad.name;
        bad.check(p);
    }
}

// ---- files on disk ---------------------------------------------------------

TEST(ProjectFile, FilesThatCannotBeOpenedGiveNoMessage) {
    CProject p;
    RecordingProgress sink;
    EXPECT_EQ(LoadProjectFile(p, TempDir() / "missing.dwv", sink), LoadResult::CannotOpen);
    EXPECT_EQ(LoadProjectFile(p, TempDir(), sink), LoadResult::CannotOpen);
    const auto fifo = TempDir() / "fifo.dwv";
    ::mkfifo(fifo.c_str(), 0600);
    EXPECT_EQ(LoadProjectFile(p, fifo, sink), LoadResult::CannotOpen);  // and does not hang
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_FALSE(LoadProject(p, TempDir() / "missing.dwv", sink));
}

// A file that is refused is named in its message (escaped: a name is shown
// as the user typed it, never acted on by a terminal or a message box), with
// what is wrong in the user's words.
struct RefusedFile {
    const char* name;
    const char* file;
    std::vector<std::uint8_t> (*bytes)();
    std::string_view reason;
    const char* shownName;
};
void PrintTo(const RefusedFile& c, std::ostream* os) { *os << c.name; }

std::vector<std::uint8_t> TwoBytes() { return {1, 2}; }
std::vector<std::uint8_t> FullProject() {
    CProject project;
    project.SetDefaults();
    return StoreProjectToBytes(project);
}
std::vector<std::uint8_t> CutProject() {
    std::vector<std::uint8_t> b = FullProject();
    b.resize(b.size() / 2);
    return b;
}
std::vector<std::uint8_t> WaveHeader() {
    const std::string_view riff("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0", 28);
    return {riff.begin(), riff.end()};
}
std::vector<std::uint8_t> Mp3Frame() { return {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0, 0, 0}; }

class FileRefused : public ::testing::TestWithParam<RefusedFile> {};

TEST_P(FileRefused, IsNamedWithItsReason) {
    const RefusedFile& c = GetParam();
    const auto path = TempDir() / c.file;
    WriteAll(path, c.bytes());
    CProject p;
    p.SetDefaults();
    const std::vector<std::uint8_t> before = StoreProjectToBytes(p);
    RecordingProgress sink;
    EXPECT_EQ(LoadProjectFile(p, path, sink), LoadResult::Refused);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "The project file " + (TempDir() / c.shownName).string() + " was not loaded: " +
                                         std::string(c.reason));
    EXPECT_EQ(StoreProjectToBytes(p), before) << "the project in use is unchanged";
}

INSTANTIATE_TEST_SUITE_P(
    Disk, FileRefused,
    ::testing::Values(RefusedFile{"TwoBytes", "bad.dwv", TwoBytes, kMsgEndsEarly, "bad.dwv"},
                      RefusedFile{"CutInHalf", "cut.dwv", CutProject, kMsgEndsEarly, "cut.dwv"},
                      RefusedFile{"WaveFile", "song.wav", WaveHeader, kMsgNotAProject, "song.wav"},
                      RefusedFile{"Mp3File", "song.mp3", Mp3Frame, kMsgNotAProject, "song.mp3"},
                      RefusedFile{"ControlsInTheName", "cut\x1b]0;owned\x07\u202e.dwv", CutProject, kMsgEndsEarly,
                                  "cut\\e]0;owned\\x07\\u{202E}.dwv"}),
    [](const auto& p) { return std::string(p.param.name); });

std::vector<std::string> DirEntries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ProjectFile, StoreReplacesTheFileWholeAndKeepsItsMode) {
    const auto dir = TempDir() / "store";
    std::filesystem::create_directories(dir);
    const auto path = dir / "p.dwv";
    WriteAll(path, std::vector<std::uint8_t>(1000, 0x55));  // longer than the new file
    ::chmod(path.c_str(), 0640);
    CProject p;
    RecordingProgress sink;
    ASSERT_TRUE(StoreProject(p, path, sink));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(ReadAll(path), StoreProjectToBytes(p));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(DirEntries(dir), std::vector<std::string>{"p.dwv"}) << "a temporary file was left behind";
}

TEST(ProjectFile, StoreThroughASymbolicLinkKeepsTheLink) {
    const auto dir = TempDir() / "link";
    std::filesystem::create_directories(dir);
    const auto real = dir / "real.dwv";
    const auto link = dir / "link.dwv";
    WriteAll(real, {1});
    std::filesystem::remove(link);
    std::filesystem::create_symlink(real, link);
    CProject p;
    RecordingProgress sink;
    ASSERT_TRUE(StoreProject(p, link, sink));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadAll(real).size(), 366u);
}

TEST(ProjectFile, FailedStoreReportsAndLeavesThePreviousFile) {
    CProject p;
    struct Case {
        const char* name;
        std::filesystem::path path;
    };
    const auto dir = TempDir() / "fail";
    std::filesystem::create_directories(dir / "a folder.dwv");
    const Case cases[] = {
        {"missing folder", dir / "no such folder" / "p.dwv"},
        {"target is a folder", dir / "a folder.dwv"},
        {"target ends in a slash", dir / ""},
    };
    for (const auto& c : cases) {
        RecordingProgress sink;
        EXPECT_FALSE(StoreProject(p, c.path, sink)) << c.name;
        ASSERT_EQ(sink.messages.size(), 1u) << c.name;
        EXPECT_NE(sink.messages[0].text.find("Could not save the project"), std::string::npos) << c.name;
        EXPECT_EQ(sink.messages[0].icon, MessageIcon::Exclamation) << c.name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a folder.dwv"));
    EXPECT_EQ(DirEntries(dir), std::vector<std::string>{"a folder.dwv"}) << "a temporary file was left behind";
}

TEST(ProjectFile, AFullDiskFailsTheStoreWithItsReasonAndKeepsThePreviousFile) {
    const auto dir = TempDir() / "full";
    std::filesystem::create_directories(dir);
    WriteAll(dir / "p.dwv", {9, 9, 9});
    CProject p;
    RecordingProgress sink;
    SetOutputFileFaultsForTesting({.failAfterBytes = 100, .error = ENOSPC});
    const bool stored = StoreProject(p, dir / "p.dwv", sink);
    SetOutputFileFaultsForTesting({});
    EXPECT_FALSE(stored);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].text.find("No space left on device"), std::string::npos) << sink.messages[0].text;
    EXPECT_EQ(ReadAll(dir / "p.dwv"), (std::vector<std::uint8_t>{9, 9, 9}));
    EXPECT_EQ(DirEntries(dir), std::vector<std::string>{"p.dwv"}) << "a temporary file was left behind";
}

TEST(ProjectFile, FailedStoreShowsTheFileNameEscaped) {
    // A name that would retitle the terminal the message reaches.
    const auto dir = TempDir() / "fail-escaped";
    const auto folder = dir / "Eve\x1b]0;owned\x07ning.dwv";
    std::filesystem::create_directories(folder);
    CProject p;
    RecordingProgress sink;
    EXPECT_FALSE(StoreProject(p, folder, sink));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].text.find("Eve\\e]0;owned\\x07ning.dwv\": "), std::string::npos) << sink.messages[0].text;
    EXPECT_EQ(sink.messages[0].text.find('\x1b'), std::string::npos);
    EXPECT_EQ(sink.messages[0].text.find('\x07'), std::string::npos);
}

TEST(ProjectFile, StoreIntoAReadOnlyFolderFailsAndKeepsTheFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    CProject p;
    const auto locked = TempDir() / "locked";
    std::filesystem::create_directories(locked);
    WriteAll(locked / "p.dwv", {7, 7, 7});
    ::chmod(locked.c_str(), 0500);
    RecordingProgress sink;
    EXPECT_FALSE(StoreProject(p, locked / "p.dwv", sink));
    EXPECT_EQ(sink.messages.size(), 1u);
    ::chmod(locked.c_str(), 0700);
    EXPECT_EQ(ReadAll(locked / "p.dwv"), (std::vector<std::uint8_t>{7, 7, 7}));
}

}  // namespace
}  // namespace dw
