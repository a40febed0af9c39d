#pragma once
// The project commands on the main window: the windows' side of
// CProjectCommands (dialogs, the main window's application messages, the
// title), the commands' keyboard shortcuts, files dropped on the window, and
// a timer that keeps the title's unsaved-changes marker current.
//
// The main window creates one for its run and routes to it: the toolbar's
// commands 20012 to 20015, the close event (QuerySaveChanges), the start-up
// file (OpenAtStartup). User-interface thread only.

#include "core/model/ProjectCommands.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
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
// Ctrl+N, Ctrl+O, Ctrl+S, Ctrl+Shift+S, Ctrl+E; they work while a text field
// has the focus too.
const std::array<CommandShortcut, 5>& CommandShortcuts();

class CProjectCommandsUi final : public QObject, public IProjectCommandHost {
    Q_OBJECT
public:
    // `mainWindow` hears the application messages and carries the title;
    // `messages` shows the messages of refused files and failed stores.
    // Owned by `parent` (the main window when none is given).
    CProjectCommandsUi(QWidget* mainWindow, CProject* project, IMessageSink* messages, QObject* parent = nullptr);

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

    // Closing the main window (close box, Alt+F4, the window menu) asks
    // "Save project?" first when there are unsaved changes; Cancel, or a
    // save that did not happen, keeps the window open.
    void AskBeforeClosing();

    // Replaces the project file dialog (the toolbar's replaceable chooser);
    // an empty function restores it.
    using PathChooser = std::function<std::optional<QString>(FileDialogMode mode)>;
    void SetPathChooser(PathChooser chooser) { pathChooser_ = std::move(chooser); }

    // Commits a value still being typed in a text field and shows the title
    // it gives; every command that saves or replaces the project runs this
    // first.
    void CommitTypedValue();

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

signals:
    // New or Open (a dropped project file too) replaced the project.
    void projectReplaced();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* mainWindow_;
    CProject* project_;
    IMessageSink* messages_;
    CProjectCommands commands_;
    QTimer titleTimer_;
    PathChooser pathChooser_;
    bool askBeforeClosing_ = false;
};

}  // namespace dw
