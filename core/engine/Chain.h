#pragma once
// A chain of variations: hours of music made of pieces of the project's music
// length, each created with its own seed and joined to the next by an
// equal-power crossfade. This file holds the arithmetic only (the seeds, where
// each piece lies, the gains of a seam and of the chain's fades); making the
// pieces and writing them is core/audio/ChainWriter.h.
//
// Piece seeds. Piece 0 keeps the chain's seed, so that a chain starts with the
// music a single render of that seed would create; piece k > 0 takes
//     x = (seed << 32) | (k mod 2^32)
//     z = x + 0x9E3779B97F4A7C15
//     z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9
//     z = (z ^ (z >> 27)) * 0x94D049BB133111EB
//     z = z ^ (z >> 31)
//     seed_k = z mod 2^32                     (splitmix64, all in 64 bits)
// so any piece can be made alone from the chain's seed and its index.
//
// Time line (in frames). With pieces of L frames and a crossfade of C frames
// (C <= L / 2), piece k lies at [k (L - C), k (L - C) + L): the last C frames
// of piece k sound together with the first C of piece k + 1. Inside a seam,
// at u = 0 .. C - 1, the outgoing piece is weighted cos(pi/2 (u + 1/2) / C)
// and the incoming one sin(pi/2 (u + 1/2) / C): the squares sum to one, so
// two unrelated pieces keep their power across the seam. A chain of a known
// length ends where the music ends, cutting its last piece short; the
// project's fade-in and fade-out (linear, as the engine draws them) apply only
// to the chain's first and last frames.
//
// Deterministic, no threads, no I/O.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/model/StereoFrame.h"

namespace dw {

// The seed of piece `k` of the chain seeded `chainSeed` (see above).
std::uint32_t PieceSeed(std::uint32_t chainSeed, std::uint64_t k);

struct ChainPlan {
    std::uint32_t seed = 0;
    std::uint64_t pieceFrames = 0;      // L
    std::uint64_t crossfadeFrames = 0;  // C
    std::optional<std::uint64_t> totalFrames;  // none: endless
    std::uint64_t fadeInFrames = 0;
    std::uint64_t fadeOutFrames = 0;    // not used by an endless chain

    std::uint64_t Stride() const { return pieceFrames - crossfadeFrames; }
    std::uint64_t PieceStart(std::uint64_t k) const { return k * Stride(); }
    // Where piece k stops sounding: its own end, or the chain's.
    std::uint64_t PieceEnd(std::uint64_t k) const;
    // Pieces of a chain of known length (at least 1); 0 for an endless one.
    std::uint64_t PieceCount() const;
    // The first piece that sounds at `frame`.
    std::uint64_t FirstPieceAt(std::uint64_t frame) const;
};

// Empty when the plan can be made; otherwise why not ("the crossfade of 400 s
// is longer than half a piece (300 s)"), in seconds of `sampleRate`.
std::string ChainPlanProblem(const ChainPlan& plan, std::uint32_t sampleRate);

// The weights of the outgoing and the incoming piece at `u` of a seam of `c` frames.
struct SeamGains {
    float out;
    float in;
};
SeamGains SeamGainsAt(std::uint64_t u, std::uint64_t c);

// Joins the pieces into the chain, in order, and hands on the chain's frames
// from `from` up to `to` (exclusive; none: to the chain's end, or for ever).
// Keeps only the crossfade's frames of the piece before (C frames); each
// piece is worked on in place, so the caller's buffer can be reused once
// AddPiece returns.
class ChainMixer {
public:
    using Emit = std::function<void(std::span<const StereoFrame>)>;

    ChainMixer(const ChainPlan& plan, std::uint64_t from, std::optional<std::uint64_t> to = std::nullopt);

    // The piece to add next.
    std::uint64_t NextPiece() const { return next_; }
    // True once every frame up to `to` (or the chain's end) was handed on.
    bool Done() const;
    // Whether piece `k` sounds in the stretch asked for (so that it can be
    // created ahead, while the one before is still being worked on).
    bool Needs(std::uint64_t k) const;
    // Adds piece NextPiece(): `piece` holds its L frames (finished as a file
    // is). Hands on, through `emit`, every frame of the chain that is now
    // complete.
    void AddPiece(std::span<StereoFrame> piece, const Emit& emit);

private:
    std::uint64_t End() const;
    float FadeAt(std::uint64_t t) const;

    ChainPlan plan_;
    std::uint64_t from_;
    std::optional<std::uint64_t> to_;
    std::uint64_t next_;
    std::uint64_t emitted_;  // the chain's frames handed on or skipped so far
    std::vector<StereoFrame> carry_;  // the last C frames of the piece before
    bool hasCarry_ = false;
};

}  // namespace dw
