#include "core/geometry/Title.h"

namespace dw {

std::string TitleForProjectPath(const std::string& path) {
    const std::string app = "Driftwell";
    if (path.empty()) return app;
    const auto sep = path.find_last_of("/\\");
    std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name + " - " + app;
}

}  // namespace dw
