// FLAC encoded on several threads: the decoded samples, the frames and the
// MD5 are those of libsndfile's own FLAC writing (the way every FLAC file was
// written before), whatever the chunks and the number of workers; every frame
// header carries its place in the stream with valid checksums; the stream
// info, the tags, a pipe, a cancel. The same for music written block by
// block (FlacStream), whatever the blocks that come in.
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>

#include "core/audio/Export.h"
#include "core/audio/FlacWriter.h"
#include "core/audio/tests/TestSignals.h"
#include "core/base/AllocationFault.h"
#include "core/base/OutputFile.h"
#include "core/base/tests/FifoReader.h"

namespace dw {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kBlock = 4096;  // libFLAC's block size from level 3 on

// A tone with noise on one side, and samples at, beyond and just inside full
// scale, and halfway between two steps of 24 bits (where the rounding shows).
std::vector<StereoFrame> Music(std::uint32_t frames) {
    std::vector<StereoFrame> m(frames);
    std::uint32_t noise = 12345;
    for (std::uint32_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const auto tone = static_cast<float>(0.6 * std::sin(0.031 * i) + 0.3 * std::sin(0.173 * i));
        m[i] = {tone, 0.9f * tone + static_cast<float>(static_cast<std::int32_t>(noise)) * 1e-11f};
    }
    const float step = 1.0f / 8388608.0f;
    const float edges[] = {1.0f,       -1.0f,       1.5f,        -1.5f,        100.0f,      -100.0f,
                           1.0f - step, 1.0f - step / 2, -1.0f + step / 2, step / 2, 1.5f * step, 2.5f * step,
                           -step / 2,  -1.5f * step, 0.99999994f, -1.0000001f};
    for (std::size_t k = 0; k < std::size(edges) && k < frames; ++k) m[k * 97 % frames].left = edges[k];
    return m;
}

SoundFormat Flac(std::uint16_t channels = 2) {
    SoundFormat f = *FormatFromName("flac", kRate);
    f.channels = channels;
    return f;
}

// The file libsndfile writes for the same music: how every FLAC file was
// written before it was encoded on several threads.
void WriteWithLibsndfile(const std::filesystem::path& path, const std::vector<StereoFrame>& music,
                         std::uint16_t channels, std::optional<double> level, const SoundTags& tags = {}) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = channels;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    for (const auto& [kind, text] : {std::pair{SF_STR_TITLE, &tags.title}, std::pair{SF_STR_ARTIST, &tags.artist},
                                     std::pair{SF_STR_SOFTWARE, &tags.software}, std::pair{SF_STR_DATE, &tags.date},
                                     std::pair{SF_STR_COMMENT, &tags.comment}})
        if (!text->empty()) sf_set_string(f, kind, text->c_str());
    if (level) {
        double value = *level;
        ASSERT_EQ(sf_command(f, SFC_SET_COMPRESSION_LEVEL, &value, sizeof value), SF_TRUE);
    }
    std::vector<float> samples;
    for (const auto& m : music) {
        if (channels == 1) {
            samples.push_back(0.5f * (m.left + m.right));
        } else {
            samples.push_back(m.left);
            samples.push_back(m.right);
        }
    }
    ASSERT_EQ(sf_write_float(f, samples.data(), static_cast<sf_count_t>(samples.size())),
              static_cast<sf_count_t>(samples.size()));
    ASSERT_EQ(sf_close(f), 0);
}

// Every sample as libsndfile reads it back, in 24 bits.
std::vector<std::int32_t> Samples(const std::filesystem::path& path, SF_INFO* info = nullptr) {
    SF_INFO local{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &local);
    if (f == nullptr) return {};
    std::vector<std::int32_t> all(static_cast<std::size_t>(local.frames * local.channels));
    all.resize(static_cast<std::size_t>(sf_read_int(f, all.data(), static_cast<sf_count_t>(all.size()))));
    sf_close(f);
    for (auto& s : all) s >>= 8;
    if (info != nullptr) *info = local;
    return all;
}

// The blocks in front of the first frame: where the frames start.
std::size_t FramesStart(const std::string& file) {
    std::size_t at = 4;
    while (at + 4 <= file.size()) {
        const auto* h = reinterpret_cast<const unsigned char*>(file.data() + at);
        at += 4 + (std::size_t{h[1]} << 16 | std::size_t{h[2]} << 8 | h[3]);
        if (h[0] & 0x80) break;
    }
    return at;
}

struct StreamInfo {
    std::uint32_t minBlock, maxBlock, minFrame, maxFrame;
    std::uint64_t total;
    std::string md5;
};

StreamInfo InfoOf(const std::string& file) {
    const auto* s = reinterpret_cast<const unsigned char*>(file.data() + 8);
    auto be = [&](int at, int n) {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | s[at + i];
        return v;
    };
    return {static_cast<std::uint32_t>(be(0, 2)), static_cast<std::uint32_t>(be(2, 2)),
            static_cast<std::uint32_t>(be(4, 3)), static_cast<std::uint32_t>(be(7, 3)),
            be(13, 5) & 0xFFFFFFFFFull, file.substr(8 + 18, 16)};
}

// What `flac --test` says of a file (every frame's checksums and, where the
// stream info has one, the MD5 of the samples); none where Debian's flac
// package is not installed.
std::optional<bool> FlacToolAccepts(const std::filesystem::path& path) {
    if (std::system("command -v flac >/dev/null 2>&1") != 0) return std::nullopt;
    return std::system(("flac --test --silent '" + path.string() + "' 2>/dev/null").c_str()) == 0;
}

struct ChunkCase {
    const char* name;
    std::uint32_t frames;
    FlacChunking chunking;
    std::uint16_t channels;
    std::optional<double> compression;
};
void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

class FlacChunks : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(FlacChunks, GiveLibsndfilesSamplesFramesAndMd5) {
    const ChunkCase& c = GetParam();
    const auto music = Music(c.frames);
    test::TempDir dir;
    WriteOptions options;
    options.encoder.compression = c.compression;
    RecordingProgress progress;
    WriteError error;
    ASSERT_EQ(WriteFlacFile(dir / "new.flac", music.data(), c.frames, Flac(c.channels), progress, error, options,
                            c.chunking),
              WriteResult::Written)
        << error.reason;
    WriteWithLibsndfile(dir / "old.flac", music, c.channels, c.compression);

    SF_INFO info{};
    const auto samples = Samples(dir / "new.flac", &info);
    EXPECT_EQ(info.frames, c.frames);
    EXPECT_EQ(info.channels, c.channels);
    EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    const auto before = Samples(dir / "old.flac");
    ASSERT_EQ(samples.size(), before.size());
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i], before[i]) << "sample " << i;

    // The frames are libsndfile's byte for byte: each header renumbered and
    // both checksums right, or the bytes would differ. Levels 1 and 4 choose
    // the stereo coding once every few frames, and a chunk starts that count
    // anew: there only the samples must be the same.
    const std::string now = test::Slurp(dir / "new.flac"), then = test::Slurp(dir / "old.flac");
    const unsigned level = FlacLevel(c.compression);
    if (level != 1 && level != 4) {
        EXPECT_TRUE(now.substr(FramesStart(now)) == then.substr(FramesStart(then))) << "the frames differ";
    }
    const StreamInfo a = InfoOf(now), b = InfoOf(then);
    EXPECT_EQ(a.total, c.frames);
    EXPECT_EQ(a.md5, b.md5);
    EXPECT_NE(a.md5, std::string(16, '\0'));
    EXPECT_EQ(a.minBlock, b.minBlock);
    EXPECT_EQ(a.maxBlock, b.maxBlock);
    EXPECT_EQ(a.minFrame, b.minFrame);
    EXPECT_EQ(a.maxFrame, b.maxFrame);
    if (const auto ok = FlacToolAccepts(dir / "new.flac")) {
        EXPECT_TRUE(*ok) << "flac --test";
    }

    ASSERT_FALSE(progress.positions.empty());
    EXPECT_EQ(progress.positions.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end())) << "the bar never goes back";
}

INSTANTIATE_TEST_SUITE_P(
    Flac, FlacChunks,
    ::testing::Values(
        ChunkCase{"ShorterThanOneBlock", 1000, {1, 256}, 2, std::nullopt},
        ChunkCase{"ExactlyOneChunk", 4 * kBlock, {3, 4}, 2, std::nullopt},
        ChunkCase{"SeveralChunksShortLastFrameOneWorker", 4 * 5 * kBlock + 1234, {1, 4}, 2, std::nullopt},
        ChunkCase{"SeveralChunksShortLastFrameFourWorkers", 4 * 5 * kBlock + 1234, {4, 4}, 2, std::nullopt},
        ChunkCase{"ChunksOfOneBlockEndingOnABlock", 9 * kBlock, {5, 1}, 2, std::nullopt},
        // Frame numbers from 128 on take two bytes in the header.
        ChunkCase{"FrameNumbersGrowLonger", 130 * kBlock + 17, {4, 3}, 2, std::nullopt},
        ChunkCase{"Mono", 3 * kBlock + 5, {2, 1}, 1, std::nullopt},
        ChunkCase{"FastestLevel", 7 * 1152 + 3, {2, 2}, 2, 0.0},
        ChunkCase{"MiddleLevel", 5 * kBlock + 3, {2, 2}, 2, 0.5},
        ChunkCase{"LevelSix", 5 * kBlock + 3, {2, 2}, 2, 0.75},
        ChunkCase{"SmallestLevel", 5 * kBlock + 3, {2, 2}, 2, 1.0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FlacLevel, FollowsLibsndfilesScale) {
    const std::pair<std::optional<double>, unsigned> cases[] = {
        {std::nullopt, 5}, {0.0, 0}, {0.0625, 0}, {0.1, 1}, {0.3125, 2}, {0.34, 3},
        {0.5, 4},          {0.5625, 4}, {0.6, 5}, {0.8125, 6}, {0.9375, 8}, {1.0, 8}};
    for (const auto& [compression, level] : cases) EXPECT_EQ(FlacLevel(compression), level) << compression.value_or(-1);
}

// ------------------------------------------------------------------ frame headers

// A stream of one frame with the given number, decoded by libFLAC: which
// number its header carries and whether libFLAC found fault with it.
struct Decoded {
    std::uint64_t firstSample = 0;
    int frames = 0;
    int errors = 0;
};

Decoded DecodeOneFrame(const std::vector<unsigned char>& stream) {
    struct Reader {
        const std::vector<unsigned char>* bytes;
        std::size_t at = 0;
        Decoded result;
    } reader{&stream, 0, {}};
    FLAC__StreamDecoder* d = FLAC__stream_decoder_new();
    const auto read = [](const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* user) {
        auto& r = *static_cast<Reader*>(user);
        const std::size_t n = std::min(*bytes, r.bytes->size() - r.at);
        std::memcpy(buffer, r.bytes->data() + r.at, n);
        r.at += n;
        *bytes = n;
        return n == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    };
    const auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const[],
                          void* user) {
        auto& r = *static_cast<Reader*>(user);
        r.result.firstSample = frame->header.number.sample_number;
        ++r.result.frames;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    const auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* user) {
        ++static_cast<Reader*>(user)->result.errors;
    };
    FLAC__stream_decoder_init_stream(d, read, nullptr, nullptr, nullptr, nullptr, write, nullptr, error, &reader);
    FLAC__stream_decoder_process_until_end_of_stream(d);
    FLAC__stream_decoder_delete(d);
    return reader.result;
}

TEST(RenumberFlacFrame, AnyNumberDecodesWithValidChecksums) {
    // One frame of 4096 samples and the stream's front, from libFLAC itself.
    struct Out {
        std::vector<unsigned char> front, frame;
    } out;
    FLAC__StreamEncoder* e = FLAC__stream_encoder_new();
    FLAC__stream_encoder_set_channels(e, 2);
    FLAC__stream_encoder_set_bits_per_sample(e, 24);
    FLAC__stream_encoder_set_sample_rate(e, kRate);
    const auto collect = [](const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes, uint32_t samples,
                            uint32_t, void* user) {
        auto& o = *static_cast<Out*>(user);
        auto& into = samples == 0 ? o.front : o.frame;
        into.insert(into.end(), buffer, buffer + bytes);
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    };
    ASSERT_EQ(FLAC__stream_encoder_init_stream(e, collect, nullptr, nullptr, nullptr, &out),
              FLAC__STREAM_ENCODER_INIT_STATUS_OK);
    const auto music = Music(kBlock);
    std::vector<std::int32_t> samples;
    for (const auto& m : music) samples.insert(samples.end(), {FlacSample(m.left), FlacSample(m.right)});
    ASSERT_TRUE(FLAC__stream_encoder_process_interleaved(e, samples.data(), kBlock));
    FLAC__stream_encoder_finish(e);
    FLAC__stream_encoder_delete(e);
    ASSERT_FALSE(out.frame.empty());
    // The stream info leaves the total unknown (no estimate was given), so
    // that any frame number is in range.

    // Each length of the coded number, at both of its ends.
    for (const std::uint32_t number : {0u, 1u, 127u, 128u, 2047u, 2048u, 65535u, 65536u, (1u << 21) - 1, 1u << 21,
                                       (1u << 26) - 1, 1u << 26, 0x7FFFFFFFu}) {
        SCOPED_TRACE(number);
        std::vector<unsigned char> stream = out.front;
        ASSERT_TRUE(RenumberFlacFrame(out.frame, number, stream));
        const Decoded d = DecodeOneFrame(stream);
        EXPECT_EQ(d.errors, 0) << "a checksum or the header was refused";
        EXPECT_EQ(d.frames, 1);
        EXPECT_EQ(d.firstSample, std::uint64_t{number} * kBlock);
    }
    std::vector<unsigned char> untouched;
    EXPECT_FALSE(RenumberFlacFrame(std::span(out.front), 1, untouched)) << "the stream's front is no frame";
    EXPECT_FALSE(RenumberFlacFrame(std::span(out.frame).first(5), 1, untouched)) << "cut short";
    EXPECT_TRUE(untouched.empty());
}

// ------------------------------------------------------------------ tags, pipes, cancel

TEST(FlacWriter, TagsReadBackLikeLibsndfilesAndBadTextIsLeftOut) {
    const auto music = Music(kBlock);
    SoundTags tags{"Night Tide", "A. Listener", "Driftwell 9", "2026-05-28", "seed 77; Grüße"};
    test::TempDir dir;
    WriteOptions options;
    options.tags = tags;
    NullProgress progress;
    WriteError error;
    ASSERT_EQ(WriteFlacFile(dir / "t.flac", music.data(), kBlock, Flac(), progress, error, options),
              WriteResult::Written);
    // Text that is no UTF-8 is left out, as libsndfile leaves it out (which
    // cannot be shown here: libsndfile 1.2.0 frees such a tag twice).
    tags.artist = "not \xFF UTF-8";
    options.tags = tags;
    ASSERT_EQ(WriteFlacFile(dir / "bad.flac", music.data(), kBlock, Flac(), progress, error, options),
              WriteResult::Written);
    WriteWithLibsndfile(dir / "old.flac", music, 2, std::nullopt, options.tags = {tags.title, "A. Listener",
                                                                                  tags.software, tags.date,
                                                                                  tags.comment});
    const auto read = [](const std::filesystem::path& path) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        std::vector<std::string> texts;
        for (int kind : {SF_STR_TITLE, SF_STR_ARTIST, SF_STR_SOFTWARE, SF_STR_DATE, SF_STR_COMMENT}) {
            const char* t = f != nullptr ? sf_get_string(f, kind) : nullptr;
            texts.emplace_back(t != nullptr ? t : "");
        }
        if (f != nullptr) sf_close(f);
        return texts;
    };
    const std::vector<std::string> all{"Night Tide", "A. Listener", "Driftwell 9", "2026-05-28", "seed 77; Grüße"};
    EXPECT_EQ(read(dir / "t.flac"), all);
    auto old = read(dir / "old.flac");
    // libsndfile names itself after the software ("Driftwell 9 (libsndfile-1.2.0)"):
    // it no longer writes these files.
    EXPECT_EQ(old[2].rfind(all[2], 0), 0u);
    old[2] = all[2];
    EXPECT_EQ(read(dir / "t.flac"), old);
    EXPECT_EQ(read(dir / "bad.flac"), (std::vector<std::string>{all[0], "", all[2], all[3], all[4]}));
}

TEST(FlacWriter, APipeGetsTheWholeStreamWithItsLengthInFront) {
    const std::uint32_t frames = 6 * kBlock + 100;
    const auto music = Music(frames);
    test::FifoInTempDir fifo;
    ASSERT_TRUE(fifo.made);
    NullProgress progress;
    WriteError error;
    EXPECT_EQ(WriteFlacFile(fifo.path, music.data(), frames, Flac(), progress, error, {}, {3, 2}), WriteResult::Written)
        << error.reason;
    const std::string received = fifo.reader.Finish();
    std::ofstream(fifo.dir / "copy.flac", std::ios::binary) << received;
    WriteWithLibsndfile(fifo.dir / "old.flac", music, 2, std::nullopt);
    SF_INFO info{};
    EXPECT_EQ(Samples(fifo.dir / "copy.flac", &info), Samples(fifo.dir / "old.flac"));
    EXPECT_EQ(info.frames, frames);
    const StreamInfo s = InfoOf(received);
    EXPECT_EQ(s.total, frames) << "known before the first frame";
    EXPECT_EQ(s.md5, std::string(16, '\0')) << "unknown: a pipe cannot go back for it";
    if (const auto ok = FlacToolAccepts(fifo.dir / "copy.flac")) {
        EXPECT_TRUE(*ok) << "flac --test";
    }
}

TEST(FlacWriter, CancelBetweenChunksWritesNothing) {
    const std::uint32_t frames = 20 * kBlock;
    const auto music = Music(frames);
    test::TempDir dir;
    const auto target = dir / "keep.flac";
    std::ofstream(target) << "precious";
    RecordingProgress progress;
    progress.cancelAtReport = 1;  // after the second chunk's report
    WriteError error;
    EXPECT_EQ(WriteFlacFile(target, music.data(), frames, Flac(), progress, error, {}, {2, 1}), WriteResult::Cancelled);
    EXPECT_EQ(progress.positions.size(), 2u) << "no chunk went out after the cancel";
    EXPECT_TRUE(progress.messages.empty());
    EXPECT_EQ(test::Slurp(target), "precious");
    EXPECT_EQ(test::FilesIn(dir.path()), 1u) << "no temporary left behind";
}

TEST(FlacWriter, AFullDiskMidStreamStopsTheWorkersAndKeepsTheOldFile) {
    const std::uint32_t frames = 40 * kBlock;
    const auto music = Music(frames);
    test::TempDir dir;
    const auto target = dir / "old.flac";
    std::ofstream(target) << "the previous render";
    SetOutputFileFaultsForTesting({.failAfterBytes = 300000, .error = ENOSPC});  // a few chunks in
    RecordingProgress progress;
    WriteError error;
    const auto result = WriteFlacFile(target, music.data(), frames, Flac(), progress, error, {}, {3, 2});
    SetOutputFileFaultsForTesting({});
    EXPECT_EQ(result, WriteResult::Failed);
    EXPECT_EQ(error.reason, "No space left on device");
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_LT(progress.positions.back(), 100);
    EXPECT_EQ(test::Slurp(target), "the previous render");
    EXPECT_EQ(test::FilesIn(dir.path()), 1u) << "no temporary left behind";
}

// The switch is reached through a weak symbol: should this machine's libFLAC
// stop exporting it, the files stay right and only get slower, which nothing
// else would show.
TEST(FlacWriter, TheEncodersMd5SwitchResolvesOnThisMachine) {
    EXPECT_TRUE(FlacChunkMd5SwitchedOff())
        << "libFLAC no longer exports FLAC__stream_encoder_set_do_md5: every chunk computes an MD5 of its own";
}

// A failed allocation inside libFLAC's write callback must not unwind through
// libFLAC: it comes back out of the writer as itself, with the old file kept.
TEST(FlacWriter, RunningOutOfMemoryInsideLibflacKeepsTheOldFile) {
    const std::uint32_t frames = 40 * kBlock;
    const auto music = Music(frames);
    for (const unsigned nth : {1u, 7u, 30u}) {
        test::TempDir dir;
        const auto target = dir / "old.flac";
        std::ofstream(target) << "the previous render";
        RecordingProgress progress;
        WriteError error;
        ArmAllocationFault(AllocationStage::FlacEncoding, nth);
        EXPECT_THROW(WriteFlacFile(target, music.data(), frames, Flac(), progress, error, {}, {3, 2}), std::bad_alloc)
            << "frame " << nth;
        DisarmAllocationFault();
        EXPECT_EQ(test::Slurp(target), "the previous render");
        EXPECT_EQ(test::FilesIn(dir.path()), 1u) << "no temporary left behind";
    }
}

// ------------------------------------------------------------------ streaming

// Writes `music` through a FlacStream in blocks of `blockIn` frames.
std::optional<WriteError> Stream(const std::filesystem::path& path, const std::vector<StereoFrame>& music,
                                 std::uint16_t channels, std::size_t blockIn, const FlacChunking& chunking,
                                 std::optional<std::uint64_t> total, const std::vector<VorbisComment>& extra = {}) {
    std::vector<float> samples;
    for (const auto& m : music) {
        if (channels == 1) {
            samples.push_back(0.5f * (m.left + m.right));
        } else {
            samples.push_back(m.left);
            samples.push_back(m.right);
        }
    }
    OutputFile file;
    if (const int err = file.Open(path)) return WriteError{0, ErrorText(err)};
    FlacStream stream(file, chunking);
    if (auto f = stream.Open(Flac(channels), {}, total, extra)) return f;
    for (std::size_t at = 0; at < music.size(); at += blockIn)
        if (auto f = stream.Write(samples.data() + at * channels, std::min(blockIn, music.size() - at))) return f;
    if (auto f = stream.Finish()) return f;
    if (const int err = file.Commit()) return WriteError{0, ErrorText(err)};
    return std::nullopt;
}

struct StreamCase {
    const char* name;
    std::uint32_t frames;
    FlacChunking chunking;  // a batch is two chunks per worker
    std::size_t blockIn;
    std::uint16_t channels;
    bool totalKnown;
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class FlacStreamed : public ::testing::TestWithParam<StreamCase> {};

TEST_P(FlacStreamed, GivesLibsndfilesSamplesFramesAndMd5) {
    const StreamCase& c = GetParam();
    const auto music = Music(c.frames);
    test::TempDir dir;
    std::optional<std::uint64_t> total;
    if (c.totalKnown) total = c.frames;
    const auto failure = Stream(dir / "new.flac", music, c.channels, c.blockIn, c.chunking, total);
    ASSERT_FALSE(failure) << failure->reason;
    WriteWithLibsndfile(dir / "old.flac", music, c.channels, std::nullopt);

    const auto samples = Samples(dir / "new.flac"), before = Samples(dir / "old.flac");
    ASSERT_EQ(samples.size(), before.size());
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i], before[i]) << "sample " << i;
    const std::string now = test::Slurp(dir / "new.flac"), then = test::Slurp(dir / "old.flac");
    EXPECT_TRUE(now.substr(FramesStart(now)) == then.substr(FramesStart(then))) << "the frames differ";
    const StreamInfo a = InfoOf(now), b = InfoOf(then);
    EXPECT_EQ(a.total, c.frames) << "the true total, even where none was announced";
    EXPECT_EQ(a.md5, b.md5);
    EXPECT_EQ(a.minFrame, b.minFrame);
    EXPECT_EQ(a.maxFrame, b.maxFrame);
    if (const auto ok = FlacToolAccepts(dir / "new.flac")) {
        EXPECT_TRUE(*ok) << "flac --test";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Flac, FlacStreamed,
    ::testing::Values(
        // Two workers of two-block chunks: batches of 8 blocks.
        StreamCase{"OddBlocksAcrossBatches", 3 * 8 * kBlock + 777, {2, 2}, 5000, 2, true},
        StreamCase{"EndingOnABatch", 2 * 8 * kBlock, {2, 2}, 8 * kBlock, 2, true},
        StreamCase{"BlocksLargerThanABatch", 5 * 8 * kBlock + 3, {2, 2}, 20 * kBlock + 1, 2, true},
        StreamCase{"ShorterThanOneBlock", 1000, {2, 2}, 64, 2, true},
        StreamCase{"TotalNotKnownAhead", 2 * 8 * kBlock + 9, {2, 2}, 7777, 2, false},
        StreamCase{"Mono", 2 * 4 * kBlock + 5, {2, 1}, 3000, 1, true},
        // Frame numbers from 128 on take two bytes in the header.
        StreamCase{"FrameNumbersGrowLonger", 130 * kBlock + 17, {1, 3}, 65536, 2, true}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FlacStream, APipeGetsTheStreamWithItsLengthAndChaptersInFront) {
    const std::uint32_t frames = 6 * kBlock + 100;
    const auto music = Music(frames);
    test::FifoInTempDir fifo;
    ASSERT_TRUE(fifo.made);
    std::vector<VorbisComment> chapters;
    AddChapter(chapters, 1, 0, kRate, "piece 1, seed 5");
    AddChapter(chapters, 2, 3 * kRate + 22, kRate, "piece 2, seed 6");
    const auto failure = Stream(fifo.path, music, 2, 4000, {2, 1}, frames, chapters);
    ASSERT_FALSE(failure) << failure->reason;
    const std::string received = fifo.reader.Finish();
    std::ofstream(fifo.dir / "copy.flac", std::ios::binary) << received;
    WriteWithLibsndfile(fifo.dir / "old.flac", music, 2, std::nullopt);
    EXPECT_EQ(Samples(fifo.dir / "copy.flac"), Samples(fifo.dir / "old.flac"));
    const StreamInfo s = InfoOf(received);
    EXPECT_EQ(s.total, frames) << "known before the first frame";
    EXPECT_EQ(s.md5, std::string(16, '\0')) << "unknown: a pipe cannot go back for it";
    if (const auto ok = FlacToolAccepts(fifo.dir / "copy.flac")) {
        EXPECT_TRUE(*ok) << "flac --test";
    }
    SNDFILE* f = nullptr;
    SF_INFO info{};
    f = sf_open((fifo.dir / "copy.flac").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    sf_close(f);
    EXPECT_NE(received.find("CHAPTER002=00:00:03.000"), std::string::npos);
    EXPECT_NE(received.find("CHAPTER002NAME=piece 2, seed 6"), std::string::npos);
}

TEST(FlacStream, AFullDiskMidStreamKeepsTheOldFileAndSaysWhy) {
    const auto music = Music(40 * kBlock);
    test::TempDir dir;
    const auto target = dir / "old.flac";
    std::ofstream(target) << "the previous render";
    SetOutputFileFaultsForTesting({.failAfterBytes = 300000, .error = ENOSPC});  // a few batches in
    const auto failure = Stream(target, music, 2, 5000, {2, 2}, music.size());
    SetOutputFileFaultsForTesting({});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->reason, "No space left on device");
    EXPECT_EQ(test::Slurp(target), "the previous render");
    EXPECT_EQ(test::FilesIn(dir.path()), 1u) << "no temporary left behind";
}

}  // namespace
}  // namespace dw
