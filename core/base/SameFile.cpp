#include "core/base/SameFile.h"

#include <system_error>

namespace dw {

namespace fs = std::filesystem;

bool SameFile(const fs::path& a, const fs::path& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    // weakly_canonical follows the links of the part that exists; where even
    // that fails (a folder that cannot be read), the plain spelling decides.
    const auto place = [](const fs::path& p) {
        std::error_code err;
        fs::path c = fs::weakly_canonical(p, err);
        if (err) c = fs::absolute(p, err).lexically_normal();
        return err ? fs::path() : c;
    };
    const fs::path ca = place(a), cb = place(b);
    return !ca.empty() && ca == cb;
}

}  // namespace dw
