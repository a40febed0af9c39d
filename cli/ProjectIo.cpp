#include "cli/ProjectIo.h"

#include <fstream>

#include "base/TextEscape.h"
#include "model/ProjectFile.h"

namespace dw::cli {

bool LoadProjectReporting(CProject& project, const std::string& path, IMessageSink& sink) {
    switch (LoadProjectFile(project, path, sink)) {
    case LoadResult::Loaded:
        return true;
    case LoadResult::CannotOpen:
        // The loader is silent here (the windows show nothing either), but a
        // script needs to know which of its files is missing.
        sink.ShowMessage(0, "Cannot open the project file " + EscapeForDisplay(path), MessageIcon::Exclamation);
        return false;
    case LoadResult::Refused:
        sink.ShowMessage(0, "The project file " + EscapeForDisplay(path) + " was not loaded.", MessageIcon::Exclamation);
        return false;
    }
    return false;
}

std::optional<std::uint32_t> ReadProjectVersion(const std::string& path) {
    // The loader checked the header already; only the number is wanted here.
    std::ifstream file(path, std::ios::binary);
    unsigned char header[8];
    if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return std::nullopt;
    return static_cast<std::uint32_t>(header[4]) | static_cast<std::uint32_t>(header[5]) << 8 |
           static_cast<std::uint32_t>(header[6]) << 16 | static_cast<std::uint32_t>(header[7]) << 24;
}

}  // namespace dw::cli
