#include "core/base/PathText.h"

#include <climits>
#include <cstring>
#include <system_error>

#include "core/base/OutputFile.h"

namespace dw {

bool PathLongerThanPathMax(const std::filesystem::path& path) {
    // PATH_MAX counts the terminating NUL.
    return path.native().size() >= PATH_MAX;
}

std::string PathErrorText(const std::filesystem::path& path, int error) {
    if (error == ENAMETOOLONG && PathLongerThanPathMax(path))
        return "the path is longer than PATH_MAX (" + std::to_string(PATH_MAX) + " bytes)";
    return ErrorText(error);
}

std::filesystem::path FolderWrittenTo(const std::filesystem::path& target) {
    std::filesystem::path file = target;
    // A loop of links ends the search; the write then fails on its own.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(file, ec)) || ec) break;
        const std::filesystem::path next = std::filesystem::read_symlink(file, ec);
        if (ec) break;
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

}  // namespace dw
