#pragma once
// `driftwell-cli render --duration`: music longer than one piece, written as
// a chain of variations (core/engine/Chain.h, core/audio/ChainWriter.h).
// Render.cpp reads the project, checks the targets, takes the source and
// chooses the format as for one piece, then hands over here.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "core/audio/Export.h"

namespace dw {
class CProject;
class CProperties;
}  // namespace dw

namespace dw::cli {

class ConsoleProgress;
struct RenderRequest;

struct ChainOptions {
    std::string duration;   // as given: seconds, h:mm:ss, 90m or 8h; empty: one piece
    double crossfade = 30;  // seconds
    std::string from;       // as given; empty: the start
    bool endless = false;
};

// Seconds for "90", "1.5", "1:30:00", "45:00", "90m", "8h", "30s"; none for anything else.
std::optional<double> ParseDuration(const std::string& text);

// Whether the request asks for a chain of the project's pieces (known once
// the project is read).
bool IsChain(const ChainOptions& chain, const CProperties& properties);

// Checks the chain's options against the project and the output; a
// --duration no longer than a piece renders one piece of that length (so
// `properties.musicLength` may change). Empty when all is well, otherwise
// the usage message.
std::string ChainUsageProblem(const RenderRequest& request, CProperties& properties);

// Decodes nothing: the project's source is decoded already. Writes the chain
// and the plan (--plan: every piece's index, seed, start and end) and reports;
// returns the exit status.
int RunChain(const RenderRequest& request, CProject& project, std::uint32_t seed, const SoundFormat& format,
             const EncoderSettings& encoder, const std::filesystem::path& output, const std::string& outputName,
             const std::string& tagSourcePath, ConsoleProgress& progress, std::ostream& report);

}  // namespace dw::cli
