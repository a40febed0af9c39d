#pragma once
// What the messages about a file's path say where the system's own words
// mislead: the kernel calls a whole path longer than PATH_MAX "File name too
// long", which sends the user to shorten a name that may be short, and a
// write through a symbolic link whose target's folder is missing fails on
// a folder the user cannot see in the name given.

#include <filesystem>
#include <string>

namespace dw {

// The system's text for `error` met on `path`, but for a path that is longer
// than the kernel takes as a whole: "the path is longer than PATH_MAX (4096
// bytes)".
std::string PathErrorText(const std::filesystem::path& path, int error);

// True when `path` is too long for any system call to take it.
bool PathLongerThanPathMax(const std::filesystem::path& path);

// The folder a write to `target` lands in: that of `target`, or, when
// `target` is a symbolic link (a dangling one included), that of the file it
// points to, followed link by link.
std::filesystem::path FolderWrittenTo(const std::filesystem::path& target);

}  // namespace dw
