#pragma once
// The plan JSON of `driftwell-cli render --plan`: what the engine planned, with
// its own integers, for people who want to see or debug the score.
//
//   {"sampleRate": R, "outputFrameCount": F,
//    "sections": [{"section": i, "outputStart": .., "outputEnd": .., "sourceStart": .., "sourceEnd": ..,
//                  "motif": {"base": .., "range": .., "length": .., "notes": [[position, body, blend], ...]}}, ...],
//    "score": {"notes": [[position, body, blend], ...]}}

#include <nlohmann/json.hpp>

#include "core/engine/MusicEngine.h"

namespace dw::cli {

nlohmann::ordered_json PlanToJson(const CMusicEngine& engine);

}  // namespace dw::cli
