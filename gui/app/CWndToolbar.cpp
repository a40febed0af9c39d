#include "gui/app/CWndToolbar.h"

#include "gui/app/HelpCommands.h"
#include "gui/app/commands/CommandDialogs.h"
#include "gui/app/commands/WriteMusicFlow.h"
#include "core/audio/Export.h"
#include "core/engine/MusicEngine.h"
#include "core/model/Project.h"
#include "core/model/ProjectFile.h"
#include "core/resources/StringTable.h"
#include "gui/kit/AppMessages.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/Painting.h"
#include "gui/kit/Panels.h"

#include <QFileDialog>
#include <QPainter>

namespace dw {

namespace {

CWndToolbar::FileChooser& Chooser() {
    static CWndToolbar::FileChooser chooser;
    return chooser;
}

const QString kProjectFilter = QStringLiteral("Driftwell Project(*.dwv) (*.dwv)");

}  // namespace

void CWndToolbar::SetFileChooser(FileChooser chooser) { Chooser() = std::move(chooser); }

const std::array<ToolbarButtonInfo, kToolbarButtonCount>& ToolbarButtons() {
    static const std::array<ToolbarButtonInfo, kToolbarButtonCount> buttons{{
        {ID_NEW_PROJECT, IDB_TB_NEW, IDS_TIP_NEW_PROJECT},
        {ID_OPEN_PROJECT, IDB_TB_OPEN, IDS_TIP_OPEN_PROJECT},
        {ID_SAVE_PROJECT, IDB_TB_SAVE, IDS_TIP_SAVE_PROJECT},
        {ID_SAVE_PROJECT_COPY, IDB_TB_SAVECOPY, IDS_TIP_SAVE_PROJECT_COPY},
        {ID_WRITE_MUSIC, IDB_TB_EXPORT, IDS_TIP_WRITE_MUSIC},
        {ID_USERS_GUIDE, IDB_TB_GUIDE, IDS_TIP_USERS_GUIDE},
        {ID_ABOUT, IDB_TB_ABOUT, IDS_TIP_ABOUT},
        {ID_HOME_PAGE, IDB_TB_HOME, IDS_TIP_HOME_PAGE},
    }};
    return buttons;
}

CWndToolbar::CWndToolbar(QWidget* mainWindow, CProject* project, CMusicEngine* engine, CreateMusic createMusic)
    : QWidget(mainWindow), mainWindow_(mainWindow), project_(project), engine_(engine),
      createMusic_(std::move(createMusic)), messages_(mainWindow),
      commands_(new CProjectCommandsUi(mainWindow, project, &messages_, this)) {
    // The project file dialog goes through the replaceable chooser when the
    // tests set one.
    commands_->SetPathChooser([this](FileDialogMode mode) -> std::optional<QString> {
        if (Chooser())
            return Chooser()(mode == FileDialogMode::Open ? FileMode::Open : FileMode::Save, kProjectFilter,
                             QStringLiteral("dwv"));
        return RunProjectFileDialog(mainWindow_, mode);
    });
    if (mainWindow_) {
        commands_->InstallShortcuts([this](int command) { OnCommand(command); });
        commands_->AcceptDrops();
        commands_->AskBeforeClosing();
    }
    setObjectName(QStringLiteral("panel-%1").arg(IDC_TOOLBAR));
    setAttribute(Qt::WA_OpaquePaintEvent);  // the painting covers everything
    background_ = LoadBitmapResource(IDB_TOOLBAR_BG);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const ToolbarButtonInfo& info = ToolbarButtons()[i];
        auto* b = new CHoverButton(this, info.command);
        b->setObjectName(QStringLiteral("button-%1").arg(info.command));
        b->LoadStateStrip(info.bitmap);
        const std::string_view tip = LoadString(info.tooltipId);
        b->AssignTooltip(QString::fromUtf8(tip.data(), static_cast<qsizetype>(tip.size())));
        connect(b, &CHoverButton::command, this, &CWndToolbar::OnCommand);
        buttons_[i] = b;
    }
    LayoutButtons();
}

CHoverButton* CWndToolbar::button(int command) const {
    for (CHoverButton* b : buttons_)
        if (b && b->commandId() == command) return b;
    return nullptr;
}

void CWndToolbar::LayoutButtons() {
    const auto rects = ToolbarButtonRects(height());
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setGeometry(rects[i].left, rects[i].top, rects[i].width(), rects[i].height());
}

void CWndToolbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutButtons();
}

void CWndToolbar::paintEvent(QPaintEvent*) {
    QPixmap buffer = MakeBackBuffer(*this);
    {
        QPainter p(&buffer);
        TileBitmap(background_, Rect{0, 0, width() - 1, height() - 1}, p);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CWndToolbar::SetCurrentProjectPath(const QString& path) {
    commands_->commands().SetCurrentPath(std::filesystem::path(path.toStdString()));
}

void CWndToolbar::UpdateTitle() { commands_->commands().RefreshTitle(); }

void CWndToolbar::OnCommand(int command) {
    switch (command) {
    case ID_NEW_PROJECT: OnNewProject(); break;
    case ID_OPEN_PROJECT: OnOpenProject(); break;
    case ID_SAVE_PROJECT: OnSaveProject(false); break;
    case ID_SAVE_PROJECT_COPY: OnSaveProject(true); break;
    case ID_WRITE_MUSIC: OnWriteMusic(); break;
    case ID_USERS_GUIDE: OpenUsersGuide(this); break;
    case ID_ABOUT: ShowAboutBox(mainWindow_); break;
    case ID_HOME_PAGE: OpenHomePage(); break;
    default: break;
    }
}

// The four project commands run in the project commands' flows, which ask
// "Save project?" before unsaved work would be discarded.
void CWndToolbar::OnNewProject() { commands_->RunProjectCommand(ID_NEW_PROJECT); }
void CWndToolbar::OnOpenProject() { commands_->RunProjectCommand(ID_OPEN_PROJECT); }
void CWndToolbar::OnSaveProject(bool asCopy) {
    commands_->RunProjectCommand(asCopy ? ID_SAVE_PROJECT_COPY : ID_SAVE_PROJECT);
}

bool CWndToolbar::LoadProjectAndRefresh(const QString& path) {
    return commands_->commands().OpenAtStartup(std::filesystem::path(path.toStdString()));
}

void CWndToolbar::OnWriteMusic() {
    if (!engine_ || !project_) return;
    commands_->CommitTypedValue();  // the music is written as typed
    WriteMusicSetup setup;
    setup.owner = mainWindow_;
    setup.project = project_;
    setup.engine = engine_;
    setup.encoder = encoderIndex_;
    setup.chosen = acmFormat_;
    setup.projectPath = currentProjectPath();
    setup.messages = &messages_;
    // Music that does not match the project is created first, along the
    // road the main window hands over (Play's, with its progress dialogs).
    setup.createMusic = createMusic_;
    if (Chooser()) {
        setup.askTarget = [](const QString&, const QString& filter, const QString& suffix) {
            return Chooser()(FileMode::Save, filter, suffix);
        };
    }
    WriteMusicToFile(setup);
}

}  // namespace dw
