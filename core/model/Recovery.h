#pragma once
// Unsaved work kept when the program is ended from outside (SIGTERM, SIGINT,
// SIGHUP): the project is written as a project file into the per-user state
// folder, and a note of it waits there until the next start tells the user
// where it is. Everything is written through OutputFile, so a file is either
// whole or not there.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/model/Project.h"

namespace dw {

// The folder: $XDG_STATE_HOME/driftwell, or $HOME/.local/state/driftwell when
// XDG_STATE_HOME is unset, empty or not absolute; none without either.
std::optional<std::filesystem::path> RecoveryFolderFrom(const char* xdgStateHome, const char* home);
std::optional<std::filesystem::path> RecoveryFolder();

// The file the work of `projectPath` (empty: a project never saved) goes to
// in `folder`: "<name> (recovered).dwv", or "Untitled (recovered).dwv".
std::filesystem::path RecoveryFileFor(const std::filesystem::path& folder, const std::filesystem::path& projectPath);

// Writes `project` to `file` (its folder created as needed) and adds it to
// the folder's note. Empty on success, else the reason.
std::string WriteRecoveryFile(const CProject& project, const std::filesystem::path& file);

// The recovery files the note in `folder` names, and the note removed, so
// that each is told once. Empty when there is none.
std::vector<std::filesystem::path> TakeRecoveryNote(const std::filesystem::path& folder);

}  // namespace dw
