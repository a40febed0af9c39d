// The main window under the offscreen platform with the silent output device:
// start-up, layout, routing of every application message, keys, the title,
// the command-line project, the toolbar, the About box and the help commands.
#include "gui/app/CDWApp.h"
#include "gui/app/CDWDlg.h"
#include "gui/app/CDlgAbout.h"
#include "gui/app/CWndToolbar.h"
#include "gui/app/HelpCommands.h"
#include "gui/app/QuitOnSignal.h"
#include "gui/app/commands/CDlgFormatChooser.h"
#include "gui/app/panel/CWndInfo.h"
#include "gui/app/platform/ShellOpen.h"
#include "gui/app/tests/MainWindowSupport.h"
#include "core/audio/Export.h"
#include "core/audio/Playback.h"
#include "gui/audio/CWndControlbar.h"
#include "core/model/ProjectFile.h"
#include "gui/kit/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTreeWidget>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <optional>
#include <thread>

namespace dw {
namespace {

// Counts paint events of one widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++count;
        return false;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxHook([this](const ShownMessage& m) { messages.push_back(m); });
        SetShellOpenHook([this](const QUrl& url) {
            opened.push_back(url);
            return shellAnswer;
        });
        // Asking for a music source file is answered with Cancel.
        CWndInfo::SetFileChooser([this]() -> std::optional<QString> {
            ++sourceFileQuestions;
            return std::nullopt;
        });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        SetShellOpenHook({});
        CWndInfo::SetFileChooser({});
        CWndToolbar::SetFileChooser({});
    }
    // The toolbar's file dialogs answer with `answer` (nothing: Cancel).
    void AnswerFileDialogs(std::optional<QString>* answer, int* asked) {
        CWndToolbar::SetFileChooser([answer, asked](CWndToolbar::FileMode, const QString&, const QString&) {
            ++*asked;
            return *answer;
        });
    }
    static QString SourceNameShown(CDWDlg& w) {
        return static_cast<CWndInfo*>(w.controlPanelWidget())->ControlAs<QLineEdit>(CWndInfo::IDC_SOURCE_NAME)->text();
    }
    // A default project whose source is `source`, stored at `path`.
    static void StoreProjectNaming(const QString& source, const QString& path) {
        CProject saved;
        saved.properties.sourcePath = source.toStdString();
        NullProgress sink;
        ASSERT_TRUE(StoreProject(saved, path.toStdString(), sink));
    }
    // A started main window at a known client size.
    std::unique_ptr<CDWDlg> StartedWindow(const QString& commandLineFile = {}) {
        return test::StartMainWindow(commandLineFile);
    }
    CWndInfo* Panel(CDWDlg& w) { return static_cast<CWndInfo*>(w.controlPanelWidget()); }
    CWndControlbar* Transport(CDWDlg& w) { return static_cast<CWndControlbar*>(w.transportBarWidget()); }

    std::vector<ShownMessage> messages;
    std::vector<QUrl> opened;
    bool shellAnswer = true;
    int sourceFileQuestions = 0;
};

TEST_F(MainWindowTest, StartUpCreatesPanelsWithTheirIdsAndStartsSound) {
    auto w = StartedWindow();
    EXPECT_TRUE(w->laidOut());
    EXPECT_TRUE(w->windowState() == Qt::WindowNoState);  // set back by the fixture
    for (int id : {IDC_TOOLBAR, IDC_TRANSPORT_BAR, IDC_ROW_HEADERS, IDC_MATRIX_EDITOR, IDC_TIMELINE, IDC_CONTROL_PANEL})
        EXPECT_NE(w->findChild<QWidget*>(QStringLiteral("panel-%1").arg(id)), nullptr) << id;
    EXPECT_TRUE(w->audioStarted());
    EXPECT_TRUE(w->playbackStreamCreated());
    EXPECT_EQ(w->encoderIndex(), 0);
    EXPECT_EQ(w->acmFormat(), nullptr);
    EXPECT_EQ(w->windowTitle(), "Driftwell");
    EXPECT_EQ(w->project().musicOutdated, 1u) << "the first Play creates music";
    // The control panel's first refresh already applied the quality.
    EXPECT_EQ(Panel(*w)->RememberedQuality(), static_cast<int>(w->project().properties.quality));
    EXPECT_EQ(sourceFileQuestions, 0) << "no project named: nothing is asked";
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, StartUpAsksForAMaximisedWindow) {
    CDWDlg w(nullptr, AudioChoice::Null);
    w.OnInitDialog();
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(w.windowIcon().isNull());
}

TEST_F(MainWindowTest, LayoutTableAtAGivenClientSize) {
    auto w = StartedWindow();
    w->resize(1600, 900);
    const int pw = 255, ph = 568;
    struct Case {
        QWidget* panel;
        QRect expected;
    };
    const Case cases[] = {
        {w->toolbar(), QRect(0, 0, 1600, 40)},
        {w->transportBarWidget(), QRect(0, 840, 1600, 60)},
        {w->controlPanelWidget(), QRect(1600 - pw - 4, 44, pw, ph)},
        {w->timelineWidget(), QRect(128, 806, 1600 - pw - 136, 30)},
        {w->rowHeadersWidget(), QRect(4, 44, 120, 762)},
        {w->matrixEditorWidget(), QRect(128, 44, 1600 - pw - 136, 762)},
    };
    for (const auto& c : cases) EXPECT_EQ(c.panel->geometry(), c.expected) << c.panel->objectName().toStdString();
    EXPECT_EQ(Transport(*w)->layoutBand(), (Rect{128, 840, 1600 - pw - 8, 900}));
    EXPECT_EQ(w->headerColumnRect(), (Rect{4, 44, 124, 806}));
    // A later size change lays everything out again.
    w->resize(1200, 800);
    EXPECT_EQ(w->transportBarWidget()->geometry(), QRect(0, 740, 1200, 60));
    EXPECT_EQ(w->controlPanelWidget()->geometry(), QRect(1200 - pw - 4, 44, pw, ph));
}

TEST_F(MainWindowTest, MinimumSizeFollowsTheScreen) {
    CDWDlg w(nullptr, AudioChoice::Null);
    const QScreen* s = w.screen();
    ASSERT_NE(s, nullptr);
    const MinSize m = MinimumTrackSize(qRound(s->logicalDotsPerInchX()), s->size().width(), s->size().height());
    EXPECT_EQ(w.MinimumSizeForScreen(), QSize(m.width, m.height));
}

TEST_F(MainWindowTest, NewProjectRestoresDefaultsAndRefreshesThePanel) {
    auto w = StartedWindow();
    CProject& p = w->project();
    p.sections.items.resize(2);
    p.properties.sourcePath = "/music/song.wav";
    p.properties.sourceLoaded = true;
    p.properties.quality = 0;
    p.properties.sampleRate = 11025;
    p.properties.musicLength = 42;
    p.musicOutdated = 0;
    Panel(*w)->SetEncoderIndex(3);

    SendAppMessage(w.get(), WM_APP_NEW_PROJECT);

    CProject defaults;
    EXPECT_EQ(p.sections.Count(), 4);
    EXPECT_TRUE(p.properties.sourcePath.empty());
    EXPECT_FALSE(p.properties.sourceLoaded);
    EXPECT_EQ(p.properties.musicLength, defaults.properties.musicLength);
    EXPECT_EQ(p.properties.sampleRate, defaults.properties.sampleRate);
    EXPECT_EQ(Panel(*w)->EncoderIndex(), 0);
    EXPECT_EQ(Panel(*w)->RememberedQuality(), static_cast<int>(defaults.properties.quality))
        << "the refresh applied the quality because the remembered one was -1";
    EXPECT_EQ(SourceNameShown(*w), "") << "the panel shows the empty source";
    EXPECT_EQ(p.musicOutdated, 0u) << "not touched by New Project";
}

TEST_F(MainWindowTest, EnsureSourceRefreshAndRedrawReachTheirPanels) {
    auto w = StartedWindow();
    PaintCounter matrixPaints(w->matrixEditorWidget());

    // No source named: the panel asks for one (and the user cancels).
    SendAppMessage(w.get(), WM_APP_ENSURE_SOURCE);
    EXPECT_EQ(sourceFileQuestions, 1);
    // The refresh shows the properties again.
    w->project().properties.sourcePath = "/music/evening.wav";
    SendAppMessage(w.get(), WM_APP_REFRESH_PANEL);
    EXPECT_EQ(SourceNameShown(*w), "evening.wav");
    SendAppMessage(w.get(), WM_APP_REDRAW_MATRIX);
    EXPECT_GE(matrixPaints.count, 1) << "repainted before the handler returned";

    // WM_APP + 3 has no handler.
    w->project().properties.sourcePath = "/music/morning.wav";
    EXPECT_EQ(SendAppMessage(w.get(), WM_APP + 3), 0);
    EXPECT_EQ(SourceNameShown(*w), "evening.wav");
    EXPECT_EQ(sourceFileQuestions, 1);
}

TEST_F(MainWindowTest, EncoderChangedHandsTheChoiceToTheToolbar) {
    auto w = StartedWindow();
    CProperties& props = w->project().properties;
    SoundFormat adpcm;
    adpcm.name = "IMA ADPCM";
    std::optional<SoundFormat> answer;
    int asked = 0;
    w->SetAcmChooser([&](int, std::uint32_t) {
        ++asked;
        return answer;
    });

    // A chosen compressed format is held and handed over.
    props.encoder = 2;
    answer = adpcm;
    SendAppMessage(w.get(), WM_APP_ENCODER_CHANGED);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(w->encoderIndex(), 2);
    ASSERT_NE(w->acmFormat(), nullptr);
    EXPECT_EQ(w->acmFormat()->name, "IMA ADPCM");
    EXPECT_EQ(w->toolbar()->encoderIndex(), 2);
    EXPECT_EQ(w->toolbar()->acmFormat(), w->acmFormat());

    // "WAV 16 bits" releases the block and hands encoder 1 without one.
    props.encoder = 1;
    SendAppMessage(w.get(), WM_APP_ENCODER_CHANGED);
    EXPECT_EQ(asked, 1) << "no chooser for a plain encoder";
    EXPECT_EQ(w->encoderIndex(), 1);
    EXPECT_EQ(w->acmFormat(), nullptr);
    EXPECT_EQ(w->toolbar()->encoderIndex(), 1);
    EXPECT_EQ(w->toolbar()->acmFormat(), nullptr);

    // "MP3 ACM" with the chooser cancelled falls back to encoder 0 everywhere
    // but in the properties.
    props.encoder = 3;
    answer.reset();
    SendAppMessage(w.get(), WM_APP_ENCODER_CHANGED);
    EXPECT_EQ(w->encoderIndex(), 0);
    EXPECT_EQ(w->acmFormat(), nullptr);
    EXPECT_EQ(Panel(*w)->EncoderIndex(), 0);
    EXPECT_EQ(w->toolbar()->encoderIndex(), 0);
    EXPECT_EQ(w->toolbar()->acmFormat(), nullptr);
    EXPECT_EQ(props.encoder, 3u);
}

TEST_F(MainWindowTest, EffectMessagesSwitchAndDoseThePlaybackEffects) {
    auto w = StartedWindow();
    ASSERT_TRUE(w->playbackStreamCreated());
    CProperties& props = w->project().properties;
    EffectChain& chain = w->playbackStream().effectChain;
    const std::uint32_t outdated = w->project().musicOutdated;

    struct Case {
        int wParam;
        bool CProperties::*on;
        EffectHandle EffectChain::*handle;
    };
    const Case cases[] = {
        {0, &CProperties::highCutOn, &EffectChain::highCut},
        {1, &CProperties::reverbOn, &EffectChain::reverb},
        {2, &CProperties::chorusOn, &EffectChain::chorus},
    };
    for (const auto& c : cases) {
        props.*(c.on) = true;
        SendAppMessage(w.get(), WM_APP_EFFECT_SWITCHED, c.wParam);
        EXPECT_NE(chain.*(c.handle), 0u) << "effect " << c.wParam << " set";
        SendAppMessage(w.get(), WM_APP_EFFECT_AMOUNT, c.wParam);
        props.*(c.on) = false;
        SendAppMessage(w.get(), WM_APP_EFFECT_SWITCHED, c.wParam);
        props.*(c.on) = true;  // wParam 3 must not act on any switch
        const EffectChain before = chain;
        SendAppMessage(w.get(), WM_APP_EFFECT_SWITCHED, 3);
        SendAppMessage(w.get(), WM_APP_EFFECT_AMOUNT, 3);
        SendAppMessage(w.get(), WM_APP_EFFECT_SWITCHED, -1);
        EXPECT_EQ(chain.highCut, before.highCut);
        EXPECT_EQ(chain.reverb, before.reverb);
        EXPECT_EQ(chain.chorus, before.chorus);
        props.*(c.on) = false;
    }
    EXPECT_EQ(w->project().musicOutdated, outdated) << "effects act on playback only";
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, StopWithNothingPlayingResetsCursorAndFlags) {
    auto w = StartedWindow();
    w->timeline()->SetPlayCursor(0.6);
    Transport(*w)->OnPause();  // pause while idle sets the paused flag alone
    ASSERT_TRUE(Transport(*w)->paused());
    SendAppMessage(w.get(), WM_APP_STOP);
    EXPECT_EQ(w->timeline()->PlayCursor(), 0.0);
    EXPECT_FALSE(Transport(*w)->started());
    EXPECT_FALSE(Transport(*w)->paused());
    EXPECT_FALSE(w->playbackStream().active.load());
}

TEST_F(MainWindowTest, EscapeAndEnterDoNothingAndCloseEndsWithOne) {
    auto w = StartedWindow();
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(w.get(), static_cast<Qt::Key>(key));
        EXPECT_TRUE(w->isVisible()) << key;
    }
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), 1);
    EXPECT_FALSE(w->audioStarted()) << "the sound output is released";
}

TEST_F(MainWindowTest, TitleFollowsTheProjectPath) {
    auto w = StartedWindow();
    w->toolbar()->SetCurrentProjectPath("/home/ann/Music/Evening.dwv");
    w->toolbar()->UpdateTitle();
    EXPECT_EQ(w->windowTitle(), "Evening - Driftwell");
    w->toolbar()->OnCommand(ID_NEW_PROJECT);
    EXPECT_EQ(w->windowTitle(), "Driftwell");
    EXPECT_TRUE(w->toolbar()->currentProjectPath().isEmpty());
}

TEST_F(MainWindowTest, CommandLineProjectIsLoadedAndItsSourceDecoded) {
    QTemporaryDir dir;
    const QString source = dir.filePath("tone.mp2");
    ASSERT_TRUE(QFile::copy(DW_APP_TEST_DATA "/tone-440-660-44k1-stereo-1s.mp2", source));
    const QString path = dir.filePath("Evening.dwv");
    CProject saved;
    saved.properties.musicLength = 777;
    saved.properties.sourcePath = source.toStdString();
    NullProgress sink;
    ASSERT_TRUE(StoreProject(saved, path.toStdString(), sink));

    auto w = std::make_unique<CDWDlg>(nullptr, AudioChoice::Null);
    w->SetCommandLineFile(path);
    w->OnInitDialog();
    const CProperties& props = w->project().properties;
    EXPECT_EQ(props.musicLength, 777u);
    EXPECT_EQ(w->windowTitle(), "Evening - Driftwell");
    EXPECT_EQ(w->toolbar()->currentProjectPath(), path);
    EXPECT_TRUE(props.sourceLoaded) << "the source is decoded at once";
    EXPECT_GT(props.sourceFrameCount, 0u);
    EXPECT_EQ(SourceNameShown(*w), "tone.mp2");
    EXPECT_EQ(sourceFileQuestions, 0);
    for (const auto& m : messages) ADD_FAILURE() << m.text.toStdString();
}

// Should the load open the FIFO, it would wait for a writer for ever: after
// a while this one plays the writer, so that such a fault fails the test
// instead of hanging it.
class FifoWatchdog {
public:
    explicit FifoWatchdog(std::string path) : path_(std::move(path)), thread_([this] { Watch(); }) {}
    ~FifoWatchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    bool Unblocked() const { return unblocked_; }

private:
    void Watch() {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(20), [this] { return done_; })) return;
        // Succeeds only while a reader has the FIFO open.
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            unblocked_ = true;
            ::close(fd);
        }
    }
    std::string path_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> unblocked_{false};
    std::thread thread_;
};

// A project asked for on the command line that cannot be opened, or that is
// refused, is told (naming the file, escaped) before the default project is
// shown; a FIFO is never opened, so start-up does not wait for a writer.
struct StartProjectCase {
    const char* name;
    const char* file;  // in the test's folder; "/dev/zero" as it is
    enum class Kind { Missing, Folder, Fifo, Device, Wave, Cut } kind;
    const char* shownFile;  // as the message writes it, after the folder
    const char* reason;     // how the message goes on after the file's name
};
void PrintTo(const StartProjectCase& c, std::ostream* os) { *os << c.name; }

class StartProject : public MainWindowTest, public ::testing::WithParamInterface<StartProjectCase> {};

TEST_P(StartProject, IsToldBeforeTheDefaultProject) {
    const StartProjectCase& c = GetParam();
    QTemporaryDir dir;
    const bool device = c.kind == StartProjectCase::Kind::Device;
    const QString path = device ? QString::fromLatin1(c.file) : dir.filePath(QString::fromUtf8(c.file));
    const std::string shown = device ? std::string(c.shownFile) : dir.path().toStdString() + "/" + c.shownFile;
    std::optional<FifoWatchdog> watchdog;
    switch (c.kind) {
    case StartProjectCase::Kind::Missing:
    case StartProjectCase::Kind::Device: break;
    case StartProjectCase::Kind::Folder: ASSERT_TRUE(QDir().mkpath(path)); break;
    case StartProjectCase::Kind::Fifo:
        ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        watchdog.emplace(path.toStdString());
        break;
    case StartProjectCase::Kind::Wave: {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
        break;
    }
    case StartProjectCase::Kind::Cut: {
        ASSERT_NO_FATAL_FAILURE(StoreProjectNaming(dir.filePath("tone.wav"), path));
        QFile f(path);
        ASSERT_TRUE(f.resize(f.size() / 2));
        break;
    }
    }
    auto w = StartedWindow(path);
    if (watchdog) {
        EXPECT_FALSE(watchdog->Unblocked()) << "start-up opened the FIFO and waited for a writer";
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.toStdString(), "Cannot open the project file " + shown + ": " + c.reason)
        << "the file is named, with what is wrong";
    EXPECT_EQ(w->windowTitle(), "Driftwell") << "the default project";
    EXPECT_EQ(sourceFileQuestions, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartProject,
    ::testing::Values(
        StartProjectCase{"Missing", "gone.dwv", StartProjectCase::Kind::Missing, "gone.dwv",
                         "No such file or directory.\nThe default project is opened instead."},
        StartProjectCase{"Folder", "folder.dwv", StartProjectCase::Kind::Folder, "folder.dwv",
                         "Is a directory.\nThe default project is opened instead."},
        StartProjectCase{"Fifo", "pipe.dwv", StartProjectCase::Kind::Fifo, "pipe.dwv",
                         "not a regular file.\nThe default project is opened instead."},
        StartProjectCase{"DevZero", "/dev/zero", StartProjectCase::Kind::Device, "/dev/zero",
                         "not a regular file.\nThe default project is opened instead."},
        StartProjectCase{"ControlsInTheName", "gone\x1b[2J\u202e\xc2\x9b.dwv", StartProjectCase::Kind::Missing,
                         "gone\\e[2J\\u{202E}\\u{009B}.dwv",
                         "No such file or directory.\nThe default project is opened instead."}),
    [](const auto& p) { return std::string(p.param.name); });

// A file that opens but is refused: the message names it and says why.
class RefusedStartProject : public MainWindowTest, public ::testing::WithParamInterface<StartProjectCase> {};

TEST_P(RefusedStartProject, IsNamedWithWhatIsWrong) {
    const StartProjectCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromUtf8(c.file));
    if (c.kind == StartProjectCase::Kind::Wave) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
    } else {
        ASSERT_NO_FATAL_FAILURE(StoreProjectNaming(dir.filePath("tone.wav"), path));
        QFile f(path);
        ASSERT_TRUE(f.resize(f.size() / 2));
    }
    auto w = StartedWindow(path);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.toStdString(),
              "The project file " + dir.path().toStdString() + "/" + c.shownFile + " was not loaded: " + c.reason);
    EXPECT_EQ(w->windowTitle(), "Driftwell") << "the default project";
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedStartProject,
    ::testing::Values(StartProjectCase{"WaveFile", "song.wav", StartProjectCase::Kind::Wave, "song.wav",
                                       "it is not a Driftwell project."},
                      StartProjectCase{"CutShort", "cut.dwv", StartProjectCase::Kind::Cut, "cut.dwv",
                                       "it ends early (it may have been cut short)."},
                      StartProjectCase{"CutShortWithControlsInTheName", "cut\x1b]0;x\x07\u2066.dwv",
                                       StartProjectCase::Kind::Cut, "cut\\e]0;x\\x07\\u{2066}.dwv",
                                       "it ends early (it may have been cut short)."}),
    [](const auto& p) { return std::string(p.param.name); });

// A project whose source cannot be opened: the message names the file and
// why, the panel marks the name, a save keeps the path, and Play and Trim
// ask for a source again. Each way a source fails is one row.
struct FailedSourceCase {
    const char* name;
    const char* file;
    bool make;              // write `contents` to the file; else it does not exist
    std::string_view contents;
    const char* reason;     // how the message ends
    const char* marked;     // what the panel shows
    bool fifo = false;      // the file is a FIFO nobody writes to
};
void PrintTo(const FailedSourceCase& c, std::ostream* os) { *os << c.name; }


class FailedSource : public MainWindowTest, public ::testing::WithParamInterface<FailedSourceCase> {};

TEST_P(FailedSource, IsExplainedKeptAndAskedForAgain) {
    const FailedSourceCase& c = GetParam();
    QTemporaryDir dir;
    const QString source = dir.filePath(QString::fromLatin1(c.file));
    if (c.make) {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.contents.data(), static_cast<qint64>(c.contents.size()));
    }
    std::optional<FifoWatchdog> watchdog;
    if (c.fifo) {
        ASSERT_EQ(::mkfifo(source.toLocal8Bit().constData(), 0600), 0);
        watchdog.emplace(source.toStdString());
    }
    const QString path = dir.filePath("Evening.dwv");
    ASSERT_NO_FATAL_FAILURE(StoreProjectNaming(source, path));

    auto w = StartedWindow(path);
    if (watchdog) {
        EXPECT_FALSE(watchdog->Unblocked()) << "the window opened the FIFO and waited for a writer";
    }
    const CProperties& props = w->project().properties;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.toStdString(), "Error: Open failed for the music source file\n" +
                                                  source.toStdString() + ": " + c.reason + ".");
    EXPECT_EQ(props.sourcePath, source.toStdString());
    EXPECT_TRUE(props.sourceMissing);
    EXPECT_EQ(SourceNameShown(*w), QString::fromLatin1(c.marked));

    // Saving keeps the source the project names.
    w->toolbar()->OnCommand(ID_SAVE_PROJECT);
    CProject reread;
    NullProgress sink;
    ASSERT_TRUE(LoadProject(reread, path.toStdString(), sink));
    EXPECT_EQ(reread.properties.sourcePath, source.toStdString());

    // Play and Trim ask for a source (the user cancels) and nothing more.
    Transport(*w)->OnPlay();
    EXPECT_EQ(sourceFileQuestions, 1);
    auto* trim = Panel(*w)->ControlAs<QPushButton>(CWndInfo::IDC_TRIM);
    ASSERT_TRUE(trim->isEnabled());
    trim->click();
    EXPECT_EQ(sourceFileQuestions, 2);
    EXPECT_EQ(messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailedSource,
    ::testing::Values(FailedSourceCase{"Missing", "gone.wav", false, "", "the file does not exist", "gone.wav (missing)"},
                      FailedSourceCase{"NotSound", "notes.wav", true, "these are words, not sound",
                                       "it is not a WAV file", "notes.wav (cannot be used)"},
                      FailedSourceCase{"TooShort", "empty.wav", true,
                                       // a WAV header announcing no frames
                                       std::string_view("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0"
                                                        "\x10\xb1\x02\0\x04\0\x10\0data\0\0\0\0", 44),
                                       "it is too short: it holds no sound", "empty.wav (cannot be used)"},
                      FailedSourceCase{"Fifo", "pipe.wav", false, "", "not a regular file", "pipe.wav (cannot be used)",
                                       true}),
    [](const auto& p) { return std::string(p.param.name); });

// A project named on the command line is opened once the window is on
// screen: its source's loading, the question for a missing source and any
// message come over the main window, which owns them.
TEST_F(MainWindowTest, StartUpShowsTheWindowBeforeItsDialogs) {
    QTemporaryDir dir;
    const QString withoutSource = dir.filePath("Bare.dwv");
    const QString withMissing = dir.filePath("Lost.dwv");
    NullProgress sink;
    CProject bare;
    ASSERT_TRUE(StoreProject(bare, withoutSource.toStdString(), sink));
    CProject lost;
    lost.properties.sourcePath = dir.filePath("gone.wav").toStdString();
    ASSERT_TRUE(StoreProject(lost, withMissing.toStdString(), sink));

    for (const QString& project : {withoutSource, withMissing}) {
        SCOPED_TRACE(project.toStdString());
        auto w = std::make_unique<CDWDlg>(nullptr, AudioChoice::Null);
        std::vector<bool> visibleWhenAsked;
        CWndInfo::SetFileChooser([&]() -> std::optional<QString> {
            visibleWhenAsked.push_back(w->isVisible());
            return std::nullopt;
        });
        SetMessageBoxHook([&](const ShownMessage&) { visibleWhenAsked.push_back(w->isVisible()); });
        w->SetCommandLineFile(project);
        w->OnInitDialog();
        EXPECT_EQ(visibleWhenAsked, std::vector<bool>{true});
    }
}

// Ended from outside while a modal dialog is open: the unsaved work is kept
// in the state folder, the sound output released, and the next start says
// where the work is. One row per signal.
class EndedBySignal : public MainWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(EndedBySignal, KeepsTheWorkEvenUnderAModalDialog) {
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    auto w = StartedWindow();
    w->project().properties.musicLength = 321;  // unsaved
    bool ended = false;
    QuitOnSignal(w.get(), [&w] { w->KeepUnsavedWork(); }, [&ended] {
        ended = true;
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    QTimer::singleShot(50, [] { raise(GetParam()); });
    QMessageBox box(QMessageBox::Information, QStringLiteral("Driftwell"), QStringLiteral("modal"), QMessageBox::Ok,
                    w.get());
    box.exec();  // the signal arrives while this runs
    EXPECT_TRUE(ended);
    EXPECT_FALSE(w->audioStarted()) << "the sound output is released";
    const QString kept = state.filePath("driftwell/Untitled (recovered).dwv");
    CProject reread;
    NullProgress quiet;
    ASSERT_TRUE(LoadProject(reread, kept.toStdString(), quiet));
    EXPECT_EQ(reread.properties.musicLength, 321u);

    // The next start tells where the work is, once.
    messages.clear();
    auto next = StartedWindow();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(kept)) << messages[0].text.toStdString();
    auto third = StartedWindow();
    EXPECT_EQ(messages.size(), 1u);
    qunsetenv("XDG_STATE_HOME");
}

INSTANTIATE_TEST_SUITE_P(Table, EndedBySignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& p) { return std::string(p.param == SIGTERM  ? "Term"
                                                                : p.param == SIGINT ? "Int"
                                                                                    : "Hup"); });

// What a file or project names may hold control characters: the title, the
// source's name and every message show them escaped, never raw.
TEST_F(MainWindowTest, ControlCharactersInNamesAreShownEscaped) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QString::fromUtf8("tone\n\x1b[2J.mp2"));
    ASSERT_TRUE(QFile::copy(DW_APP_TEST_DATA "/tone-440-660-44k1-stereo-1s.mp2", source));
    const QString path = dir.filePath(QString::fromUtf8("Eve\x1b]0;owned\x07ning.dwv"));
    ASSERT_NO_FATAL_FAILURE(StoreProjectNaming(source, path));

    auto w = StartedWindow(path);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Eve\\e]0;owned\\x07ning - Driftwell"));
    EXPECT_EQ(SourceNameShown(*w), QString::fromUtf8("tone\\n\\e[2J.mp2"));

    // Saving a copy onto a folder of such a name fails with a message that names it.
    const QString folder = dir.filePath(QString::fromUtf8("Lock\x1b[31m.dwv"));
    ASSERT_TRUE(QDir().mkdir(folder));
    std::optional<QString> answer = folder;
    int asked = 0;
    AnswerFileDialogs(&answer, &asked);
    messages.clear();
    w->toolbar()->OnCommand(ID_SAVE_PROJECT_COPY);
    ASSERT_EQ(messages.size(), 1u);
    const QString text = messages[0].text;
    EXPECT_TRUE(text.contains(QString::fromUtf8("Lock\\e[31m.dwv"))) << text.toStdString();
    for (const QChar c : text) EXPECT_FALSE(c.category() == QChar::Other_Control) << text.toStdString();
}

// A silent source loads, and says so once the loading dialog has gone.
TEST_F(MainWindowTest, SilentSourceLoadsWithItsWarning) {
    QTemporaryDir dir;
    const QString source = dir.filePath("silence.wav");
    {
        // 16-bit mono at 8000 Hz: half a second of zeros.
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const char header[44] = {'R', 'I', 'F', 'F', 36 + 0x40, 0x1F, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                 16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, static_cast<char>(0x80), 0x3E, 0, 0,
                                 2, 0, 16, 0, 'd', 'a', 't', 'a', 0x40, 0x1F, 0, 0};
        f.write(header, sizeof header);
        f.write(QByteArray(8000, '\0'));
    }
    const QString path = dir.filePath("Quiet.dwv");
    ASSERT_NO_FATAL_FAILURE(StoreProjectNaming(source, path));

    auto w = StartedWindow(path);
    EXPECT_TRUE(w->project().properties.sourceLoaded);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Warning: The music source is silent, so the music will be silent too"));
    EXPECT_EQ(messages[0].icon, MessageIcon::Exclamation);
}

TEST_F(MainWindowTest, CommandLineProjectWithoutSourceAsksForOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Empty.dwv");
    CProject saved;
    NullProgress sink;
    ASSERT_TRUE(StoreProject(saved, path.toStdString(), sink));
    auto w = std::make_unique<CDWDlg>(nullptr, AudioChoice::Null);
    w->SetCommandLineFile(path);
    w->OnInitDialog();
    EXPECT_EQ(sourceFileQuestions, 1);
    EXPECT_EQ(w->windowTitle(), "Empty - Driftwell");
}

TEST_F(MainWindowTest, MissingOrBrokenCommandLineProjectKeepsTheDefaults) {
    QTemporaryDir dir;
    const QString broken = test::WriteFileIn(dir, QStringLiteral("broken.dwv"), "not a project file at all");
    struct Case {
        QString path;
        size_t messages;
    };
    // Each is told once (the missing one before the defaults are shown).
    for (const Case& c : {Case{dir.filePath("missing.dwv"), 1u}, Case{broken, 1u}}) {
        messages.clear();
        auto w = std::make_unique<CDWDlg>(nullptr, AudioChoice::Null);
        w->SetCommandLineFile(c.path);
        w->OnInitDialog();
        CProject defaults;
        EXPECT_EQ(w->project().properties.musicLength, defaults.properties.musicLength);
        EXPECT_EQ(w->windowTitle(), "Driftwell");
        EXPECT_TRUE(w->toolbar()->currentProjectPath().isEmpty());
        EXPECT_EQ(messages.size(), c.messages) << c.path.toStdString();
    }
}

TEST_F(MainWindowTest, ToolbarButtonsTooltipsAndLayout) {
    auto w = StartedWindow();
    const int lefts[] = {6, 40, 74, 108, 142, 188, 222, 256};
    const char* tips[] = {"New Project",         "Open Project", "Save Project",    "Save Project Copy",
                          "Write Music to File", "User's Guide", "About Driftwell", "Web Home Page"};
    for (int i = 0; i < kToolbarButtonCount; ++i) {
        CHoverButton* b = w->toolbar()->button(20012 + i);
        ASSERT_NE(b, nullptr) << i;
        EXPECT_EQ(b->geometry(), QRect(lefts[i], 6, 28, 28)) << i;
        EXPECT_EQ(b->toolTip().toStdString(), tips[i]);
    }
}

TEST_F(MainWindowTest, UsersGuideOpensOrSaysItCannot) {
    QTemporaryDir dir;
    const QString guide = test::WriteFileIn(dir, QStringLiteral("Driftwell - User's Guide.pdf"), "%PDF-1.4\n");
    struct Case {
        const char* name;
        QString path;
        bool shellOpens;
        bool opened;
        bool message;
    };
    const Case cases[] = {
        {"guide present, viewer opens it", guide, true, true, false},
        {"guide present, no viewer", guide, false, true, true},
        {"guide missing", dir.filePath("missing.pdf"), true, false, true},
        {"no installation folder", "/Driftwell - User's Guide.pdf", true, false, true},
    };
    for (const auto& c : cases) {
        messages.clear();
        opened.clear();
        shellAnswer = c.shellOpens;
        OpenUsersGuideAt(nullptr, c.path);
        EXPECT_EQ(!opened.empty(), c.opened) << c.name;
        if (!opened.empty()) {
            EXPECT_EQ(opened[0].toLocalFile(), c.path) << c.name;
        }
        ASSERT_EQ(messages.size(), c.message ? 1u : 0u) << c.name;
        if (c.message) {
            EXPECT_EQ(messages[0].text, "Error: Cannot open User's Guide");
            EXPECT_EQ(messages[0].icon, MessageIcon::Exclamation);
        }
    }
    EXPECT_TRUE(UsersGuidePath().endsWith("/Driftwell - User's Guide.pdf"));
}

TEST_F(MainWindowTest, HomePageOpensSilently) {
    shellAnswer = false;
    OpenHomePage();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].scheme(), "https");
    EXPECT_TRUE(messages.empty()) << "a failure is not reported";
}

TEST_F(MainWindowTest, SystemCommandSixteenToThirtyOneOpensAbout) {
    auto w = StartedWindow();
    for (int command : {16, 31, 32, 0xF060}) {
        QString seen;
        QTimer::singleShot(0, [&seen] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen = modal->metaObject()->className();
                modal->close();
            }
        });
        w->OnSysCommand(command);
        QApplication::processEvents();
        const bool opens = command >= 16 && command <= 31;
        EXPECT_EQ(seen == "dw::CDlgAbout", opens) << command;
    }
    EXPECT_EQ(CDWDlg::AboutMenuText(), "w");
}

TEST_F(MainWindowTest, WindowMenuOnlyWhereNoPanelUsesTheRightButton) {
    auto w = StartedWindow();
    struct Case {
        QWidget* target;
        QPoint pos;
        bool menu;
    };
    const Case cases[] = {
        {w->toolbar(), QPoint(400, 20), true},             // the toolbar's background
        {w->matrixEditorWidget(), QPoint(50, 50), false},  // the matrix has its own popup
        {w->controlPanelWidget(), QPoint(5, 300), false},
    };
    for (const auto& c : cases) {
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                if (auto* menu = qobject_cast<QMenu*>(popup); menu && !menu->actions().isEmpty())
                    shown = menu->actions().last()->text();
                popup->close();
            }
        });
        QContextMenuEvent e(QContextMenuEvent::Mouse, c.pos, c.target->mapToGlobal(c.pos));
        QApplication::sendEvent(c.target, &e);
        QApplication::processEvents();
        EXPECT_EQ(shown == "w", c.menu) << c.target->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, SaveSaveCopyAndOpenProject) {
    auto w = StartedWindow();
    CWndToolbar* tb = w->toolbar();
    QTemporaryDir dir;
    std::optional<QString> answer;
    int asked = 0;
    AnswerFileDialogs(&answer, &asked);

    // Save without a file asks for one, writes it and names the window.
    w->project().properties.musicLength = 321;
    answer = dir.filePath("Dusk.dwv");
    tb->OnCommand(ID_SAVE_PROJECT);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("Dusk.dwv")));
    EXPECT_EQ(w->windowTitle(), "Dusk - Driftwell");
    // A second Save writes the same file without asking.
    tb->OnCommand(ID_SAVE_PROJECT);
    EXPECT_EQ(asked, 1);
    // Save Copy asks, writes the copy and keeps working on the first file.
    answer = dir.filePath("Copy.dwv");
    tb->OnCommand(ID_SAVE_PROJECT_COPY);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("Copy.dwv")));
    EXPECT_EQ(w->windowTitle(), "Dusk - Driftwell");
    EXPECT_EQ(tb->currentProjectPath(), dir.filePath("Dusk.dwv"));

    // New, then Open brings the saved project back.
    tb->OnCommand(ID_NEW_PROJECT);
    EXPECT_NE(w->project().properties.musicLength, 321u);
    answer = dir.filePath("Copy.dwv");
    tb->OnCommand(ID_OPEN_PROJECT);
    EXPECT_EQ(w->project().properties.musicLength, 321u);
    EXPECT_EQ(w->windowTitle(), "Copy - Driftwell");

    // Open, then Cancel: playback stopped, nothing else changes.
    w->timeline()->SetPlayCursor(0.5);
    answer.reset();
    tb->OnCommand(ID_OPEN_PROJECT);
    EXPECT_EQ(w->timeline()->PlayCursor(), 0.0);
    EXPECT_EQ(w->project().properties.musicLength, 321u);
    EXPECT_EQ(w->windowTitle(), "Copy - Driftwell");

    // A refused file: its message, the project kept, the path emptied.
    const QString broken = dir.filePath("broken.dwv");
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a project");
    }
    answer = broken;
    tb->OnCommand(ID_OPEN_PROJECT);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(w->project().properties.musicLength, 321u);
    EXPECT_TRUE(tb->currentProjectPath().isEmpty());
}

TEST_F(MainWindowTest, WriteMusicToFile) {
    auto w = StartedWindow();
    QTemporaryDir dir;
    std::optional<QString> answer = dir.filePath("music.wav");
    int asked = 0;
    AnswerFileDialogs(&answer, &asked);

    // Nothing created yet and no source: the music is created first, along
    // Play's road, which asks for a source; without one nothing is written.
    w->toolbar()->OnCommand(ID_WRITE_MUSIC);
    EXPECT_EQ(sourceFileQuestions, 1);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(messages.empty());

    // Decode the source, create ten seconds of music, write it.
    const QString source = dir.filePath("tone.mp2");
    ASSERT_TRUE(QFile::copy(DW_APP_TEST_DATA "/tone-440-660-44k1-stereo-1s.mp2", source));
    CProject& project = w->project();
    project.properties.sourcePath = source.toStdString();
    project.properties.musicLength = 10;
    ASSERT_TRUE(w->controlPanel()->EnsureSource());
    ASSERT_TRUE(project.properties.sourceLoaded);
    NullProgress progress;
    ASSERT_TRUE(w->engine().Create(project, progress));
    w->toolbar()->OnCommand(ID_WRITE_MUSIC);
    EXPECT_EQ(asked, 1);
    for (const auto& m : messages) ADD_FAILURE() << m.text.toStdString();
    const QFileInfo written(dir.filePath("music.wav"));
    ASSERT_TRUE(written.exists());
    // Float WAV: 8 bytes per stereo frame after the header.
    EXPECT_GE(written.size(), static_cast<qint64>(w->engine().OutputFrameCount()) * 8);

    // Music out of date is created again before it is written.
    project.properties.musicLength = 12;
    project.musicOutdated = 1;
    answer = dir.filePath("longer.wav");
    w->toolbar()->OnCommand(ID_WRITE_MUSIC);
    EXPECT_EQ(project.musicOutdated, 0u);
    EXPECT_EQ(w->engine().OutputFrameCount(), 12u * project.properties.sampleRate);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("longer.wav")));
    for (const auto& m : messages) ADD_FAILURE() << m.text.toStdString();
}

// The seed field: it shows the seed of each creation; a typed seed is kept
// and used by every creation after it; "New variation" creates the music
// again with another seed, which stays kept when one was kept; without a kept
// seed each creation draws its own. None of it touches the project file.
TEST_F(MainWindowTest, SeedIsShownKeptAndVaried) {
    auto w = StartedWindow();
    QTemporaryDir dir;
    const QString source = dir.filePath("tone.mp2");
    ASSERT_TRUE(QFile::copy(DW_APP_TEST_DATA "/tone-440-660-44k1-stereo-1s.mp2", source));
    CProject& project = w->project();
    project.properties.sourcePath = source.toStdString();
    project.properties.musicLength = 10;
    ASSERT_TRUE(w->controlPanel()->EnsureSource());
    const std::vector<std::uint8_t> savedBefore = StoreProjectToBytes(project);
    auto* seed = Panel(*w)->ControlAs<QLineEdit>(CWndInfo::IDC_SEED);
    auto* keep = Panel(*w)->ControlAs<QCheckBox>(CWndInfo::IDC_KEEP_SEED);
    auto* variation = Panel(*w)->ControlAs<QPushButton>(CWndInfo::IDC_NEW_VARIATION);
    ASSERT_TRUE(seed && keep && variation);
    EXPECT_TRUE(seed->text().isEmpty());

    ASSERT_TRUE(Transport(*w)->PlayRoad(project.musicOutdated));
    EXPECT_EQ(seed->text(), QString::number(w->engine().Seed()));
    EXPECT_FALSE(keep->isChecked());

    // Typing a seed keeps it and makes the music out of date.
    auto type = [&](const QString& text) {
        seed->setFocus();
        seed->selectAll();
        QTest::keyClicks(seed, text);
        QTest::keyClick(seed, Qt::Key_Return);
    };
    type(QStringLiteral("4294967295"));
    EXPECT_TRUE(keep->isChecked());
    EXPECT_EQ(project.musicOutdated, 1u);
    ASSERT_TRUE(Transport(*w)->PlayRoad(project.musicOutdated));
    EXPECT_EQ(w->engine().Seed(), 4294967295u);
    project.musicOutdated = 1;
    ASSERT_TRUE(Transport(*w)->PlayRoad(project.musicOutdated));
    EXPECT_EQ(w->engine().Seed(), 4294967295u);

    // Past 32 bits the field goes back to the kept seed.
    type(QStringLiteral("4294967296"));
    EXPECT_EQ(seed->text(), QStringLiteral("4294967295"));
    EXPECT_EQ(project.musicOutdated, 0u);

    // A new variation with the seed kept: created at once, and its seed kept.
    variation->click();
    EXPECT_EQ(project.musicOutdated, 0u);
    const std::uint32_t varied = w->engine().Seed();
    EXPECT_NE(varied, 4294967295u);
    EXPECT_EQ(seed->text(), QString::number(varied));
    EXPECT_TRUE(keep->isChecked());
    project.musicOutdated = 1;
    ASSERT_TRUE(Transport(*w)->PlayRoad(project.musicOutdated));
    EXPECT_EQ(w->engine().Seed(), varied);

    // Without the lock, a new variation is not kept.
    keep->click();
    EXPECT_FALSE(keep->isChecked());
    variation->click();
    EXPECT_NE(w->engine().Seed(), varied);
    EXPECT_EQ(seed->text(), QString::number(w->engine().Seed()));
    EXPECT_FALSE(keep->isChecked());

    EXPECT_EQ(StoreProjectToBytes(project), savedBefore);
    for (const auto& m : messages) ADD_FAILURE() << m.text.toStdString();
}

// The whole route of an unsaved edit on the real main window: the title
// shows it, closing asks, and each answer does what it says.
TEST_F(MainWindowTest, UnsavedEditIsShownAndAskedAboutOnClose) {
    auto w = StartedWindow();
    QTRY_COMPARE(w->windowTitle(), QStringLiteral("Driftwell"));
    w->project().matrix.SetCell(kTexture, 0, 0.01f);
    QTRY_COMPARE(w->windowTitle(), QStringLiteral("*Driftwell"));

    QTemporaryDir dir;
    std::optional<QString> answer;
    int asked = 0;
    AnswerFileDialogs(&answer, &asked);
    struct Case {
        SaveAnswer answer;
        std::optional<QString> savePath;
        bool closes;
    };
    int questions = 0;
    SaveAnswer next = SaveAnswer::Cancel;
    CProjectCommandsUi::SetSaveQuestionHook([&] {
        ++questions;
        return next;
    });
    for (const Case& c : {Case{SaveAnswer::Cancel, {}, false}, Case{SaveAnswer::Yes, {}, false},
                          Case{SaveAnswer::Yes, dir.filePath("Kept.dwv"), true}}) {
        next = c.answer;
        answer = c.savePath;
        w->close();
        EXPECT_EQ(w->isVisible(), !c.closes);
    }
    EXPECT_EQ(questions, 3);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("Kept.dwv")));
    EXPECT_FALSE(w->audioStarted()) << "a window that closed released the sound output";

    // No discards: the window closes without saving.
    auto other = StartedWindow();
    other->project().properties.fadeIn = 6;
    next = SaveAnswer::No;
    other->close();
    EXPECT_FALSE(other->isVisible());
    EXPECT_EQ(questions, 4);
    CProjectCommandsUi::SetSaveQuestionHook({});
}

// The user picks "MP3 ACM" in the panel: the real chooser opens for the
// project's rate; Cancel falls back to "WAV original (float)" on screen while
// the project keeps its encoder, OK hands the chosen format to the toolbar.
TEST_F(MainWindowTest, CompressedEncoderOpensTheFormatChooser) {
    auto w = StartedWindow();
    auto* combo = Panel(*w)->ControlAs<QComboBox>(CWndInfo::IDC_ENCODER);
    ASSERT_NE(combo, nullptr);
    const std::uint32_t rate = w->project().properties.sampleRate;
    const auto formats = CompressedFormats(kEncoderMp3, rate);
    ASSERT_FALSE(formats.empty());

    struct Case {
        bool accept;
        int encoderCopy;
        QString shown;
    };
    for (const Case& c : {Case{false, 0, QStringLiteral("WAV original (float)")}, Case{true, 3, QStringLiteral("MP3 ACM")}}) {
        int choosers = 0;
        auto* poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            auto* chooser = qobject_cast<CDlgFormatChooser*>(QApplication::activeModalWidget());
            if (!chooser) return;
            poll->stop();
            poll->deleteLater();
            ++choosers;
            EXPECT_EQ(chooser->windowTitle(), QStringLiteral("Select output sound file properties"));
            EXPECT_EQ(chooser->list()->topLevelItemCount(), static_cast<int>(formats.size()));
            if (c.accept) {
                chooser->selectIndex(0);
                chooser->accept();
            } else {
                chooser->reject();
            }
        });
        poll->start();
        combo->setCurrentIndex(0);
        combo->setCurrentIndex(kEncoderMp3);
        QCoreApplication::processEvents();
        EXPECT_EQ(choosers, 1);
        EXPECT_EQ(w->project().properties.encoder, 3u);
        EXPECT_EQ(w->toolbar()->encoderIndex(), c.encoderCopy);
        EXPECT_EQ(combo->currentText(), c.shown);
        if (c.accept) {
            ASSERT_NE(w->toolbar()->acmFormat(), nullptr);
            EXPECT_EQ(*w->toolbar()->acmFormat(), formats[0]);
        } else {
            EXPECT_EQ(w->toolbar()->acmFormat(), nullptr);
        }
    }
    EXPECT_TRUE(messages.empty());
}

TEST(CDlgAbout, PictureVersionAndButton) {
    CDlgAbout about;
    ASSERT_TRUE(about.hasPicture());
    const int bh = about.okButton()->height();
    EXPECT_EQ(about.size(), QSize(450, 220 + bh + 2 * (bh / 2)));
    EXPECT_EQ(about.okButton()->geometry().top(), 220 + bh / 2);
    EXPECT_EQ(about.okButton()->geometry().center().x(), 450 / 2 - (450 - about.okButton()->width()) % 2);
    EXPECT_EQ(CDlgAbout::VersionText(), "Version 4.0.0");
    const QRect r = about.versionTextRect();
    EXPECT_EQ(r.left() + r.width(), 450 - 4) << "ends 4 pixels before the right edge";
    EXPECT_EQ(r.top(), 35);
    EXPECT_EQ(CDlgAbout::VersionFontPixelHeight(96), 19);
    EXPECT_EQ(CDlgAbout::VersionFontPixelHeight(120), 23);
}

TEST(CDWApp, StartupChecksInOrder) {
    EXPECT_EQ(CDWApp::StartupCheckMessage(true, true), "");
    EXPECT_EQ(CDWApp::StartupCheckMessage(false, true), "Error: Operating system version is not supported");
    EXPECT_EQ(CDWApp::StartupCheckMessage(true, false), "Error: Screen resolution is not supported");
    EXPECT_EQ(CDWApp::StartupCheckMessage(false, false), "Error: Operating system version is not supported")
        << "only the first failing check speaks";
    EXPECT_TRUE(CDWApp::WantsNullAudio({"driftwell", "--null-audio", "a.dwv"}));
    EXPECT_FALSE(CDWApp::WantsNullAudio({"driftwell", "a.dwv"}));
    EXPECT_FALSE(CDWApp::WantsNullAudio({"--null-audio"})) << "the program's own name is not a switch";
}

}  // namespace
}  // namespace dw
