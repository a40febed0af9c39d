#pragma once
// The project commands without their windows: New Project, Open Project (and
// a file opened at start-up or dropped on the window), Save Project, Save
// Project Copy, the question "Save project?" before anything unsaved is
// discarded, and the main window's title.
//
// The windows supply the dialogs, the main window's reactions and the
// messages through IProjectCommandHost; everything here is plain logic, so the
// flows are tested with a scripted host. User-interface thread only.
//
// Unsaved changes: the project counts as changed when the bytes a save would
// write differ from the bytes of the last save or open. That one comparison
// catches every edit, split, merge, drag, property or source change, whoever
// made it, without each editor having to report it; and an edit that is undone
// by hand counts as no change. Playback-only state that is not stored
// (musicOutdated, the decoded source) never counts.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/Progress.h"
#include "core/model/Project.h"

namespace dw {

inline constexpr std::string_view kAppTitle = "Driftwell";
// The question before unsaved work would be discarded (it has no string table id).
inline constexpr std::string_view kMsgSaveProject = "Save project?";

// The main window's title: "Driftwell" without a project file, otherwise the
// file's name without its extension, " - ", "Driftwell". Both "/" and "\"
// separate folders. Only the file name's own extension is cut: a "." in a
// folder name ("My.Projects/Evening") leaves the name "Evening" whole, and a
// name that is nothing but an extension (".dwv") stays as it is. `unsaved`
// puts a "*" in front.
std::string ProjectTitle(std::string_view projectPath, bool unsaved = false);

// Remembers what the project looked like when it was last saved or opened.
// What a file dropped on the main window is, by its extension (any case).
enum class DroppedFile { Project, MusicSource, Other };
DroppedFile ClassifyDroppedFile(const std::filesystem::path& path);

class CChangeTracker {
public:
    void MarkSaved(const CProject& project) { saved_ = StoreProjectBytes(project); }
    bool IsChanged(const CProject& project) const { return StoreProjectBytes(project) != saved_; }

private:
    static std::vector<std::uint8_t> StoreProjectBytes(const CProject& project);
    std::vector<std::uint8_t> saved_;
};

enum class SaveAnswer { Yes, No, Cancel };
enum class FileDialogMode { Open, Save };

// What the commands ask of the windows.
class IProjectCommandHost {
public:
    virtual ~IProjectCommandHost() = default;
    // The project file dialog; none when the user cancelled.
    virtual std::optional<std::filesystem::path> AskProjectPath(FileDialogMode mode) = 0;
    // "Save project?" with Yes, No and Cancel.
    virtual SaveAnswer AskSaveProject() = 0;
    // The main window's reactions (WM_APP_STOP, WM_APP_NEW_PROJECT,
    // WM_APP_ENSURE_SOURCE, WM_APP_REFRESH_PANEL, WM_APP_REDRAW_MATRIX).
    virtual void StopPlayback() = 0;
    virtual void ResetProject() = 0;
    virtual void EnsureSource() = 0;
    virtual void RefreshPanel() = 0;
    virtual void RedrawMatrix() = 0;
    // Repaints the whole main window, background included.
    virtual void InvalidateWindow() {}
    virtual void SetTitle(const std::string& title) = 0;
    // Messages of a refused file or a failed store.
    virtual IMessageSink& Messages() = 0;
};

class CProjectCommands {
public:
    CProjectCommands(CProject& project, IProjectCommandHost& host) : project_(project), host_(host) {}

    // The project as it is now counts as saved (after start-up has settled).
    void MarkSaved();
    bool IsChanged() const { return tracker_.IsChanged(project_); }

    // Each returns true when it went through, false when the user cancelled
    // or it failed (then the project, its path and the title are as before,
    // except where noted).
    bool NewProject();
    // Asks before discarding, stops playback, then the file dialog.
    bool OpenProject();
    // A file chosen elsewhere (dropped on the window): asks before
    // discarding, stops playback, loads.
    bool OpenProjectFile(const std::filesystem::path& path);
    // The file named on the command line: no question, no stop. A file that
    // cannot be loaded leaves the defaults and no path.
    bool OpenAtStartup(const std::filesystem::path& path);
    // Writes to the current path, or asks for one when there is none; the
    // saved path names the project from then on.
    bool SaveProject();
    // Asks for a path and writes there; the current path, the title and the
    // unsaved state stay as they are.
    bool SaveProjectCopy();
    // A music source chosen elsewhere (dropped on the window), as the control
    // panel's "Select music source": names it, shows it, decodes it.
    void SetMusicSource(const std::filesystem::path& path);
    // Before unsaved work would be discarded (closing the window too): true
    // when it may go. Nothing changed: true without a question. Yes saves and
    // goes on only when the save succeeded; No goes on; Cancel stays.
    bool QuerySaveChanges();

    // Sets the title when it differs from the one last set (call it after
    // edits, or from a timer: it compares the project with the saved bytes).
    void RefreshTitle();
    std::string Title() const { return ProjectTitle(titlePath_.string(), IsChanged()); }

    const std::filesystem::path& CurrentPath() const { return path_; }
    void SetCurrentPath(const std::filesystem::path& path) { path_ = titlePath_ = path; }

private:
    // Loads into the project in use; on success the source is decoded, the
    // panel and the matrix show the file, the title names it.
    bool LoadAndRefresh(const std::filesystem::path& path);
    bool StoreTo(const std::filesystem::path& path);
    void SetTitleNow();

    CProject& project_;
    IProjectCommandHost& host_;
    CChangeTracker tracker_;
    std::filesystem::path path_;
    // The file the title names. Usually the current path, but a failed open
    // empties the path and leaves the title as it was.
    std::filesystem::path titlePath_;
    std::optional<std::string> shownTitle_;
};

}  // namespace dw
