#include "core/engine/Chain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

namespace dw {

std::uint32_t PieceSeed(std::uint32_t chainSeed, std::uint64_t k) {
    if (k == 0) return chainSeed;
    std::uint64_t z = ((std::uint64_t{chainSeed} << 32) | (k & 0xFFFFFFFFu)) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z = z ^ (z >> 31);
    return static_cast<std::uint32_t>(z);
}

std::uint64_t ChainPlan::PieceEnd(std::uint64_t k) const {
    const std::uint64_t end = PieceStart(k) + pieceFrames;
    return totalFrames ? std::min(end, *totalFrames) : end;
}

std::uint64_t ChainPlan::PieceCount() const {
    if (!totalFrames) return 0;
    if (*totalFrames <= pieceFrames) return 1;
    const std::uint64_t stride = Stride();
    return 1 + (*totalFrames - pieceFrames + stride - 1) / stride;
}

std::uint64_t ChainPlan::FirstPieceAt(std::uint64_t frame) const {
    return frame >= pieceFrames ? (frame - pieceFrames) / Stride() + 1 : 0;
}

std::string ChainPlanProblem(const ChainPlan& plan, std::uint32_t sampleRate) {
    const auto seconds = [&](std::uint64_t frames) {
        const double s = static_cast<double>(frames) / sampleRate;
        char text[32];
        std::snprintf(text, sizeof text, "%g s", s);
        return std::string(text);
    };
    if (plan.pieceFrames == 0 || sampleRate == 0) return "a piece has no length";
    if (plan.crossfadeFrames * 2 > plan.pieceFrames)
        return "the crossfade of " + seconds(plan.crossfadeFrames) + " is longer than half a piece (" +
               seconds(plan.pieceFrames / 2) + ")";
    return {};
}

SeamGains SeamGainsAt(std::uint64_t u, std::uint64_t c) {
    const double angle = std::numbers::pi / 2.0 * (static_cast<double>(u) + 0.5) / static_cast<double>(c);
    return {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
}

ChainMixer::ChainMixer(const ChainPlan& plan, std::uint64_t from, std::optional<std::uint64_t> to)
    : plan_(plan), from_(from), to_(to), next_(plan.FirstPieceAt(from)), emitted_(plan.PieceStart(next_)) {
    carry_.resize(plan.crossfadeFrames);
}

std::uint64_t ChainMixer::End() const {
    std::uint64_t end = std::numeric_limits<std::uint64_t>::max();
    if (plan_.totalFrames) end = *plan_.totalFrames;
    if (to_) end = std::min(end, *to_);
    return end;
}

bool ChainMixer::Done() const { return emitted_ >= End(); }

bool ChainMixer::Needs(std::uint64_t k) const {
    if (plan_.totalFrames && k >= plan_.PieceCount()) return false;
    return k >= plan_.FirstPieceAt(from_) && plan_.PieceStart(k) < End();
}

float ChainMixer::FadeAt(std::uint64_t t) const {
    double gain = 1.0;
    if (plan_.fadeInFrames > 0 && t < plan_.fadeInFrames)
        gain = static_cast<double>(t) / static_cast<double>(plan_.fadeInFrames);
    if (plan_.totalFrames && plan_.fadeOutFrames > 0 && t + plan_.fadeOutFrames >= *plan_.totalFrames) {
        const std::uint64_t start = *plan_.totalFrames - std::min(plan_.fadeOutFrames, *plan_.totalFrames);
        gain = std::min(gain, 1.0 - static_cast<double>(t - start) / static_cast<double>(plan_.fadeOutFrames));
    }
    return static_cast<float>(gain);
}

void ChainMixer::AddPiece(std::span<StereoFrame> piece, const Emit& emit) {
    const std::uint64_t k = next_;
    const std::uint64_t start = plan_.PieceStart(k);
    const std::uint64_t c = plan_.crossfadeFrames;
    const bool last = plan_.totalFrames && start + plan_.pieceFrames >= *plan_.totalFrames;
    const std::uint64_t regionEnd = last ? plan_.PieceEnd(k) : start + plan_.pieceFrames - c;

    // The seam with the piece before: both weighted, summed into this piece.
    if (hasCarry_) {
        for (std::uint64_t u = 0; u < c; ++u) {
            const SeamGains g = SeamGainsAt(u, c);
            piece[u].left = carry_[u].left * g.out + piece[u].left * g.in;
            piece[u].right = carry_[u].right * g.out + piece[u].right * g.in;
        }
    }
    // The tail is kept before the fades touch anything: the next seam mixes it raw.
    if (!last && c > 0) std::copy_n(piece.begin() + static_cast<std::ptrdiff_t>(plan_.pieceFrames - c), c, carry_.begin());
    hasCarry_ = !last && c > 0;

    const std::uint64_t begin = std::max({from_, emitted_, start});
    const std::uint64_t end = std::min(regionEnd, End());
    if (begin < end) {
        StereoFrame* first = piece.data() + (begin - start);
        const std::uint64_t n = end - begin;
        const bool fadeIn = begin < plan_.fadeInFrames;
        const bool fadeOut = plan_.totalFrames && plan_.fadeOutFrames > 0 && end + plan_.fadeOutFrames > *plan_.totalFrames;
        if (fadeIn || fadeOut) {
            for (std::uint64_t i = 0; i < n; ++i) {
                const float g = FadeAt(begin + i);
                first[i].left *= g;
                first[i].right *= g;
            }
        }
        emit(std::span<const StereoFrame>(first, n));
    }
    emitted_ = std::max(emitted_, regionEnd);
    ++next_;
}

}  // namespace dw
