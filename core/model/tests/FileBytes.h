#pragma once
// Writes project-file bytes by hand, independently of the archive, so that
// the tests check the layout itself and not the archive against itself.

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace dw::test {

struct Bytes {
    std::vector<std::uint8_t> data;

    Bytes& u8(std::uint8_t v) {
        data.push_back(v);
        return *this;
    }
    Bytes& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& u64(std::uint64_t v) { return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32)); }
    Bytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Bytes& f32(float v) { return u32(std::bit_cast<std::uint32_t>(v)); }
    Bytes& f64(double v) { return u64(std::bit_cast<std::uint64_t>(v)); }
    Bytes& raw(const std::string& s) {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    // A marked UTF-16 text of ASCII characters with a one-byte length.
    Bytes& text(const std::string& ascii) {
        u8(0xFF).u16(0xFFFE).u8(static_cast<std::uint8_t>(ascii.size()));
        for (const char c : ascii) u16(static_cast<std::uint8_t>(c));
        return *this;
    }
};

struct FileSection {
    double start, end, sourceStart, sourceEnd;
};

// The fields of a project file, defaults as a new project has them.
struct ProjectFields {
    std::int32_t magic = 15657891;
    std::uint32_t version = 404;
    std::string path;  // ASCII, written as a marked UTF-16 text
    std::uint32_t musicLength = 64;
    double trimStart = 0.05, trimEnd = 0.95, baseMotifLength = 4.0;
    std::uint8_t fractalScanner = 1, loopMotifs = 0;
    std::uint32_t quality = 0, sampleRate = 11025;
    double volume = 0.5;
    std::uint8_t loopMusic = 0;
    std::uint32_t fadeIn = 3, fadeOut = 3, encoder = 0;
    std::uint8_t highCutOn = 0;
    double highCut = 0.25;
    std::uint8_t reverbOn = 0;
    double reverb = 0.25;
    std::uint8_t chorusOn = 0;
    double chorus = 0.25;
    std::int32_t rowCount = 8;
    std::int32_t n = 4;
    std::vector<std::vector<float>> rows = {
        {0.15f, 0.2f, 0.25f, 0.15f}, {0.15f, 0.2f, 0.25f, 0.15f}, {0.15f, 0.2f, 0.25f, 0.15f},
        {0.1f, 0.15f, 0.2f, 0.15f},  {0.2f, 0.3f, 0.4f, 0.3f},    {0.2f, 0.4f, 0.6f, 0.3f},
        {0.6f, 0.4f, 0.2f, 0.3f},    {0.2f, 0.3f, 0.4f, 0.3f}};
    std::int32_t s = 4;
    std::vector<FileSection> sections = {
        {0.0, 0.25, -1, -1}, {0.25, 0.5, -1, -1}, {0.5, 0.75, -1, -1}, {0.75, 1.0, -1, -1}};

    std::vector<std::uint8_t> Build() const {
        Bytes b;
        b.i32(magic).u32(version).text(path);
        b.u32(musicLength).f64(trimStart).f64(trimEnd).f64(baseMotifLength).u8(fractalScanner).u8(loopMotifs);
        b.u32(quality).u32(sampleRate).f64(volume).u8(loopMusic).u32(fadeIn).u32(fadeOut).u32(encoder);
        b.u8(highCutOn).f64(highCut).u8(reverbOn).f64(reverb).u8(chorusOn).f64(chorus);
        b.i32(rowCount).i32(n);
        for (const auto& row : rows)
            for (const float v : row) b.f32(v);
        b.i32(s);
        for (const auto& sec : sections) b.f64(sec.start).f64(sec.end).f64(sec.sourceStart).f64(sec.sourceEnd);
        return b.data;
    }
};

}  // namespace dw::test
