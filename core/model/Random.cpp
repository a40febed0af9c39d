#include "core/model/Random.h"

#include <ctime>

namespace dw {

std::uint32_t TimeSeedFrom(std::int64_t secondsSince1970) {
    const auto bits = static_cast<std::uint64_t>(secondsSince1970);
    std::uint32_t h = 0;
    for (int i = 0; i < 8; ++i) h = h * 257u + static_cast<std::uint32_t>((bits >> (8 * i)) & 0xFFu);
    return h;
}

std::uint32_t TimeSeed() { return TimeSeedFrom(static_cast<std::int64_t>(std::time(nullptr))); }

std::uint32_t CreationSeed(std::optional<std::uint32_t> given) { return given ? *given : TimeSeed(); }

}  // namespace dw
