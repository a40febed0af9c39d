#include "gui/app/commands/ProjectCommandsUi.h"

#include "gui/app/commands/CommandDialogs.h"
#include "gui/app/commands/FieldShortcuts.h"
#include "gui/kit/AppMessages.h"
#include "gui/kit/PendingEdit.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>
#include <QWidget>

#include <array>

namespace dw {

namespace {

std::function<SaveAnswer()>& QuestionHook() {
    static std::function<SaveAnswer()> hook;
    return hook;
}

// Shown where no sink was given: nowhere (the windows always give one).
NullProgress g_noMessages;

// The one local file a drag carries that we can take, or nothing.
QString DroppableFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return {};
    const QString path = urls.first().toLocalFile();
    if (ClassifyDroppedFile(std::filesystem::path(path.toStdString())) == DroppedFile::Other) return {};
    return path;
}

}  // namespace

const std::array<CommandShortcut, 5>& CommandShortcuts() {
    static const std::array<CommandShortcut, 5> table{{
        {kCmdNewProject, "Ctrl+N"},
        {kCmdOpenProject, "Ctrl+O"},
        {kCmdSaveProject, "Ctrl+S"},
        {kCmdSaveProjectCopy, "Ctrl+Shift+S"},
        {kCmdWriteMusic, "Ctrl+E"},
    }};
    return table;
}

CProjectCommandsUi::CProjectCommandsUi(QWidget* mainWindow, CProject* project, IMessageSink* messages,
                                       QObject* parent)
    : QObject(parent ? parent : mainWindow), mainWindow_(mainWindow), project_(project), messages_(messages),
      commands_(*project, *this) {
    // Edits reach the project from every panel; comparing it with the saved
    // bytes a few times a second keeps the "*" honest without each editor
    // reporting its changes. A store of the project takes microseconds.
    titleTimer_.setInterval(300);
    connect(&titleTimer_, &QTimer::timeout, this, [this] { commands_.RefreshTitle(); });
    titleTimer_.start();
}

bool CProjectCommandsUi::RunProjectCommand(int command) {
    if (command < kCmdNewProject || command > kCmdSaveProjectCopy) return false;
    CommitTypedValue();
    switch (command) {
    case kCmdNewProject:
        if (commands_.NewProject()) emit projectReplaced();
        break;
    case kCmdOpenProject:
        if (commands_.OpenProject()) emit projectReplaced();
        break;
    case kCmdSaveProject: commands_.SaveProject(); break;
    case kCmdSaveProjectCopy: commands_.SaveProjectCopy(); break;
    default: break;
    }
    return true;
}

void CProjectCommandsUi::CommitTypedValue() {
    // The field's handler stores the value and reports the edit; the title
    // shows the "*" at once, before any question or save looks at it.
    CommitPendingEdit();
    commands_.RefreshTitle();
}

void CProjectCommandsUi::InstallShortcuts(std::function<void(int)> run) {
    if (!mainWindow_) return;
    auto* fieldKeys = new FieldShortcuts(mainWindow_);
    for (const CommandShortcut& s : CommandShortcuts()) {
        const QKeySequence keys(QString::fromLatin1(s.keys));
        auto* shortcut = new QShortcut(keys, mainWindow_);
        // Write Music to File answers wherever the focus is, a text field
        // included (which would otherwise take Ctrl+E as "end of line").
        shortcut->setContext(s.command == kCmdWriteMusic ? Qt::ApplicationShortcut : Qt::WindowShortcut);
        fieldKeys->AddCommandKeys(keys);
        const int command = s.command;
        connect(shortcut, &QShortcut::activated, this, [run, command] {
            if (run) run(command);
        });
    }
}

void CProjectCommandsUi::AcceptDrops() {
    if (!mainWindow_) return;
    mainWindow_->setAcceptDrops(true);
    mainWindow_->removeEventFilter(this);  // installed once, whatever is asked of it
    mainWindow_->installEventFilter(this);
}

void CProjectCommandsUi::AskBeforeClosing() {
    if (!mainWindow_) return;
    askBeforeClosing_ = true;
    mainWindow_->removeEventFilter(this);
    mainWindow_->installEventFilter(this);
}

bool CProjectCommandsUi::eventFilter(QObject* watched, QEvent* event) {
    if (watched != mainWindow_) return false;
    switch (event->type()) {
    case QEvent::Close:
        if (!askBeforeClosing_) return false;
        CommitTypedValue();
        if (commands_.QuerySaveChanges()) return false;  // the window closes as usual
        event->ignore();
        return true;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        if (!mainWindow_->acceptDrops()) return false;
        auto* drag = static_cast<QDropEvent*>(event);
        if (DroppableFile(drag->mimeData()).isEmpty()) {
            drag->ignore();
        } else {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        }
        return true;
    }
    case QEvent::Drop: {
        if (!mainWindow_->acceptDrops()) return false;
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DroppableFile(drop->mimeData());
        if (path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        QTimer::singleShot(0, this, [this, path] { OpenDroppedFile(path); });
        return true;
    }
    default: return false;
    }
}

bool CProjectCommandsUi::OpenDroppedFile(const QString& path) {
    const std::filesystem::path p(path.toStdString());
    const DroppedFile kind = ClassifyDroppedFile(p);
    if (kind == DroppedFile::Other) return false;
    CommitTypedValue();
    if (kind == DroppedFile::Project) {
        if (!commands_.OpenProjectFile(p)) return false;
        emit projectReplaced();
        return true;
    }
    commands_.SetMusicSource(p);
    SendAppMessage(mainWindow_, WM_APP_PROJECT_EDITED);  // a new source is one step to undo
    return true;
}

std::optional<std::filesystem::path> CProjectCommandsUi::AskProjectPath(FileDialogMode mode) {
    const std::optional<QString> path = pathChooser_ ? pathChooser_(mode) : RunProjectFileDialog(mainWindow_, mode);
    if (!path) return std::nullopt;
    return std::filesystem::path(path->toStdString());
}

SaveAnswer CProjectCommandsUi::AskSaveProject() {
    if (QuestionHook()) return QuestionHook()();
    return AskSaveProjectQuestion(mainWindow_);
}

void CProjectCommandsUi::SetSaveQuestionHook(std::function<SaveAnswer()> hook) { QuestionHook() = std::move(hook); }

void CProjectCommandsUi::StopPlayback() { SendAppMessage(mainWindow_, WM_APP_STOP); }
void CProjectCommandsUi::ResetProject() { SendAppMessage(mainWindow_, WM_APP_NEW_PROJECT); }
void CProjectCommandsUi::EnsureSource() { SendAppMessage(mainWindow_, WM_APP_ENSURE_SOURCE); }
void CProjectCommandsUi::RefreshPanel() { SendAppMessage(mainWindow_, WM_APP_REFRESH_PANEL); }
void CProjectCommandsUi::RedrawMatrix() { SendAppMessage(mainWindow_, WM_APP_REDRAW_MATRIX); }

void CProjectCommandsUi::InvalidateWindow() {
    if (mainWindow_) mainWindow_->update();
}

void CProjectCommandsUi::SetTitle(const std::string& title) {
    if (mainWindow_) mainWindow_->setWindowTitle(QString::fromStdString(title));
}

IMessageSink& CProjectCommandsUi::Messages() { return messages_ ? *messages_ : g_noMessages; }

}  // namespace dw
