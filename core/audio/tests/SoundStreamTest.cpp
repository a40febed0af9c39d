// Writing front to back: a WAV past the RIFF limit becomes RF64 (the limit is
// lowered here instead of writing 4 GiB), and what is read back is what was
// written, block after block.
#include "core/audio/SoundStream.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
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

}  // namespace
}  // namespace dw
