#pragma once
// The transport bar along the bottom of the main window: stop, pause, play, a
// time display, go to start, previous and next section, and the master
// volume. Play is where the whole chain meets: it decodes the source when
// needed, creates the music when the project changed since the last creation,
// hands the music to the main playback stream and plays it from the play
// cursor. The end of playback is noticed by polling the stream (timer 6).
//
// Space plays and pauses from anywhere in the window except a text field.
// User-interface thread only; everything it points to belongs to the main
// window and outlives it.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include "core/base/WorkerPool.h"
#include "core/engine/MusicEngine.h"
#include "core/transport/ChainTransport.h"
#include "gui/kit/Panels.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QShortcut;

namespace dw {

class CHoverButton;
class CProject;
class CWndControlDisplay;
class CWndVolume;
class IMessageSink;
class IPlayCursor;
struct PlaybackStream;

class CWndControlbar final : public QWidget, public ITransportBar {
    Q_OBJECT
public:
    static constexpr int kControlId = 20001;
    static constexpr int kTimerId = 6;
    static constexpr int kTimerPeriodMs = 250;
    enum Command : int {
        ID_PLAY = 20006,
        ID_PAUSE = 20007,
        ID_STOP = 20008,
        ID_GO_TO_START = 20009,
        ID_PREVIOUS_SECTION = 20010,
        ID_NEXT_SECTION = 20011,
    };

    // The program remembers these (QSettings), not the project.
    static constexpr const char* kSleepSettingKey = "transport/sleepMinutes";
    static constexpr const char* kEndlessSettingKey = "transport/endless";
    static constexpr const char* kSleepBoxName = "transport-sleep";
    static constexpr const char* kSleepLeftName = "transport-sleep-left";
    static constexpr const char* kEndlessBoxName = "transport-endless";

    // `mainWindow` receives WM_APP_STOP, WM_APP_ENSURE_SOURCE and, after each
    // creation, WM_APP_MUSIC_CREATED; `messages` shows the messages of
    // decoding, creation and playback set-up (message boxes of the progress
    // dialogs when null).
    CWndControlbar(QWidget* parent, CProject* project, CMusicEngine* engine, PlaybackStream* player,
                   IPlayCursor* cursor, QObject* mainWindow, IMessageSink* messages = nullptr);

    // ITransportBar
    void SetLayoutBand(const Rect& band) override;
    void ClearStartedAndPaused() override { started_ = paused_ = false; }
    bool PlayRoad(std::uint32_t outdated) override;

    // The commands of the six buttons, by id.
    void OnCommand(int id);
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnGoToStart();
    void OnPreviousSection();
    void OnNextSection();
    // Space: pause while playing, else play.
    void OnPlayPauseKey();

    // One tick of timer 6: clears the flags once the stream has played out.
    void OnEndTimer();

    // Sleep timer: `minutes` 0 is off. The countdown runs while the music
    // plays; its last minute fades out, then playback stops.
    void SetSleepMinutes(int minutes);
    int sleepMinutes() const { return sleep_.Minutes(); }
    // Counts `seconds` of time (the timer's tick measures them): while the
    // music plays they come off the countdown and the fade follows.
    void OnSleepTick(double seconds);
    const SleepCountdown& sleepCountdown() const { return sleep_; }
    QComboBox* sleepBox() const { return sleepBox_; }
    QLabel* sleepLeft() const { return sleepLeft_; }
    QCheckBox* endlessBox() const { return endlessBox_; }

    // Endless play (the box beside the sleep timer): as the music nears its
    // end, the next variation of the chain (core/engine/Chain.h: piece k of
    // the music's seed) is created on a job of the worker pool and queued to
    // the player, which crossfades it in. One tick of it: notices a swap,
    // starts a creation when the schedule says, queues a finished one.
    void OnEndlessTick();
    // Told the seed of each variation as it starts playing (the main window
    // shows it in the Seed field).
    void SetVariationPlaying(std::function<void(std::uint32_t seed)> told) { variationPlaying_ = std::move(told); }
    // The piece of the chain playing now (0: the created music).
    std::uint64_t playingPiece() const { return pieceIndex_; }
    bool creatingNext() const { return creating_.valid(); }
    ~CWndControlbar() override;

    bool started() const { return started_; }
    bool paused() const { return paused_; }
    CHoverButton* button(int id) const;
    CWndControlDisplay* display() const { return display_; }
    CWndVolume* volume() const { return volume_; }
    const Rect& layoutBand() const { return band_; }

    // Options of the creations Play starts (tests fix the seed and threads).
    void SetCreateOptions(const CreateOptions& options) { createOptions_ = options; }
    // Asked before each creation: a seed the creation must use (the main
    // window's seed policy gives one), or none for the options' generator
    // (by default one seeded from the clock).
    using SeedChoice = std::function<std::optional<std::uint32_t>()>;
    void SetSeedChoice(SeedChoice choice) { seedChoice_ = std::move(choice); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void Layout();
    void MoveCursorToSection(int direction);
    void ShowSleepLeft();
    void StartEndlessChain();
    std::uint64_t CrossfadeFrames() const;

    CProject* project_;
    CMusicEngine* engine_;
    PlaybackStream* player_;
    IPlayCursor* cursor_;
    QObject* mainWindow_;
    IMessageSink* messages_;
    Rect band_;
    bool started_ = false;
    bool paused_ = false;
    std::array<CHoverButton*, 6> buttons_{};
    CWndControlDisplay* display_ = nullptr;
    CWndVolume* volume_ = nullptr;
    QPixmap background_;
    QShortcut* space_ = nullptr;
    QBasicTimer endTimer_;
    QComboBox* sleepBox_ = nullptr;
    QLabel* sleepLeft_ = nullptr;
    QCheckBox* endlessBox_ = nullptr;
    SleepCountdown sleep_;
    QElapsedTimer clock_;
    std::int64_t lastTickMs_ = -1;
    // Endless play. playing_ holds the variation the player plays when it is
    // not engine_'s music; next_ the one being created or queued.
    std::unique_ptr<CMusicEngine> playing_;
    std::unique_ptr<CMusicEngine> next_;
    std::future<bool> creating_;
    // What the job creates from: a copy of the project and its decoded
    // source, so that editing the project meanwhile races with nothing and
    // the window's music keeps its own up-to-date mark.
    std::unique_ptr<CProject> shadow_;
    CancelFlag cancelCreation_;
    bool queued_ = false;
    std::uint32_t chainSeed_ = 0;
    std::uint64_t pieceIndex_ = 0;
    std::uint32_t seenSwaps_ = 0;
    std::function<void(std::uint32_t)> variationPlaying_;
    WorkerPool jobs_{1};
    CreateOptions createOptions_;
    SeedChoice seedChoice_;
};

}  // namespace dw
