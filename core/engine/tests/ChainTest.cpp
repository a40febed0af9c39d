// The chain's arithmetic: piece seeds, where pieces lie, the seam's gains,
// and the mixer that joins pieces (any stretch of it equal to the whole).
#include "core/engine/Chain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace dw {
namespace {

TEST(PieceSeed, FirstPieceKeepsTheChainSeedAndTheOthersFollowTheFormula) {
    EXPECT_EQ(PieceSeed(1234, 0), 1234u);
    // The formula of the header, written out once more by hand for piece 1 of seed 7.
    std::uint64_t z = ((std::uint64_t{7} << 32) | 1u) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    EXPECT_EQ(PieceSeed(7, 1), static_cast<std::uint32_t>(z));
    // Neighbouring chains and pieces do not share seeds.
    std::set<std::uint32_t> seen;
    for (std::uint32_t seed : {0u, 1u, 2u, 0xFFFFFFFFu})
        for (std::uint64_t k = 0; k < 500; ++k) seen.insert(PieceSeed(seed, k));
    EXPECT_EQ(seen.size(), 4u * 500u);
}

struct LayoutCase {
    const char* name;
    std::uint64_t piece, crossfade, total;
    std::uint64_t pieces;
    std::uint64_t frame, firstAtFrame;
};

class ChainLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ChainLayout, CountsPiecesAndFindsTheFirstThatSounds) {
    const LayoutCase& c = GetParam();
    ChainPlan plan;
    plan.pieceFrames = c.piece;
    plan.crossfadeFrames = c.crossfade;
    plan.totalFrames = c.total;
    EXPECT_EQ(plan.PieceCount(), c.pieces);
    EXPECT_EQ(plan.FirstPieceAt(c.frame), c.firstAtFrame);
    // The last piece reaches the end, the one before does not.
    EXPECT_EQ(plan.PieceEnd(c.pieces - 1), c.total);
    if (c.pieces > 1) {
        EXPECT_LT(plan.PieceStart(c.pieces - 1) + c.crossfade, c.total);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chain, ChainLayout,
    ::testing::Values(LayoutCase{"OnePieceExactly", 100, 10, 100, 1, 50, 0},
                      LayoutCase{"ShorterThanAPiece", 100, 10, 60, 1, 59, 0},
                      LayoutCase{"TwoPiecesJustOver", 100, 10, 101, 2, 95, 0},
                      LayoutCase{"TwoPiecesWhole", 100, 10, 190, 2, 100, 1},
                      LayoutCase{"ThreePiecesOneFrameOver", 100, 10, 191, 3, 189, 1},
                      LayoutCase{"InsideASeamTheEarlierPiece", 100, 10, 1000, 11, 185, 1},
                      LayoutCase{"NoCrossfade", 100, 0, 1000, 10, 500, 5}),
    [](const auto& tc) { return std::string(tc.param.name); });

TEST(ChainPlanProblem, RefusesACrossfadeLongerThanHalfAPiece) {
    ChainPlan plan;
    plan.pieceFrames = 600 * 100;
    plan.crossfadeFrames = 300 * 100;
    EXPECT_EQ(ChainPlanProblem(plan, 100), "");
    plan.crossfadeFrames += 1;
    EXPECT_NE(ChainPlanProblem(plan, 100).find("longer than half a piece (300 s)"), std::string::npos);
}

TEST(SeamGains, KeepThePowerAndMoveSmoothlyFromOutgoingToIncoming) {
    const std::uint64_t c = 4800;
    SeamGains before = SeamGainsAt(0, c);
    EXPECT_GT(before.out, 0.9999f);
    EXPECT_LT(before.in, 0.001f);
    for (std::uint64_t u = 0; u < c; ++u) {
        const SeamGains g = SeamGainsAt(u, c);
        EXPECT_NEAR(g.out * g.out + g.in * g.in, 1.0f, 1e-5f) << u;
        EXPECT_LE(g.out, before.out);
        EXPECT_GE(g.in, before.in);
        EXPECT_LT(before.out - g.out, 0.001f) << u;  // no step anywhere
        before = g;
    }
    EXPECT_LT(before.out, 0.001f);
}

// Piece k: noise of its own, the same every time it is made.
std::vector<StereoFrame> NoisePiece(std::uint64_t k, std::uint64_t frames) {
    std::mt19937 gen(static_cast<std::uint32_t>(k) + 1);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::vector<StereoFrame> piece(frames);
    for (StereoFrame& f : piece) f = {noise(gen), noise(gen)};
    return piece;
}

std::vector<StereoFrame> Mix(const ChainPlan& plan, std::uint64_t from, std::optional<std::uint64_t> to,
                             std::uint64_t maxPieces = 1000) {
    ChainMixer mixer(plan, from, to);
    std::vector<StereoFrame> out;
    for (std::uint64_t n = 0; !mixer.Done() && n < maxPieces; ++n) {
        std::vector<StereoFrame> piece = NoisePiece(mixer.NextPiece(), plan.pieceFrames);
        mixer.AddPiece(piece, [&](std::span<const StereoFrame> part) { out.insert(out.end(), part.begin(), part.end()); });
    }
    return out;
}

ChainPlan NoisePlan() {
    ChainPlan plan;
    plan.pieceFrames = 1000;
    plan.crossfadeFrames = 300;
    plan.totalFrames = 10000;
    plan.fadeInFrames = 50;
    plan.fadeOutFrames = 80;
    return plan;
}

struct StretchCase {
    const char* name;
    std::uint64_t from;
    std::optional<std::uint64_t> to;
};

class ChainStretch : public ::testing::TestWithParam<StretchCase> {};

TEST_P(ChainStretch, EqualsTheSameFramesOfTheWholeChain) {
    const ChainPlan plan = NoisePlan();
    const std::vector<StereoFrame> whole = Mix(plan, 0, std::nullopt);
    ASSERT_EQ(whole.size(), *plan.totalFrames);
    const StretchCase& c = GetParam();
    const std::vector<StereoFrame> part = Mix(plan, c.from, c.to);
    const std::uint64_t end = c.to.value_or(*plan.totalFrames);
    ASSERT_EQ(part.size(), end - c.from);
    for (std::size_t i = 0; i < part.size(); ++i) {
        ASSERT_EQ(part[i].left, whole[c.from + i].left) << "frame " << c.from + i;
        ASSERT_EQ(part[i].right, whole[c.from + i].right) << "frame " << c.from + i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chain, ChainStretch,
    ::testing::Values(StretchCase{"FromTheStart", 0, 3000}, StretchCase{"FromInsideASeam", 1550, std::nullopt},
                      StretchCase{"FromASeamsFirstFrame", 1400, 5000},
                      StretchCase{"FromJustAfterASeam", 1700, std::nullopt},
                      StretchCase{"OnlyTheLastPiece", 9950, std::nullopt},
                      StretchCase{"OneFrame", 4321, 4322}),
    [](const auto& tc) { return std::string(tc.param.name); });

double Rms(const std::vector<StereoFrame>& frames, std::size_t begin, std::size_t end) {
    double sum = 0.0;
    for (std::size_t i = begin; i < end; ++i) sum += frames[i].left * frames[i].left + frames[i].right * frames[i].right;
    return std::sqrt(sum / (2.0 * static_cast<double>(end - begin)));
}

TEST(ChainMixer, UnrelatedPiecesKeepTheirLevelThroughEverySeam) {
    ChainPlan plan;
    plan.pieceFrames = 40000;
    plan.crossfadeFrames = 12000;
    plan.totalFrames = 200000;
    const std::vector<StereoFrame> out = Mix(plan, 0, std::nullopt);
    const double level = Rms(out, 1000, 27000);  // piece 0 alone
    for (std::uint64_t k = 1; k + 1 < plan.PieceCount(); ++k) {
        const std::size_t seam = plan.PieceStart(k);
        // The middle third of the seam, where both pieces weigh most alike.
        EXPECT_NEAR(Rms(out, seam + 4000, seam + 8000), level, 0.04 * level) << "seam " << k;
    }
}

TEST(ChainMixer, FadesOnlyAtTheChainsStartAndEnd) {
    ChainPlan plan;
    plan.pieceFrames = 100;
    plan.crossfadeFrames = 0;
    plan.totalFrames = 450;
    plan.fadeInFrames = 20;
    plan.fadeOutFrames = 40;
    ChainMixer mixer(plan, 0);
    std::vector<StereoFrame> out;
    while (!mixer.Done()) {
        std::vector<StereoFrame> piece(100, StereoFrame{1.0f, -1.0f});
        mixer.AddPiece(piece, [&](std::span<const StereoFrame> part) { out.insert(out.end(), part.begin(), part.end()); });
    }
    ASSERT_EQ(out.size(), 450u);
    EXPECT_EQ(out[0].left, 0.0f);
    EXPECT_FLOAT_EQ(out[10].left, 0.5f);
    EXPECT_FLOAT_EQ(out[10].right, -0.5f);
    for (std::size_t t = 20; t < 410; ++t) ASSERT_EQ(out[t].left, 1.0f) << t;  // the joins at 100, 200 ... untouched
    EXPECT_FLOAT_EQ(out[430].left, 0.5f);
    EXPECT_LT(out[449].left, 0.03f);
}

TEST(ChainMixer, AnEndlessChainGoesOnWithoutFadingOut) {
    ChainPlan plan = NoisePlan();
    plan.totalFrames.reset();
    const std::vector<StereoFrame> out = Mix(plan, 0, std::nullopt, 30);
    EXPECT_EQ(out.size(), 30u * plan.Stride());
    EXPECT_EQ(plan.PieceCount(), 0u);
}

}  // namespace
}  // namespace dw
