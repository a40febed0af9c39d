// Loading and storing project files.
//
// Loading policy for files that break the model's invariants. Such files are
// never handed on as they are: after every successful load the project
// satisfies every invariant of the properties, sections and matrix
// (CheckInvariants). A value is repaired when there is one obvious repair and
// the file is refused ("Error encountered in the project file.") when there is
// not:
//
//   repaired (clamped into range)
//     musicLength              10 to 3599 s
//     baseMotifLength          2 to 20 s, then not above musicLength
//     sampleRate               the rate of `quality` (it is derived from it)
//     volume, highCut, reverb, chorus   0 to 1 (infinities included)
//     fadeIn, fadeOut          0 to 10 s
//     trimStart, trimEnd       0 to 1
//     matrix values            0 to 1 (infinities included)
//     source fractions above 1 become 1; any negative source fraction
//       becomes the default marker -1 (splitting a section whose end is
//       the marker averages it into values such as -0.3, which other
//       writers store; they can only have meant the default range)
//   refused
//     any NaN (properties, sections, matrix)
//     quality or encoder outside 0 to 3 (which one was meant is unknowable)
//     trimStart not below trimEnd after clamping
//     no section; N different from S
//     sections that do not start at 0, do not end at 1, leave gaps, overlap,
//       are unordered or empty
//
// A section whose source range runs backwards, or whose end is the default
// marker beside an explicit start, is kept as stored: editing produces both,
// and CSections::ResolveSourceRange gives them a sound range in frames.

#include "core/model/ProjectFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <new>
#include <optional>

#include "core/base/OutputFile.h"
#include "core/base/PathText.h"
#include "core/base/TextEscape.h"
#include "core/model/ProjectArchive.h"

namespace dw {
namespace {

std::string Fill(std::string_view pattern, std::string_view arg) {
    std::string out(pattern);
    if (const auto at = out.find("%1"); at != std::string::npos) out.replace(at, 2, arg);
    return out;
}

template <class T>
T Clamp(T v, T lo, T hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Applies the policy above to a freshly read project. False when refused.
bool RepairOrRefuse(CProperties& p, CMatrix& m, CSections& s) {
    const double doubles[] = {p.trimStart, p.trimEnd, p.baseMotifLength, p.volume, p.highCut, p.reverb, p.chorus};
    for (const double v : doubles)
        if (std::isnan(v)) return false;
    if (p.quality >= kQualityCount || p.encoder >= kEncoderCount) return false;

    p.musicLength = Clamp(p.musicLength, kMinMusicLength, kMaxMusicLength);
    p.baseMotifLength = Clamp(p.baseMotifLength, kMinBaseMotifLength, kMaxBaseMotifLength);
    p.baseMotifLength = std::min(p.baseMotifLength, static_cast<double>(p.musicLength));
    p.sampleRate = kQualityTable[p.quality].sampleRate;
    p.volume = Clamp(p.volume, 0.0, 1.0);
    p.highCut = Clamp(p.highCut, 0.0, 1.0);
    p.reverb = Clamp(p.reverb, 0.0, 1.0);
    p.chorus = Clamp(p.chorus, 0.0, 1.0);
    p.fadeIn = std::min(p.fadeIn, kMaxFade);
    p.fadeOut = std::min(p.fadeOut, kMaxFade);
    p.trimStart = Clamp(p.trimStart, 0.0, 1.0);
    p.trimEnd = Clamp(p.trimEnd, 0.0, 1.0);
    if (!(p.trimStart < p.trimEnd)) return false;

    auto& items = s.items;
    if (items.empty()) return false;
    if (m.columnCount != static_cast<std::int32_t>(items.size())) return false;
    if (items.front().start != 0.0 || items.back().end != 1.0) return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        CSection& sec = items[i];
        if (!(sec.start < sec.end)) return false;  // also catches NaN
        if (i + 1 < items.size() && sec.end != items[i + 1].start) return false;
        for (double* f : {&sec.sourceStart, &sec.sourceEnd}) {
            if (std::isnan(*f)) return false;
            if (*f < 0.0) *f = kDefaultSourceRange;
            else if (*f > 1.0) *f = 1.0;
        }
    }
    for (auto& row : m.rows) {
        for (CCell& v : row) {
            if (std::isnan(v)) return false;
            v = Clamp(v, 0.0f, 1.0f);
        }
    }
    return true;
}

// Says why a project was refused. A file's refusal names the file (escaped)
// and, for the two faults a user meets most, says what is wrong with it in
// the user's words: any file that is not a project at all, and a project cut
// short (a copy that stopped, a full disk). Bytes in memory have no name and
// keep the plain texts.
class Refusal {
public:
    Refusal(IMessageSink& sink, const std::string& name) : sink_(sink), name_(name) {}
    void NotAProject() const {
        Say(name_.empty() ? std::string(kMsgProjectFileError) : std::string(kMsgNotAProject), MessageIcon::Exclamation);
    }
    void EndsEarly() const {
        Say(name_.empty() ? Fill(kMsgPastEnd, kUnnamedFile) : std::string(kMsgEndsEarly), MessageIcon::Stop);
    }
    void UnknownError() const { Say(Fill(kMsgUnknownError, name_.empty() ? kUnnamedFile : "it"), MessageIcon::Stop); }
    void Say(std::string_view text, MessageIcon icon) const {
        if (name_.empty()) sink_.ShowMessage(0, text, icon);
        else sink_.ShowMessage(0, "The project file " + name_ + " was not loaded: " + std::string(text), icon);
    }

private:
    IMessageSink& sink_;
    const std::string& name_;
};

// Reads header and blocks from `archive` and, when all was read and accepted,
// puts the result into `project`. Every message goes to `sink`; `name` is the
// file's name as shown, empty for bytes in memory.
bool LoadFromArchive(CProject& project, CProjectArchive& archive, IMessageSink& sink, const std::string& name) {
    const Refusal refuse(sink, name);
    try {
        if (archive.ReadInt32() != kProjectMagic) {
            refuse.NotAProject();
            return false;
        }
        const std::uint32_t version = archive.ReadUInt32();
        if (version < kMinProjectVersion || version > kMaxProjectVersion) {
            refuse.Say(kMsgProjectVersion, MessageIcon::Exclamation);
            return false;
        }
        // Read into fresh objects: the project in use changes only when the
        // whole file was read and accepted.
        CProperties properties;
        CMatrix matrix;
        CSections sections;
        properties.Serialize(archive);
        matrix.Serialize(archive);
        sections.Serialize(archive);
        archive.Close();
        if (!RepairOrRefuse(properties, matrix, sections)) {
            refuse.Say(kMsgProjectFileError, MessageIcon::Exclamation);
            return false;
        }
        project.properties.AssignStoredFields(properties);
        project.matrix = std::move(matrix);
        project.sections = std::move(sections);
        return true;
    } catch (const ArchiveError& e) {
        switch (e.cause()) {
        case ArchiveError::Cause::EndOfFile: refuse.EndsEarly(); break;
        case ArchiveError::Cause::InvalidArgument: refuse.Say(kMsgImproperArgument, MessageIcon::Stop); break;
        default: refuse.UnknownError(); break;
        }
    } catch (const std::bad_alloc&) {
        refuse.UnknownError();
    }
    return false;
}

void StoreToArchive(const CProject& project, CProjectArchive& archive) {
    archive.WriteInt32(kProjectMagic);
    archive.WriteUInt32(kProjectVersion);
    project.properties.Serialize(archive);
    project.matrix.Serialize(archive);
    project.sections.Serialize(archive);
}

void ReportStoreFailure(IMessageSink& sink, const std::filesystem::path& path, const std::string& reason) {
    sink.ShowMessage(0,
                     "Could not save the project to \"" + EscapeForDisplay(path.string()) + "\": " + reason +
                         ". A previous file of that name is unchanged.",
                     MessageIcon::Exclamation);
}

}  // namespace

std::string WhyProjectCannotOpen(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return PathErrorText(path, errno);
    if (S_ISDIR(st.st_mode)) return ErrorText(EISDIR);
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ErrorText(errno);
    ::close(fd);
    return {};
}

LoadResult LoadProjectFile(CProject& project, const std::filesystem::path& path, IMessageSink& sink) {
    std::optional<CProjectArchive> archive;
    try {
        archive.emplace(path, CProjectArchive::Mode::Load);
    } catch (const ArchiveError&) {
        return LoadResult::CannotOpen;  // no message, as for any file that cannot be opened
    }
    if (!LoadFromArchive(project, *archive, sink, EscapeForDisplay(path.string()))) return LoadResult::Refused;
    // A relative source path that names a file beside the project is taken from
    // there, so that a project and its source can travel together (the demo
    // does). Anything else, such as a path written on another system, stays as
    // stored and meets the decoder's own message.
    std::string& source = project.properties.sourcePath;
    if (!source.empty() && std::filesystem::path(source).is_relative()) {
        std::error_code ec;
        const auto beside = std::filesystem::absolute(path, ec).parent_path() / source;
        if (!ec && std::filesystem::is_regular_file(beside, ec)) source = beside.lexically_normal().string();
    }
    return LoadResult::Loaded;
}

bool LoadProjectFromBytes(CProject& project, std::span<const std::uint8_t> bytes, IMessageSink& sink) {
    CProjectArchive archive(bytes);
    return LoadFromArchive(project, archive, sink, std::string());
}

std::vector<std::uint8_t> StoreProjectToBytes(const CProject& project) {
    CProjectArchive archive;
    StoreToArchive(project, archive);
    return archive.StoredBytes();
}

bool StoreProject(const CProject& project, const std::filesystem::path& path, IMessageSink& sink) {
    const std::vector<std::uint8_t> bytes = StoreProjectToBytes(project);
    if (const int err = WriteWholeFile(path, std::as_bytes(std::span(bytes)))) {
        ReportStoreFailure(sink, path, err == EISDIR && !path.has_filename() ? "not a file name" : ErrorText(err));
        return false;
    }
    return true;
}

}  // namespace dw
