#include "core/base/testing/TestSupport.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>

namespace dw::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dw-test-XXXXXX").string();
    // A test without its folder would write somewhere else: stop it loudly.
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder " + pattern + ": " + std::strerror(errno));
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission first: some tests make a folder read-only.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ec))
        if (entry.is_directory(ec)) std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::size_t FilesIn(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace dw::test
