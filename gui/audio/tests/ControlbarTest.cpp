// The transport bar on the offscreen platform with the null sound device: the
// branches of the Play road with musicOutdated after each, pause and stop
// against the play cursor, the end of playback, the time display and the
// volume window.

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "core/audio/Playback.h"
#include "core/engine/Chain.h"
#include "core/audio/tests/TestSignals.h"
#include "gui/audio/CDlgProgressLoadMusic.h"
#include "gui/audio/CWndControlDisplay.h"
#include "gui/audio/CWndControlbar.h"
#include "gui/audio/CWndVolume.h"
#include "core/transport/PlayCursor.h"
#include "core/transport/TransportLogic.h"
#include "gui/audio/tests/TestSource.h"
#include "gui/engine/CDlgProgressCreateMusic.h"
#include "core/model/Project.h"
#include "core/model/testing/ToneProject.h"
#include "gui/kit/AppMessages.h"
#include "gui/kit/CHoverButton.h"
#include "gui/kit/CSkinSliderCtrl.h"

namespace dw {
namespace {

struct Sink final : IMessageSink {
    std::vector<int> ids;
    void ShowMessage(int id, std::string_view, MessageIcon) override { ids.push_back(id); }
};

// The timeline's part: the play cursor, which seeks the stream while it plays.
struct FakeCursor final : IPlayCursor {
    PlaybackStream* stream = nullptr;
    CProject* project = nullptr;
    double cursor = 0.0;
    int repaints = 0;
    void SetPlayCursor(double f) override {
        cursor = f;
        if (stream->active)
            PlaybackSeek(*stream, CursorBytePosition(f, project->properties.sampleRate, project->properties.musicLength));
    }
    double PlayCursor() const override { return cursor; }
    double CurrentFraction() const override {
        return stream->active ? PlayedFraction(*stream, static_cast<std::uint32_t>(stream->frames.load())) : cursor;
    }
    void Repaint() override { ++repaints; }
};

// The main window's part: WM_APP_STOP and WM_APP_ENSURE_SOURCE.
struct FakeMain final : QObject {
    CWndControlbar* bar = nullptr;
    FakeCursor* cursor = nullptr;
    PlaybackStream* stream = nullptr;
    CProject* project = nullptr;
    std::string sourceToChoose;  // empty: the user cancels the file dialog
    std::vector<int> received;
    bool event(QEvent* e) override {
        if (e->type() != AppMessageEvent::eventType()) return QObject::event(e);
        const int m = static_cast<AppMessageEvent*>(e)->message();
        received.push_back(m);
        if (m == WM_APP_STOP) {
            cursor->SetPlayCursor(0.0);
            PlaybackStop(*stream);
            bar->ClearStartedAndPaused();
        } else if (m == WM_APP_ENSURE_SOURCE &&
                   (project->properties.sourcePath.empty() || project->properties.sourceMissing)) {
            if (!sourceToChoose.empty()) {
                project->properties.sourcePath = sourceToChoose;
                project->properties.sourceMissing = false;
            }
        }
        return true;
    }
};

class ControlbarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Sink s;
        ASSERT_EQ(InitAudio(s, AudioStartOptions{OutputKind::Null, 44100}), 0);
    }
    static void TearDownTestSuite() { ShutdownAudio(nullptr); }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        CDlgProgress::Hooks() = {};
        CDlgProgress::Hooks().holdRounds = 1;
        auto& p = project.properties;
        p.quality = 0;
        p.sampleRate = 11025;
        p.musicLength = 10;
        p.baseMotifLength = 2.0;
        project.musicOutdated = 1;
        tone = test::WriteToneWav(dir, "tone.wav", 1.0).toStdString();
        ASSERT_EQ(CreatePlaybackStream(p, stream, sink), 0);
        cursor.stream = &stream;
        cursor.project = &project;
        bar = std::make_unique<CWndControlbar>(nullptr, &project, &engine, &stream, &cursor, &main, &sink);
        CreateOptions o;
        o.random = Random(3);
        o.threads = 1;
        bar->SetCreateOptions(o);
        bar->resize(1200, 60);
        bar->SetLayoutBand(Rect{128, 0, 1000, 60});
        main.bar = bar.get();
        main.cursor = &cursor;
        main.stream = &stream;
        main.project = &project;
    }
    void TearDown() override {
        bar.reset();
        FreePlaybackStream(stream);
        CDlgProgress::Hooks() = {};
    }

    // Plays to a known state: music created, playing from the play cursor.
    void PlayCreated() {
        project.properties.sourcePath = tone;
        bar->OnPlay();
        ASSERT_EQ(project.musicOutdated, 0u);
        ASSERT_TRUE(bar->started());
        ASSERT_TRUE(stream.active);
    }
    std::uint32_t Position() const { return stream.position.load(); }

    QTemporaryDir dir;
    std::string tone;
    CProject project;
    CMusicEngine engine;
    PlaybackStream stream;
    Sink sink;
    FakeCursor cursor;
    FakeMain main;
    std::unique_ptr<CWndControlbar> bar;
};

TEST_F(ControlbarTest, PlayRoadBranches) {
    enum class Cancel { None, FileDialog, Decode, Create };
    struct Case {
        const char* name;
        bool sourceNamed;
        Cancel cancel;
        bool plays;
        std::uint32_t outdatedAfter;
        bool sourceNamedAfter;
        // The named source failed to open before: the user is asked again.
        bool sourceMissing = false;
    };
    const Case cases[] = {
        {"no source, file dialog cancelled", false, Cancel::FileDialog, false, 2, false},
        {"decoding cancelled", false, Cancel::Decode, false, 1, true},
        {"creation cancelled", true, Cancel::Create, false, 1, true},
        {"failed source, file dialog cancelled", true, Cancel::FileDialog, false, 2, true, true},
        {"failed source, another chosen", true, Cancel::None, true, 0, true, true},
        {"success", false, Cancel::None, true, 0, true},  // last: the test goes on from here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        project.musicOutdated = 2;  // changed, and not yet marked 1
        project.properties.sourceLoaded = false;
        project.properties.sourcePath =
            c.sourceMissing ? dir.filePath("gone.wav").toStdString() : c.sourceNamed ? tone : std::string();
        project.properties.sourceMissing = c.sourceMissing;
        main.sourceToChoose = c.cancel == Cancel::FileDialog ? std::string() : tone;
        main.received.clear();
        CDlgProgress::Hooks().onStart = [&](CDlgProgress& d) {
            const bool loading = dynamic_cast<CDlgProgressLoadMusic*>(&d) != nullptr;
            if ((c.cancel == Cancel::Decode && loading) || (c.cancel == Cancel::Create && !loading)) d.OnCancel();
        };
        bar->OnPlay();
        EXPECT_EQ(bar->started(), c.plays);
        EXPECT_EQ(static_cast<bool>(stream.active), c.plays);
        EXPECT_EQ(project.musicOutdated, c.outdatedAfter);
        EXPECT_EQ(!project.properties.sourcePath.empty(), c.sourceNamedAfter);
        EXPECT_EQ(std::count(main.received.begin(), main.received.end(), WM_APP_ENSURE_SOURCE),
                  c.sourceNamed && !c.sourceMissing ? 0 : 1);
        ASSERT_FALSE(main.received.empty());
        EXPECT_EQ(main.received.front(), WM_APP_STOP);
        if (c.plays) {
            EXPECT_EQ(stream.data.load(), engine.Output());
            EXPECT_EQ(static_cast<std::uint32_t>(stream.frames.load()), engine.OutputFrameCount());
        }
        bar->OnStop();
    }
    // Once created, Play with the music up to date neither stops nor creates.
    main.received.clear();
    bar->OnPlay();
    EXPECT_TRUE(main.received.empty());
    EXPECT_TRUE(bar->started());
}

TEST_F(ControlbarTest, PauseThenPlayContinuesStopThenPlayStartsAtTheCursor) {
    PlayCreated();
    QTest::qWait(120);
    bar->OnPause();
    EXPECT_TRUE(bar->paused());
    const std::uint32_t pausedAt = Position();
    EXPECT_GT(pausedAt, 0u);
    QTest::qWait(60);
    EXPECT_EQ(Position(), pausedAt);  // the null device pulls nothing while paused

    cursor.cursor = 0.5;  // moved without seeking (as if while stopped)
    bar->OnPlay();
    EXPECT_FALSE(bar->paused());
    EXPECT_TRUE(bar->started());
    EXPECT_LT(Position(), CursorBytePosition(0.5, 11025, 10));  // continued, not at the cursor

    bar->OnPause();
    bar->OnStop();
    EXPECT_FALSE(bar->started());
    EXPECT_FALSE(bar->paused());
    EXPECT_FALSE(stream.active);
    bar->OnPlay();
    const std::uint32_t at = CursorBytePosition(0.5, 11025, 10);
    EXPECT_GE(Position(), at);
    EXPECT_LT(Position(), at + 11025u * 8u);  // well within a second of it
    EXPECT_TRUE(bar->started());
}

TEST_F(ControlbarTest, EndOfPlaybackClearsTheFlagsWithinAQuarterSecond) {
    PlayCreated();
    bar->OnStop();
    cursor.cursor = 0.995;  // 50 ms of music left
    bar->OnPlay();
    bar->OnPause();
    bar->OnPlay();  // continues, paused cleared
    ASSERT_TRUE(bar->started());
    QTRY_VERIFY_WITH_TIMEOUT(!stream.active, 2000);
    // Nothing else clears the flags: only the end timer (250 ms) does.
    QTRY_VERIFY_WITH_TIMEOUT(!bar->started() && !bar->paused(), 400);
    EXPECT_EQ(bar->display()->isVisible(), bar->isVisible());
    bar->display()->OnTimerTick();
    EXPECT_DOUBLE_EQ(bar->display()->ShownFraction(), 0.995);  // back to the play cursor
}

// ------------------------------------------------------------ sleep timer

class SleepTimerTest : public ControlbarTest {
protected:
    void SetUp() override {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(QLatin1String(CWndControlbar::kSleepSettingKey));
        QSettings().remove(QLatin1String(CWndControlbar::kEndlessSettingKey));
        ControlbarTest::SetUp();
    }
    void TearDown() override {
        ControlbarTest::TearDown();
        QSettings().remove(QLatin1String(CWndControlbar::kSleepSettingKey));
        QSettings().remove(QLatin1String(CWndControlbar::kEndlessSettingKey));
    }
    // Chooses in the box as a person does.
    void Choose(const QString& text) {
        const int index = bar->sleepBox()->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        bar->sleepBox()->setCurrentIndex(index);
        emit bar->sleepBox()->activated(index);
    }
    std::string Left() const { return bar->sleepLeft()->text().toStdString(); }
};

TEST_F(SleepTimerTest, ItsControlsStayClearOfTheButtonsAndTheVolume) {
    // Where the band leaves room right of the section buttons, and where it does not.
    for (const int width : {1200, 1600}) {
        bar->resize(width, 60);
        bar->SetLayoutBand(Rect{128, 0, width - 200, 60});
        const QRect group = bar->sleepBox()->geometry().united(bar->endlessBox()->geometry());
        SCOPED_TRACE(width);
        EXPECT_EQ(group.left() > bar->button(CWndControlbar::ID_NEXT_SECTION)->x(), width == 1600)
            << "right of the section buttons where there is room";
        EXPECT_FALSE(group.intersects(bar->volume()->geometry()));
        for (const int id : {CWndControlbar::ID_STOP, CWndControlbar::ID_NEXT_SECTION})
            EXPECT_FALSE(group.intersects(bar->button(id)->geometry())) << id;
    }
}

TEST_F(SleepTimerTest, OffersItsChoicesAndShowsNothingWhenOff) {
    QStringList offers;
    for (int i = 0; i < bar->sleepBox()->count(); ++i) offers << bar->sleepBox()->itemText(i);
    EXPECT_EQ(offers, (QStringList{"Sleep: off", "Sleep: 15 min", "Sleep: 30 min", "Sleep: 60 min", "Sleep: 90 min"}));
    EXPECT_EQ(bar->sleepMinutes(), 0);
    EXPECT_EQ(Left(), "");
    PlayCreated();
    bar->OnSleepTick(3600.0);
    EXPECT_TRUE(bar->started()) << "off: nothing stops";
    EXPECT_EQ(stream.gain.load(), 1.0f);
}

TEST_F(SleepTimerTest, TheLastMinuteFadesOutThenPlaybackStops) {
    Choose(QStringLiteral("Sleep: 15 min"));
    EXPECT_EQ(Left(), "15:00");
    PlayCreated();
    bar->OnSleepTick(14 * 60 + 30);
    EXPECT_TRUE(bar->started());
    EXPECT_NEAR(stream.gain.load(), std::sqrt(0.5), 1e-6);
    EXPECT_EQ(Left(), "0:30");

    // Paused time does not count.
    bar->OnPause();
    bar->OnSleepTick(100.0);
    EXPECT_EQ(Left(), "0:30");
    bar->OnPlay();

    bar->OnSleepTick(30.0);
    EXPECT_FALSE(bar->started());
    EXPECT_FALSE(stream.active);
    // Armed again for the next listening, at full volume.
    EXPECT_EQ(stream.gain.load(), 1.0f);
    EXPECT_EQ(Left(), "15:00");
    EXPECT_EQ(bar->sleepMinutes(), 15);
}

TEST_F(SleepTimerTest, CountsTheTimeThatPassesWhilePlaying) {
    Choose(QStringLiteral("Sleep: 30 min"));
    PlayCreated();
    QTRY_VERIFY_WITH_TIMEOUT(bar->sleepCountdown().SecondsLeft() <= 30 * 60 - 0.5, 3000);
    EXPECT_GT(bar->sleepCountdown().SecondsLeft(), 30 * 60 - 5.0);
    EXPECT_EQ(Left(), "30:00") << "shown rounded up";
    bar->OnStop();
    EXPECT_EQ(bar->sleepCountdown().SecondsLeft(), 30 * 60.0) << "a stop starts the timer again";
}

TEST_F(SleepTimerTest, TheProgramRemembersTheTimerAndEndlessPlay) {
    Choose(QStringLiteral("Sleep: 90 min"));
    bar->endlessBox()->setChecked(true);
    EXPECT_EQ(project.musicOutdated, 1u) << "not the project's";
    bar.reset();
    bar = std::make_unique<CWndControlbar>(nullptr, &project, &engine, &stream, &cursor, &main, &sink);
    EXPECT_EQ(bar->sleepBox()->currentText(), QStringLiteral("Sleep: 90 min"));
    EXPECT_EQ(bar->sleepMinutes(), 90);
    EXPECT_EQ(Left(), "1:30:00");
    EXPECT_TRUE(bar->endlessBox()->isChecked());

    // A hand-edited setting cannot ask for a timer that is not offered.
    QSettings().setValue(QLatin1String(CWndControlbar::kSleepSettingKey), 7);
    bar.reset();
    bar = std::make_unique<CWndControlbar>(nullptr, &project, &engine, &stream, &cursor, &main, &sink);
    EXPECT_EQ(bar->sleepMinutes(), 0);
}

// ------------------------------------------------------------ endless play

TEST_F(SleepTimerTest, EndlessPlayCrossfadesTheNextVariationInWithoutStopping) {
    std::vector<std::uint32_t> told;
    bar->SetVariationPlaying([&told](std::uint32_t seed) { told.push_back(seed); });
    bar->endlessBox()->setChecked(true);
    cursor.cursor = 0.6;  // four seconds before the end of the 10 s piece
    PlayCreated();
    const std::uint32_t chainSeed = engine.Seed();
    const StereoFrame* first = stream.data.load();
    // Pieces of 10 s: the next is created at once (half a piece ahead of a 5 s seam).
    QTRY_VERIFY_WITH_TIMEOUT(bar->creatingNext() || stream.nextData.load() != nullptr, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(bar->playingPiece() == 1, 15000);
    EXPECT_TRUE(bar->started());
    EXPECT_TRUE(stream.active) << "playing never stopped";
    EXPECT_NE(stream.data.load(), first);
    EXPECT_GE(Position(), 5u * 11025u * 8u) << "the next piece goes on after its crossfade";
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], PieceSeed(chainSeed, 1)) << "the Seed field follows the variation";
    EXPECT_EQ(engine.Seed(), chainSeed) << "the window's music stays as it was created";
    // An edit while the next variation is created is the window's: the
    // creation in the background neither sees nor clears it.
    QTRY_VERIFY_WITH_TIMEOUT(bar->creatingNext(), 5000);
    project.musicOutdated = 2;
    QTRY_VERIFY_WITH_TIMEOUT(!bar->creatingNext(), 15000);
    EXPECT_EQ(project.musicOutdated, 2u);

    // Off: the music ends after the variation that plays.
    bar->endlessBox()->setChecked(false);
    bar->OnStop();
    EXPECT_FALSE(stream.active);
}

TEST_F(ControlbarTest, ButtonsAndLayoutFollowTheBand) {
    const std::pair<int, int> expected[] = {
        {CWndControlbar::ID_STOP, 366},  {CWndControlbar::ID_PAUSE, 412},          {CWndControlbar::ID_PLAY, 458},
        {CWndControlbar::ID_GO_TO_START, 630}, {CWndControlbar::ID_PREVIOUS_SECTION, 676},
        {CWndControlbar::ID_NEXT_SECTION, 722},
    };
    for (auto [id, x] : expected) {
        SCOPED_TRACE(id);
        CHoverButton* b = bar->button(id);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->geometry(), QRect(x, 10, 40, 40));
        EXPECT_EQ(b->stateWidth(), 40);
    }
    EXPECT_EQ(bar->display()->geometry(), QRect(504, 10, 120, 40));
    EXPECT_EQ(bar->volume()->geometry(), QRect(1200 - 177, 10, 171, 40));

    // The section buttons move the play cursor by the sections.
    cursor.cursor = 0.3;
    bar->button(CWndControlbar::ID_NEXT_SECTION)->click();
    EXPECT_DOUBLE_EQ(cursor.cursor, 0.5);
    bar->button(CWndControlbar::ID_PREVIOUS_SECTION)->click();
    bar->button(CWndControlbar::ID_PREVIOUS_SECTION)->click();
    bar->button(CWndControlbar::ID_PREVIOUS_SECTION)->click();
    EXPECT_DOUBLE_EQ(cursor.cursor, 0.0);
    cursor.cursor = 0.7;
    bar->button(CWndControlbar::ID_GO_TO_START)->click();
    EXPECT_DOUBLE_EQ(cursor.cursor, 0.0);
    EXPECT_GE(cursor.repaints, 4);
}

TEST_F(ControlbarTest, DisplayShowsTheCurrentFractionWithTheStrip) {
    CWndControlDisplay* d = bar->display();
    EXPECT_EQ(d->DigitSize(), QSize(15, 19));
    const std::array<int, 5> x{13, 29, 53, 69, 93};
    EXPECT_EQ(d->DigitX(), x);
    EXPECT_EQ(d->DigitY(), (40 - 19) / 2);
    cursor.cursor = 1.0;
    d->OnTimerTick();
    const std::array<int, 5> full{0, 0, 1, 0, 0};  // 00:10.0
    EXPECT_EQ(d->Digits(), full);
}

TEST_F(ControlbarTest, VolumeSliderSetsAndFollowsTheMasterVolume) {
    CSkinSliderCtrl* s = bar->volume()->slider();
    EXPECT_EQ(s->geometry(), QRect(171 - 129, (40 - 20) / 2, 123, 20));
    EXPECT_EQ(s->minimum(), 0);
    EXPECT_EQ(s->maximum(), 100);
    s->setValue(29);
    EXPECT_FLOAT_EQ(GetMasterVolume(), 0.29f);
    bar->volume()->OnTimerTick();
    EXPECT_EQ(s->value(), 29);  // the follow step does not creep down
    SetMasterVolume(0.5f);      // changed elsewhere
    bar->volume()->OnTimerTick();
    EXPECT_EQ(s->value(), 50);
    EXPECT_FLOAT_EQ(GetMasterVolume(), 0.5f);
    SetMasterVolume(1.0f);
}

TEST_F(ControlbarTest, SpacePlaysAndPausesButNotInATextField) {
    PlayCreated();  // no progress dialogs while keys are pressed
    bar->OnStop();
    QWidget window;
    window.resize(1200, 100);
    bar->setParent(&window);
    bar->setGeometry(0, 40, 1200, 60);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(0, 0, 100, 20);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    window.setFocus();
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(bar->started());
    EXPECT_FALSE(bar->paused());
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(bar->paused());

    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Space);
    EXPECT_TRUE(bar->paused());  // typed into the field instead
    EXPECT_EQ(edit->text(), QStringLiteral(" "));

    // Play commits a value still being typed before it looks at the project.
    bool committed = false;
    QObject::connect(edit, &QLineEdit::editingFinished, [&] {
        committed = true;
        project.musicOutdated = 1;
    });
    bar->OnPlay();
    EXPECT_TRUE(committed);
    EXPECT_EQ(project.musicOutdated, 0u);  // and created the music again from it
    EXPECT_FALSE(bar->paused());
    bar->OnPause();

    // The Play button is reachable with the keyboard.
    CHoverButton* play = bar->button(CWndControlbar::ID_PLAY);
    EXPECT_NE(play->focusPolicy() & Qt::TabFocus, 0);
    play->setFocus();
    QTest::keyClick(play, Qt::Key_Space);
    EXPECT_FALSE(bar->paused());
    bar->setParent(nullptr);
}

}  // namespace
}  // namespace dw

namespace dw {
namespace {

// Music created at 11025 or 22050 Hz and played by the transport bar on a
// device that runs at 44100 Hz keeps its pitch: a 440 Hz source gives 440 Hz
// music, and the device plays 440 Hz, not two or four times that.
TEST(LowRatePlayback, MusicAtALowRateKeepsItsPitchOnA44100Device) {
    for (std::uint32_t quality : {0u, 1u}) {
        SCOPED_TRACE(quality);
        const std::uint32_t rate = SampleRateOfQuality(quality);
        std::vector<float> capture(2 * 44100 * 4);
        DeviceOptions options;
        options.kind = OutputKind::Null;
        options.rate = 44100;
        options.capture = &capture;
        ASSERT_TRUE(OpenAudioDevice(options));
        {
            CProject project;
            test::MakeToneProject(project, quality);
            auto& p = project.properties;
            Sink sink;
            PlaybackStream stream;
            ASSERT_EQ(CreatePlaybackStream(p, stream, sink), 0);
            CMusicEngine engine;
            FakeCursor cursor;
            cursor.stream = &stream;
            cursor.project = &project;
            cursor.cursor = 0.5;  // away from the fades
            FakeMain main;
            CDlgProgress::Hooks() = {};
            CDlgProgress::Hooks().holdRounds = 1;
            CWndControlbar bar(nullptr, &project, &engine, &stream, &cursor, &main, &sink);
            main.bar = &bar;
            main.cursor = &cursor;
            main.stream = &stream;
            main.project = &project;
            CreateOptions o;
            o.random = Random(5);
            o.threads = 1;
            bar.SetCreateOptions(o);
            bar.OnPlay();  // the road puts the cursor back to 0 ...
            ASSERT_EQ(project.musicOutdated, 0u);
            cursor.SetPlayCursor(0.5);  // ... so seek to the middle again
            QTest::qWait(400);
            bar.OnStop();
            FreePlaybackStream(stream);
            CDlgProgress::Hooks() = {};

            // The grains' envelopes add a slow swell, so the pitch is judged
            // by the tone's level against its octaves, not by zero crossings.
            const auto* music = reinterpret_cast<const float*>(engine.Output());
            const double at = test::ToneLevel(music, 5 * rate, rate / 4, 440.0, rate);
            EXPECT_GT(at, 0.02);
            EXPECT_GT(at, 4 * test::ToneLevel(music, 5 * rate, rate / 4, 880.0, rate));
        }
        CloseAudioDevice();
        // Where the music starts in the capture: the first sound after the silence.
        std::size_t first = 0;
        while (first < capture.size() / 2 && capture[2 * first] == 0.0f) ++first;
        ASSERT_LT(first + 44100 / 4, capture.size() / 2);
        const std::size_t from = first + 44100 / 20, count = 44100 / 8;
        const double at = test::ToneLevel(capture.data(), from, count, 440.0, 44100);
        EXPECT_GT(at, 0.02);
        for (double wrong : {880.0, 1760.0, 220.0, 110.0})
            EXPECT_GT(at, 4 * test::ToneLevel(capture.data(), from, count, wrong, 44100)) << wrong;
    }
}

}  // namespace
}  // namespace dw
