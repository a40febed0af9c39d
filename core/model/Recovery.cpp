#include "core/model/Recovery.h"

#include <cstdlib>
#include <fstream>
#include <span>
#include <sstream>

#include "core/base/OutputFile.h"
#include "core/model/ProjectFile.h"

namespace dw {

namespace {
constexpr const char* kNoteName = "recovered.txt";

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}
}  // namespace

std::optional<std::filesystem::path> RecoveryFolderFrom(const char* xdgStateHome, const char* home) {
    if (xdgStateHome != nullptr && xdgStateHome[0] == '/') return std::filesystem::path(xdgStateHome) / "driftwell";
    if (home != nullptr && home[0] == '/') return std::filesystem::path(home) / ".local" / "state" / "driftwell";
    return std::nullopt;
}

std::optional<std::filesystem::path> RecoveryFolder() {
    return RecoveryFolderFrom(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

std::filesystem::path RecoveryFileFor(const std::filesystem::path& folder, const std::filesystem::path& projectPath) {
    const std::string name = projectPath.empty() ? std::string("Untitled") : projectPath.stem().string();
    return folder / (name + " (recovered).dwv");
}

std::string WriteRecoveryFile(const CProject& project, const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) return error.message();
    const std::vector<std::uint8_t> bytes = StoreProjectToBytes(project);
    if (const int err = WriteWholeFile(file, std::as_bytes(std::span(bytes)))) return ErrorText(err);
    // The note lists each file once, newest last.
    const std::filesystem::path note = file.parent_path() / kNoteName;
    std::vector<std::string> lines = ReadLines(note);
    std::erase(lines, file.string());
    lines.push_back(file.string());
    std::ostringstream text;
    for (const std::string& line : lines) text << line << '\n';
    const std::string s = text.str();
    if (const int err = WriteWholeFile(note, std::as_bytes(std::span(s.data(), s.size())))) return ErrorText(err);
    return {};
}

std::vector<std::filesystem::path> TakeRecoveryNote(const std::filesystem::path& folder) {
    const std::filesystem::path note = folder / kNoteName;
    std::vector<std::filesystem::path> files;
    for (const std::string& line : ReadLines(note))
        if (std::filesystem::exists(line)) files.emplace_back(line);
    std::error_code ignored;
    std::filesystem::remove(note, ignored);
    return files;
}

}  // namespace dw
