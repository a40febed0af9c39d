#pragma once
// The main window: the program's only top-level window, run modally by the
// application for as long as the program runs. It owns the project, the music
// engine and the playback stream, creates the six panels and lays them out,
// paints the space between them, and is the hub of the application messages:
// panels report to it (AppMessages.h), never to each other, and it decides
// what has to be redone. Everything here runs on the user-interface thread.

#include "gui/app/commands/ProjectHistory.h"
#include "core/geometry/MainLayout.h"
#include "core/engine/MusicEngine.h"
#include "core/engine/SeedPolicy.h"
#include "core/model/Project.h"
#include "gui/kit/AppMessages.h"
#include "gui/kit/Panels.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace dw {

class CWndToolbar;
class IPlayCursor;
class IMessageSink;
class PlaybackTransport;
class MainAudio;
struct SoundFormat;
struct PlaybackStream;

// How the main window reaches the sound output.
enum class AudioChoice {
    FromEnvironment,  // DRIFTWELL_AUDIO=null selects the null device, else the default
    Null,             // no sound at all (--null-audio, tests)
};

class CDWDlg : public QDialog, private IHistoryHost {
    Q_OBJECT
public:
    explicit CDWDlg(QWidget* parent = nullptr, AudioChoice audio = AudioChoice::FromEnvironment);
    ~CDWDlg() override;

    // The file named on the command line; set before the window runs.
    void SetCommandLineFile(const QString& path) { commandLineFile_ = path; }

    // Start-up: icon, maximised window, panels, layout, background, sound
    // output, playback stream, command-line project. exec() runs it first.
    void OnInitDialog();
    int exec() override;

    // Writes unsaved work to a recovery file in the per-user state folder
    // (the program is being ended from outside); nothing when all is saved.
    void KeepUnsavedWork();
    // Tells where the work a previous run kept is, once.
    void TellKeptWork();

    // The system-menu command: 16 to 31 open the About box.
    void OnSysCommand(int command);
    // The item the window menu gains: command 16 with the text "w".
    static constexpr int kAboutSysCommand = 16;
    static QString AboutMenuText();

    // The handlers of the application messages; wParam as sent.
    void OnAppMessage(int message, qintptr wParam);

    // Lays the panels out for the current client size.
    void LayoutPanels();
    // The minimum size for the current screen.
    QSize MinimumSizeForScreen() const;

    // What the tests and the panels' integration look at.
    CProject& project() { return project_; }
    CMusicEngine& engine() { return engine_; }
    // Undo and redo of the project's edits (Ctrl+Z, Ctrl+Shift+Z, Ctrl+Y).
    ProjectHistory& history() { return *history_; }
    bool laidOut() const { return laidOut_; }
    int encoderIndex() const { return encoderIndex_; }
    const SoundFormat* acmFormat() const { return acmFormat_.get(); }
    CWndToolbar* toolbar() const { return toolbar_; }
    QWidget* timelineWidget() const { return timeline_; }
    QWidget* transportBarWidget() const { return transportBar_; }
    QWidget* rowHeadersWidget() const { return rowHeaders_; }
    QWidget* matrixEditorWidget() const { return matrixEditor_; }
    QWidget* controlPanelWidget() const { return controlPanel_; }
    ITimelinePanel* timeline() const { return timelinePanel_; }
    ITransportBar* transportBar() const { return transportPanel_; }
    IControlPanel* controlPanel() const { return controlPanelIf_; }
    const Rect& headerColumnRect() const { return headerColumn_; }
    const Rect& controlPanelRect() const { return controlPanelRect_; }
    const Rect& transportBarRect() const { return transportBarRect_; }
    bool audioStarted() const;
    bool playbackStreamCreated() const;
    // The one playback stream of the program's run.
    PlaybackStream& playbackStream();
    // Replaces the compressed-format chooser (tests): gets encoder and sample
    // rate, returns the chosen format block or nothing when cancelled.
    using AcmChooser = std::function<std::optional<SoundFormat>(int encoder, std::uint32_t rate)>;
    void SetAcmChooser(AcmChooser chooser) { acmChooser_ = std::move(chooser); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Closing ends the run even before the window is shown (start-up runs
    // progress dialogs that dispatch a close box or SIGTERM).
    void closeEvent(QCloseEvent* event) override;

public slots:
    // The close box, Alt+F4 and the window menu's Close: stop and free the
    // playback stream, release the sound output, end with 1. Before that, the
    // toolbar's project commands ask "Save project?" about unsaved changes
    // (a filter on the close event), and Cancel keeps the window open.
    void reject() override;
    // Enter does nothing.
    void accept() override {}

private:
    void CreatePanels();
    void OnNewProject();
    void OnEncoderChanged();
    void OnEffectSwitched(qintptr effect);
    void OnEffectAmount(qintptr effect);
    void OnStop();
    void OnNewVariation();
    void LoadCommandLineProject();
    // IHistoryHost
    void DecodeRestoredSource(const RestoredChanges& changes) override;
    void ShowRestored(const RestoredChanges& changes) override;

    QString commandLineFile_;
    CProject project_;
    // Creates the music from the project; the panels that play or write it
    // get its address.
    CMusicEngine engine_;
    QIcon appIcon_;
    QPixmap background_;
    bool laidOut_ = false;
    Rect headerColumn_;
    Rect controlPanelRect_;
    Rect transportBarRect_;
    // The panels. Each QWidget* is the panel's window; the interface pointers
    // are what the main window asks of it beyond moving and repainting.
    CWndToolbar* toolbar_ = nullptr;
    QWidget* transportBar_ = nullptr;
    QWidget* controlPanel_ = nullptr;
    QWidget* matrixEditor_ = nullptr;
    QWidget* rowHeaders_ = nullptr;
    QWidget* timeline_ = nullptr;
    ITransportBar* transportPanel_ = nullptr;
    IControlPanel* controlPanelIf_ = nullptr;
    ITimelinePanel* timelinePanel_ = nullptr;
    QSize controlPanelSize_;
    std::unique_ptr<MainAudio> audio_;
    std::unique_ptr<PlaybackTransport> mainTransport_;
    std::unique_ptr<ITimelinePanel> timelineAdapter_;
    IPlayCursor* playCursor_ = nullptr;
    std::unique_ptr<IMessageSink> messageSink_;
    std::unique_ptr<ProjectHistory> history_;
    int encoderIndex_ = 0;
    // The compressed format chosen for encoders 2 and 3; owned here, the
    // toolbar keeps a copy of the pointer.
    std::unique_ptr<SoundFormat> acmFormat_;
    AcmChooser acmChooser_;
    bool minimumSizeSet_ = false;
    // Which seed each creation uses; the control panel shows and edits it.
    SeedPolicy seedPolicy_;
    // Set once the window was closed; a close that arrives while start-up
    // still runs (a progress dialog dispatches events) ends the run at once.
    bool closed_ = false;
};

}  // namespace dw
