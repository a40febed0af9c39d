#include "core/audio/FlacWriter.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <nettle/md5.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "core/base/AllocationFault.h"
#include "core/base/OutputFile.h"
#include "core/base/WorkerPool.h"
#include "core/resources/StringTable.h"

// libFLAC exports this switch (its own flac tool uses it) but its installed
// headers do not declare it. Each chunk's encoder would otherwise compute an
// MD5 of its own chunk, of no use to the stream, at a fifth of the encoding
// time. Weak: where a libFLAC lacks it, the encoders just compute theirs.
extern "C" FLAC__bool FLAC__stream_encoder_set_do_md5(FLAC__StreamEncoder* encoder, FLAC__bool value)
    __attribute__((weak));

namespace dw {

namespace {

constexpr unsigned kBits = 24;
constexpr unsigned kDefaultLevel = 5;  // libFLAC's own default, which libsndfile keeps
// "fLaC", then the stream info's block header; the stream info itself is 34 bytes.
constexpr std::size_t kStreamInfoAt = 8;
constexpr std::size_t kStreamInfoSize = 34;
constexpr std::size_t kHeaderFront = kStreamInfoAt + kStreamInfoSize;
// Frames converted to integers at a time, by an encoder and for the MD5.
constexpr std::size_t kPiece = 8192;

// ------------------------------------------------------------------ frame headers

// The checksums of a FLAC frame: CRC-8 (x^8 + x^2 + x + 1) over its header and
// CRC-16 (x^16 + x^15 + x^2 + 1) over the whole frame, both from 0, most
// significant bit first, without final inversion.
template <class T, unsigned Bits, unsigned Poly>
constexpr std::array<T, 256> CrcTable() {
    std::array<T, 256> table{};
    constexpr unsigned top = 1u << (Bits - 1);
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << (Bits - 8);
        for (int b = 0; b < 8; ++b) crc = (crc & top) ? (crc << 1) ^ Poly : crc << 1;
        table[i] = static_cast<T>(crc);
    }
    return table;
}

constexpr auto kCrc8 = CrcTable<std::uint8_t, 8, 0x07>();
constexpr auto kCrc16 = CrcTable<std::uint16_t, 16, 0x8005>();

std::uint8_t Crc8(const unsigned char* data, std::size_t size) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) crc = kCrc8[crc ^ data[i]];
    return crc;
}

std::uint16_t Crc16(const unsigned char* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16[(crc >> 8) ^ data[i]]);
    return crc;
}

// (a * b) mod the CRC-16 polynomial, in GF(2)[x].
std::uint16_t MulMod16(std::uint16_t a, std::uint16_t b) {
    unsigned r = 0;
    for (int i = 15; i >= 0; --i) {
        r = (r & 0x8000) ? ((r << 1) ^ 0x8005) & 0xFFFF : r << 1;
        if ((b >> i) & 1) r ^= a;
    }
    return static_cast<std::uint16_t>(r);
}

// What `bytes` zero bytes appended to a message do to its CRC-16: it is
// multiplied by x^(8 * bytes) mod the polynomial.
std::uint16_t Crc16AfterZeros(std::uint16_t crc, std::size_t bytes) {
    std::uint16_t power = 0x0100;  // x^8
    for (; bytes != 0; bytes >>= 1) {
        if (bytes & 1) crc = MulMod16(crc, power);
        power = MulMod16(power, power);
    }
    return crc;
}

// The length of the UTF-8-like coded number that starts with `lead`; 0 for a
// byte that starts none.
std::size_t CodedLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    std::size_t ones = 0;
    while (ones < 8 && (lead & (0x80 >> ones))) ++ones;
    return ones >= 2 && ones <= 7 ? ones : 0;
}

// A frame number as the header codes it (31 bits at most: up to six bytes).
std::size_t CodeNumber(std::uint32_t n, unsigned char* out) {
    if (n < 0x80) {
        out[0] = static_cast<unsigned char>(n);
        return 1;
    }
    std::size_t length = 2;
    while (length < 6 && n >= (1u << (5 * length + 1))) ++length;
    for (std::size_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<unsigned char>(0x80 | (n & 0x3F));
        n >>= 6;
    }
    out[0] = static_cast<unsigned char>((0xFF00 >> length) | n);
    return length;
}

}  // namespace

bool RenumberFlacFrame(std::span<const unsigned char> frame, std::uint32_t number, std::vector<unsigned char>& out) {
    // Sync code, reserved bit 0, fixed block size; then the block size and
    // rate codes, the channels and sample size, the coded number.
    if (frame.size() < 7 || frame[0] != 0xFF || frame[1] != 0xF8 || number >= 0x80000000u) return false;
    const std::size_t coded = CodedLength(frame[4]);
    if (coded == 0 || coded > 6) return false;
    const unsigned sizeCode = frame[2] >> 4, rateCode = frame[2] & 0x0F;
    const std::size_t extra = (sizeCode == 6 ? 1 : sizeCode == 7 ? 2 : 0) +
                              (rateCode == 12 ? 1 : rateCode == 13 || rateCode == 14 ? 2 : 0);
    const std::size_t headerEnd = 4 + coded + extra;  // where the old CRC-8 sits
    if (frame.size() < headerEnd + 1 + 2) return false;

    unsigned char header[4 + 6 + 4 + 1];
    std::memcpy(header, frame.data(), 4);
    std::size_t h = 4 + CodeNumber(number, header + 4);
    std::memcpy(header + h, frame.data() + 4 + coded, extra);
    h += extra;
    header[h] = Crc8(header, h);
    ++h;
    const std::size_t oldHeader = headerEnd + 1;
    if (h < oldHeader) return false;  // numbers only grow: the header never shrinks
    // The CRC-16 is linear and blind to leading zeros, so the new one is the
    // old one plus that of the header's change followed by the unchanged
    // subframes as zeros: no pass over the whole frame again.
    unsigned char change[sizeof header];
    std::memcpy(change, header, h);
    for (std::size_t i = 0; i < oldHeader; ++i) change[h - oldHeader + i] ^= frame[i];
    const std::size_t body = frame.size() - 2 - oldHeader;
    const std::uint16_t crc = static_cast<std::uint16_t>(
        (frame[frame.size() - 2] << 8 | frame[frame.size() - 1]) ^ Crc16AfterZeros(Crc16(change, h), body));
    out.insert(out.end(), header, header + h);
    out.insert(out.end(), frame.begin() + static_cast<std::ptrdiff_t>(oldHeader), frame.end() - 2);
    out.push_back(static_cast<unsigned char>(crc >> 8));
    out.push_back(static_cast<unsigned char>(crc & 0xFF));
    return true;
}

bool FlacChunkMd5SwitchedOff() { return FLAC__stream_encoder_set_do_md5 != nullptr; }

std::string FlacPathText() {
    return "FLAC: our chunked encoder on " + std::to_string(SharedPool().Threads()) + " threads, " +
           (FlacChunkMd5SwitchedOff() ? "encoder MD5 switched off"
                                      : "encoder MD5 left on (the encoders compute their own MD5: slower)");
}

unsigned FlacLevel(std::optional<double> compression) {
    if (!compression) return kDefaultLevel;
    return static_cast<unsigned>(std::lrint(std::clamp(*compression, 0.0, 1.0) * 8.0));
}

namespace {

// ------------------------------------------------------------------ encoding

struct Settings {
    unsigned channels;
    unsigned rate;
    unsigned level;
};

using EncoderPtr = std::unique_ptr<FLAC__StreamEncoder, decltype(&FLAC__stream_encoder_delete)>;

EncoderPtr NewEncoder() { return EncoderPtr(FLAC__stream_encoder_new(), &FLAC__stream_encoder_delete); }

// Settings go in before every init: finishing resets them to the defaults.
bool Configure(FLAC__StreamEncoder* e, const Settings& s) {
    return FLAC__stream_encoder_set_channels(e, s.channels) && FLAC__stream_encoder_set_bits_per_sample(e, kBits) &&
           FLAC__stream_encoder_set_sample_rate(e, s.rate) && FLAC__stream_encoder_set_compression_level(e, s.level);
}

// The music's samples in the file's channel count, as integers, starting at
// frame `first`: the mono mix is taken in float as the other formats take it.
void ToIntegers(const StereoFrame* frames, std::size_t first, std::size_t count, unsigned channels,
                std::int32_t* out) {
    const StereoFrame* in = frames + first;
    if (channels == 1) {
        for (std::size_t i = 0; i < count; ++i) out[i] = FlacSample(0.5f * (in[i].left + in[i].right));
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            out[2 * i] = FlacSample(in[i].left);
            out[2 * i + 1] = FlacSample(in[i].right);
        }
    }
}

// Appends samples as FLAC's MD5 takes them: each in three bytes,
// little-endian, interleaved.
void PackForMd5(const std::int32_t* samples, std::size_t count, std::vector<unsigned char>& out) {
    const std::size_t at = out.size();
    out.resize(at + 3 * count);
    unsigned char* p = out.data() + at;
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint32_t>(samples[i]);
        p[3 * i] = static_cast<unsigned char>(v);
        p[3 * i + 1] = static_cast<unsigned char>(v >> 8);
        p[3 * i + 2] = static_cast<unsigned char>(v >> 16);
    }
}

// One chunk's frames, numbered for their place in the stream, and its
// samples packed for the stream's MD5 when the stream info gets one.
struct Chunk {
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> packed;  // empty when no MD5 is made
    std::uint32_t minFrame = 0, maxFrame = 0;  // sizes in bytes of its frames
    std::string failure;                       // empty when it was encoded
};

// Where a chunk's encoder writes: each frame is renumbered on arrival; the
// metadata that every encoder writes first is dropped. This runs inside
// libFLAC: nothing may leave it as an exception, so a failure is kept for the
// encoding to throw once libFLAC has returned. The chunk's bytes are reserved
// ahead, so the callback normally allocates nothing.
struct ChunkSink {
    Chunk* chunk;
    std::uint32_t nextNumber;
    bool malformed = false;
    std::exception_ptr error;

    static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                uint32_t samples, uint32_t, void* user) noexcept {
        auto& s = *static_cast<ChunkSink*>(user);
        if (samples == 0) return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        try {
            AllocationPoint(AllocationStage::FlacEncoding);
            const std::size_t before = s.chunk->bytes.size();
            if (!RenumberFlacFrame({buffer, bytes}, s.nextNumber++, s.chunk->bytes)) {
                s.malformed = true;
                return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
            }
            const auto size = static_cast<std::uint32_t>(s.chunk->bytes.size() - before);
            s.chunk->minFrame = s.chunk->minFrame == 0 ? size : std::min(s.chunk->minFrame, size);
            s.chunk->maxFrame = std::max(s.chunk->maxFrame, size);
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        } catch (...) {
            s.error = std::current_exception();
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
    }
};

// Collects what an encoder writes: the stream's front, from the encoder that
// only writes the metadata. Inside libFLAC too: a failure waits in `error`.
struct FrontSink {
    std::vector<unsigned char> bytes;
    std::exception_ptr error;

    static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                uint32_t, uint32_t, void* user) noexcept {
        auto& s = *static_cast<FrontSink*>(user);
        try {
            s.bytes.insert(s.bytes.end(), buffer, buffer + bytes);
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        } catch (...) {
            s.error = std::current_exception();
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
    }
};

std::string StateText(const FLAC__StreamEncoder* e) {
    return std::string("the FLAC encoder failed (") +
           FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(e)] + ")";
}

// "fLaC", the stream info and the Vorbis comment, as libFLAC writes them for
// these settings and tags, with the total of samples announced. An empty
// vector and `why` when the encoder refused.
std::vector<unsigned char> StreamFront(const Settings& settings, const SoundTags& tags, std::uint64_t total,
                                       std::string& why, const std::vector<VorbisComment>& extra = {}) {
    FrontSink sink;
    const EncoderPtr encoder = NewEncoder();
    std::unique_ptr<FLAC__StreamMetadata, decltype(&FLAC__metadata_object_delete)> comment(
        FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT), &FLAC__metadata_object_delete);
    if (!encoder || !comment) {
        why = "out of memory";
        return {};
    }
    // libsndfile's field names, in the order the tags are set. A text that
    // is no valid UTF-8 is left out, as libsndfile leaves it out.
    const std::pair<const char*, const std::string*> fields[] = {
        {"title", &tags.title}, {"artist", &tags.artist}, {"software", &tags.software},
        {"date", &tags.date},   {"comment", &tags.comment}};
    const auto append = [&](const char* name, const char* text) {
        FLAC__StreamMetadata_VorbisComment_Entry entry{};
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name, text)) return;
        if (!FLAC__metadata_object_vorbiscomment_append_comment(comment.get(), entry, /*copy=*/false))
            std::free(entry.entry);
    };
    for (const auto& [name, text] : fields)
        if (!text->empty()) append(name, text->c_str());
    for (const auto& c : extra) append(c.name.c_str(), c.value.c_str());
    FLAC__StreamMetadata* blocks[] = {comment.get()};
    if (!Configure(encoder.get(), settings) || !FLAC__stream_encoder_set_total_samples_estimate(encoder.get(), total) ||
        !FLAC__stream_encoder_set_metadata(encoder.get(), blocks, 1)) {
        why = StateText(encoder.get());
        return {};
    }
    const FLAC__StreamEncoderInitStatus status =
        FLAC__stream_encoder_init_stream(encoder.get(), &FrontSink::Write, nullptr, nullptr, nullptr, &sink);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        why = std::string("the FLAC encoder could not start (") + FLAC__StreamEncoderInitStatusString[status] + ")";
        return {};
    }
    FLAC__stream_encoder_finish(encoder.get());  // no samples: writes no frame
    if (sink.error) std::rethrow_exception(sink.error);
    std::vector<unsigned char>& front = sink.bytes;
    if (front.size() < kHeaderFront || std::memcmp(front.data(), "fLaC", 4) != 0 || (front[4] & 0x7F) != 0) {
        why = "the FLAC encoder wrote no stream info";
        return {};
    }
    return front;
}

// What the end of the stream tells its stream info: the sizes of the
// smallest and largest frames, the total of samples and their MD5.
void FillStreamInfo(unsigned char* info, std::uint32_t minFrame, std::uint32_t maxFrame, std::uint64_t total,
                    const std::uint8_t (&md5)[MD5_DIGEST_SIZE]) {
    for (int i = 0; i < 3; ++i) {
        info[4 + i] = static_cast<unsigned char>(minFrame >> (8 * (2 - i)));
        info[7 + i] = static_cast<unsigned char>(maxFrame >> (8 * (2 - i)));
    }
    // The 36-bit total: the low half of byte 13, then bytes 14 to 17.
    info[13] = static_cast<unsigned char>((info[13] & 0xF0) | ((total >> 32) & 0x0F));
    for (int i = 0; i < 4; ++i) info[14 + i] = static_cast<unsigned char>(total >> (8 * (3 - i)));
    std::memcpy(info + 18, md5, MD5_DIGEST_SIZE);
}

// The chunks' buffers, given back once written so that their capacity
// serves the chunks after: at most a window of them ever exists.
class ChunkStore {
public:
    Chunk Take() {
        std::lock_guard lock(mutex_);
        if (spare_.empty()) return {};
        Chunk c = std::move(spare_.back());
        spare_.pop_back();
        return c;
    }
    void Give(Chunk&& c) {
        c.bytes.clear();
        c.packed.clear();
        c.minFrame = c.maxFrame = 0;
        c.failure.clear();
        std::lock_guard lock(mutex_);
        spare_.push_back(std::move(c));
    }

private:
    std::mutex mutex_;
    std::vector<Chunk> spare_;
};

// How the music is cut into chunks, and each chunk's encoding.
class Encoding {
public:
    Encoding(const StereoFrame* frames, std::uint32_t count, const Settings& settings, std::uint32_t blockSize,
             const FlacChunking& chunking, bool pack)
        : frames_(frames), count_(count), settings_(settings), pack_(pack) {
        blocksPerChunk_ = std::max<std::uint32_t>(1, chunking.blocksPerChunk);
        chunkFrames_ = std::uint64_t{blockSize} * blocksPerChunk_;
        chunks_ = static_cast<std::size_t>((count + chunkFrames_ - 1) / chunkFrames_);
    }
    // Samples already in the file's channels (a stream's batch), whose first
    // chunk is chunk `firstChunk` of the whole stream.
    Encoding(const float* interleaved, std::uint64_t count, std::uint64_t firstChunk, const Settings& settings,
             std::uint32_t blockSize, const FlacChunking& chunking, bool pack)
        : Encoding(nullptr, 0, settings, blockSize, chunking, pack) {
        interleaved_ = interleaved;
        count_ = count;
        firstChunk_ = firstChunk;
        chunks_ = static_cast<std::size_t>((count + chunkFrames_ - 1) / chunkFrames_);
    }

    std::size_t Chunks() const { return chunks_; }
    std::uint64_t ChunkFrames() const { return chunkFrames_; }

    // Encodes chunk `k` with an encoder of its own (on whichever thread).
    Chunk Encode(std::size_t k, ChunkStore& store) {
        thread_local std::vector<std::int32_t> samples;
        Chunk slot = store.Take();
        const std::uint64_t first = k * chunkFrames_;
        const std::uint64_t end = std::min<std::uint64_t>(count_, first + chunkFrames_);
        // Room for the frames as libFLAC's verbatim worst case would write
        // them (three bytes a sample and every header), so that the write
        // callback inside libFLAC need not grow the vector.
        const std::size_t frames = static_cast<std::size_t>(end - first);
        slot.bytes.reserve(frames * settings_.channels * 3 + std::size_t{blocksPerChunk_} * (64 + 8 * settings_.channels));
        if (pack_) slot.packed.reserve(frames * settings_.channels * 3);
        ChunkSink sink{&slot, static_cast<std::uint32_t>((firstChunk_ + k) * blocksPerChunk_), false, nullptr};
        const EncoderPtr encoder = NewEncoder();
        if (!encoder) throw std::bad_alloc();
        FLAC__StreamEncoder* e = encoder.get();
        if (!Configure(e, settings_) ||
            (FLAC__stream_encoder_set_do_md5 != nullptr && !FLAC__stream_encoder_set_do_md5(e, false))) {
            slot.failure = StateText(e);
            return slot;
        }
        const FLAC__StreamEncoderInitStatus status =
            FLAC__stream_encoder_init_stream(e, &ChunkSink::Write, nullptr, nullptr, nullptr, &sink);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            slot.failure =
                std::string("the FLAC encoder could not start (") + FLAC__StreamEncoderInitStatusString[status] + ")";
            return slot;
        }
        samples.resize(kPiece * settings_.channels);
        bool ok = true;
        for (std::uint64_t at = first; ok && at < end; at += kPiece) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end - at));
            if (interleaved_ != nullptr) {
                const float* in = interleaved_ + at * settings_.channels;
                for (std::size_t i = 0; i < n * settings_.channels; ++i) samples[i] = FlacSample(in[i]);
            } else {
                ToIntegers(frames_, static_cast<std::size_t>(at), n, settings_.channels, samples.data());
            }
            if (pack_) PackForMd5(samples.data(), n * settings_.channels, slot.packed);
            ok = FLAC__stream_encoder_process_interleaved(e, samples.data(), static_cast<uint32_t>(n));
        }
        ok = FLAC__stream_encoder_finish(e) && ok;
        // Back in C++: what failed inside libFLAC's callback goes on from here.
        if (sink.error) std::rethrow_exception(sink.error);
        if (sink.malformed)
            slot.failure = "the FLAC encoder wrote a frame that could not be read back";
        else if (!ok)
            slot.failure = StateText(e);
        return slot;
    }

private:
    const StereoFrame* frames_;
    const float* interleaved_ = nullptr;  // instead of frames_: samples in the file's channels
    std::uint64_t count_;
    std::uint64_t firstChunk_ = 0;
    Settings settings_;
    bool pack_;  // the chunks' samples are packed for the MD5
    std::uint64_t chunkFrames_ = 0;
    std::uint32_t blocksPerChunk_ = 1;
    std::size_t chunks_ = 0;
};

}  // namespace

WriteResult WriteFlacFile(const std::filesystem::path& target, const StereoFrame* frames, std::uint32_t frameCount,
                          const SoundFormat& format, IProgress& progress, WriteError& error,
                          const WriteOptions& options, const FlacChunking& chunking) {
    const auto fail = [&](int messageId, std::string reason) {
        error = {messageId, std::move(reason)};
        return WriteResult::Failed;
    };
    const Settings settings{format.channels, format.sampleRate, FlacLevel(options.encoder.compression)};
    OutputFile file;
    if (const int err = file.Open(target)) return fail(IDS_ENCODER_CREATE_FAILED, ErrorText(err));
    std::string why;
    std::vector<unsigned char> front = StreamFront(settings, options.tags, frameCount, why);
    if (front.empty()) return fail(IDS_ENCODER_CREATE_FAILED, why);
    // The block size libFLAC chose for these settings, as its stream info says.
    const std::uint32_t blockSize = front[kStreamInfoAt] << 8 | front[kStreamInfoAt + 1];
    // A target that goes forward only keeps the front as it is: the total is
    // known from the start, and frame sizes and MD5 may stay 0 (unknown).
    if (const int err = file.Write(front.data(), front.size())) return fail(IDS_ENCODER_WRITE_FAILED, ErrorText(err));

    // Only a target that can go back gets the MD5 into its stream info.
    const bool md5Wanted = file.Seekable();
    Encoding encoding(frames, frameCount, settings, blockSize, chunking, md5Wanted);
    ChunkStore store;
    md5_ctx md5;
    md5_init(&md5);
    std::uint32_t minFrame = 0, maxFrame = 0;
    int bar = 0;
    // The writing thread takes the chunks in order, writes them, hears a
    // cancel and reports progress between them; a failure stops the rest.
    std::optional<WriteResult> stopped;
    CancelFlag stop;
    const auto consume = [&](std::size_t k, Chunk chunk) {
        if (!progress.IsRunning()) {
            stopped = WriteResult::Cancelled;
        } else if (!chunk.failure.empty()) {
            stopped = fail(IDS_ENCODER_WRITE_FAILED, chunk.failure);
        } else if (const int err = file.Write(chunk.bytes.data(), chunk.bytes.size())) {
            stopped = fail(IDS_ENCODER_WRITE_FAILED, ErrorText(err));
        }
        if (stopped) {
            stop.Cancel();
            return;
        }
        minFrame = minFrame == 0 ? chunk.minFrame : std::min(minFrame, chunk.minFrame);
        maxFrame = std::max(maxFrame, chunk.maxFrame);
        if (md5Wanted) md5_update(&md5, chunk.packed.size(), chunk.packed.data());
        store.Give(std::move(chunk));
        const std::uint64_t end = std::min<std::uint64_t>(frameCount, (k + 1) * encoding.ChunkFrames());
        const int percent = static_cast<int>(end * 100 / frameCount);
        if (percent != bar) {
            bar = percent;
            progress.SetProgress(percent);
        }
    };
    const auto produce = [&](std::size_t k) { return encoding.Encode(k, store); };
    if (!progress.IsRunning()) return WriteResult::Cancelled;
    std::optional<WorkerPool> own;
    if (chunking.workers != 0) own.emplace(chunking.workers);
    WorkerPool& pool = own ? *own : SharedPool();
    // Two chunks a thread in flight keep every thread busy while the writer
    // catches up, and memory small.
    pool.RunOrdered(encoding.Chunks(), 2 * std::size_t{pool.Threads()}, produce, consume, &stop);
    if (stopped) return *stopped;
    if (md5Wanted) {
        std::uint8_t digest[MD5_DIGEST_SIZE];
        md5_digest(&md5, MD5_DIGEST_SIZE, digest);
        FillStreamInfo(front.data() + kStreamInfoAt, minFrame, maxFrame, frameCount, digest);
        std::int64_t at = 0, end = file.Position();
        int err = file.Seek(static_cast<std::int64_t>(kStreamInfoAt), SEEK_SET, at);
        if (err == 0) err = file.Write(front.data() + kStreamInfoAt, kStreamInfoSize);
        if (err == 0) err = file.Seek(end, SEEK_SET, at);
        if (err != 0) return fail(IDS_ENCODER_WRITE_FAILED, ErrorText(err));
    }
    if (const int err = file.Commit()) return fail(IDS_ENCODER_WRITE_FAILED, ErrorText(err));
    progress.SetProgress(100);
    return WriteResult::Written;
}

// ------------------------------------------------------------------ streaming

// The MD5 as the chunks pass, and their buffers kept from batch to batch.
struct FlacStream::State {
    md5_ctx ctx;
    ChunkStore store;
};

FlacStream::FlacStream(OutputFile& file, const FlacChunking& chunking) : file_(file), chunking_(chunking) {}
FlacStream::~FlacStream() = default;

std::optional<WriteError> FlacStream::Failed(int err) {
    if (systemError_ == 0) systemError_ = err;
    return WriteError{IDS_ENCODER_WRITE_FAILED, ErrorText(err)};
}

std::optional<WriteError> FlacStream::Open(const SoundFormat& format, const WriteOptions& options,
                                           std::optional<std::uint64_t> totalFrames,
                                           const std::vector<VorbisComment>& extra) {
    channels_ = format.channels;
    rate_ = format.sampleRate;
    level_ = FlacLevel(options.encoder.compression);
    const Settings settings{channels_, rate_, level_};
    std::string why;
    front_ = StreamFront(settings, options.tags, totalFrames.value_or(0), why, extra);
    if (front_.empty()) return WriteError{IDS_ENCODER_CREATE_FAILED, why};
    blockSize_ = front_[kStreamInfoAt] << 8 | front_[kStreamInfoAt + 1];
    chunkFrames_ = std::uint64_t{blockSize_} * std::max<std::uint32_t>(1, chunking_.blocksPerChunk);
    WorkerPool& pool = SharedPool();
    const unsigned workers = chunking_.workers != 0 ? chunking_.workers : pool.Threads();
    batchFrames_ = chunkFrames_ * 2 * workers;
    batch_.reserve(static_cast<std::size_t>(batchFrames_ * channels_));
    md5Wanted_ = file_.Seekable();
    state_ = std::make_unique<State>();
    md5_init(&state_->ctx);
    if (const int err = file_.Write(front_.data(), front_.size())) return Failed(err);
    return std::nullopt;
}

std::optional<WriteError> FlacStream::Write(const float* samples, std::size_t frames) {
    while (frames > 0) {
        const std::size_t held = batch_.size() / channels_;
        const std::size_t n = std::min<std::size_t>(frames, static_cast<std::size_t>(batchFrames_ - held));
        batch_.insert(batch_.end(), samples, samples + n * channels_);
        samples += n * channels_;
        frames -= n;
        if (batch_.size() / channels_ == batchFrames_)
            if (auto f = EncodeBatch()) return f;
    }
    return std::nullopt;
}

// Encodes what the batch holds on the pool, the calling thread taking part
// and writing the chunks in order. Every batch but the last is whole chunks.
std::optional<WriteError> FlacStream::EncodeBatch() {
    const std::uint64_t frames = batch_.size() / channels_;
    if (frames == 0) return std::nullopt;
    const Settings settings{channels_, rate_, level_};
    Encoding encoding(batch_.data(), frames, chunksDone_, settings, blockSize_, chunking_, md5Wanted_);
    ChunkStore& store = state_->store;
    std::optional<WriteError> failure;
    CancelFlag stop;
    const auto produce = [&](std::size_t k) { return encoding.Encode(k, store); };
    const auto consume = [&](std::size_t, Chunk chunk) {
        if (!chunk.failure.empty()) {
            failure = WriteError{IDS_ENCODER_WRITE_FAILED, chunk.failure};
        } else if (const int err = file_.Write(chunk.bytes.data(), chunk.bytes.size())) {
            failure = Failed(err);
        }
        if (failure) {
            stop.Cancel();
            return;
        }
        minFrame_ = minFrame_ == 0 ? chunk.minFrame : std::min(minFrame_, chunk.minFrame);
        maxFrame_ = std::max(maxFrame_, chunk.maxFrame);
        if (md5Wanted_) md5_update(&state_->ctx, chunk.packed.size(), chunk.packed.data());
        store.Give(std::move(chunk));
    };
    std::optional<WorkerPool> own;
    if (chunking_.workers != 0) own.emplace(chunking_.workers);
    WorkerPool& pool = own ? *own : SharedPool();
    pool.RunOrdered(encoding.Chunks(), 2 * std::size_t{pool.Threads()}, produce, consume, &stop);
    if (failure) return failure;
    chunksDone_ += encoding.Chunks();
    framesDone_ += frames;
    batch_.clear();
    return std::nullopt;
}

std::optional<WriteError> FlacStream::Finish() {
    if (auto f = EncodeBatch()) return f;
    if (!md5Wanted_) return std::nullopt;
    std::uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&state_->ctx, MD5_DIGEST_SIZE, digest);
    FillStreamInfo(front_.data() + kStreamInfoAt, minFrame_, maxFrame_, framesDone_, digest);
    std::int64_t at = 0, end = file_.Position();
    int err = file_.Seek(static_cast<std::int64_t>(kStreamInfoAt), SEEK_SET, at);
    if (err == 0) err = file_.Write(front_.data() + kStreamInfoAt, kStreamInfoSize);
    if (err == 0) err = file_.Seek(end, SEEK_SET, at);
    if (err != 0) return Failed(err);
    return std::nullopt;
}

}  // namespace dw
