#include "core/model/Random.h"

#include <algorithm>
#include <atomic>
#include <ctime>

namespace dw {
namespace {

// Relaxed: the generator's contract is its sequence, which only one thread
// at a time may draw from; the atomic only keeps a stray concurrent draw from
// being undefined behaviour.
std::atomic<std::uint32_t> g_state{1};

}  // namespace

void SeedRandom(std::uint32_t seed) { g_state.store(seed, std::memory_order_relaxed); }

std::uint32_t RandomState() { return g_state.load(std::memory_order_relaxed); }

int RandomDraw() {
    const std::uint32_t next = g_state.load(std::memory_order_relaxed) * 214013u + 2531011u;
    g_state.store(next, std::memory_order_relaxed);
    return static_cast<int>((next >> 16) & 0x7FFFu);
}

double RandomFraction() { return std::min(RandomDraw() / 32767.0, 0.999999999999); }

std::uint32_t TimeSeedFrom(std::int64_t secondsSince1970) {
    const auto bits = static_cast<std::uint64_t>(secondsSince1970);
    std::uint32_t h = 0;
    for (int i = 0; i < 8; ++i) h = h * 257u + static_cast<std::uint32_t>((bits >> (8 * i)) & 0xFFu);
    return h;
}

std::uint32_t TimeSeed() {
    const std::uint32_t seed = TimeSeedFrom(static_cast<std::int64_t>(std::time(nullptr)));
    SeedRandom(seed);
    return seed;
}

}  // namespace dw
