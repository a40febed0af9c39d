#include "core/model/ColorRGB.h"

#include "core/model/ProjectArchive.h"

namespace dw {
namespace {

// The low byte of trunc(v * 255). Out-of-range inputs only make odd colours,
// never an undefined float-to-integer conversion.
std::uint8_t LowByte(float v) {
    const float scaled = v * 255.0f;
    if (!(scaled > -2147483648.0f && scaled < 2147483648.0f)) return 0;
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled)) & 0xFFu);
}

// One channel of the HSL conversion; h in degrees, all in single precision.
std::uint8_t Channel(float p, float q, float h) {
    if (h > 360.0f) h -= 360.0f;
    if (h < 0.0f) h += 360.0f;
    float v;
    if (h < 60.0f)
        v = p + (q - p) * h / 60.0f;
    else if (h < 180.0f)
        v = q;
    else if (h < 240.0f)
        v = p + (q - p) * (240.0f - h) / 60.0f;
    else
        v = p;
    return LowByte(v);
}

}  // namespace

CColorRGB::CColorRGB(float hue, float saturation, float lightness) {
    const float h = hue * 360.0f;
    if (saturation == 0.0f) {
        red = green = blue = LowByte(lightness);
        return;
    }
    const float q = lightness <= 0.5f ? lightness * (1.0f + saturation)
                                      : lightness + saturation - lightness * saturation;
    const float p = 2.0f * lightness - q;
    red = Channel(p, q, h + 120.0f);
    green = Channel(p, q, h);
    blue = Channel(p, q, h - 120.0f);
}

std::uint32_t CColorRGB::ToColorRef() const {
    return static_cast<std::uint32_t>(red) | static_cast<std::uint32_t>(green) << 8 |
           static_cast<std::uint32_t>(blue) << 16;
}

template <class Self>
void CColorRGB::SerializeFields(Self& self, CProjectArchive& archive) {
    archive.Field(self.red);
    archive.Field(self.green);
    archive.Field(self.blue);
}

void CColorRGB::Serialize(CProjectArchive& archive) { SerializeFields(*this, archive); }
void CColorRGB::Serialize(CProjectArchive& archive) const { SerializeFields(*this, archive); }

}  // namespace dw
