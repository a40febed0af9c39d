#pragma once
// Loading and storing a project file (".dwv"): header (magic 15657891, version
// 400 to 404), then the properties, matrix and sections blocks, little-endian.
//
// A load reads into a fresh project and changes the project in use only when
// the whole file was read and accepted: after any failed load the project is
// exactly as before. Loading never touches the graph set, `musicOutdated` or
// the decoded source; it clears `sourceLoaded`. See ProjectFile.cpp for what is
// repaired and what is refused.
//
// A store goes through the program's one writer (base/OutputFile.h): the
// previous file is replaced only by a complete one that reached the disk,
// keeping its mode, owner and symbolic link, and a failed or killed store
// leaves it as it was.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/Progress.h"
#include "core/model/Project.h"

namespace dw {

inline constexpr std::int32_t kProjectMagic = 15657891;  // bytes A3 EB EE 00
inline constexpr std::uint32_t kMinProjectVersion = 400;
inline constexpr std::uint32_t kMaxProjectVersion = 404;
// The version a store writes; every accepted version has the same layout.
inline constexpr std::uint32_t kProjectVersion = 404;

// The texts of the project file's messages (they have no string table id).
inline constexpr std::string_view kMsgProjectFileError = "Error encountered in the project file.";
inline constexpr std::string_view kMsgProjectVersion = "Project version number is not sipported.";
inline constexpr std::string_view kMsgPastEnd = "Attempted to access %1 past its end.";
inline constexpr std::string_view kMsgUnknownError = "An unknown error occurred while accessing %1.";
inline constexpr std::string_view kMsgImproperArgument = "Encountered an improper argument.";
inline constexpr std::string_view kUnnamedFile = "an unnamed file";
// What a file's refusal says after "The project file NAME was not loaded: ".
inline constexpr std::string_view kMsgNotAProject = "it is not a Driftwell project.";
inline constexpr std::string_view kMsgEndsEarly = "it ends early (it may have been cut short).";

enum class LoadResult {
    Loaded,      // the project in use now holds the file's project
    CannotOpen,  // missing, unreadable or not a regular file; no message shown
    Refused,     // the file was refused; its message went to the sink
};

// Loads `path` into `project`. Messages go to `sink`; a refusal's message
// names the file.
LoadResult LoadProjectFile(CProject& project, const std::filesystem::path& path, IMessageSink& sink);

// Why `path` cannot be opened as a project (missing, a folder, a FIFO, a
// device, unreadable, a path longer than PATH_MAX), in the system's words;
// empty when it can. Nothing that is not a plain file is opened, so a FIFO
// never holds the caller up.
std::string WhyProjectCannotOpen(const std::filesystem::path& path);

// True when the project was loaded.
inline bool LoadProject(CProject& project, const std::filesystem::path& path, IMessageSink& sink) {
    return LoadProjectFile(project, path, sink) == LoadResult::Loaded;
}

// The same rules for a file's bytes already in memory (tests, fuzzing).
bool LoadProjectFromBytes(CProject& project, std::span<const std::uint8_t> bytes, IMessageSink& sink);

// Writes the project to `path` (atomically, see above). On failure reports a
// message naming the file and the reason to `sink` and returns false.
bool StoreProject(const CProject& project, const std::filesystem::path& path, IMessageSink& sink);

// The bytes StoreProject writes.
std::vector<std::uint8_t> StoreProjectToBytes(const CProject& project);

}  // namespace dw
