#pragma once
// What the tests of every wing share for files: a fresh temporary folder that
// cleans up after itself, and reading a file or a folder back. No GoogleTest
// and no Qt here, so core, command-line and window tests (and benchmarks)
// can all use it.

#include <cstddef>
#include <filesystem>
#include <string>

namespace dw::test {

// A fresh empty folder under the system's temporary folder, removed with
// everything in it when the object goes. Each object has its own folder, so
// tests that run side by side (ctest -j) never meet in one.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A whole file's bytes; empty when it cannot be read.
std::string Slurp(const std::filesystem::path& path);

// How many entries a folder holds (a temporary left behind shows here).
std::size_t FilesIn(const std::filesystem::path& dir);

}  // namespace dw::test
