#include "core/base/TextEscape.h"

#include <cstdint>

namespace dw {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned char b) {
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
}

// Length of the UTF-8 sequence that starts at `s[i]` and its code point, or
// 0 when the bytes there are not a well-formed sequence (overlong forms,
// surrogates and values above U+10FFFF count as malformed).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    std::uint32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Controls that reorder the text shown around them: the bidirectional
// embeddings, overrides and isolates and the direction marks. A name that
// holds one can show its extension, or the next words, in another order.
bool IsDirectionControl(std::uint32_t cp) {
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E || cp == 0x200F ||
           cp == 0x061C;
}

void AppendCodePoint(std::string& out, std::uint32_t cp) {
    out += "\\u{";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0xF];
    out += '}';
}

}  // namespace

std::string EscapeForDisplay(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            AppendHexByte(out, static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (len == 1) {
            const char c = text[i];
            switch (c) {
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                case '\x1B': out += "\\e"; break;
                case '\\': out += "\\\\"; break;
                default:
                    if (cp < 0x20 || cp == 0x7F) AppendHexByte(out, static_cast<unsigned char>(c));
                    else out += c;
            }
        } else if ((cp >= 0x80 && cp <= 0x9F) || IsDirectionControl(cp)) {
            AppendCodePoint(out, cp);
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

}  // namespace dw
