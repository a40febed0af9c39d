#include "core/audio/VorbisComments.h"

#include <ogg/ogg.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace dw {

std::string ChapterTime(std::uint64_t frames, std::uint32_t rate) {
    const std::uint64_t ms = (frames * 1000 + rate / 2) / rate;
    char text[40];
    std::snprintf(text, sizeof text, "%02" PRIu64 ":%02" PRIu64 ":%02" PRIu64 ".%03" PRIu64, ms / 3600000,
                  ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

void AddChapter(std::vector<VorbisComment>& comments, std::size_t number, std::uint64_t startFrame,
                std::uint32_t rate, const std::string& name) {
    char key[32];
    std::snprintf(key, sizeof key, "CHAPTER%03zu", number);
    comments.push_back({key, ChapterTime(startFrame, rate)});
    comments.push_back({std::string(key) + "NAME", name});
}

namespace {

std::uint32_t GetLe32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
void PutLe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

bool AppendToCommentPacket(std::vector<unsigned char>& packet, const std::vector<VorbisComment>& extra) {
    std::size_t at = 0;
    if (packet.size() >= 7 && std::memcmp(packet.data(), "\x03vorbis", 7) == 0)
        at = 7;
    else if (packet.size() >= 8 && std::memcmp(packet.data(), "OpusTags", 8) == 0)
        at = 8;
    else
        return false;
    const auto take32 = [&](std::uint32_t& v) {
        if (packet.size() - at < 4) return false;
        v = GetLe32(packet.data() + at);
        at += 4;
        return true;
    };
    std::uint32_t length = 0, count = 0;
    if (!take32(length) || packet.size() - at < length) return false;
    at += length;
    const std::size_t countAt = at;
    if (!take32(count)) return false;
    for (std::uint32_t i = 0; i < count; ++i)
        if (!take32(length) || packet.size() - at < length) return false;
        else at += length;
    std::vector<unsigned char> added;
    for (const auto& c : extra) {
        const std::string text = c.name + "=" + c.value;
        unsigned char size[4];
        PutLe32(size, static_cast<std::uint32_t>(text.size()));
        added.insert(added.end(), size, size + 4);
        added.insert(added.end(), text.begin(), text.end());
    }
    packet.insert(packet.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
    PutLe32(packet.data() + countAt, count + static_cast<std::uint32_t>(extra.size()));
    return true;
}

struct OggCommentEditor::Reader {
    ogg_stream_state stream{};
    explicit Reader(std::uint32_t serial) { ogg_stream_init(&stream, static_cast<int>(serial)); }
    ~Reader() { ogg_stream_clear(&stream); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
};

OggCommentEditor::OggCommentEditor(std::uint32_t serial, std::vector<VorbisComment> extra)
    : serial_(serial), extra_(std::move(extra)), in_(std::make_unique<Reader>(serial)) {}

OggCommentEditor::~OggCommentEditor() = default;

void OggCommentEditor::Page(std::span<const unsigned char> bytes, std::vector<unsigned char>& out) {
    if (phase_ == Phase::PassThrough || bytes.size() < 27) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return;
    }
    if (phase_ == Phase::Shifting) {
        const std::size_t at = out.size();
        out.insert(out.end(), bytes.begin(), bytes.end());
        unsigned char* h = out.data() + at;
        PutLe32(h + 18, GetLe32(h + 18) + static_cast<std::uint32_t>(shift_));
        const std::size_t header = 27 + std::size_t{h[26]};
        ogg_page page{h, static_cast<long>(header), h + header, static_cast<long>(bytes.size() - header)};
        ogg_page_checksum_set(&page);
        return;
    }
    held_.insert(held_.end(), bytes.begin(), bytes.end());
    ++pagesIn_;
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    const std::size_t header = 27 + std::size_t{copy[26]};
    ogg_page page{copy.data(), static_cast<long>(header), copy.data() + header,
                  static_cast<long>(copy.size() - header)};
    if (ogg_stream_pagein(&in_->stream, &page) != 0) {
        Flush(out);
        return;
    }
    ogg_packet packet;
    while (ogg_stream_packetout(&in_->stream, &packet) == 1) {
        packets_.emplace_back(packet.packet, packet.packet + packet.bytes);
        if (packets_.size() == 1) {
            const auto& first = packets_.front();
            if (first.size() >= 7 && std::memcmp(first.data(), "\x01vorbis", 7) == 0)
                headerPackets_ = 3;
            else if (first.size() >= 8 && std::memcmp(first.data(), "OpusHead", 8) == 0)
                headerPackets_ = 2;
            else
                return Flush(out);
        }
        if (packets_.size() == headerPackets_) return Rewrite(out);
    }
}

void OggCommentEditor::Rewrite(std::vector<unsigned char>& out) {
    // The headers end their last page (both codecs ask it), so nothing of
    // the music is held here.
    if (!AppendToCommentPacket(packets_[1], extra_)) return Flush(out);
    ogg_stream_state paged;
    ogg_stream_init(&paged, static_cast<int>(serial_));
    long pagesOut = 0;
    const auto flush = [&] {
        ogg_page page;
        while (ogg_stream_flush(&paged, &page) != 0) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
            ++pagesOut;
        }
    };
    for (std::size_t i = 0; i < packets_.size(); ++i) {
        ogg_packet p{};
        p.packet = packets_[i].data();
        p.bytes = static_cast<long>(packets_[i].size());
        p.b_o_s = i == 0;
        p.packetno = static_cast<ogg_int64_t>(i);
        ogg_stream_packetin(&paged, &p);
        // The identification header has a page of its own.
        if (i == 0) flush();
    }
    flush();
    ogg_stream_clear(&paged);
    shift_ = pagesOut - pagesIn_;
    held_.clear();
    packets_.clear();
    phase_ = shift_ == 0 ? Phase::PassThrough : Phase::Shifting;
}

void OggCommentEditor::Flush(std::vector<unsigned char>& out) {
    // Nothing held (a seek before the headers, say): the headers may still come.
    if (held_.empty() && packets_.empty()) return;
    out.insert(out.end(), held_.begin(), held_.end());
    held_.clear();
    packets_.clear();
    phase_ = Phase::PassThrough;
}

}  // namespace dw
