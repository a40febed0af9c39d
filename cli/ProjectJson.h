#pragma once
// The JSON that `driftwell-cli info` prints: a project as it stands in its file,
// every stored field under its own name, so scripts can read a project without
// parsing the binary format.
//
//   {"version": V,
//    "properties": {"sourcePath": ..., "musicLength": ..., ... "chorus": ...},
//    "matrix": {"columnCount": N, "rows": [[N numbers] x 8]},
//    "sections": [[start, end, sourceStart, sourceEnd], ...]}

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "core/model/Project.h"

namespace dw::cli {

nlohmann::ordered_json ProjectToJson(const CProject& project, std::uint32_t version);

// A 32-bit float as the JSON number with the fewest digits that reads back
// as the same float (0.2f prints as 0.2, not 0.20000000298023224).
double ShortestFloat(float value);

// Pretty-prints `value` with two-space indentation, except that an array of
// plain numbers, booleans or strings stays on one line: a matrix row or a
// note reads as one line instead of one number per line.
std::string DumpJson(const nlohmann::ordered_json& value);

}  // namespace dw::cli
