#pragma once
// `driftwell-cli render`: decode the source at the project's rate, create the
// music, optionally write the plan, write the sound file. Each step is the
// one the application uses; this file only strings them together and reports.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/ChainRender.h"
#include "cli/PropertyOptions.h"
#include "core/audio/Loudness.h"

namespace dw::cli {

// How the written file is finished and labelled.
struct FileOptions {
    bool noEffects = false;               // write the raw music, without the project's effects
    std::optional<double> loudness;       // LUFS; none: peak-normalised to the volume
    double truePeak = kTruePeakCeilingDbtp;  // dBTP ceiling
    std::string title;                    // empty: the project's or the source's name
    std::string artist;
    std::optional<std::uint32_t> bitrate; // kbit/s
    std::optional<double> compression;    // 0 to 1
};

struct RenderRequest {
    std::string source;   // replaces the project's sourcePath when not empty; "-": standard input
    std::string project;  // empty: the default project
    std::string output;   // "-": standard output
    std::string format;   // a format name; empty: from the output's extension
    std::optional<std::uint32_t> seed;     // none: the time seed, printed
    PropertyOptions settings;              // changes to the project
    FileOptions file;
    std::string saveProject;               // where to write the project used; empty: nowhere
    std::string plan;     // where to write the plan JSON; empty: nowhere
    unsigned threads = 0; // 0: all cores
    bool quiet = false;
    ChainOptions chain;   // --duration longer than a piece, --endless: a chain of variations
};

// Returns the exit status (kExitOk, kExitFailed or kExitUsage of cli/Cli.h).
int RunRender(const RenderRequest& request, std::ostream& out, std::ostream& err, bool errIsTerminal);

}  // namespace dw::cli
