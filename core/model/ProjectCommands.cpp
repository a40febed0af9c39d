#include "core/model/ProjectCommands.h"

#include "core/base/TextEscape.h"
#include "core/model/ProjectFile.h"

namespace dw {

std::string ProjectTitle(std::string_view path, bool unsaved) {
    std::string title = unsaved ? "*" : "";
    if (path.empty()) return title.append(kAppTitle);
    // A Linux path may hold "\" inside a name, but a project written on the
    // other platform names its folders with it; either way what follows the
    // last separator is the file's name.
    const auto sep = path.find_last_of("/\\");
    std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
    // Cutting the whole path at its last "." would show a folder's name for a
    // file without an extension ("My.Projects/Evening" as "My"), or nothing at
    // all under a hidden folder; only the name's own extension goes.
    const auto dot = name.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    if (name.empty()) name = path;  // a path ending in a separator
    // A file's name may hold control characters; a title shows them escaped.
    return title.append(EscapeForDisplay(name)).append(" - ").append(kAppTitle);
}

DroppedFile ClassifyDroppedFile(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (ext == ".dwv") return DroppedFile::Project;
    for (const char* music : {".wav", ".aif", ".aiff", ".mp3", ".mp2", ".mp1", ".ogg"})
        if (ext == music) return DroppedFile::MusicSource;
    return DroppedFile::Other;
}

std::vector<std::uint8_t> CChangeTracker::StoreProjectBytes(const CProject& project) {
    return StoreProjectToBytes(project);
}

void CProjectCommands::MarkSaved() {
    tracker_.MarkSaved(project_);
    SetTitleNow();
}

void CProjectCommands::SetTitleNow() {
    shownTitle_ = Title();
    host_.SetTitle(*shownTitle_);
}

void CProjectCommands::RefreshTitle() {
    const std::string title = Title();
    if (shownTitle_ && *shownTitle_ == title) return;
    shownTitle_ = title;
    host_.SetTitle(title);
}

bool CProjectCommands::QuerySaveChanges() {
    if (!IsChanged()) return true;
    switch (host_.AskSaveProject()) {
    case SaveAnswer::Yes: return SaveProject();
    case SaveAnswer::No: return true;
    case SaveAnswer::Cancel: return false;
    }
    return false;
}

bool CProjectCommands::NewProject() {
    if (!QuerySaveChanges()) return false;
    host_.StopPlayback();
    host_.InvalidateWindow();
    host_.ResetProject();
    path_.clear();
    titlePath_.clear();
    MarkSaved();
    return true;
}

bool CProjectCommands::LoadAndRefresh(const std::filesystem::path& path) {
    if (LoadProjectFile(project_, path, host_.Messages()) != LoadResult::Loaded) {
        // The project keeps its content and the title stays; the path no
        // longer names a file the project came from.
        path_.clear();
        return false;
    }
    path_ = titlePath_ = path;
    // The file's project is unchanged already while its source is decoded: a
    // close that arrives during the decode has nothing to ask about.
    tracker_.MarkSaved(project_);
    host_.EnsureSource();
    host_.RefreshPanel();
    host_.RedrawMatrix();
    // What the file held, as the panels settled it (the decode puts the trim
    // range back to its defaults), is the saved state: a project just opened
    // has nothing to save.
    MarkSaved();
    return true;
}

bool CProjectCommands::OpenProject() {
    if (!QuerySaveChanges()) return false;
    host_.StopPlayback();
    const std::optional<std::filesystem::path> path = host_.AskProjectPath(FileDialogMode::Open);
    if (!path || path->empty()) return false;
    return LoadAndRefresh(*path);
}

bool CProjectCommands::OpenProjectFile(const std::filesystem::path& path) {
    if (!QuerySaveChanges()) return false;
    host_.StopPlayback();
    return LoadAndRefresh(path);
}

bool CProjectCommands::OpenAtStartup(const std::filesystem::path& path) {
    if (path.empty()) return false;
    // A project asked for by name that cannot even be opened is told before
    // the default project takes its place: silence would look as if the
    // file had been opened and was empty.
    if (const std::string why = WhyProjectCannotOpen(path); !why.empty()) {
        host_.Messages().ShowMessage(0,
                                     "Cannot open the project file " + EscapeForDisplay(path.string()) + ": " + why +
                                         ".\nThe default project is opened instead.",
                                     MessageIcon::Exclamation);
        return false;
    }
    return LoadAndRefresh(path);
}

bool CProjectCommands::StoreTo(const std::filesystem::path& path) {
    return StoreProject(project_, path, host_.Messages());
}

bool CProjectCommands::SaveProject() {
    std::filesystem::path path = path_;
    if (path.empty()) {
        const std::optional<std::filesystem::path> chosen = host_.AskProjectPath(FileDialogMode::Save);
        if (!chosen || chosen->empty()) return false;
        path = *chosen;
    }
    if (!StoreTo(path)) return false;
    path_ = titlePath_ = path;
    MarkSaved();
    return true;
}

void CProjectCommands::SetMusicSource(const std::filesystem::path& path) {
    if (path.empty()) return;
    project_.properties.sourcePath = path.string();
    project_.properties.sourceLoaded = false;
    host_.RefreshPanel();
    // With a source named and not decoded, this decodes it (the decode stops
    // playback first and marks the music out of date).
    host_.EnsureSource();
}

bool CProjectCommands::SaveProjectCopy() {
    const std::optional<std::filesystem::path> chosen = host_.AskProjectPath(FileDialogMode::Save);
    if (!chosen || chosen->empty()) return false;
    if (!StoreTo(*chosen)) return false;
    // A copy over the project's own file is a save.
    if (!path_.empty() && chosen->lexically_normal() == path_.lexically_normal()) MarkSaved();
    return true;
}

}  // namespace dw
