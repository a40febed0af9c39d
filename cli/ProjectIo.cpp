#include "cli/ProjectIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "core/base/TextEscape.h"
#include "core/model/ProjectFile.h"

namespace dw::cli {

namespace {

// Keeps the loader's message so that the command line can say it in one
// line with the file's name.
class KeptMessage final : public IMessageSink {
public:
    void ShowMessage(int, std::string_view text, MessageIcon) override {
        if (text_.empty()) text_ = text;
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// The system's word for why `path` cannot be read as a project.
std::string WhyNotReadable(const std::string& path) {
    const std::string why = WhyProjectCannotOpen(path);
    return why.empty() ? "it cannot be read" : why;
}

}  // namespace

bool LoadProjectReporting(CProject& project, const std::string& path, IMessageSink& sink) {
    KeptMessage kept;
    switch (LoadProjectFile(project, path, kept)) {
    case LoadResult::Loaded:
        return true;
    case LoadResult::CannotOpen:
        // The loader is silent here (the windows show nothing either), but a
        // script needs to know which of its files is missing, and why.
        sink.ShowMessage(0, "Cannot open the project file " + EscapeForDisplay(path) + ": " + WhyNotReadable(path) + ".",
                         MessageIcon::Exclamation);
        return false;
    case LoadResult::Refused:
        // The loader's message names the file already.
        sink.ShowMessage(0,
                         kept.Text().empty() ? "The project file " + EscapeForDisplay(path) + " was not loaded."
                                             : kept.Text(),
                         MessageIcon::Exclamation);
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
