// Edits are never lost, on the real main window under the offscreen platform:
// a value still being typed is committed by every command that saves or
// replaces the project, and every kind of edit is one step that Ctrl+Z takes
// back and Ctrl+Y or Ctrl+Shift+Z brings again, with the music marked
// outdated as the edit marked it.
#include "gui/app/CDWDlg.h"
#include "gui/app/CWndToolbar.h"
#include "gui/app/panel/CWndInfo.h"
#include "gui/app/tests/MainWindowSupport.h"
#include "gui/audio/CDlgTrim.h"
#include "gui/editors/CWndMatrix.h"
#include "core/model/ProjectFile.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/testing/WidgetTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <functional>

namespace dw {
namespace {

using test::Move;
using test::Press;
using test::Release;

std::vector<std::uint8_t> Bytes(const CProject& p) { return StoreProjectToBytes(p); }

// The base motif length stored in a project file.
double StoredMotif(const QString& path) {
    CProject p;
    NullProgress quiet;
    EXPECT_TRUE(LoadProject(p, path.toStdString(), quiet)) << path.toStdString();
    return p.properties.baseMotifLength;
}

// A main window started on a saved project whose source is decoded.
class UndoFixture {
public:
    UndoFixture() {
        SetMessageBoxHook([this](const ShownMessage& m) { messages.push_back(m.text); });
        CWndInfo::SetFileChooser([this]() -> std::optional<QString> {
            ++sourceQuestions;
            return nextSource;
        });
        CWndToolbar::SetFileChooser([this](CWndToolbar::FileMode, const QString&, const QString&) {
            ++fileQuestions;
            return nextFile;
        });
        CProjectCommandsUi::SetSaveQuestionHook([this] {
            ++saveQuestions;
            return saveAnswer;
        });
        source = dir.filePath("tone.mp2");
        otherSource = dir.filePath("other.mp2");
        EXPECT_TRUE(QFile::copy(DW_APP_TEST_DATA "/tone-440-660-44k1-stereo-1s.mp2", source));
        EXPECT_TRUE(QFile::copy(DW_APP_TEST_DATA "/tone-440-660-44k1-stereo-1s.mp2", otherSource));
        path = dir.filePath("Dusk.dwv");
        CProject saved;
        saved.properties.sourcePath = source.toStdString();
        saved.properties.musicLength = 60;
        saved.properties.chorusOn = true;  // its amount can be dragged
        NullProgress quiet;
        EXPECT_TRUE(StoreProject(saved, path.toStdString(), quiet));

        w = test::StartMainWindow(path);
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        // Opening the project is no edit: nothing to undo, and the saved file.
        EXPECT_TRUE(w->project().properties.sourceLoaded);
        EXPECT_EQ(w->history().stack().count(), 0);
        WatchTitle();
    }
    ~UndoFixture() {
        w.reset();
        SetMessageBoxHook({});
        CWndInfo::SetFileChooser({});
        CWndToolbar::SetFileChooser({});
        CProjectCommandsUi::SetSaveQuestionHook({});
    }

    CWndInfo& panel() { return *static_cast<CWndInfo*>(w->controlPanelWidget()); }
    CWndMatrix& matrix() { return *static_cast<CWndMatrix*>(w->matrixEditorWidget()); }
    template <class T>
    T* control(int id) {
        return panel().ControlAs<T>(id);
    }
    // Keys as the user presses them: to the widget with the focus.
    void Keys(QKeySequence keys) {
        // A progress dialog (a decode) may have left the main window inactive
        // on this platform; a window system gives the activation back.
        if (!w->isActiveWindow()) {
            w->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        }
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keySequence(target, keys);
    }
    // Types into a field after selecting what it holds, without confirming.
    void Type(QWidget* field, const QString& text) {
        field->setFocus();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    // A point of the matrix editor's client area, as fractions of it.
    QPoint At(double x, double y) {
        return {1 + static_cast<int>(x * matrix().ClientWidth()), 1 + static_cast<int>(y * matrix().ClientHeight())};
    }
    void ChooseFromMatrixMenu(int command) {
        matrix().SetMenuRunner([command](QMenu&, const QPoint&) { return command; });
        Move(matrix(), At(0.6, 0.55));
        Press(matrix(), At(0.6, 0.55), Qt::RightButton);
    }

    QTemporaryDir dir;
    QString source, otherSource, path;
    std::unique_ptr<CDWDlg> w;
    std::vector<QString> messages;
    std::vector<QString> titles;  // every title the window showed
    std::optional<QString> nextSource;
    std::optional<QString> nextFile;
    SaveAnswer saveAnswer = SaveAnswer::Cancel;
    int sourceQuestions = 0, fileQuestions = 0, saveQuestions = 0;

private:
    void WatchTitle() {
        QObject::connect(w.get(), &QWidget::windowTitleChanged, w.get(),
                         [this](const QString& t) { titles.push_back(t); });
    }
};

// ------------------------------------------------------------ typed values

struct CommitCase {
    const char* name;
    // Runs the command while "9" waits in the base motif field.
    std::function<void(UndoFixture&)> run;
    // What shows that the command worked on the typed value.
    std::function<void(UndoFixture&)> check;
};
void PrintTo(const CommitCase& c, std::ostream* os) { *os << c.name; }

class TypedValue : public ::testing::TestWithParam<CommitCase> {};

TEST_P(TypedValue, IsCommittedBeforeTheCommandRuns) {
    UndoFixture f;
    auto* motif = f.control<QLineEdit>(CWndInfo::IDC_BASE_MOTIF);
    f.Type(motif, QStringLiteral("9"));
    ASSERT_EQ(QApplication::focusWidget(), motif);
    ASSERT_NE(f.w->project().properties.baseMotifLength, 9.0) << "nothing committed before the command";
    GetParam().run(f);
    EXPECT_EQ(f.w->project().properties.baseMotifLength, 9.0);
    GetParam().check(f);
    for (const QString& m : f.messages) ADD_FAILURE() << m.toStdString();
}

// Each closing command finds unsaved work and asks (answered Cancel, so the
// committed value is still there to look at).
void ExpectAskedOnce(UndoFixture& f) { EXPECT_EQ(f.saveQuestions, 1); }

const CommitCase kCommitCases[] = {
    {"CtrlS",
     [](UndoFixture& f) { f.Keys(QKeySequence(QStringLiteral("Ctrl+S"))); },
     [](UndoFixture& f) {
         EXPECT_EQ(StoredMotif(f.path), 9.0);
         // The title showed the unsaved edit before the save cleared it.
         ASSERT_GE(f.titles.size(), 2u);
         EXPECT_EQ(f.titles[f.titles.size() - 2], QStringLiteral("*Dusk - Driftwell"));
         EXPECT_EQ(f.w->windowTitle(), QStringLiteral("Dusk - Driftwell"));
         EXPECT_EQ(f.fileQuestions, 0);
     }},
    {"SaveButton",
     [](UndoFixture& f) { f.w->toolbar()->button(ID_SAVE_PROJECT)->click(); },
     [](UndoFixture& f) { EXPECT_EQ(StoredMotif(f.path), 9.0); }},
    {"CtrlShiftS",
     [](UndoFixture& f) {
         f.nextFile = f.dir.filePath("Copy.dwv");
         f.Keys(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
     },
     [](UndoFixture& f) {
         EXPECT_EQ(StoredMotif(f.dir.filePath("Copy.dwv")), 9.0);
         EXPECT_EQ(f.w->windowTitle(), QStringLiteral("*Dusk - Driftwell")) << "the copy leaves the work unsaved";
     }},
    {"CtrlN", [](UndoFixture& f) { f.Keys(QKeySequence(QStringLiteral("Ctrl+N"))); }, ExpectAskedOnce},
    {"CtrlO", [](UndoFixture& f) { f.Keys(QKeySequence(QStringLiteral("Ctrl+O"))); }, ExpectAskedOnce},
    {"DroppedProject",
     [](UndoFixture& f) { f.w->toolbar()->projectCommands().OpenDroppedFile(f.path); },
     ExpectAskedOnce},
    {"Close", [](UndoFixture& f) { f.w->close(); },
     [](UndoFixture& f) {
         ExpectAskedOnce(f);
         EXPECT_TRUE(f.w->isVisible());
     }},
    {"CtrlE",
     [](UndoFixture& f) {
         f.nextFile = f.dir.filePath("music.wav");
         f.Keys(QKeySequence(QStringLiteral("Ctrl+E")));
     },
     [](UndoFixture& f) {
         // Written from music created with the typed value.
         EXPECT_EQ(f.fileQuestions, 1) << "Ctrl+E reached the command from the text field";
         EXPECT_TRUE(QFileInfo::exists(f.dir.filePath("music.wav")));
         EXPECT_EQ(f.w->project().musicOutdated, 0u);
     }},
    {"Trim",
     [](UndoFixture& f) {
         test::WhenDialogOpens([](QDialog* d) { d->reject(); });
         f.control<QWidget>(CWndInfo::IDC_TRIM)->setFocusPolicy(Qt::NoFocus);  // as a shortcut would press it
         f.panel().OnTrim();
     },
     [](UndoFixture&) {}},
};

INSTANTIATE_TEST_SUITE_P(Commands, TypedValue, ::testing::ValuesIn(kCommitCases),
                         [](const auto& param) { return std::string(param.param.name); });

// ------------------------------------------------------------ undo and redo

struct EditCase {
    const char* name;
    std::function<void(UndoFixture&)> edit;
    // How the music counts after the edit is undone or redone.
    std::uint32_t outdated;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class EveryEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(EveryEdit, IsOneStepThatUndoAndRedoTakeBackAndBringAgain) {
    UndoFixture f;
    CProject& project = f.w->project();
    const auto before = Bytes(project);
    GetParam().edit(f);
    const auto after = Bytes(project);
    ASSERT_NE(after, before) << "the edit changed nothing";
    EXPECT_EQ(f.w->history().stack().count(), 1) << "one step per edit";

    struct Step {
        const char* keys;
        const std::vector<std::uint8_t>& expected;
    };
    for (const Step& s : {Step{"Ctrl+Z", before}, Step{"Ctrl+Y", after}, Step{"Ctrl+Z", before},
                          Step{"Ctrl+Shift+Z", after}, Step{"Ctrl+Z", before}}) {
        SCOPED_TRACE(s.keys);
        project.musicOutdated = 0;
        f.Keys(QKeySequence(QString::fromLatin1(s.keys)));
        EXPECT_TRUE(Bytes(project) == s.expected);
        EXPECT_EQ(project.musicOutdated, GetParam().outdated);
        EXPECT_EQ(project.properties.sourceLoaded, true) << "the restored source is decoded";
    }
    // Back where the file was saved: no unsaved work.
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("Dusk - Driftwell"));
    EXPECT_EQ(f.w->history().stack().count(), 1) << "undo and redo add no steps";
    for (const QString& m : f.messages) ADD_FAILURE() << m.toStdString();
}

const EditCase kEditCases[] = {
    {"MatrixValueDrag",
     [](UndoFixture& f) {
         // Many values on the way, one step.
         Move(f.matrix(), f.At(0.6, 0.55));
         Press(f.matrix(), f.At(0.6, 0.55));
         for (double y : {0.5, 0.45, 0.52, 0.58}) Move(f.matrix(), f.At(0.6, y), Qt::LeftButton);
         Release(f.matrix(), f.At(0.6, 0.58));
     },
     1},
    {"BoundaryDrag",
     [](UndoFixture& f) {
         const QPoint boundary(1 + f.matrix().ClientWidth() / 2, f.At(0, 0.3).y());
         Move(f.matrix(), boundary);
         ASSERT_EQ(f.matrix().Cursor(), CWndMatrix::kSizeWE);
         Press(f.matrix(), boundary);
         for (int dx : {10, 30, 60}) Move(f.matrix(), boundary + QPoint(dx, 0), Qt::LeftButton);
         Release(f.matrix(), boundary + QPoint(60, 0));
     },
     1},
    {"Split", [](UndoFixture& f) { f.ChooseFromMatrixMenu(ID_SPLIT_SECTION); }, 1},
    {"Merge", [](UndoFixture& f) { f.ChooseFromMatrixMenu(ID_MERGE_SECTION); }, 1},
    {"RandomMatrix", [](UndoFixture& f) { f.ChooseFromMatrixMenu(ID_RANDOM_MATRIX); }, 1},
    {"SetSectionSource",
     [](UndoFixture& f) {
         f.matrix().SetSourceRangeDialog(
             [](const FractionRange&, const FractionRange&) { return FractionRange{0.2, 0.4}; });
         f.ChooseFromMatrixMenu(ID_SET_SECTION_SOURCE);
     },
     1},
    {"BaseMotifField",
     [](UndoFixture& f) {
         f.Type(f.control<QLineEdit>(CWndInfo::IDC_BASE_MOTIF), QStringLiteral("7"));
         QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
         // The field keeps the focus; with nothing of its own left to undo,
         // Ctrl+Z reaches the project.
     },
     1},
    {"MusicLengthPicker",
     [](UndoFixture& f) {
         auto* picker = f.control<QTimeEdit>(CWndInfo::IDC_MUSIC_LENGTH);
         picker->setFocus();
         QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
     },
     1},
    {"FractalScannerCheckBox", [](UndoFixture& f) { f.control<QCheckBox>(CWndInfo::IDC_FRACTAL_SCANNER)->click(); },
     1},
    {"LoopMusicCheckBox", [](UndoFixture& f) { f.control<QCheckBox>(CWndInfo::IDC_LOOP_MUSIC)->click(); }, 1},
    {"ReverbSwitch", [](UndoFixture& f) { f.control<QCheckBox>(CWndInfo::IDC_REVERB_ON)->click(); }, 0},
    {"QualityList", [](UndoFixture& f) { f.control<QComboBox>(CWndInfo::IDC_QUALITY)->setCurrentIndex(1); }, 1},
    {"EncoderList", [](UndoFixture& f) { f.control<QComboBox>(CWndInfo::IDC_ENCODER)->setCurrentIndex(1); }, 0},
    {"VolumeSliderDrag",
     [](UndoFixture& f) {
         auto* slider = f.control<QSlider>(CWndInfo::IDC_VOLUME);
         slider->setSliderDown(true);
         for (int v : {80, 60, 40, 30}) slider->setValue(v);
         slider->setSliderDown(false);
     },
     2},
    {"FadeOutSliderKey",
     [](UndoFixture& f) {
         auto* slider = f.control<QSlider>(CWndInfo::IDC_FADE_OUT);
         slider->setFocus();
         QTest::keyClick(slider, Qt::Key_Left);
     },
     2},
    {"ChorusAmountDrag",
     [](UndoFixture& f) {
         auto* slider = f.control<QSlider>(CWndInfo::IDC_CHORUS);
         slider->setSliderDown(true);
         for (int v : {10, 20, 70}) slider->setValue(v);
         slider->setSliderDown(false);
     },
     0},
    {"TrimRange",
     [](UndoFixture& f) {
         test::WhenDialogOpens([](QDialog* d) {
             auto* trim = static_cast<CDlgTrim*>(d);
             QWidget& canvas = *trim->Canvas();
             const int y = trim->Layout().waveHeight / 2;
             const int width = trim->Layout().width;
             Move(canvas, {width / 3, y});
             Press(canvas, {width / 3, y});
             Move(canvas, {width / 2, y}, Qt::LeftButton);
             Release(canvas, {width / 2, y});
             d->accept();
         });
         f.panel().OnTrim();
     },
     1},
    {"NewSource",
     [](UndoFixture& f) {
         f.nextSource = f.otherSource;
         f.control<QPushButton>(CWndInfo::IDC_SELECT_SOURCE)->click();
         EXPECT_EQ(f.w->project().properties.sourcePath, f.otherSource.toStdString());
     },
     1},
};

INSTANTIATE_TEST_SUITE_P(Kinds, EveryEdit, ::testing::ValuesIn(kEditCases),
                         [](const auto& param) { return std::string(param.param.name); });

// ------------------------------------------------------------ the history

TEST(History, TheFieldsOwnUndoAppliesWhileTypingAndTheProjectsAfterwards) {
    UndoFixture f;
    f.ChooseFromMatrixMenu(ID_RANDOM_MATRIX);
    const auto randomised = Bytes(f.w->project());
    auto* motif = f.control<QLineEdit>(CWndInfo::IDC_BASE_MOTIF);
    const QString shown = motif->text();
    f.Type(motif, QStringLiteral("9"));
    f.Keys(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(motif->text(), shown) << "the field took its own typing back";
    EXPECT_TRUE(Bytes(f.w->project()) == randomised) << "the project's last edit stays";
    // Nothing left to undo in the field: the project's history answers.
    f.Keys(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_FALSE(Bytes(f.w->project()) == randomised);
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("Dusk - Driftwell"));
}

TEST(History, NewAndOpenStartItAgain) {
    UndoFixture f;
    f.saveAnswer = SaveAnswer::No;
    struct Case {
        const char* name;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"New", [&] { f.w->toolbar()->OnCommand(ID_NEW_PROJECT); }},
        {"Open",
         [&] {
             f.nextFile = f.path;
             f.w->toolbar()->OnCommand(ID_OPEN_PROJECT);
         }},
        {"dropped project", [&] { f.w->toolbar()->projectCommands().OpenDroppedFile(f.path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.control<QCheckBox>(CWndInfo::IDC_LOOP_MOTIFS)->click();
        ASSERT_EQ(f.w->history().stack().count(), 1);
        c.run();
        EXPECT_EQ(f.w->history().stack().count(), 0);
        EXPECT_FALSE(f.w->history().stack().canUndo());
        const auto now = Bytes(f.w->project());
        f.Keys(QKeySequence(QStringLiteral("Ctrl+Z")));
        EXPECT_TRUE(Bytes(f.w->project()) == now) << "nothing of the old project comes back";
    }
}

TEST(History, AnEditNobodyAnnouncedIsTakenBackFirst) {
    UndoFixture f;
    f.control<QCheckBox>(CWndInfo::IDC_LOOP_MOTIFS)->click();
    const auto afterClick = Bytes(f.w->project());
    f.w->project().properties.fadeIn = 7;  // no panel reported this one
    f.Keys(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_TRUE(Bytes(f.w->project()) == afterClick);
    f.Keys(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("Dusk - Driftwell"));
}

}  // namespace
}  // namespace dw

namespace dw {
namespace {

// Whether the focused field claims a key before the shortcuts see it, as the
// shortcut machinery asks it.
bool FieldClaims(const char* keys) {
    const QKeySequence seq(QString::fromLatin1(keys));
    QKeyEvent event(QEvent::ShortcutOverride, seq[0].key(), seq[0].keyboardModifiers());
    QApplication::sendEvent(QApplication::focusWidget(), &event);
    return event.isAccepted();
}

TEST(History, CommandKeysPassTextFieldsAndUndoKeysWhenTheFieldHasNothingToTakeBack) {
    UndoFixture f;
    for (int id : {int{CWndInfo::IDC_BASE_MOTIF}, int{CWndInfo::IDC_MUSIC_LENGTH}}) {
        SCOPED_TRACE(id);
        QWidget* field = f.control<QWidget>(id);
        field->setFocus();
        ASSERT_TRUE(QApplication::focusWidget() != nullptr);
        for (const char* keys : {"Ctrl+E", "Ctrl+S", "Ctrl+Shift+S", "Ctrl+N", "Ctrl+O", "Ctrl+Z", "Ctrl+Y",
                                 "Ctrl+Shift+Z"})
            EXPECT_FALSE(FieldClaims(keys)) << keys;
        EXPECT_TRUE(FieldClaims("Ctrl+A")) << "the field's other keys stay its own";
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1"));
        EXPECT_TRUE(FieldClaims("Ctrl+Z")) << "while typing, the field undoes";
        EXPECT_FALSE(FieldClaims("Ctrl+E"));
        f.w->setFocus();  // commits
    }
}

}  // namespace
}  // namespace dw

namespace dw {
namespace {

TEST(History, ALengthTypedInThePickerWithoutEnterIsSaved) {
    UndoFixture f;
    auto* picker = f.control<QTimeEdit>(CWndInfo::IDC_MUSIC_LENGTH);
    picker->setFocus();
    picker->setSelectedSection(QDateTimeEdit::MinuteSection);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("03"));
    ASSERT_EQ(f.w->project().properties.musicLength, 60u) << "nothing committed while typing";
    f.Keys(QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_EQ(f.w->project().properties.musicLength, 180u);
    CProject saved;
    NullProgress quiet;
    ASSERT_TRUE(LoadProject(saved, f.path.toStdString(), quiet));
    EXPECT_EQ(saved.properties.musicLength, 180u);
    // The typed length is one step to undo.
    f.Keys(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(f.w->project().properties.musicLength, 60u);
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("*Dusk - Driftwell"));
}

}  // namespace
}  // namespace dw
