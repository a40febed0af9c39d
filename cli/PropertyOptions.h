#pragma once
// The project's settings as command-line options, shared by `new` (which
// writes them into a fresh project) and `render` (which changes the project it
// renders): length, quality, volume, looping, fades, the motifs and the
// effects. Only what is given changes; everything else keeps the project's
// value.

#include <cstdint>
#include <optional>
#include <string>

#include "core/model/Properties.h"

namespace CLI {
class App;
}

namespace dw::cli {

struct PropertyOptions {
    std::optional<std::uint32_t> length;   // seconds
    std::optional<std::uint32_t> quality;  // 0 to 3
    std::optional<double> volume;          // 0 to 1
    std::optional<bool> loop;
    std::optional<std::uint32_t> fadeIn;   // seconds
    std::optional<std::uint32_t> fadeOut;  // seconds
    std::optional<double> motifLength;     // seconds
    std::optional<double> trimStart;       // fraction of the source
    std::optional<double> trimEnd;
    std::optional<bool> fractalScanner;
    std::optional<bool> loopMotifs;
    std::optional<double> highCut;  // amounts, 0 to 1
    std::optional<double> reverb;
    std::optional<double> chorus;
    std::optional<bool> highCutOn;
    std::optional<bool> reverbOn;
    std::optional<bool> chorusOn;
};

// Adds the options to `command`; their values land in `options`.
void AddPropertyOptions(CLI::App& command, PropertyOptions& options);

// Changes `properties` as the options ask. Returns an empty text, or what is
// wrong with the result ("--length: ..."), in which case `properties` may be
// half changed and must not be used.
std::string ApplyPropertyOptions(const PropertyOptions& options, CProperties& properties);

}  // namespace dw::cli
