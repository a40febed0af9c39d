#pragma once
// A small colour value. The matrix editor and the row headers build their
// graph colours from hue, saturation and lightness with it; the arithmetic is
// single precision throughout so that the channels come out exactly the same
// on every machine.

#include <cstdint>

namespace dw {

class CProjectArchive;

class CColorRGB {
public:
    CColorRGB() = default;
    // hue, saturation and lightness in [0, 1].
    CColorRGB(float hue, float saturation, float lightness);

    // red | green << 8 | blue << 16.
    std::uint32_t ToColorRef() const;

    // Three bytes: red, green, blue.
    void Serialize(CProjectArchive& archive);
    void Serialize(CProjectArchive& archive) const;

    bool operator==(const CColorRGB&) const = default;

    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;

private:
    template <class Self>
    static void SerializeFields(Self& self, CProjectArchive& archive);
};

}  // namespace dw
