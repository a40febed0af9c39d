#pragma once
// The random generator as a value: each user holds its own, so the music
// engine's draws and the matrix operations' draws never interleave. Its
// sequence is part of the contract: the same seed gives the same draws, so a
// render with a fixed seed is reproducible byte for byte.
//
//   state = state * 214013 + 2531011 (mod 2^32); draw = (state >> 16) & 0x7FFF
//
// A default-made generator starts from state 1. A generator is drawn from by
// one thread at a time; copying it saves a position in the sequence.

#include <cstdint>
#include <optional>

namespace dw {

// Largest value Random::Draw returns.
inline constexpr int kRandomMax = 0x7FFF;

class Random {
public:
    constexpr Random() = default;
    explicit constexpr Random(std::uint32_t seed) : seed_(seed), state_(seed) {}

    // The next raw draw, 0 to 32767.
    int Draw() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

    // min(draw / 32767.0, 0.999999999999): a fraction in [0, 1). Stored into
    // a 32-bit float it can round to exactly 1.0f.
    double Fraction() {
        const double f = Draw() / 32767.0;
        return f < 0.999999999999 ? f : 0.999999999999;
    }

    // The seed the generator was made from.
    std::uint32_t Seed() const { return seed_; }
    // The current state, for tests.
    std::uint32_t State() const { return state_; }

private:
    std::uint32_t seed_ = 1;
    std::uint32_t state_ = 1;
};

// The seed made from a calendar time given as seconds since 1970 (UTC): the
// eight bytes of the 64-bit count, least significant first, folded as
// h = h * 257 + byte (mod 2^32). Pure, for tests.
std::uint32_t TimeSeedFrom(std::int64_t secondsSince1970);

// The seed of the current calendar time.
std::uint32_t TimeSeed();

// The seed of a creation: `given`, or without one a new seed from the clock
// (TimeSeed). The one place the default seed is chosen, for the command line
// and the program alike.
std::uint32_t CreationSeed(std::optional<std::uint32_t> given);

}  // namespace dw
