#pragma once
// Reading and writing project files for the command line: the model's loader
// and store, with a line that names the file when they fail, since a terminal
// user may have passed several files.

#include <cstdint>
#include <optional>
#include <string>

#include "core/model/Progress.h"
#include "core/model/Project.h"

namespace dw::cli {

// Loads `path` into `project`; on failure tells `sink` which file and why and
// returns false. The project is unchanged after a failure.
bool LoadProjectReporting(CProject& project, const std::string& path, IMessageSink& sink);

// The version number in the header of a project file that loaded.
std::optional<std::uint32_t> ReadProjectVersion(const std::string& path);

}  // namespace dw::cli
