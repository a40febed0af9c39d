#pragma once
// The one random generator of the process, shared by the music engine and the
// matrix operations. Its sequence is part of the contract: the same seed gives
// the same draws, so a render with a fixed seed is reproducible byte for byte.
//
//   state = state * 214013 + 2531011 (mod 2^32); draw = (state >> 16) & 0x7FFF
//
// The state is 1 until the first seeding. It is kept in a relaxed atomic so
// that a stray draw from another thread is a data race on nothing; callers
// still draw from one thread at a time, or the order of draws (and so the
// result) is not deterministic.

#include <cstdint>

namespace dw {

// Largest value RandomDraw returns.
inline constexpr int kRandomMax = 0x7FFF;

// Sets the generator's state.
void SeedRandom(std::uint32_t seed);

// The current state, for tests and for saving a position in the sequence.
std::uint32_t RandomState();

// The next raw draw, 0 to 32767.
int RandomDraw();

// min(draw / 32767.0, 0.999999999999): a fraction in [0, 1). Stored into a
// 32-bit float it can round to exactly 1.0f.
double RandomFraction();

// The seed made from a calendar time given as seconds since 1970 (UTC): the
// eight bytes of the 64-bit count, least significant first, folded as
// h = h * 257 + byte (mod 2^32). Pure, for tests.
std::uint32_t TimeSeedFrom(std::int64_t secondsSince1970);

// Seeds the generator from the current calendar time and returns that seed.
std::uint32_t TimeSeed();

}  // namespace dw
