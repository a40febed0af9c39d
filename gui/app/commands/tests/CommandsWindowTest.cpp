// The commands' windows with their real dialogs, answered by the test: a
// stand-in main window records the application messages it is sent.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QStandardPaths>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

#include "gui/app/commands/CDlgFormatChooser.h"
#include "gui/app/commands/CommandDialogs.h"
#include "gui/app/commands/ProjectCommandsUi.h"
#include "gui/app/commands/WriteMusicFlow.h"
#include "core/audio/Mastering.h"
#include "core/base/OutputFile.h"
#include "core/base/testing/TestSupport.h"
#include "core/engine/MusicEngine.h"
#include "core/model/Project.h"
#include "core/model/ProjectFile.h"
#include "core/model/testing/ToneProject.h"
#include "gui/kit/AppMessages.h"

namespace dw {
namespace {

namespace fs = std::filesystem;

// Records the application messages; a new project is reset as the real main
// window does it.
class StandInWindow final : public QWidget {
public:
    explicit StandInWindow(CProject* project) : project_(project) { setWindowTitle(QStringLiteral("Driftwell")); }
    std::vector<int> received;

protected:
    bool event(QEvent* e) override {
        if (e->type() == AppMessageEvent::eventType()) {
            const int m = static_cast<AppMessageEvent*>(e)->message();
            received.push_back(m);
            if (m == WM_APP_NEW_PROJECT) project_->SetDefaults();
            return true;
        }
        return QWidget::event(e);
    }

private:
    CProject* project_;
};

class RecordingSink final : public IMessageSink {
public:
    std::vector<std::string> texts;
    void ShowMessage(int, std::string_view text, MessageIcon) override { texts.emplace_back(text); }
};

// Answers the next modal dialog of type T (polling, so it is found once it
// is really open) with `answer`.
template <class T>
void AnswerNextDialog(std::function<void(T*)> answer, const char* objectName = nullptr) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, objectName] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || (objectName && dialog->objectName() != QLatin1String(objectName))) return;
        timer->stop();
        timer->deleteLater();
        answer(dialog);
    });
    timer->start();
}

void AnswerFileDialog(const QString& path, const char* name = kProjectFileDialogName) {
    AnswerNextDialog<QFileDialog>(
        [path](QFileDialog* d) {
            if (path.isEmpty()) {
                d->reject();
                return;
            }
            d->setOption(QFileDialog::DontConfirmOverwrite);  // the test means to overwrite
            // Typed into the name box as a person would: selectFile() alone
            // can lose the race with the folder model that is still loading
            // and leave the initial "*.dwv" pattern there.
            if (auto* box = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                box->setText(path);
            } else {
                d->selectFile(path);
            }
            static_cast<QDialog*>(d)->accept();  // QFileDialog's own accept, which checks the name
        },
        name);
}

void AnswerQuestion(QMessageBox::StandardButton button) {
    AnswerNextDialog<QMessageBox>([button](QMessageBox* box) { box->button(button)->click(); }, kSaveQuestionName);
}

class CommandsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        project.SetDefaults();
        dir = temp.path();
        window.resize(400, 300);
        window.show();
        ui.commands().MarkSaved();
    }
    fs::path MakeProjectFile(const std::string& name, std::uint32_t musicLength) {
        CProject other;
        other.SetDefaults();
        other.properties.musicLength = musicLength;
        const fs::path path = dir / (name + ".dwv");
        NullProgress quiet;
        EXPECT_TRUE(StoreProject(other, path, quiet));
        return path;
    }
    static QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

    CProject project;
    StandInWindow window{&project};
    RecordingSink sink;
    CProjectCommandsUi ui{&window, &project, &sink};
    test::TempDir temp;
    fs::path dir;
};

TEST_F(CommandsWindowTest, ProjectFileDialogIsSetUpForProjects) {
    for (const FileDialogMode mode : {FileDialogMode::Open, FileDialogMode::Save}) {
        bool checked = false;
        AnswerNextDialog<QFileDialog>(
            [&](QFileDialog* d) {
                EXPECT_EQ(d->acceptMode(), mode == FileDialogMode::Open ? QFileDialog::AcceptOpen
                                                                        : QFileDialog::AcceptSave);
                EXPECT_EQ(d->defaultSuffix(), QStringLiteral("dwv"));
                EXPECT_EQ(d->nameFilters(), QStringList{QStringLiteral("Driftwell Project(*.dwv) (*.dwv)")});
                EXPECT_TRUE(d->testOption(QFileDialog::HideNameFilterDetails));
                EXPECT_TRUE(d->isSizeGripEnabled());
                EXPECT_EQ(d->parentWidget(), &window);
                if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                    EXPECT_EQ(name->text(), QStringLiteral("*.dwv"));
                }
                checked = true;
                d->reject();
            },
            kProjectFileDialogName);
        EXPECT_FALSE(RunProjectFileDialog(&window, mode).has_value());
        EXPECT_TRUE(checked);
    }
}

TEST_F(CommandsWindowTest, OpenSendsStopEnsureRefreshRedrawAndNamesTheWindow) {
    const fs::path file = MakeProjectFile("Evening", 777);
    AnswerFileDialog(Q(file));
    EXPECT_TRUE(ui.RunProjectCommand(kCmdOpenProject));
    EXPECT_EQ(window.received, (std::vector<int>{WM_APP_STOP, WM_APP_ENSURE_SOURCE, WM_APP_REFRESH_PANEL,
                                                 WM_APP_REDRAW_MATRIX}));
    EXPECT_EQ(project.properties.musicLength, 777u);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Evening - Driftwell"));
    EXPECT_EQ(ui.currentPath(), Q(file));
}

TEST_F(CommandsWindowTest, OpenCancelledOnlyStops) {
    const auto before = StoreProjectToBytes(project);
    AnswerFileDialog(QString());
    ui.RunProjectCommand(kCmdOpenProject);
    EXPECT_EQ(window.received, std::vector<int>{WM_APP_STOP});
    EXPECT_EQ(StoreProjectToBytes(project), before);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Driftwell"));
}

TEST_F(CommandsWindowTest, TruncatedFileLeavesProjectAndShowsItsMessage) {
    const fs::path good = MakeProjectFile("Good", 500);
    const fs::path bad = dir / "Short.dwv";
    fs::copy_file(good, bad);
    fs::resize_file(bad, fs::file_size(good) - 9);
    project.properties.fadeOut = 4;
    ui.commands().MarkSaved();
    const auto before = StoreProjectToBytes(project);
    AnswerFileDialog(Q(bad));
    ui.RunProjectCommand(kCmdOpenProject);
    EXPECT_EQ(StoreProjectToBytes(project), before);
    EXPECT_EQ(window.received, std::vector<int>{WM_APP_STOP});
    EXPECT_EQ(sink.texts.size(), 1u);
    EXPECT_TRUE(ui.currentPath().isEmpty());
}

// The unsaved-changes question on the real message box: Yes saves (through
// the save dialog) then goes on, No discards, Cancel keeps everything.
struct AnswerCase {
    const char* name;
    QMessageBox::StandardButton button;
    bool reset;
    bool saved;
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class UnsavedQuestionTest : public CommandsWindowTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(UnsavedQuestionTest, NewProjectAsksFirst) {
    project.matrix.SetCell(kTexture, 1, 0.9f);
    QTRY_COMPARE(window.windowTitle(), QStringLiteral("*Driftwell"));
    const auto edited = StoreProjectToBytes(project);
    const fs::path target = dir / "Kept.dwv";
    AnswerQuestion(GetParam().button);
    if (GetParam().button == QMessageBox::Yes) AnswerFileDialog(Q(target));
    ui.RunProjectCommand(kCmdNewProject);

    EXPECT_EQ(fs::exists(target), GetParam().saved);
    if (GetParam().saved) {
        CProject reread;
        NullProgress quiet;
        ASSERT_TRUE(LoadProject(reread, target, quiet));
        EXPECT_EQ(StoreProjectToBytes(reread), edited);
    }
    if (GetParam().reset) {
        EXPECT_EQ(window.received, (std::vector<int>{WM_APP_STOP, WM_APP_NEW_PROJECT}));
        EXPECT_NE(StoreProjectToBytes(project), edited);
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Driftwell"));
    } else {
        EXPECT_TRUE(window.received.empty());
        EXPECT_EQ(StoreProjectToBytes(project), edited);
        EXPECT_EQ(window.windowTitle(), QStringLiteral("*Driftwell"));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, UnsavedQuestionTest,
                         ::testing::Values(AnswerCase{"Yes", QMessageBox::Yes, true, true},
                                           AnswerCase{"No", QMessageBox::No, true, false},
                                           AnswerCase{"Cancel", QMessageBox::Cancel, false, false}),
                         [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(CommandsWindowTest, SaveThenSaveCopyKeepTheirPaths) {
    project.properties.fadeIn = 3;
    AnswerFileDialog(Q(dir / "Mine"));  // the default extension is added
    ui.RunProjectCommand(kCmdSaveProject);
    ASSERT_TRUE(fs::exists(dir / "Mine.dwv"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Mine - Driftwell"));
    project.properties.fadeIn = 5;
    AnswerFileDialog(Q(dir / "Copy.dwv"));
    ui.RunProjectCommand(kCmdSaveProjectCopy);
    ASSERT_TRUE(fs::exists(dir / "Copy.dwv"));
    QTRY_COMPARE(window.windowTitle(), QStringLiteral("*Mine - Driftwell"));
    EXPECT_EQ(ui.currentPath(), Q(dir / "Mine.dwv"));
}

TEST_F(CommandsWindowTest, ShortcutsRunTheirCommands) {
    std::vector<int> run;
    ui.InstallShortcuts([&](int command) { run.push_back(command); });
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    const std::pair<Qt::KeyboardModifiers, Qt::Key> keys[] = {
        {Qt::ControlModifier, Qt::Key_N},
        {Qt::ControlModifier, Qt::Key_O},
        {Qt::ControlModifier, Qt::Key_S},
        {Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_S},
        {Qt::ControlModifier, Qt::Key_E},
    };
    for (const auto& [mods, key] : keys) QTest::keyClick(&window, key, mods);
    EXPECT_EQ(run, (std::vector<int>{kCmdNewProject, kCmdOpenProject, kCmdSaveProject, kCmdSaveProjectCopy,
                                     kCmdWriteMusic}));
}

// Drops a file on the window as the desktop would.
bool Drop(QWidget& target, const QString& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPointF at(target.width() / 2.0, target.height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    return drop.isAccepted();
}

TEST_F(CommandsWindowTest, DroppedFilesOpenAsProjectOrSource) {
    ui.AcceptDrops();
    EXPECT_FALSE(Drop(window, Q(dir / "notes.txt")));

    // A project, after the question about the unsaved edit.
    project.properties.fadeIn = 9;
    const fs::path file = MakeProjectFile("Dropped", 640);
    AnswerQuestion(QMessageBox::No);
    ASSERT_TRUE(Drop(window, Q(file)));
    QTRY_COMPARE(project.properties.musicLength, 640u);
    EXPECT_EQ(window.received.front(), WM_APP_STOP);
    QTRY_COMPARE(window.windowTitle(), QStringLiteral("Dropped - Driftwell"));

    // A music source: named, shown, decoded, and one edit to undo.
    window.received.clear();
    ASSERT_TRUE(Drop(window, Q(dir / "Rain.OGG")));
    QTRY_COMPARE(QString::fromStdString(project.properties.sourcePath), Q(dir / "Rain.OGG"));
    EXPECT_EQ(window.received, (std::vector<int>{WM_APP_REFRESH_PANEL, WM_APP_ENSURE_SOURCE, WM_APP_PROJECT_EDITED}));
}

// ------------------------------------------------------- format chooser

TEST(FormatChooser, ListsTheFittingFormatsWithBitRates) {
    const auto formats = CompressedFormats(kEncoderMp3, 44100);
    ASSERT_FALSE(formats.empty());
    CDlgFormatChooser dialog(nullptr, kChooserTitle, formats);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select output sound file properties"));
    ASSERT_EQ(dialog.list()->topLevelItemCount(), static_cast<int>(formats.size()));
    for (int i = 0; i < dialog.list()->topLevelItemCount(); ++i) {
        EXPECT_EQ(dialog.list()->topLevelItem(i)->text(0), QString::fromStdString(formats[static_cast<size_t>(i)].name));
        EXPECT_EQ(dialog.list()->topLevelItem(i)->text(1),
                  QStringLiteral("%1 kbit/s").arg(formats[static_cast<size_t>(i)].bitRate / 1000));
    }
    // A format without a fixed bit rate shows what its samples take.
    SoundFormat ulaw;
    ulaw.sampleRate = 8000;
    ulaw.channels = 2;
    ulaw.bitsPerSample = 8;
    EXPECT_EQ(FormatBitRateText(ulaw), QStringLiteral("128 kbit/s"));
}

TEST(FormatChooser, ChoiceOrCancelReachesTheCaller) {
    QWidget owner;
    QtFormatChooser chooser(&owner);
    RecordingSink sink;
    const auto formats = CompressedFormats(kEncoderWavCompressed, 22050);
    ASSERT_GE(formats.size(), 2u);

    AnswerNextDialog<CDlgFormatChooser>([](CDlgFormatChooser* d) { d->reject(); });
    EXPECT_FALSE(ChooseAcmFormat(kEncoderWavCompressed, 22050, chooser, sink).has_value());
    EXPECT_TRUE(sink.texts.empty());

    AnswerNextDialog<CDlgFormatChooser>([](CDlgFormatChooser* d) {
        d->selectIndex(1);
        d->accept();
    });
    const auto chosen = ChooseAcmFormat(kEncoderWavCompressed, 22050, chooser, sink);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, formats[1]);
}

// ------------------------------------------------- Write Music to File

class WriteMusicTest : public CommandsWindowTest {
protected:
    void SetUp() override {
        CommandsWindowTest::SetUp();
        // Two seconds of a chord as the decoded source.
        test::MakeToneProject(project, 0, 660.0, 0.3f);
        project.properties.sourcePath = (dir / "source.wav").string();
    }
    WriteMusicSetup Setup(int encoder, const SoundFormat* chosen) {
        WriteMusicSetup s;
        s.owner = &window;
        s.project = &project;
        s.engine = &engine;
        s.encoder = encoder;
        s.chosen = chosen;
        s.messages = &sink;
        s.createMusic = [this] {
            ++creations;
            NullProgress progress;
            CreateOptions options;
            options.random = Random(7);
            options.threads = 1;
            return engine.Create(project, progress, options);
        };
        return s;
    }

    CMusicEngine engine;
    int creations = 0;
};

struct Written {
    int rate = 0, channels = 0;
    sf_count_t frames = 0;
    int format = 0;
};
Written ReadBack(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    // Count what really decodes, not only what the header says.
    std::vector<float> buffer(4096 * static_cast<size_t>(info.channels));
    sf_count_t frames = 0;
    for (sf_count_t got; (got = sf_readf_float(f, buffer.data(), 4096)) > 0;) frames += got;
    sf_close(f);
    return {info.samplerate, info.channels, frames, info.format};
}

TEST_F(WriteMusicTest, CreatesOutdatedMusicFirstAndWritesEachEncoder) {
    for (int encoder = 0; encoder <= 3; ++encoder) {
        SCOPED_TRACE(encoder);
        std::optional<SoundFormat> chosen;
        if (encoder >= 2) {
            const auto formats = CompressedFormats(encoder, 11025);
            ASSERT_FALSE(formats.empty());
            chosen = formats.front();
        }
        const QString ext = MusicFileExtension(encoder, chosen ? &*chosen : nullptr);
        const fs::path target = dir / ("music" + std::to_string(encoder) + "." + ext.toStdString());
        AnswerFileDialog(Q(target), kMusicFileDialogName);
        ASSERT_EQ(WriteMusicToFile(Setup(encoder, chosen ? &*chosen : nullptr)), WriteResult::Written);
        const Written w = ReadBack(target);
        EXPECT_EQ(w.rate, 11025);
        EXPECT_EQ(w.channels, 2);
        // MP3 frames pad the start and end by a little, ADPCM fills its last block.
        if (encoder == kEncoderMp3) {
            EXPECT_NEAR(static_cast<double>(w.frames), 110250.0, 2304.0);
        } else if (encoder == kEncoderWavCompressed) {
            EXPECT_GE(w.frames, 110250);
            EXPECT_LT(w.frames, 110250 + 2048);
        } else {
            EXPECT_EQ(w.frames, 110250);
        }
        if (encoder == kEncoderWavFloat) {
            EXPECT_EQ(w.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
        }
        if (encoder == kEncoderWav16) {
            EXPECT_EQ(w.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
        }
    }
    // Created once: the music stayed up to date after the first.
    EXPECT_EQ(creations, 1);
    EXPECT_TRUE(sink.texts.empty());
}

TEST_F(WriteMusicTest, StopsWithoutWritingWhenAStepIsRefused) {
    // The creation cancelled: no dialog, nothing written.
    WriteMusicSetup s = Setup(0, nullptr);
    s.createMusic = [] { return false; };
    EXPECT_EQ(WriteMusicToFile(s), WriteResult::Cancelled);

    // A compressed encoder without its format: said before any creation.
    EXPECT_EQ(WriteMusicToFile(Setup(kEncoderMp3, nullptr)), WriteResult::Failed);
    EXPECT_EQ(creations, 0);
    ASSERT_EQ(sink.texts.size(), 1u);
    EXPECT_EQ(sink.texts[0], "Error (audio): Encoder ACM file");

    // The save dialog cancelled.
    AnswerFileDialog(QString(), kMusicFileDialogName);
    EXPECT_EQ(WriteMusicToFile(Setup(0, nullptr)), WriteResult::Cancelled);

    // The music source as the target: refused, the source untouched.
    { std::ofstream(dir / "source.wav") << "original bytes"; }
    AnswerFileDialog(Q(dir / "source.wav"), kMusicFileDialogName);
    EXPECT_EQ(WriteMusicToFile(Setup(0, nullptr)), WriteResult::Failed);
    EXPECT_EQ(fs::file_size(dir / "source.wav"), 14u);
    EXPECT_EQ(sink.texts.back(), std::string(kMsgTargetIsProjectFile));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(WriteMusicTest, AFullDiskSaysWhyAndKeepsThePreviousFile) {
    const auto formats = CompressedFormats(kEncoderMp3, 11025);
    ASSERT_FALSE(formats.empty());
    const fs::path target = dir / "earlier.mp3";
    { std::ofstream(target) << "the previous music"; }
    AnswerFileDialog(Q(target), kMusicFileDialogName);
    SetOutputFileFaultsForTesting({.failAfterBytes = 5000, .error = ENOSPC});
    const WriteResult result = WriteMusicToFile(Setup(kEncoderMp3, &formats.front()));
    SetOutputFileFaultsForTesting({});
    EXPECT_EQ(result, WriteResult::Failed);
    ASSERT_EQ(sink.texts.size(), 1u);
    EXPECT_EQ(sink.texts[0], "Error (audio): Wencoder write failed\n\n" + target.string() + ": No space left on device");
    std::ifstream kept(target);
    std::string line;
    EXPECT_TRUE(std::getline(kept, line) && kept.peek() == std::ifstream::traits_type::eof());
    EXPECT_EQ(line, "the previous music");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "nothing left beside it";
}

class WriteMusicFileTypes : public WriteMusicTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WriteMusicFileTypes, TheNamesExtensionChoosesFlacOggOrOpusBesidesTheEncoder) {
    const std::string ext = GetParam();
    const fs::path target = dir / ("music." + ext);
    AnswerFileDialog(Q(target), kMusicFileDialogName);
    ASSERT_EQ(WriteMusicToFile(Setup(kEncoderWav16, nullptr)), WriteResult::Written);
    const Written w = ReadBack(target);
    EXPECT_EQ(w.format & SF_FORMAT_TYPEMASK, ext == "flac" ? SF_FORMAT_FLAC : SF_FORMAT_OGG);
    EXPECT_EQ(w.format & SF_FORMAT_SUBMASK, ext == "opus" ? SF_FORMAT_OPUS : ext == "ogg" ? SF_FORMAT_VORBIS
                                                                                          : SF_FORMAT_PCM_24);
    EXPECT_EQ(w.channels, 2);
    EXPECT_TRUE(sink.texts.empty());
    // The project's encoder is not touched by the choice of file type.
    EXPECT_EQ(project.properties.encoder, 0u);
}

INSTANTIATE_TEST_SUITE_P(Types, WriteMusicFileTypes, ::testing::Values("flac", "ogg", "opus"),
                         [](const auto& p) { return std::string(p.param); });

TEST_F(WriteMusicTest, TheSaveDialogOffersEveryFileTypeAndTheRememberedLoudness) {
    QStandardPaths::setTestModeEnabled(true);
    RememberLoudness(-16.0);
    QStringList filters;
    QString loudness;
    AnswerNextDialog<QFileDialog>(
        [&](QFileDialog* d) {
            filters = d->nameFilters();
            if (auto* box = d->findChild<QComboBox*>(QLatin1String(kLoudnessBoxName))) {
                loudness = box->currentText();
                box->setCurrentIndex(1);  // -23 LUFS, remembered from now on
            }
            d->reject();
        },
        kMusicFileDialogName);
    EXPECT_EQ(WriteMusicToFile(Setup(kEncoderWavFloat, nullptr)), WriteResult::Cancelled);
    EXPECT_EQ(filters, (QStringList{"WAV sound file (*.wav)", "FLAC sound file (*.flac)",
                                    "Ogg Vorbis sound file (*.ogg)", "Opus sound file (*.opus)"}));
    EXPECT_EQ(loudness, QStringLiteral("-16 LUFS"));
    EXPECT_EQ(RememberedLoudness(), std::optional<double>(-16.0)) << "a cancelled dialog changes no setting";
    RememberLoudness(std::nullopt);
    EXPECT_EQ(RememberedLoudness(), std::nullopt);
}

TEST_F(WriteMusicTest, TheFileGetsTheEffectsAndTheLoudnessWhileThePlayerKeepsItsMusic) {
    QStandardPaths::setTestModeEnabled(true);
    project.properties.reverbOn = true;
    project.properties.reverb = 0.7;
    RememberLoudness(-16.0);
    AnswerFileDialog(Q(dir / "wet.wav"), kMusicFileDialogName);
    ASSERT_EQ(WriteMusicToFile(Setup(kEncoderWavFloat, nullptr)), WriteResult::Written);
    RememberLoudness(std::nullopt);
    const std::vector<StereoFrame> playing(engine.Output(), engine.Output() + engine.OutputFrameCount());

    SF_INFO info{};
    SNDFILE* f = sf_open((dir / "wet.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<StereoFrame> written(static_cast<std::size_t>(info.frames));
    sf_readf_float(f, &written[0].left, info.frames);
    const char* comment = sf_get_string(f, SF_STR_COMMENT);
    const std::string tags = comment ? comment : "";
    sf_close(f);
    ASSERT_EQ(written.size(), playing.size());
    EXPECT_NE(std::memcmp(written.data(), playing.data(), written.size() * sizeof(StereoFrame)), 0)
        << "the file must carry the reverb";
    const auto reading = MeasureLoudness(written, 11025);
    ASSERT_TRUE(reading.has_value());
    EXPECT_LE(reading->truePeakDbtp, -1.0 + 0.05);
    // Sparse test music may reach the ceiling before the target; then the ceiling holds it.
    if (std::fabs(reading->integratedLufs + 16.0) > 1.0) {
        EXPECT_NEAR(reading->truePeakDbtp, -1.0, 0.05);
    }
    EXPECT_NE(tags.find("seed 7"), std::string::npos) << tags;
    EXPECT_NE(tags.find("reverb 0.70"), std::string::npos) << tags;
    // The player's music is what the engine made, untouched by the finishing.
    EXPECT_EQ(playing.size(), 110250u);
}

// ------------------------------------------- Write Music: chains of variations

std::string CommentOf(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    const char* comment = sf_get_string(f, SF_STR_COMMENT);
    std::string text = comment ? comment : "";
    sf_close(f);
    return text;
}

TEST_F(WriteMusicTest, TheDurationBoxOffersHoursAndWritesAChainOfVariations) {
    QStandardPaths::setTestModeEnabled(true);
    const fs::path target = dir / "long.wav";
    QStringList offers;
    AnswerNextDialog<QFileDialog>(
        [&](QFileDialog* d) {
            auto* box = d->findChild<QComboBox*>(QLatin1String(kDurationBoxName));
            if (box) {
                for (int i = 0; i < box->count(); ++i) offers << box->itemText(i);
                box->setEditText(QStringLiteral("25 s"));  // typed: two and a half pieces of 10 s
            }
            d->setOption(QFileDialog::DontConfirmOverwrite);
            if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->setText(Q(target));
            static_cast<QDialog*>(d)->accept();
        },
        kMusicFileDialogName);
    ASSERT_EQ(WriteMusicToFile(Setup(kEncoderWavFloat, nullptr)), WriteResult::Written);
    EXPECT_EQ(offers, (QStringList{"This piece (0:10)", "1 hour", "2 hours", "4 hours", "8 hours"}));
    const Written w = ReadBack(target);
    EXPECT_EQ(w.rate, 11025);
    EXPECT_EQ(w.frames, 25 * 11025);
    const std::string tags = CommentOf(target);
    EXPECT_NE(tags.find("chain of 4 pieces of 10 s from seed 7, crossfade 5 s"), std::string::npos) << tags;
    EXPECT_TRUE(sink.texts.empty());
}

struct DurationCase {
    const char* name;
    const char* typed;
    WriteResult result;
    sf_count_t frames;        // written, when it was
    const char* message;      // the start of the message, when one is said
};

class WriteMusicDurations : public WriteMusicTest, public ::testing::WithParamInterface<DurationCase> {};

TEST_P(WriteMusicDurations, ThePieceAChainOrAClearRefusal) {
    const DurationCase& c = GetParam();
    const fs::path target = dir / "music.wav";
    WriteMusicSetup s = Setup(kEncoderWav16, nullptr);
    s.askTarget = [&](const QString&, const QString&, const QString&) { return std::optional<QString>(Q(target)); };
    s.duration = QString::fromUtf8(c.typed);
    EXPECT_EQ(WriteMusicToFile(s), c.result);
    if (c.result == WriteResult::Written) {
        EXPECT_EQ(ReadBack(target).frames, c.frames);
        EXPECT_TRUE(sink.texts.empty());
    } else {
        EXPECT_FALSE(fs::exists(target));
        ASSERT_EQ(sink.texts.size(), 1u);
        EXPECT_EQ(sink.texts[0].rfind(c.message, 0), 0u) << sink.texts[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteMusicDurations,
    ::testing::Values(DurationCase{"ThisPiece", "This piece (0:10)", WriteResult::Written, 110250, ""},
                      DurationCase{"NothingTyped", "", WriteResult::Written, 110250, ""},
                      DurationCase{"SameAsThePiece", "10s", WriteResult::Written, 110250, ""},
                      DurationCase{"Clock", "0:20", WriteResult::Written, 220500, ""},
                      DurationCase{"Fraction", "12.5s", WriteResult::Written, 137813, ""},
                      DurationCase{"ShorterThanThePiece", "5s", WriteResult::Failed, 0, "A duration of 0:05 is shorter"},
                      DurationCase{"NotADuration", "soon", WriteResult::Failed, 0, "Duration: soon is not a duration"},
                      DurationCase{"Zero", "0", WriteResult::Failed, 0, "Duration: 0 is not a duration"},
                      DurationCase{"TooLong", "1001h", WriteResult::Failed, 0, "Duration: 1001h is not"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WriteMusicTest, CancellingAChainLeavesThePreviousFile) {
    const fs::path target = dir / "evening.flac";
    { std::ofstream(target) << "the previous music"; }
    WriteMusicSetup s = Setup(kEncoderWav16, nullptr);
    s.askTarget = [&](const QString&, const QString&, const QString&) { return std::optional<QString>(Q(target)); };
    s.duration = QStringLiteral("1h");
    // Cancel once the chain is under way (a few ticks after the window shows), as a person would.
    bool cancelled = false;
    int ticks = 0;
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [&cancelled, &ticks, timer] {
        auto* box = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!box || box->objectName() != QLatin1String(kWriteProgressName) || ++ticks < 10) return;
        timer->stop();
        timer->deleteLater();
        // The window's own Cancel button, as a person presses it.
        for (auto* button : box->findChildren<QPushButton*>())
            if (button->text() == QLatin1String("Cancel")) {
                cancelled = true;
                button->click();
            }
    });
    timer->start();
    EXPECT_EQ(WriteMusicToFile(s), WriteResult::Cancelled);
    EXPECT_TRUE(cancelled);
    std::ifstream kept(target);
    std::string line;
    EXPECT_TRUE(std::getline(kept, line) && kept.peek() == std::ifstream::traits_type::eof());
    EXPECT_EQ(line, "the previous music");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "nothing left beside it";
    EXPECT_TRUE(sink.texts.empty());
}

TEST(WriteMusicNames, SuggestedNameFollowsTheProject) {
    EXPECT_EQ(SuggestedMusicFilePath(QString(), QStringLiteral("wav")), QStringLiteral("Driftwell.wav"));
    EXPECT_EQ(SuggestedMusicFilePath(QStringLiteral("/home/ann/Evening.dwv"), QStringLiteral("mp3")),
              QStringLiteral("/home/ann/Evening.mp3"));
    SoundFormat mp3;
    mp3.extension = "mp3";
    EXPECT_EQ(MusicFileExtension(kEncoderWavFloat, nullptr), QStringLiteral("wav"));
    EXPECT_EQ(MusicFileExtension(kEncoderWav16, &mp3), QStringLiteral("wav"));
    EXPECT_EQ(MusicFileExtension(kEncoderMp3, nullptr), QStringLiteral("mp3"));
    EXPECT_EQ(MusicFileExtension(kEncoderMp3, &mp3), QStringLiteral("mp3"));
}

}  // namespace
}  // namespace dw
