#pragma once
// The main window's title for the project file in use.

#include <string>

namespace dw {

// "Driftwell" for a project without a file, otherwise the file's name without
// its extension, then " - Driftwell". Both "/" and "\" separate folders, so a
// path written either way gives the same name. Only the file name's own
// extension is cut: a "." in a folder name ("My.Projects/Evening") belongs to
// the folder and leaves the name whole.
std::string TitleForProjectPath(const std::string& projectPath);

}  // namespace dw
