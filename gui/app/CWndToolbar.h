#pragma once
// The 40-pixel strip across the top of the main window: the project commands,
// Write Music to File, and the three help commands, as picture buttons in two
// groups over a tiled background. It also keeps the path of the project file
// in use and sets the main window's title from it.

#include "gui/app/commands/ProjectCommandsUi.h"
#include "core/geometry/MainLayout.h"
#include "gui/kit/CHoverButton.h"
#include "gui/kit/MessageBox.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <cstdint>
#include <vector>

namespace dw {

class CMusicEngine;
class CProject;
struct SoundFormat;

// The toolbar's command ids.
enum ToolbarCommand : int {
    ID_NEW_PROJECT = 20012,
    ID_OPEN_PROJECT = 20013,
    ID_SAVE_PROJECT = 20014,
    ID_SAVE_PROJECT_COPY = 20015,
    ID_WRITE_MUSIC = 20016,
    ID_USERS_GUIDE = 20017,
    ID_ABOUT = 20018,
    ID_HOME_PAGE = 20019,
};

struct ToolbarButtonInfo {
    int command;
    int bitmap;
    int tooltipId;
};
// The eight buttons in their order.
const std::array<ToolbarButtonInfo, kToolbarButtonCount>& ToolbarButtons();

class CWndToolbar : public QWidget {
    Q_OBJECT
public:
    // Brings the music up to date with the project (decoding and creating as
    // Play does); true when it matches afterwards.
    using CreateMusic = std::function<bool()>;

    // `mainWindow` hears the application messages and carries the title;
    // `createMusic` is how Write Music to File gets music that matches.
    CWndToolbar(QWidget* mainWindow, CProject* project, CMusicEngine* engine, CreateMusic createMusic);

    // Places the buttons for the current height.
    void LayoutButtons();

    // The project file in use, and the title made from it (with a leading
    // "*" while the project has unsaved changes).
    QString currentProjectPath() const { return commands_->currentPath(); }
    void SetCurrentProjectPath(const QString& path);
    void UpdateTitle();

    // The project commands: flows, unsaved changes, drops, shortcuts, and
    // the question before the main window closes.
    CProjectCommandsUi& projectCommands() { return *commands_; }

    // Copies of the main window's encoder choice (the main window owns the
    // format block and alone releases it).
    void SetEncoder(int index, const SoundFormat* acmFormat) {
        encoderIndex_ = index;
        acmFormat_ = acmFormat;
    }
    int encoderIndex() const { return encoderIndex_; }
    const SoundFormat* acmFormat() const { return acmFormat_; }

    CHoverButton* button(int command) const;

    // Runs a command as its button would.
    void OnCommand(int command);

    // The file dialogs of the commands: open or save, the filter and the
    // default suffix; the chosen path, or nothing when the user cancels.
    // Replaceable for tests; an empty function restores the dialogs.
    enum class FileMode { Open, Save };
    using FileChooser = std::function<std::optional<QString>(FileMode mode, const QString& filter, const QString& suffix)>;
    static void SetFileChooser(FileChooser chooser);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnNewProject();
    void OnOpenProject();
    void OnSaveProject(bool asCopy);
    void OnWriteMusic();
    // Loads `path` into the project as Open Project does after its dialog.
    bool LoadProjectAndRefresh(const QString& path);
    friend class CDWDlg;

    QWidget* mainWindow_;
    CProject* project_;
    CMusicEngine* engine_;
    CreateMusic createMusic_;
    QPixmap background_;
    MessageBoxSink messages_;
    CProjectCommandsUi* commands_;
    int encoderIndex_ = 0;
    const SoundFormat* acmFormat_ = nullptr;
    std::array<CHoverButton*, kToolbarButtonCount> buttons_{};
};

}  // namespace dw
