#pragma once
// The project commands on the main window: the windows' side of
// CProjectCommands (dialogs, the main window's application messages, the
// title), the commands' keyboard shortcuts, files dropped on the window, and
// a timer that keeps the title's unsaved-changes marker current.
//
// The main window creates one for its run and routes to it: the toolbar's
// commands 20012 to 20015, the close event (QuerySaveChanges), the start-up
// file (OpenAtStartup). User-interface thread only.

#include "model/ProjectCommands.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class QWidget;

namespace dw {

class CProject;

// The command ids of the toolbar's project buttons and Write Music to File.
inline constexpr int kCmdNewProject = 20012;
inline constexpr int kCmdOpenProject = 20013;
inline constexpr int kCmdSaveProject = 20014;
inline constexpr int kCmdSaveProjectCopy = 20015;
inline constexpr int kCmdWriteMusic = 20016;

struct CommandShortcut {
    int command;
    const char* keys;  // QKeySequence text
};
// Ctrl+N, Ctrl+O, Ctrl+S, Ctrl+Shift+S, Ctrl+E.
const std::array<CommandShortcut, 5>& CommandShortcuts();

class CProjectCommandsUi final : public QObject, public IProjectCommandHost {
    Q_OBJECT
public:
    // `mainWindow` hears the application messages and carries the title;
    // `messages` shows the messages of refused files and failed stores.
    CProjectCommandsUi(QWidget* mainWindow, CProject* project, IMessageSink* messages);

    CProjectCommands& commands() { return commands_; }
    QString currentPath() const { return QString::fromStdString(commands_.CurrentPath().string()); }

    // Runs command 20012 to 20015; false for any other id.
    bool RunProjectCommand(int command);

    // The shortcuts of the five commands on the main window, each running
    // `run` with its command id (the toolbar's own command handler).
    void InstallShortcuts(std::function<void(int)> run);

    // Lets files be dropped on the main window: a project file opens (after
    // the unsaved-changes question), a music source becomes the source and is
    // decoded. Other files are not taken.
    void AcceptDrops();
    // What a drop of `path` does, run after the drop has ended (a question or
    // a progress dialog must not run inside the drag's event).
    bool OpenDroppedFile(const QString& path);

    // IProjectCommandHost
    std::optional<std::filesystem::path> AskProjectPath(FileDialogMode mode) override;
    SaveAnswer AskSaveProject() override;
    void StopPlayback() override;
    void ResetProject() override;
    void EnsureSource() override;
    void RefreshPanel() override;
    void RedrawMatrix() override;
    void InvalidateWindow() override;
    void SetTitle(const std::string& title) override;
    IMessageSink& Messages() override;

    // Replaces the "Save project?" question (tests of other windows that close
    // a changed project); an empty function restores the dialog.
    static void SetSaveQuestionHook(std::function<SaveAnswer()> hook);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* mainWindow_;
    CProject* project_;
    IMessageSink* messages_;
    CProjectCommands commands_;
    QTimer titleTimer_;
};

}  // namespace dw
