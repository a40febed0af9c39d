#pragma once
// Vorbis comments beyond the five tags libsndfile writes: a chain's chapter
// marks (CHAPTER001=00:00:00.000, CHAPTER001NAME=...), which players show as
// chapters. FLAC takes them in its own writer (FlacWriter.h); for Ogg Vorbis
// and Opus, whose comment header libsndfile writes, OggCommentEditor adds
// them to that header as the pages pass on their way to the file.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace dw {

struct VorbisComment {
    std::string name;
    std::string value;
};

// "HH:MM:SS.mmm" of `frames` at `rate`, rounded to the nearest millisecond.
std::string ChapterTime(std::uint64_t frames, std::uint32_t rate);

// CHAPTERnnn and CHAPTERnnnNAME for chapter `number` (from 1; three digits
// at least, as players expect).
void AddChapter(std::vector<VorbisComment>& comments, std::size_t number, std::uint64_t startFrame,
                std::uint32_t rate, const std::string& name);

// Adds `extra` after the comments of a Vorbis ("\x03vorbis") or Opus
// ("OpusTags") comment packet, keeping what follows them (Vorbis's framing
// bit, Opus's padding). False, and the packet untouched, when it is neither
// or is cut short.
bool AppendToCommentPacket(std::vector<unsigned char>& packet, const std::vector<VorbisComment>& extra);

// Passes the whole pages of one Ogg Vorbis or Opus stream (already carrying
// their final serial number) and adds comments to its comment header: the
// header pages are held until every header packet is in, the comment packet
// is extended, the headers are paged again by libogg (granule 0, as before),
// and every later page gets its sequence number moved by the pages gained,
// with its checksum made anew. A stream of another codec passes unchanged.
class OggCommentEditor {
public:
    OggCommentEditor(std::uint32_t serial, std::vector<VorbisComment> extra);
    ~OggCommentEditor();
    OggCommentEditor(const OggCommentEditor&) = delete;
    OggCommentEditor& operator=(const OggCommentEditor&) = delete;

    // Takes one whole page; appends to `out` what is to be written now.
    void Page(std::span<const unsigned char> page, std::vector<unsigned char>& out);
    // What is still held (a stream that ended inside its headers), as it came.
    void Flush(std::vector<unsigned char>& out);

private:
    void Rewrite(std::vector<unsigned char>& out);

    std::uint32_t serial_;
    std::vector<VorbisComment> extra_;
    enum class Phase { Headers, Shifting, PassThrough } phase_ = Phase::Headers;
    struct Reader;                     // libogg's, kept out of this header
    std::unique_ptr<Reader> in_;
    std::vector<unsigned char> held_;  // the header pages as they came
    std::vector<std::vector<unsigned char>> packets_;
    std::size_t headerPackets_ = 0;    // 3 for Vorbis, 2 for Opus; 0 until known
    long pagesIn_ = 0;
    long shift_ = 0;                   // pages gained by the headers
};

}  // namespace dw
