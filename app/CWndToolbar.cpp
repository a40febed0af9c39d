#include "app/CWndToolbar.h"

#include "app/AppMessages.h"
#include "app/HelpCommands.h"
#include "app/MessageBox.h"
#include "app/ProgressBox.h"
#include "audio/Export.h"
#include "engine/MusicEngine.h"
#include "app/Panels.h"
#include "app/controls/ArtResources.h"
#include "app/controls/Painting.h"
#include "app/platform/Title.h"
#include "model/Project.h"
#include "model/ProjectFile.h"
#include "resources/StringTable.h"

#include <QFileDialog>
#include <QPainter>

namespace dw {

namespace {

CWndToolbar::FileChooser& Chooser() {
    static CWndToolbar::FileChooser chooser;
    return chooser;
}

const QString kProjectFilter = QStringLiteral("Driftwell Project(*.dwv) (*.dwv)");

// The system's file dialog, owned by the main window.
std::optional<QString> AskForFile(QWidget* owner, CWndToolbar::FileMode mode, const QString& filter,
                                  const QString& suffix) {
    if (Chooser()) return Chooser()(mode, filter, suffix);
    QFileDialog dialog(owner, QString(), QString(), filter);
    dialog.setAcceptMode(mode == CWndToolbar::FileMode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (mode == CWndToolbar::FileMode::Open) dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

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

CWndToolbar::CWndToolbar(QWidget* mainWindow, CProject* project, CMusicEngine* engine)
    : QWidget(mainWindow), mainWindow_(mainWindow), project_(project), engine_(engine) {
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

void CWndToolbar::UpdateTitle() {
    if (!mainWindow_) return;
    mainWindow_->setWindowTitle(QString::fromStdString(TitleForProjectPath(currentProjectPath_.toStdString())));
}

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

// The project commands below are the plain flows; their dialogs and questions
// are completed with the project commands' own work.
void CWndToolbar::OnNewProject() {
    SendAppMessage(mainWindow_, WM_APP_STOP);
    if (mainWindow_) mainWindow_->update();
    SendAppMessage(mainWindow_, WM_APP_NEW_PROJECT);
    currentProjectPath_.clear();
    UpdateTitle();
}

bool CWndToolbar::LoadProjectAndRefresh(const QString& path) {
    if (!project_) return false;
    MessageBoxSink sink(mainWindow_);
    if (!LoadProject(*project_, std::filesystem::path(path.toStdString()), sink)) return false;
    SendAppMessage(mainWindow_, WM_APP_ENSURE_SOURCE);
    SendAppMessage(mainWindow_, WM_APP_REFRESH_PANEL);
    SendAppMessage(mainWindow_, WM_APP_REDRAW_MATRIX);
    UpdateTitle();
    return true;
}

void CWndToolbar::OnOpenProject() {
    SendAppMessage(mainWindow_, WM_APP_STOP);
    const std::optional<QString> path = AskForFile(mainWindow_, FileMode::Open, kProjectFilter, QStringLiteral("dwv"));
    if (!path) return;
    currentProjectPath_ = *path;
    if (!LoadProjectAndRefresh(*path)) currentProjectPath_.clear();
}

void CWndToolbar::OnSaveProject(bool asCopy) {
    if (!project_) return;
    QString path = currentProjectPath_;
    if (asCopy || path.isEmpty()) {
        const std::optional<QString> chosen =
            AskForFile(mainWindow_, FileMode::Save, kProjectFilter, QStringLiteral("dwv"));
        if (!chosen) return;
        path = *chosen;
    }
    MessageBoxSink sink(mainWindow_);
    if (!StoreProject(*project_, std::filesystem::path(path.toStdString()), sink)) return;
    // A copy leaves the project in use where it was; Save names it.
    if (!asCopy) {
        currentProjectPath_ = path;
        UpdateTitle();
    }
}

void CWndToolbar::OnWriteMusic() {
    if (!engine_ || !project_) return;
    if (!engine_->Output() || engine_->OutputFrameCount() == 0) {
        ShowMessageBox(mainWindow_, QStringLiteral("There is no music to write yet: press Play to create it."),
                       MessageIcon::Information);
        return;
    }
    const bool mp3 = encoderIndex_ == 3;
    const QString filter = mp3 ? QStringLiteral("MP3 sound file (*.mp3)") : QStringLiteral("WAV sound file (*.wav)");
    const std::optional<QString> chosen =
        AskForFile(mainWindow_, FileMode::Save, filter, mp3 ? QStringLiteral("mp3") : QStringLiteral("wav"));
    if (!chosen) return;
    const QString path = *chosen;

    ProgressBox progress(mainWindow_, QStringLiteral("Writing Music"));
    WriteMusic(std::filesystem::path(path.toStdString()), engine_->Output(), engine_->OutputFrameCount(),
               engine_->SampleRate(), encoderIndex_, acmFormat_, progress);
}

}  // namespace dw
