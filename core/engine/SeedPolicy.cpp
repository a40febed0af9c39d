#include "core/engine/SeedPolicy.h"

#include "core/model/Random.h"

namespace dw {

bool SeedPolicy::Type(std::uint32_t seed) {
    const bool changed = !shown_ || *shown_ != seed;
    shown_ = seed;
    kept_ = true;
    return changed;
}

void SeedPolicy::NewVariation(std::uint32_t musicSeed, const Draw& draw) {
    std::uint32_t seed = draw();
    while (seed == musicSeed) seed = draw();
    if (kept_) shown_ = seed;
    variation_ = seed;
}

std::uint32_t SeedPolicy::NextSeed() const {
    if (variation_) return *variation_;
    return CreationSeed(kept_ ? shown_ : std::nullopt);
}

void SeedPolicy::Used(std::uint32_t seed) {
    shown_ = seed;
    variation_.reset();
}

}  // namespace dw
