// Writing front to back: a WAV past the RIFF limit becomes RF64 (the limit is
// lowered here instead of writing 4 GiB), and what is read back is what was
// written, block after block. Comments added to Ogg Vorbis and Opus leave
// the music as it was and the pages a valid stream, however many pages the
// comment header grows by.
#include "core/audio/SoundStream.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/base/testing/TestSupport.h"

namespace dw {
namespace {

struct Rf64Case {
    const char* name;
    std::uint64_t limit;  // 0: the real one
    const char* magic;
};

class StreamWav : public ::testing::TestWithParam<Rf64Case> {
protected:
    void TearDown() override { SetRf64LimitForTesting(0); }
};

TEST_P(StreamWav, PastTheLimitIsRf64AndReadsBackTheSame) {
    SetRf64LimitForTesting(GetParam().limit);
    test::TempDir dir;
    const auto path = dir.path() / "long.wav";
    const std::uint32_t rate = 11025;
    std::vector<StereoFrame> music(3 * rate);
    for (std::size_t i = 0; i < music.size(); ++i)
        music[i] = {0.5f * std::sin(0.01f * static_cast<float>(i)), -0.25f};
    StreamOptions options;
    options.totalFrames = music.size();
    SoundStreamWriter writer;
    ASSERT_FALSE(writer.Open(path, rate, *FormatFromName("wav-float", rate), options));
    for (std::size_t at = 0; at < music.size(); at += 10000)
        ASSERT_FALSE(writer.Write(std::span(music).subspan(at, std::min<std::size_t>(10000, music.size() - at))));
    ASSERT_FALSE(writer.Finish());
    EXPECT_EQ(writer.Rf64(), std::string(GetParam().magic) == "RF64");

    std::ifstream in(path, std::ios::binary);
    char magic[5] = {};
    in.read(magic, 4);
    EXPECT_STREQ(magic, GetParam().magic);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(info.frames, static_cast<sf_count_t>(music.size()));
    std::vector<StereoFrame> back(music.size());
    sf_readf_float(file, reinterpret_cast<float*>(back.data()), info.frames);
    sf_close(file);
    for (std::size_t i = 0; i < music.size(); ++i) ASSERT_EQ(back[i].left, music[i].left) << i;
}

INSTANTIATE_TEST_SUITE_P(Stream, StreamWav,
                         ::testing::Values(Rf64Case{"UnderTheLimit", 0, "RIFF"},
                                           Rf64Case{"OverALoweredLimit", 1000, "RF64"}),
                         [](const auto& tc) { return std::string(tc.param.name); });

TEST(StreamWriter, EndlessMusicNeedsAFormatThatStreams) {
    test::TempDir dir;
    SoundStreamWriter writer;
    const auto failure = writer.Open(dir.path() / "x.wav", 11025, *FormatFromName("wav-float", 11025), {});
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->reason.find("streams"), std::string::npos) << failure->reason;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// What libogg finds in an Ogg file: whether every page was whole with its
// checksum right, the pages' sequence numbers and serials, and the comments
// of the second packet.
struct OggWalk {
    bool clean = true;
    std::vector<long> pageNumbers;
    std::vector<int> serials;
    std::vector<std::string> comments;
};

OggWalk Walk(const std::filesystem::path& path) {
    OggWalk walk;
    const std::string bytes = test::Slurp(path);
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    ogg_stream_state stream{};
    std::vector<unsigned char> comment;
    int packets = 0;
    ogg_page page;
    for (int got; (got = ogg_sync_pageout(&sync, &page)) != 0;) {
        if (got < 0) {
            walk.clean = false;  // bytes skipped: a page broken or its checksum wrong
            continue;
        }
        if (walk.pageNumbers.empty()) ogg_stream_init(&stream, ogg_page_serialno(&page));
        walk.pageNumbers.push_back(ogg_page_pageno(&page));
        walk.serials.push_back(ogg_page_serialno(&page));
        ogg_stream_pagein(&stream, &page);
        ogg_packet packet;
        while (packets < 2 && ogg_stream_packetout(&stream, &packet) == 1)
            if (++packets == 2) comment.assign(packet.packet, packet.packet + packet.bytes);
    }
    if (!walk.pageNumbers.empty()) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    std::size_t at = !comment.empty() && comment[0] == 3 ? 7 : 8;  // "\x03vorbis" or "OpusTags"
    const auto take32 = [&](std::uint32_t& v) {
        if (comment.size() < at + 4) return false;
        v = comment[at] | comment[at + 1] << 8 | comment[at + 2] << 16 | std::uint32_t{comment[at + 3]} << 24;
        at += 4;
        return true;
    };
    std::uint32_t length = 0, count = 0;
    if (!take32(length) || (at += length) > comment.size() || !take32(count)) return walk;
    for (std::uint32_t i = 0; i < count && take32(length) && at + length <= comment.size(); ++i, at += length)
        walk.comments.emplace_back(reinterpret_cast<const char*>(comment.data() + at), length);
    return walk;
}

std::vector<float> Decoded(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(sf_read_float(file, samples.data(), static_cast<sf_count_t>(samples.size()))));
    sf_close(file);
    return samples;
}

struct OggCommentCase {
    const char* name;
    const char* format;
    std::size_t valueBytes;  // of each of the three comments added
};

class OggComments : public ::testing::TestWithParam<OggCommentCase> {};

TEST_P(OggComments, FollowTheTagsAndLeaveTheMusicAsItWas) {
    const OggCommentCase& c = GetParam();
    const std::uint32_t rate = 48000;
    std::vector<StereoFrame> music(2 * rate);
    for (std::size_t i = 0; i < music.size(); ++i)
        music[i] = {0.4f * std::sin(0.02f * static_cast<float>(i)), 0.3f * std::sin(0.013f * static_cast<float>(i))};
    test::TempDir dir;
    const auto write = [&](const char* name, std::vector<VorbisComment> comments) {
        StreamOptions options;
        options.totalFrames = music.size();
        options.write.tags.title = "title";
        options.write.tags.comment = "the comment";
        options.oggSerial = 4321;
        options.comments = std::move(comments);
        SoundStreamWriter writer;
        ASSERT_FALSE(writer.Open(dir / name, rate, *FormatFromName(c.format, rate), options));
        for (std::size_t at = 0; at < music.size(); at += 9000)
            ASSERT_FALSE(writer.Write(std::span(music).subspan(at, std::min<std::size_t>(9000, music.size() - at))));
        ASSERT_FALSE(writer.Finish());
    };
    std::vector<VorbisComment> extra;
    for (int i = 1; i <= 3; ++i) extra.push_back({"CHAPTER00" + std::to_string(i), std::string(c.valueBytes, 'a' + i)});
    write("plain", {});
    write("marked", extra);

    const OggWalk plain = Walk(dir / "plain"), marked = Walk(dir / "marked");
    EXPECT_TRUE(marked.clean) << "a page broken or with a wrong checksum";
    ASSERT_FALSE(marked.pageNumbers.empty());
    for (std::size_t i = 0; i < marked.pageNumbers.size(); ++i) {
        ASSERT_EQ(marked.pageNumbers[i], static_cast<long>(i)) << "page " << i;
        ASSERT_EQ(marked.serials[i], 4321);
    }
    std::vector<std::string> expected = plain.comments;
    ASSERT_FALSE(expected.empty());
    for (const auto& e : extra) expected.push_back(e.name + "=" + e.value);
    EXPECT_EQ(marked.comments, expected);
    if (c.valueBytes > 70000) {
        EXPECT_GT(marked.pageNumbers.size(), plain.pageNumbers.size()) << "the header should have grown by pages";
    }
    const std::vector<float> a = Decoded(dir / "plain"), b = Decoded(dir / "marked");
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "the music changed";
}

INSTANTIATE_TEST_SUITE_P(Stream, OggComments,
                         ::testing::Values(OggCommentCase{"VorbisShort", "ogg", 20},
                                           OggCommentCase{"OpusShort", "opus", 20},
                                           // 3 x 80 kB: the comment header takes pages more.
                                           OggCommentCase{"VorbisOverSeveralPages", "ogg", 80000},
                                           OggCommentCase{"OpusOverSeveralPages", "opus", 80000}),
                         [](const auto& tc) { return std::string(tc.param.name); });

}  // namespace
}  // namespace dw
