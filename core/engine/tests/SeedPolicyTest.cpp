#include "core/engine/SeedPolicy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/model/Random.h"

namespace dw {
namespace {

// One thing the user or the creation path does to the policy.
struct Step {
    enum Kind { Create, Type, Keep, Unkeep, Variation, DropVariation } kind;
    std::uint32_t value = 0;  // Create: the seed used; Type: the seed typed; Variation: the music's seed
};

// What the policy says after the steps; no next seed means one from the clock.
struct SeedCase {
    const char* name;
    std::vector<Step> steps;
    std::optional<std::uint32_t> next;
    std::optional<std::uint32_t> shown;
    bool kept;
};

// "New variation" draws 5, then 9, then 13: a music seed of 5 skips the first.
SeedPolicy::Draw Draws() {
    return [n = 0u]() mutable { return 5u + 4u * n++; };
}

void Apply(SeedPolicy& policy, const Step& step) {
    switch (step.kind) {
    case Step::Create: policy.Used(step.value); break;
    case Step::Type: policy.Type(step.value); break;
    case Step::Keep: policy.SetKept(true); break;
    case Step::Unkeep: policy.SetKept(false); break;
    case Step::Variation: policy.NewVariation(step.value, Draws()); break;
    case Step::DropVariation: policy.DropVariation(); break;
    }
}

class SeedPolicyCases : public testing::TestWithParam<SeedCase> {};

TEST_P(SeedPolicyCases, NextSeedShownSeedAndLock) {
    const SeedCase& c = GetParam();
    SeedPolicy policy;
    for (const Step& step : c.steps) Apply(policy, step);
    EXPECT_EQ(policy.Shown(), c.shown);
    EXPECT_EQ(policy.Kept(), c.kept);
    if (c.next) {
        EXPECT_EQ(policy.NextSeed(), *c.next);
    } else {
        const std::uint32_t before = TimeSeedFrom(static_cast<std::int64_t>(std::time(nullptr)));
        const std::uint32_t next = policy.NextSeed();
        const std::uint32_t after = TimeSeedFrom(static_cast<std::int64_t>(std::time(nullptr)));
        EXPECT_TRUE(next == before || next == after) << next;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SeedPolicyCases,
    testing::Values(
        SeedCase{"Fresh", {}, std::nullopt, std::nullopt, false},
        SeedCase{"KeptBeforeAnyCreationTakesTheClock", {{Step::Keep}}, std::nullopt, std::nullopt, true},
        SeedCase{"CreatedShowsItsSeedButDoesNotKeepIt", {{Step::Create, 42}}, std::nullopt, 42u, false},
        SeedCase{"KeepingTheCreatedSeedRepeatsIt", {{Step::Create, 42}, {Step::Keep}}, 42u, 42u, true},
        SeedCase{"TypedSeedIsKept", {{Step::Create, 42}, {Step::Type, 4294967295u}}, 4294967295u, 4294967295u, true},
        SeedCase{"UnkeptTypedSeedStaysShown", {{Step::Type, 7}, {Step::Unkeep}}, std::nullopt, 7u, false},
        SeedCase{"VariationIsNotTheMusicsSeed", {{Step::Create, 5}, {Step::Variation, 5}}, 9u, 5u, false},
        SeedCase{"KeptVariationReplacesTheKeptSeed",
                 {{Step::Create, 5}, {Step::Keep}, {Step::Variation, 5}}, 9u, 9u, true},
        SeedCase{"KeptVariationStaysAfterItsCreation",
                 {{Step::Create, 5}, {Step::Keep}, {Step::Variation, 5}, {Step::Create, 9}}, 9u, 9u, true},
        SeedCase{"UnkeptVariationIsSpentByItsCreation",
                 {{Step::Create, 5}, {Step::Variation, 5}, {Step::Create, 9}}, std::nullopt, 9u, false},
        SeedCase{"DroppedVariationIsForgotten",
                 {{Step::Create, 1}, {Step::Variation, 1}, {Step::DropVariation}}, std::nullopt, 1u, false}),
    [](const testing::TestParamInfo<SeedCase>& param) { return std::string(param.param.name); });

// Typing reports whether the music made with the shown seed is out of date.
TEST(SeedPolicy, TypingTellsWhetherTheSeedChanged) {
    SeedPolicy policy;
    EXPECT_TRUE(policy.Type(3)) << "no seed shown before";
    EXPECT_FALSE(policy.Type(3));
    policy.Used(8);
    EXPECT_TRUE(policy.Type(3));
}

}  // namespace
}  // namespace dw
