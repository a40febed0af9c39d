// Chains of variations from the command line: any stretch again equals the
// whole, memory stays at a couple of pieces whatever the length, endless
// music ends on a closed pipe or a signal, the options are checked, and FLAC,
// Ogg and Opus carry a chapter mark per piece.
// Pieces are 10 to 30 s at 11025 Hz so that long chains stay quick.
#include <FLAC/metadata.h>
#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/ChainRender.h"
#include "core/audio/ChainWriter.h"
#include "core/audio/VorbisComments.h"
#include "core/engine/Chain.h"
#include "cli/tests/RunProcess.h"

namespace dw::cli::test {
namespace {

namespace fs = std::filesystem;

void WriteSource(const fs::path& path) {
    SF_INFO info{};
    info.samplerate = 11025;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples(2 * 11025 * 3);
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        samples[2 * i] = static_cast<short>(8000 * std::sin(0.05 * static_cast<double>(i)));
        samples[2 * i + 1] = static_cast<short>(8000 * std::sin(0.031 * static_cast<double>(i)));
    }
    sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

std::vector<int> ReadInts(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<int> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_int(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return samples;
}

class ChainRender : public ::testing::Test {
protected:
    void SetUp() override { WriteSource(dir.path() / "src.wav"); }
    std::vector<std::string> Args(std::vector<std::string> more) const {
        std::vector<std::string> args = {"render", "src.wav", "--quality", "0", "--seed", "77", "-q"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    TempDir dir;
};

TEST(ChainDuration, ReadsSecondsClockTimesAndUnits) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"90", 90.0},     {"1.5", 1.5},          {"1:30:00", 5400.0}, {"45:00", 2700.0}, {"90m", 5400.0},
        {"8h", 28800.0},  {"30s", 30.0},         {"24h", 86400.0},    {"1:60", std::nullopt},
        {"", std::nullopt}, {"h", std::nullopt}, {"-5", std::nullopt}, {"1:2:3:4", std::nullopt},
        {"2x", std::nullopt}, {"1.5:00", std::nullopt}};
    for (const auto& [text, seconds] : cases) EXPECT_EQ(ParseDuration(text), seconds) << text;
}

TEST_F(ChainRender, AStretchFromTheMiddleEqualsTheWholeChainThere) {
    const auto base = Args({"--length", "10", "--crossfade", "3", "--duration", "30m"});
    auto whole = base, part = base;
    whole.insert(whole.end(), {"-o", "whole.flac"});
    part.insert(part.end(), {"--from", "20:00", "-o", "part.flac"});
    ASSERT_EQ(RunCli(whole, dir.path()).status, 0);
    const ProcessResult r = RunCli(part, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<int> a = ReadInts(dir.path() / "whole.flac");
    const std::vector<int> b = ReadInts(dir.path() / "part.flac");
    ASSERT_EQ(a.size(), 2u * 30 * 60 * 11025);
    ASSERT_EQ(b.size(), 2u * 10 * 60 * 11025);
    const std::size_t offset = 2u * 20 * 60 * 11025;
    for (std::size_t i = 0; i < b.size(); ++i) ASSERT_EQ(a[offset + i], b[i]) << "sample " << offset + i;
}

TEST_F(ChainRender, PeakMemoryStaysAtAFewPiecesWhateverTheLength) {
    // One piece of 30 s, then a chain of 70 such pieces (30 minutes): held
    // whole, the chain alone would take 159 MB over the single render's peak,
    // far above the bound of three pieces and a margin.
    const ProcessResult one = RunCli(Args({"--length", "30", "-o", "/dev/null", "--format", "wav-float"}), dir.path());
    ASSERT_EQ(one.status, 0) << one.err;
    const ProcessResult chain =
        RunCli(Args({"--length", "30", "--crossfade", "5", "--duration", "30m", "-o", "/dev/null", "--format",
                     "wav-float"}),
               dir.path());
    ASSERT_EQ(chain.status, 0) << chain.err;
    const long pieceKiB = 30L * 11025 * 8 / 1024;
    EXPECT_LT(chain.peakRssKiB, one.peakRssKiB + 3 * pieceKiB + 24 * 1024)
        << "one piece: " << one.peakRssKiB << " KiB, the chain: " << chain.peakRssKiB << " KiB";
}

TEST_F(ChainRender, ToAPipeAWavCarriesItsLengthInTheHeader) {
    const ProcessResult r = RunCliPiped(
        Args({"--length", "10", "--crossfade", "2", "--duration", "25", "--format", "wav-float", "-o", "-"}),
        dir.path(), "");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_GT(r.out.size(), 44u);
    EXPECT_EQ(r.out.substr(0, 4), "RIFF");
    const fs::path copy = dir.path() / "piped.wav";
    {
        std::FILE* f = std::fopen(copy.c_str(), "wb");
        std::fwrite(r.out.data(), 1, r.out.size(), f);
        std::fclose(f);
    }
    EXPECT_EQ(ReadInts(copy).size(), 2u * 25 * 11025);
}

TEST_F(ChainRender, EndlessEndsQuietlyWhenTheReaderClosesThePipe) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        if (::chdir(dir.path().c_str()) != 0) ::_exit(99);
        ::execl(DW_CLI_PATH, DW_CLI_PATH, "render", "src.wav", "--quality", "0", "--length", "10", "--crossfade",
                "2", "--endless", "--format", "ogg", "-o", "-", "-q", static_cast<char*>(nullptr));
        ::_exit(98);
    }
    ::close(fds[1]);
    std::vector<char> buffer(65536);
    std::size_t got = 0;
    while (got < 400000) {
        const ssize_t n = ::read(fds[0], buffer.data(), buffer.size());
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fds[0]);
    EXPECT_GE(got, 400000u) << "endless music ended by itself";
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The Vorbis comments of a FLAC file, as libFLAC's metadata reader finds them.
std::vector<std::string> FlacComments(const fs::path& path) {
    FLAC__StreamMetadata* tags = nullptr;
    if (!FLAC__metadata_get_tags(path.c_str(), &tags)) return {};
    std::vector<std::string> out;
    for (FLAC__uint32 i = 0; i < tags->data.vorbis_comment.num_comments; ++i) {
        const auto& e = tags->data.vorbis_comment.comments[i];
        out.emplace_back(reinterpret_cast<const char*>(e.entry), e.length);
    }
    FLAC__metadata_object_delete(tags);
    return out;
}

// The comments of an Ogg Vorbis or Opus file: its second packet, taken from
// the pages by libogg (which checks every page's checksum), parsed here.
std::vector<std::string> OggComments(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(0, in.tellg())), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    ogg_stream_state stream;
    bool started = false;
    std::vector<unsigned char> comment;
    int packets = 0;
    ogg_page page;
    while (comment.empty() && ogg_sync_pageout(&sync, &page) == 1) {
        if (!started) ogg_stream_init(&stream, ogg_page_serialno(&page));
        started = true;
        ogg_stream_pagein(&stream, &page);
        ogg_packet packet;
        while (ogg_stream_packetout(&stream, &packet) == 1)
            if (++packets == 2) comment.assign(packet.packet, packet.packet + packet.bytes);
    }
    if (started) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    std::size_t at = comment.size() >= 7 && comment[0] == 3 ? 7 : 8;  // "\x03vorbis" or "OpusTags"
    const auto take32 = [&](std::uint32_t& v) {
        if (comment.size() < at + 4) return false;
        v = comment[at] | comment[at + 1] << 8 | comment[at + 2] << 16 | std::uint32_t{comment[at + 3]} << 24;
        at += 4;
        return true;
    };
    std::uint32_t length = 0, count = 0;
    std::vector<std::string> out;
    if (!take32(length) || (at += length) > comment.size() || !take32(count)) return out;
    for (std::uint32_t i = 0; i < count && take32(length) && at + length <= comment.size(); ++i, at += length)
        out.emplace_back(reinterpret_cast<const char*>(comment.data() + at), length);
    return out;
}

std::vector<std::string> Chapters(const std::vector<std::string>& comments) {
    std::vector<std::string> out;
    for (const auto& c : comments)
        if (c.rfind("CHAPTER", 0) == 0) out.push_back(c);
    return out;
}

struct ChapterCase {
    const char* name;
    const char* format;
    std::vector<std::string> more;  // after a chain of 26 s of 10 s pieces crossing for 2 s
    std::vector<std::string> chapters;
};

class ChainMarks : public ChainRender, public ::testing::WithParamInterface<ChapterCase> {};

TEST_P(ChainMarks, MarkEachPieceAtItsStartWithItsSeed) {
    const ChapterCase& c = GetParam();
    const std::string out = std::string("chain.") + c.format;
    auto args = Args({"--length", "10", "--crossfade", "2", "--duration", "26", "-o", out});
    args.insert(args.end(), c.more.begin(), c.more.end());
    const ProcessResult r = RunCli(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path path = dir.path() / out;
    const std::vector<std::string> comments =
        std::string(c.format) == "flac" ? FlacComments(path) : OggComments(path);
    EXPECT_EQ(Chapters(comments), c.chapters);
    // The tags libsndfile wrote are still there, and the file still decodes whole.
    bool hasComment = false;
    for (const auto& t : comments) hasComment |= t.find("chain of 3 pieces of 10 s from seed 77") != std::string::npos;
    EXPECT_TRUE(hasComment);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_read_float(file, samples.data(), static_cast<sf_count_t>(samples.size())),
              static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    const double seconds = static_cast<double>(info.frames) / info.samplerate;
    const double expected = c.more.empty() ? 26.0 : 21.0;
    EXPECT_NEAR(seconds, expected, 0.05);
}

// Marks at these times (in the written file) for pieces 1, 2 and 3 of the chain seeded 77.
std::vector<std::string> Marks(std::vector<std::string> times) {
    std::vector<std::string> out;
    for (std::size_t k = 0; k < times.size(); ++k) {
        const std::string key = "CHAPTER00" + std::to_string(k + 1);
        out.push_back(key + "=" + times[k]);
        out.push_back(key + "NAME=piece " + std::to_string(k + 1) + ", seed " + std::to_string(PieceSeed(77, k)));
    }
    return out;
}
const std::vector<std::string> kWhole = Marks({"00:00:00.000", "00:00:08.000", "00:00:16.000"});
// From 5 s on: the first piece's mark at the file's start, the others 5 s earlier.
const std::vector<std::string> kFrom5 = Marks({"00:00:00.000", "00:00:03.000", "00:00:11.000"});

INSTANTIATE_TEST_SUITE_P(Chain, ChainMarks,
                         ::testing::Values(ChapterCase{"Flac", "flac", {}, kWhole},
                                           ChapterCase{"OggVorbis", "ogg", {}, kWhole},
                                           ChapterCase{"Opus", "opus", {}, kWhole},
                                           ChapterCase{"FlacFromFiveSeconds", "flac", {"--from", "5"}, kFrom5},
                                           ChapterCase{"OpusFromFiveSeconds", "opus", {"--from", "5"}, kFrom5}),
                         [](const auto& tc) { return std::string(tc.param.name); });

// The marks' times and where a chain gets none, without writing music.
TEST(ChainChapterList, TimesRoundToTheMillisecondAndOnePieceOrEndlessGetsNone) {
    const std::pair<std::uint64_t, const char*> times[] = {
        {0, "00:00:00.000"}, {11, "00:00:00.000"}, {12, "00:00:00.001"},  // half a millisecond: 11.025 frames
        {22050 * 61, "00:01:01.000"}, {22050ull * 3600 * 8 - 1, "08:00:00.000"}, {22050ull * 3600 * 100, "100:00:00.000"}};
    for (const auto& [frames, text] : times) EXPECT_EQ(ChapterTime(frames, 22050), text) << frames;

    ChainPlan plan;
    plan.seed = 3;
    plan.pieceFrames = 1000;
    plan.crossfadeFrames = 100;
    plan.totalFrames = 2800;  // pieces at 0, 900 and 1800
    EXPECT_EQ(ChainChapters(plan, 0, 1000).size(), 6u);
    EXPECT_EQ(ChainChapters(plan, 1000, 1000).size(), 4u) << "piece 1 no longer sounds from 1000 on";
    EXPECT_EQ(ChainChapters(plan, 1000, 1000)[0].value, "00:00:00.000") << "piece 2 starts the file";
    EXPECT_EQ(ChainChapters(plan, 1000, 1000)[2].value, "00:00:00.800");
    EXPECT_TRUE(ChainChapters(plan, 1900, 1000).empty()) << "only the last piece sounds";
    plan.totalFrames = 1000;
    EXPECT_TRUE(ChainChapters(plan, 0, 1000).empty()) << "one piece";
    plan.totalFrames.reset();
    EXPECT_TRUE(ChainChapters(plan, 0, 1000).empty()) << "endless";
}

struct SignalCase {
    const char* name;
    int signal;
    int status;
};

class EndlessSignal : public ChainRender, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(EndlessSignal, EndsWithTheUsualStatus) {
    const int pid = StartCli(Args({"--length", "10", "--crossfade", "2", "--endless", "--format", "ogg", "-o",
                                   "/dev/null"}),
                             dir.path());
    // Past the loading: the chain is being written once a piece has gone out.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(pid, GetParam().signal);
    const ProcessResult r = WaitCli(pid, dir.path());
    EXPECT_EQ(r.status, GetParam().status) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Chain, EndlessSignal,
                         ::testing::Values(SignalCase{"Interrupt", SIGINT, 130}, SignalCase{"Terminate", SIGTERM, 143}),
                         [](const auto& tc) { return std::string(tc.param.name); });

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    const char* says;
};

class ChainRefusal : public ChainRender, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ChainRefusal, IsBadUsageWithTheReasonAndWritesNothing) {
    const ProcessResult r = RunCli(Args(GetParam().args), dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "out.ogg"));
}

INSTANTIATE_TEST_SUITE_P(
    Chain, ChainRefusal,
    ::testing::Values(
        RefusalCase{"EndlessToARegularFile", {"--length", "10", "--crossfade", "2", "--endless", "-o", "out.ogg"},
                    "standard output, a FIFO or a device"},
        RefusalCase{"CrossfadeOverHalfAPiece", {"--length", "10", "--crossfade", "6", "--duration", "1h", "-o", "out.ogg"},
                    "longer than half a piece"},
        RefusalCase{"NoSuchDuration", {"--duration", "8x", "-o", "out.ogg"}, "--duration"},
        RefusalCase{"FromWithoutAChain", {"--from", "10", "-o", "out.ogg"}, "--from"},
        RefusalCase{"FromPastTheEnd", {"--length", "10", "--crossfade", "2", "--duration", "60", "--from", "2m",
                                       "-o", "out.ogg"}, "past the end"}),
    [](const auto& tc) { return std::string(tc.param.name); });

}  // namespace
}  // namespace dw::cli::test
