#include "cli/OptionChecks.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace dw::cli {

namespace {

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// [+-] digits [. digits] [e [+-] digits], or [+-] . digits [e ...].
bool IsDecimalNumber(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (!AllDigits(text.substr(i))) return false;
        i = text.size();
    }
    return i == text.size();
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        std::uint32_t cp = 0, min = 0;
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        if ((b0 & 0xE0) == 0xC0) len = 2, cp = b0 & 0x1F, min = 0x80;
        else if ((b0 & 0xF0) == 0xE0) len = 3, cp = b0 & 0x0F, min = 0x800;
        else if ((b0 & 0xF8) == 0xF0) len = 4, cp = b0 & 0x07, min = 0x10000;
        else return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

constexpr const char* kEmpty = "an empty value is not allowed";

}  // namespace

CLI::Validator WholeBetween(std::uint64_t low, std::uint64_t high) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            if (text.empty()) return kEmpty;
            if (!AllDigits(text)) return "Value " + text + " is not a number";
            // More digits than any value in range could have: out of range,
            // and strtoull must not wrap it round.
            errno = 0;
            const unsigned long long value = text.size() > 20 ? 0 : std::strtoull(text.c_str(), nullptr, 10);
            if (text.size() > 20 || errno == ERANGE || value < low || value > high)
                return "Value " + text + " not in range " + std::to_string(low) + " to " + std::to_string(high);
            return {};
        },
        "UINT in [" + std::to_string(low) + " - " + std::to_string(high) + "]");
}

CLI::Validator NumberBetween(double low, double high, const std::string& lowText, const std::string& highText) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            if (text.empty()) return kEmpty;
            if (!IsDecimalNumber(text)) return "Value " + text + " is not a number";
            const double value = std::strtod(text.c_str(), nullptr);
            if (!std::isfinite(value) || !(value >= low && value <= high))
                return "Value " + text + " not in range " + lowText + " to " + highText;
            return {};
        },
        "FLOAT in [" + lowText + " - " + highText + "]");
}

CLI::Validator AnyNumber() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.empty()) return kEmpty;
            if (!IsDecimalNumber(text) || !std::isfinite(std::strtod(text.c_str(), nullptr)))
                return "Value " + text + " is not a number";
            return {};
        },
        "FLOAT");
}

CLI::Validator NotEmpty() {
    return CLI::Validator(
        [](std::string& text) -> std::string { return text.empty() ? std::string(kEmpty) : std::string(); }, "TEXT");
}

CLI::Validator TagText() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            return IsValidUtf8(text) ? std::string() : std::string("the text is not valid UTF-8");
        },
        "TEXT");
}

std::string SourceDateEpochProblem() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr) return {};
    const std::string_view text(epoch);
    if (!AllDigits(text) || text.size() > 18)
        return "SOURCE_DATE_EPOCH must be a whole number of seconds since 1970 in decimal digits, not \"" +
               std::string(text) + "\"";
    return {};
}

}  // namespace dw::cli
