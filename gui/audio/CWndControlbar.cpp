#include "gui/audio/CWndControlbar.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QPainter>
#include <QShortcut>
#include <QTimerEvent>

#include "core/audio/Playback.h"
#include "gui/audio/CDlgProgressLoadMusic.h"
#include "gui/audio/CWndControlDisplay.h"
#include "gui/audio/CWndVolume.h"
#include "core/transport/PlayCursor.h"
#include "core/transport/TransportLogic.h"
#include "core/transport/ChainTransport.h"
#include "core/engine/Chain.h"
#include "gui/engine/CDlgProgressCreateMusic.h"
#include "core/model/Project.h"
#include "gui/kit/AppMessages.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/CHoverButton.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/Painting.h"
#include "gui/kit/PendingEdit.h"

namespace dw {

namespace {
struct ButtonDef {
    int id;
    int bitmap;
    const char* name;
};
// In the order of buttons_.
constexpr std::array<ButtonDef, 6> kButtons{{
    {CWndControlbar::ID_STOP, IDB_BTN_STOP, "Stop"},
    {CWndControlbar::ID_PAUSE, IDB_BTN_PAUSE, "Pause"},
    {CWndControlbar::ID_PLAY, IDB_BTN_PLAY, "Play"},
    {CWndControlbar::ID_GO_TO_START, IDB_BTN_START, "Go to start"},
    {CWndControlbar::ID_PREVIOUS_SECTION, IDB_BTN_PREV, "Previous section"},
    {CWndControlbar::ID_NEXT_SECTION, IDB_BTN_NEXT, "Next section"},
}};
}  // namespace

CWndControlbar::CWndControlbar(QWidget* parent, CProject* project, CMusicEngine* engine, PlaybackStream* player,
                               IPlayCursor* cursor, QObject* mainWindow, IMessageSink* messages)
    : QWidget(parent),
      project_(project),
      engine_(engine),
      player_(player),
      cursor_(cursor),
      mainWindow_(mainWindow),
      messages_(messages) {
    setObjectName(QStringLiteral("panel-%1").arg(kControlId));
    setAttribute(Qt::WA_OpaquePaintEvent);
    background_ = LoadBitmapResource(IDB_TRANSPORT_BG);

    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        auto* b = new CHoverButton(this, kButtons[i].id);
        b->setObjectName(QStringLiteral("ctl-%1").arg(kButtons[i].id));
        b->LoadStateStrip(kButtons[i].bitmap);
        b->setAccessibleName(QString::fromLatin1(kButtons[i].name));
        b->setFocusPolicy(Qt::TabFocus);
        connect(b, &CHoverButton::command, this, [this](int id) { OnCommand(id); });
        buttons_[i] = b;
    }
    display_ = new CWndControlDisplay(this, project_, cursor_);
    display_->resize(120, 40);
    volume_ = new CWndVolume(this);
    volume_->resize(171, 40);

    // The sleep timer and endless play, remembered by the program.
    sleepBox_ = new QComboBox(this);
    sleepBox_->setObjectName(QLatin1String(kSleepBoxName));
    sleepBox_->setAccessibleName(QStringLiteral("Sleep timer"));
    sleepBox_->setToolTip(QStringLiteral("Sleep timer: the last minute fades out, then playback stops."));
    sleepBox_->setFocusPolicy(Qt::TabFocus);
    for (const int minutes : SleepTimerChoices())
        sleepBox_->addItem(minutes == 0 ? QStringLiteral("Sleep: off") : QStringLiteral("Sleep: %1 min").arg(minutes),
                           minutes);
    sleepLeft_ = new QLabel(this);
    sleepLeft_->setObjectName(QLatin1String(kSleepLeftName));
    sleepLeft_->setStyleSheet(QStringLiteral("color: rgb(190, 225, 235);"));
    endlessBox_ = new QCheckBox(QStringLiteral("Endless"), this);
    endlessBox_->setObjectName(QLatin1String(kEndlessBoxName));
    endlessBox_->setToolTip(QStringLiteral("Endless play: as the music nears its end, the next variation is "
                                           "created and crossfaded in."));
    endlessBox_->setFocusPolicy(Qt::TabFocus);
    endlessBox_->setStyleSheet(QStringLiteral("QCheckBox { color: rgb(190, 225, 235); }"));
    {
        const QSettings settings;
        const int remembered = settings.value(QLatin1String(kSleepSettingKey), 0).toInt();
        const int index = sleepBox_->findData(remembered);  // only an offered choice counts
        sleepBox_->setCurrentIndex(std::max(0, index));
        sleep_.Set(sleepBox_->currentData().toInt());
        endlessBox_->setChecked(settings.value(QLatin1String(kEndlessSettingKey), false).toBool());
    }
    connect(sleepBox_, &QComboBox::activated, this, [this](int index) {
        SetSleepMinutes(sleepBox_->itemData(index).toInt());
    });
    connect(endlessBox_, &QCheckBox::toggled, this,
            [](bool on) { QSettings().setValue(QLatin1String(kEndlessSettingKey), on); });
    ShowSleepLeft();

    space_ = new QShortcut(QKeySequence(Qt::Key_Space), this);
    space_->setContext(Qt::WindowShortcut);
    connect(space_, &QShortcut::activated, this, [this] {
        QWidget* focus = QApplication::focusWidget();
        if (IsTextField(focus)) return;
        for (CHoverButton* b : buttons_) {
            if (focus == b) {  // a transport button with the focus: press it
                b->click();
                return;
            }
        }
        OnPlayPauseKey();
    });

    // The ring around a button that has the keyboard focus is drawn by the
    // bar, around the button's picture.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* from, QWidget* to) {
        for (CHoverButton* b : buttons_)
            if (b == from || b == to) update();
    });

    Layout();
    clock_.start();
    endTimer_.start(kTimerPeriodMs, this);
}

CHoverButton* CWndControlbar::button(int id) const {
    for (std::size_t i = 0; i < kButtons.size(); ++i)
        if (kButtons[i].id == id) return buttons_[i];
    return nullptr;
}

void CWndControlbar::SetLayoutBand(const Rect& band) {
    band_ = band;
    Layout();
}

void CWndControlbar::Layout() {
    const ControlbarLayout l = ComputeControlbarLayout(band_.left, band_.right, width(), height());
    const std::array<int, 6> x{l.stop, l.pause, l.play, l.start, l.previous, l.next};
    for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setGeometry(x[i], l.y, 40, 40);
    display_->setGeometry(l.display, l.y, 120, 40);
    volume_->setGeometry(l.volume, l.y, 171, 40);
    // Right of the section buttons: the sleep timer, its time left, endless
    // play; left of Stop when they would run into the volume there.
    constexpr int kSleepGroupWidth = 276;
    int at = l.next + 40 + 16;
    if (at + kSleepGroupWidth > l.volume - 8 && l.stop - 16 - kSleepGroupWidth >= 0)
        at = l.stop - 16 - kSleepGroupWidth;
    sleepBox_->setGeometry(at, l.y + 8, 112, 24);
    sleepLeft_->setGeometry(at + 118, l.y + 8, 64, 24);
    endlessBox_->setGeometry(at + 186, l.y + 8, 90, 24);
}

namespace {

// The creation's progress on the job: silent, stopped by the bar's cancel.
class QuietProgress final : public IProgress {
public:
    explicit QuietProgress(const CancelFlag& cancel) : cancel_(cancel) {}
    void ShowMessage(int, std::string_view, MessageIcon) override {}
    void SetProgress(int) override {}
    bool IsRunning() const override { return !cancel_.Cancelled(); }

private:
    const CancelFlag& cancel_;
};

}  // namespace

CWndControlbar::~CWndControlbar() {
    // The job uses the project and the engine it creates into: it must end first.
    cancelCreation_.Cancel();
    if (creating_.valid()) creating_.wait();
}

std::uint64_t CWndControlbar::CrossfadeFrames() const {
    const CProperties& p = project_->properties;
    // The chain's crossfade, and at least the music's own fade-out, so that
    // the fade lies inside the seam rather than before it.
    const double seconds = std::min(std::max(ChainCrossfadeSeconds(p.musicLength), double(p.fadeOut)),
                                    std::floor(p.musicLength / 2.0));
    return static_cast<std::uint64_t>(seconds * p.sampleRate);
}

void CWndControlbar::StartEndlessChain() {
    // Called with the player stopped on engine_'s music: no piece is in use but that one.
    cancelCreation_.Cancel();
    if (creating_.valid()) creating_.wait();
    creating_ = {};
    shadow_.reset();
    cancelCreation_.Reset();
    if (player_ != nullptr) seenSwaps_ = player_->swaps.load();
    next_.reset();
    playing_.reset();
    queued_ = false;
    pieceIndex_ = 0;
    chainSeed_ = engine_ ? engine_->Seed() : 0;
}

void CWndControlbar::OnEndlessTick() {
    if (player_ == nullptr || project_ == nullptr || engine_ == nullptr) return;
    // A swap: the queued variation plays now; the one before is no longer read.
    if (const std::uint32_t swaps = player_->swaps.load(std::memory_order_acquire); swaps != seenSwaps_) {
        seenSwaps_ = swaps;
        playing_ = std::move(next_);
        queued_ = false;
        ++pieceIndex_;
        if (variationPlaying_) variationPlaying_(PieceSeed(chainSeed_, pieceIndex_));
    }
    if (creating_.valid()) {
        if (creating_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
        const bool created = creating_.get();
        shadow_.reset();
        if (!created || cancelCreation_.Cancelled() || !next_ || next_->OutputFrameCount() == 0) {
            next_.reset();
            return;  // the music ends where it would have; the next tick may try again
        }
        PlaybackQueueNext(*player_, static_cast<std::int32_t>(next_->OutputFrameCount()), next_->Output(),
                          static_cast<std::uint32_t>(CrossfadeFrames()));
        queued_ = true;
        return;
    }
    if (!endlessBox_->isChecked() || !started_ || queued_ || project_->musicOutdated != 0) return;
    const EndlessSchedule schedule{static_cast<std::uint64_t>(player_->frames.load()), CrossfadeFrames()};
    if (!schedule.ShouldCreateNext(player_->position.load() / 8)) return;
    if (project_->properties.sourceFrames == nullptr) return;
    shadow_ = CopyForCreation(*project_);
    if (shadow_ == nullptr) return;  // no memory for it: the music ends as it would have
    next_ = std::make_unique<CMusicEngine>();
    CreateOptions options = createOptions_;
    options.random = Random(PieceSeed(chainSeed_, pieceIndex_ + 1));
    options.renderInPlace = true;
    creating_ = jobs_.Start([this, options, engine = next_.get(), project = shadow_.get()] {
        QuietProgress progress(cancelCreation_);
        return engine->Create(*project, progress, options);
    });
}

void CWndControlbar::SetSleepMinutes(int minutes) {
    sleep_.Set(minutes);
    if (player_) player_->gain = 1.0f;
    const int index = sleepBox_->findData(sleep_.Minutes());
    if (index >= 0 && index != sleepBox_->currentIndex()) sleepBox_->setCurrentIndex(index);
    QSettings().setValue(QLatin1String(kSleepSettingKey), sleep_.Minutes());
    ShowSleepLeft();
}

void CWndControlbar::ShowSleepLeft() {
    sleepLeft_->setText(sleep_.On() ? QString::fromStdString(SleepLeftText(sleep_.SecondsLeft())) : QString());
    sleepLeft_->setAccessibleName(sleep_.On() ? QStringLiteral("Time left before playback stops") : QString());
}

void CWndControlbar::OnSleepTick(double seconds) {
    if (!sleep_.On() || player_ == nullptr) return;
    if (!started_ || paused_ || !player_->active) return;
    sleep_.Advance(seconds);
    player_->gain = sleep_.Gain();
    if (sleep_.Expired()) {
        // Faded out: stop, and arm the timer again for the next listening.
        OnStop();
        sleep_.Set(sleep_.Minutes());
        player_->gain = 1.0f;
    }
    ShowSleepLeft();
}

void CWndControlbar::OnCommand(int id) {
    switch (id) {
    case ID_PLAY: OnPlay(); break;
    case ID_PAUSE: OnPause(); break;
    case ID_STOP: OnStop(); break;
    case ID_GO_TO_START: OnGoToStart(); break;
    case ID_PREVIOUS_SECTION: OnPreviousSection(); break;
    case ID_NEXT_SECTION: OnNextSection(); break;
    default: break;
    }
}

bool CWndControlbar::PlayRoad(std::uint32_t outdated) {
    if (outdated == 0) return true;
    if (project_ == nullptr || engine_ == nullptr) return false;
    CProperties& props = project_->properties;

    SendAppMessage(mainWindow_, WM_APP_STOP);
    // A variation being created ahead belongs to the music about to be replaced.
    cancelCreation_.Cancel();
    // No source named, or the named one failed: the user is asked for one.
    if (props.sourcePath.empty() || props.sourceMissing) {
        SendAppMessage(mainWindow_, WM_APP_ENSURE_SOURCE);
        if (props.sourcePath.empty() || props.sourceMissing) return false;
    }
    if (!props.sourceLoaded) {
        CDlgProgressLoadMusic load(window(), &props, messages_);
        if (load.exec() != QDialog::Accepted) {
            if (project_->musicOutdated != 1) project_->musicOutdated = 1;
            return false;
        }
    }
    {
        CDlgProgressCreateMusic create(window(), engine_, project_, messages_);
        CreateOptions options = createOptions_;
        if (seedChoice_) {
            if (const std::optional<std::uint32_t> seed = seedChoice_()) options.random = Random(*seed);
        }
        create.SetCreateOptions(options);
        if (create.exec() != QDialog::Accepted) {
            project_->musicOutdated = 1;
            return false;
        }
    }
    SendAppMessage(mainWindow_, WM_APP_MUSIC_CREATED);
    if (player_ != nullptr) {
        MessageBoxSink boxes(window());
        SetPlaybackSource(*player_, static_cast<std::int32_t>(engine_->OutputFrameCount()), engine_->Output(),
                          messages_ ? *messages_ : static_cast<IMessageSink&>(boxes));
        StartEndlessChain();  // new music: a new chain from its seed
    }
    project_->musicOutdated = 0;
    return true;
}

void CWndControlbar::OnPlay() {
    // A value still being typed (music length, base motif length) counts:
    // the field commits it when it loses the focus, before the road looks at
    // musicOutdated. The buttons take no focus from a click, so without this
    // a click on Play would play the old value.
    CommitPendingEdit();
    if (!PlayRoad(project_ ? project_->musicOutdated : 0)) return;
    if (player_ == nullptr || project_ == nullptr) return;
    if (player_->active && paused_) {
        PlaybackPlay(*player_);  // continues where it was paused
        paused_ = false;
        return;
    }
    if (!playing_ && pieceIndex_ == 0 && !creating_.valid() && !queued_) chainSeed_ = engine_->Seed();
    const CProperties& props = project_->properties;
    const double cursor = cursor_ ? cursor_->PlayCursor() : 0.0;
    PlaybackSeek(*player_, CursorBytePosition(cursor, props.sampleRate, props.musicLength));
    started_ = true;
    paused_ = false;
    PlaybackPlay(*player_);
}

void CWndControlbar::OnPause() {
    if (player_) PlaybackPause(*player_);
    paused_ = true;
}

void CWndControlbar::OnStop() {
    if (player_) PlaybackStop(*player_);
    paused_ = false;
    started_ = false;
    // A stop ends the listening: the sleep timer starts again from its length at the next Play.
    if (sleep_.On()) {
        sleep_.Set(sleep_.Minutes());
        if (player_) player_->gain = 1.0f;
        ShowSleepLeft();
    }
}

void CWndControlbar::OnGoToStart() {
    if (!cursor_) return;
    cursor_->SetPlayCursor(0.0);
    cursor_->Repaint();
}

void CWndControlbar::MoveCursorToSection(int direction) {
    if (!cursor_ || !project_) return;
    const CProperties& props = project_->properties;
    // Copied out of the optional before the call: GCC 12 at -O3 otherwise
    // warns of a dangling pointer into it that is not there.
    const double at = cursor_->PlayCursor();
    const double target =
        SectionStepTarget(project_->sections, at, props.sampleRate, props.musicLength, direction).value_or(at);
    if (target != at) cursor_->SetPlayCursor(target);
    cursor_->Repaint();
}

void CWndControlbar::OnPreviousSection() { MoveCursorToSection(-1); }
void CWndControlbar::OnNextSection() { MoveCursorToSection(+1); }

void CWndControlbar::OnPlayPauseKey() {
    if (started_ && !paused_ && player_ && player_->active)
        OnPause();
    else
        OnPlay();
}

void CWndControlbar::OnEndTimer() {
    if (!started_ || player_ == nullptr || player_->active) return;
    PlaybackStop(*player_);
    started_ = false;
    paused_ = false;
}

void CWndControlbar::timerEvent(QTimerEvent* event) {
    if (event->timerId() == endTimer_.timerId()) {
        // The sleep timer counts the time that really passed, not the ticks.
        const std::int64_t now = clock_.elapsed();
        if (lastTickMs_ >= 0) OnSleepTick(static_cast<double>(now - lastTickMs_) / 1000.0);
        lastTickMs_ = now;
        OnEndlessTick();
        OnEndTimer();
    }
    else
        QWidget::timerEvent(event);
}

void CWndControlbar::resizeEvent(QResizeEvent*) { Layout(); }

void CWndControlbar::paintEvent(QPaintEvent*) {
    QPixmap buffer = MakeBackBuffer(*this);
    {
        QPainter p(&buffer);
        TileBitmap(background_, Rect{0, 0, width() - 1, height() - 1}, p);
        for (CHoverButton* b : buttons_) {
            if (!b->hasFocus()) continue;
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(QColor(190, 225, 235), 2));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(b->geometry()).adjusted(-2, -2, 2, 2), 6, 6);
        }
    }
    display_->update();
    QPainter(this).drawPixmap(0, 0, buffer);
}

}  // namespace dw
