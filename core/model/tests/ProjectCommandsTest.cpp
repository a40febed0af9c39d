#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/model/ProjectCommands.h"
#include "core/model/ProjectFile.h"
#include "core/base/testing/TestSupport.h"

namespace dw {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// ---------------------------------------------------------------- title

struct TitleCase {
    const char* name;
    const char* path;
    bool unsaved;
    const char* title;
};
void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

class ProjectTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ProjectTitleTest, NamesTheFile) {
    EXPECT_EQ(ProjectTitle(GetParam().path, GetParam().unsaved), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ProjectTitleTest,
    ::testing::Values(
        TitleCase{"NoFile", "", false, "Driftwell"},
        TitleCase{"NoFileUnsaved", "", true, "*Driftwell"},
        TitleCase{"BackslashPath", "C:\\Music\\Evening.dwv", false, "Evening - Driftwell"},
        TitleCase{"SlashPath", "/home/ann/Music/Evening.dwv", false, "Evening - Driftwell"},
        TitleCase{"Unsaved", "/home/ann/Music/Evening.dwv", true, "*Evening - Driftwell"},
        TitleCase{"BareName", "Evening.dwv", false, "Evening - Driftwell"},
        // A folder's "." is not the file's extension: the file's name shows.
        TitleCase{"DotInFolderBackslash", "C:\\My.Projects\\Evening", false, "Evening - Driftwell"},
        TitleCase{"DotInFolderSlash", "/home/ann/My.Projects/Evening", false, "Evening - Driftwell"},
        TitleCase{"HiddenFolder", "/home/ann/.local/Evening", false, "Evening - Driftwell"},
        TitleCase{"TwoDots", "/tmp/Evening.v2.dwv", false, "Evening.v2 - Driftwell"},
        TitleCase{"OnlyExtension", "/tmp/.dwv", false, ".dwv - Driftwell"},
        TitleCase{"MixedSeparators", "C:\\Music/Night\\Deep.dwv", false, "Deep - Driftwell"},
        // A name can retitle a terminal or break a line: shown escaped.
        TitleCase{"ControlCharacters", "/tmp/Eve\x1b]0;owned\x07\nning.dwv", false,
                  "Eve\\e]0;owned\\x07\\nning - Driftwell"}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ------------------------------------------------------- change tracking

struct EditCase {
    const char* name;
    std::function<void(CProject&)> edit;
    bool changes;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class ChangeTrackerTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(ChangeTrackerTest, SeesEveryStoredChange) {
    CProject project;
    project.SetDefaults();
    CChangeTracker tracker;
    tracker.MarkSaved(project);
    ASSERT_FALSE(tracker.IsChanged(project));
    GetParam().edit(project);
    EXPECT_EQ(tracker.IsChanged(project), GetParam().changes);
    tracker.MarkSaved(project);
    EXPECT_FALSE(tracker.IsChanged(project));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, ChangeTrackerTest,
    ::testing::Values(
        EditCase{"MatrixValue", [](CProject& p) { p.matrix.SetCell(kTexture, 2, 0.123f); }, true},
        EditCase{"Split",
                 [](CProject& p) {
                     p.sections.Split(1);
                     p.matrix.SplitColumn(1);
                 },
                 true},
        EditCase{"Merge",
                 [](CProject& p) {
                     p.sections.Merge(0);
                     p.matrix.MergeColumn(0);
                 },
                 true},
        EditCase{"DragSectionBound",
                 [](CProject& p) {
                     p.sections.items[0].end = 0.3;
                     p.sections.items[1].start = 0.3;
                 },
                 true},
        EditCase{"SourceRange", [](CProject& p) { p.sections.items[2].sourceStart = 0.4; }, true},
        EditCase{"Source", [](CProject& p) { p.properties.sourcePath = "/music/rain.wav"; }, true},
        EditCase{"Trim", [](CProject& p) { p.properties.trimEnd = 0.8; }, true},
        EditCase{"Encoder", [](CProject& p) { p.properties.encoder = 3; }, true},
        EditCase{"Effect", [](CProject& p) { p.properties.reverbOn = !p.properties.reverbOn; }, true},
        // Not stored: nothing to save.
        EditCase{"MusicOutdated", [](CProject& p) { p.musicOutdated = 0; }, false},
        EditCase{"SourceLoaded", [](CProject& p) { p.properties.sourceLoaded = true; }, false},
        EditCase{"EditUndoneByHand",
                 [](CProject& p) {
                     const CCell old = p.matrix.Cell(0, 0);
                     p.matrix.SetCell(0, 0, 0.9f);
                     p.matrix.SetCell(0, 0, old);
                 },
                 false}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ------------------------------------------------------------ the flows

// Answers the dialogs from a script and writes down what the windows were
// asked to do.
class ScriptedHost final : public IProjectCommandHost {
public:
    std::vector<std::optional<fs::path>> paths;  // answers of the file dialog, in order
    std::vector<SaveAnswer> answers;             // answers of "Save project?", in order
    std::vector<std::string> calls;
    std::string title = "Driftwell";
    RecordingProgress messages;
    std::function<void()> onEnsureSource;

    std::optional<fs::path> AskProjectPath(FileDialogMode mode) override {
        calls.push_back(mode == FileDialogMode::Open ? "ask-open" : "ask-save");
        if (paths.empty()) return std::nullopt;
        auto p = paths.front();
        paths.erase(paths.begin());
        return p;
    }
    SaveAnswer AskSaveProject() override {
        calls.push_back("question");
        if (answers.empty()) return SaveAnswer::Cancel;
        const SaveAnswer a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void StopPlayback() override { calls.push_back("stop"); }
    void ResetProject() override { calls.push_back("reset"); }
    void EnsureSource() override {
        calls.push_back("ensure-source");
        if (onEnsureSource) onEnsureSource();
    }
    void RefreshPanel() override { calls.push_back("refresh"); }
    void RedrawMatrix() override { calls.push_back("redraw"); }
    void SetTitle(const std::string& t) override { title = t; }
    IMessageSink& Messages() override { return messages; }
};

using Calls = std::vector<std::string>;

class ProjectCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        project.SetDefaults();
        dir = temp.path();
        commands.MarkSaved();
        host.calls.clear();
    }
    // A project file that differs from the defaults.
    fs::path MakeProjectFile(const std::string& name, std::uint32_t musicLength = 300) {
        CProject other;
        other.SetDefaults();
        other.properties.musicLength = musicLength;
        other.properties.sourcePath = "/music/" + name + ".wav";
        other.matrix.SetCell(kDynamics, 1, 0.75f);
        const fs::path path = dir / (name + ".dwv");
        NullProgress sink;
        EXPECT_TRUE(StoreProject(other, path, sink));
        return path;
    }
    void Edit() { project.matrix.SetCell(kGranulation, 0, 0.321f); }

    CProject project;
    ScriptedHost host;
    CProjectCommands commands{project, host};
    test::TempDir temp;
    fs::path dir;
};

TEST_F(ProjectCommandsTest, OpenSendsItsMessagesInOrderAndNamesTheFile) {
    const fs::path file = MakeProjectFile("Evening");
    host.paths = {file};
    // The decode puts the trim range back to its defaults: still "saved".
    host.onEnsureSource = [&] {
        EXPECT_FALSE(commands.IsChanged()) << "a close during the decode asks nothing";
        project.properties.trimStart = 0.05;
    };
    ASSERT_TRUE(commands.OpenProject());
    EXPECT_EQ(host.calls, (Calls{"stop", "ask-open", "ensure-source", "refresh", "redraw"}));
    EXPECT_EQ(project.properties.musicLength, 300u);
    EXPECT_EQ(commands.CurrentPath(), file);
    EXPECT_EQ(host.title, "Evening - Driftwell");
    EXPECT_FALSE(commands.IsChanged());
}

TEST_F(ProjectCommandsTest, OpenCancelledOnlyStopsPlayback) {
    commands.SetCurrentPath(MakeProjectFile("Morning"));
    commands.MarkSaved();
    host.calls.clear();
    const auto before = StoreProjectToBytes(project);
    EXPECT_FALSE(commands.OpenProject());
    EXPECT_EQ(host.calls, (Calls{"stop", "ask-open"}));
    EXPECT_EQ(StoreProjectToBytes(project), before);
    EXPECT_EQ(commands.CurrentPath(), dir / "Morning.dwv");
    EXPECT_EQ(host.title, "Morning - Driftwell");
}

// A refused, missing or truncated file leaves the project and the title as
// they were; the path no longer names a file.
struct BadFileCase {
    const char* name;
    std::function<void(const fs::path& good, const fs::path& bad)> make;
    bool hasMessage;
};
void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

class BadFileTest : public ProjectCommandsTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadFileTest, LeavesTheProjectAsItWas) {
    const fs::path good = MakeProjectFile("Evening");
    host.paths = {good};
    ASSERT_TRUE(commands.OpenProject());
    Edit();
    const auto before = StoreProjectToBytes(project);
    const std::string titleBefore = host.title;
    const fs::path bad = dir / "bad.dwv";
    GetParam().make(good, bad);
    host.calls.clear();
    host.answers = {SaveAnswer::No};
    host.paths = {bad};

    EXPECT_FALSE(commands.OpenProject());
    EXPECT_EQ(host.calls, (Calls{"question", "stop", "ask-open"}));
    EXPECT_EQ(StoreProjectToBytes(project), before);
    EXPECT_TRUE(commands.CurrentPath().empty());
    EXPECT_EQ(host.title, titleBefore);
    EXPECT_EQ(host.messages.messages.size(), GetParam().hasMessage ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFileTest,
    ::testing::Values(
        BadFileCase{"Missing", [](const fs::path&, const fs::path&) {}, false},
        BadFileCase{"WrongMagic", [](const fs::path&, const fs::path& bad) { WriteBytes(bad, {1, 2, 3, 4, 5, 6, 7, 8}); },
                    true},
        BadFileCase{"EndsTooEarly",
                    [](const fs::path& good, const fs::path& bad) {
                        auto bytes = FileBytes(good);
                        bytes.resize(bytes.size() / 2);
                        WriteBytes(bad, bytes);
                    },
                    true},
        BadFileCase{"Folder", [](const fs::path&, const fs::path& bad) { fs::create_directories(bad); }, false}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(ProjectCommandsTest, SaveAsksForAPathOnlyWhenThereIsNone) {
    Edit();
    EXPECT_EQ(host.title, "Driftwell");
    commands.RefreshTitle();
    EXPECT_EQ(host.title, "*Driftwell");

    host.paths = {dir / "First.dwv"};
    ASSERT_TRUE(commands.SaveProject());
    EXPECT_EQ(host.calls, (Calls{"ask-save"}));
    EXPECT_EQ(FileBytes(dir / "First.dwv"), StoreProjectToBytes(project));
    EXPECT_EQ(host.title, "First - Driftwell");
    EXPECT_FALSE(commands.IsChanged());

    host.calls.clear();
    project.properties.fadeIn = 7;
    ASSERT_TRUE(commands.SaveProject());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(FileBytes(dir / "First.dwv"), StoreProjectToBytes(project));
}

TEST_F(ProjectCommandsTest, SaveCancelledOrFailingKeepsEverything) {
    Edit();
    // Cancelled dialog.
    EXPECT_FALSE(commands.SaveProject());
    // A folder that does not exist: the store fails with its message.
    host.paths = {dir / "no-such-folder" / "x.dwv"};
    EXPECT_FALSE(commands.SaveProject());
    EXPECT_EQ(host.messages.messages.size(), 1u);
    EXPECT_TRUE(commands.CurrentPath().empty());
    EXPECT_TRUE(commands.IsChanged());
    commands.RefreshTitle();
    EXPECT_EQ(host.title, "*Driftwell");
}

TEST_F(ProjectCommandsTest, SaveCopyLeavesPathTitleAndUnsavedStateAlone) {
    const fs::path file = MakeProjectFile("Evening");
    host.paths = {file};
    ASSERT_TRUE(commands.OpenProject());
    const auto fileBefore = FileBytes(file);
    Edit();
    commands.RefreshTitle();
    host.paths = {dir / "Copy.dwv"};
    ASSERT_TRUE(commands.SaveProjectCopy());
    EXPECT_EQ(FileBytes(dir / "Copy.dwv"), StoreProjectToBytes(project));
    EXPECT_EQ(FileBytes(file), fileBefore);
    EXPECT_EQ(commands.CurrentPath(), file);
    EXPECT_TRUE(commands.IsChanged());
    EXPECT_EQ(host.title, "*Evening - Driftwell");

    // A copy over the project's own file is a save.
    host.paths = {file};
    ASSERT_TRUE(commands.SaveProjectCopy());
    EXPECT_FALSE(commands.IsChanged());
}

// Every route that would discard the project asks first, and each answer
// does what it says: Yes saves then goes on, No discards, Cancel keeps
// everything. Yes whose save is cancelled keeps everything too.
enum class Route { New, Open, OpenDropped, Close };
struct QuestionCase {
    const char* name;
    Route route;
    SaveAnswer answer;
    bool savePathGiven;  // for Yes: whether the save dialog is answered
    bool goesOn;
};
void PrintTo(const QuestionCase& c, std::ostream* os) { *os << c.name; }

class QuestionTest : public ProjectCommandsTest, public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(QuestionTest, AnswerDecides) {
    const QuestionCase& c = GetParam();
    const fs::path other = MakeProjectFile("Other", 1200);
    Edit();
    const auto edited = StoreProjectToBytes(project);
    host.answers = {c.answer};
    const fs::path savedTo = dir / "Saved.dwv";
    if (c.answer == SaveAnswer::Yes && c.savePathGiven) host.paths.push_back(savedTo);
    if (c.answer == SaveAnswer::Yes && !c.savePathGiven) host.paths.push_back(std::nullopt);
    if (c.route == Route::Open) host.paths.push_back(other);

    bool result = false;
    switch (c.route) {
    case Route::New: result = commands.NewProject(); break;
    case Route::Open: result = commands.OpenProject(); break;
    case Route::OpenDropped: result = commands.OpenProjectFile(other); break;
    case Route::Close: result = commands.QuerySaveChanges(); break;
    }
    EXPECT_EQ(result, c.goesOn);
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.front(), "question");
    EXPECT_EQ(fs::exists(savedTo), c.answer == SaveAnswer::Yes && c.savePathGiven);
    if (fs::exists(savedTo)) {
        EXPECT_EQ(FileBytes(savedTo), edited);
    }
    if (!c.goesOn) {
        EXPECT_EQ(StoreProjectToBytes(project), edited);
        EXPECT_TRUE(commands.IsChanged());
        // Nothing after the question: playback keeps going.
        EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "stop"), 0);
    } else {
        if (c.route != Route::Close || c.answer == SaveAnswer::Yes) {
            EXPECT_FALSE(commands.IsChanged());
        }
        if (c.route == Route::Open || c.route == Route::OpenDropped) {
            EXPECT_EQ(project.properties.musicLength, 1200u);
        }
        if (c.route == Route::New) {
            EXPECT_EQ(host.calls.back(), "reset");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Routes, QuestionTest,
    ::testing::Values(QuestionCase{"NewYes", Route::New, SaveAnswer::Yes, true, true},
                      QuestionCase{"NewYesSaveCancelled", Route::New, SaveAnswer::Yes, false, false},
                      QuestionCase{"NewNo", Route::New, SaveAnswer::No, false, true},
                      QuestionCase{"NewCancel", Route::New, SaveAnswer::Cancel, false, false},
                      QuestionCase{"OpenYes", Route::Open, SaveAnswer::Yes, true, true},
                      QuestionCase{"OpenNo", Route::Open, SaveAnswer::No, false, true},
                      QuestionCase{"OpenCancel", Route::Open, SaveAnswer::Cancel, false, false},
                      QuestionCase{"DroppedYes", Route::OpenDropped, SaveAnswer::Yes, true, true},
                      QuestionCase{"DroppedNo", Route::OpenDropped, SaveAnswer::No, false, true},
                      QuestionCase{"DroppedCancel", Route::OpenDropped, SaveAnswer::Cancel, false, false},
                      QuestionCase{"CloseYes", Route::Close, SaveAnswer::Yes, true, true},
                      QuestionCase{"CloseYesSaveCancelled", Route::Close, SaveAnswer::Yes, false, false},
                      QuestionCase{"CloseNo", Route::Close, SaveAnswer::No, false, true},
                      QuestionCase{"CloseCancel", Route::Close, SaveAnswer::Cancel, false, false}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(ProjectCommandsTest, NothingChangedAsksNothing) {
    EXPECT_TRUE(commands.QuerySaveChanges());
    ASSERT_TRUE(commands.NewProject());
    EXPECT_EQ(host.calls, (Calls{"stop", "reset"}));
    EXPECT_EQ(host.title, "Driftwell");
}

TEST_F(ProjectCommandsTest, StartupOpenOfAMissingFileKeepsTheDefaults) {
    const auto before = StoreProjectToBytes(project);
    EXPECT_FALSE(commands.OpenAtStartup(dir / "nowhere.dwv"));
    EXPECT_TRUE(host.calls.empty());
    // Told, naming the file, before the default project is shown.
    ASSERT_EQ(host.messages.messages.size(), 1u);
    EXPECT_EQ(host.messages.messages[0].text, "Cannot open the project file " + (dir / "nowhere.dwv").string() +
                                                  ": No such file or directory.\nThe default project is opened instead.");
    EXPECT_EQ(StoreProjectToBytes(project), before);
    EXPECT_TRUE(commands.CurrentPath().empty());

    const fs::path file = MakeProjectFile("Evening");
    ASSERT_TRUE(commands.OpenAtStartup(file));
    EXPECT_EQ(host.calls, (Calls{"ensure-source", "refresh", "redraw"}));
    EXPECT_EQ(host.title, "Evening - Driftwell");
}

TEST_F(ProjectCommandsTest, DroppedMusicSourceIsNamedAndDecoded) {
    project.properties.sourceLoaded = true;
    commands.SetMusicSource("/music/Rain.MP3");
    EXPECT_EQ(project.properties.sourcePath, "/music/Rain.MP3");
    EXPECT_FALSE(project.properties.sourceLoaded);
    EXPECT_EQ(host.calls, (Calls{"refresh", "ensure-source"}));
    EXPECT_TRUE(commands.IsChanged());
}

TEST(ClassifyDroppedFile, ByExtensionInAnyCase) {
    const std::pair<const char*, DroppedFile> cases[] = {
        {"/p/Evening.dwv", DroppedFile::Project},   {"/p/EVENING.DWV", DroppedFile::Project},
        {"/m/a.wav", DroppedFile::MusicSource},     {"/m/a.AIFF", DroppedFile::MusicSource},
        {"/m/a.aif", DroppedFile::MusicSource},     {"/m/a.mp1", DroppedFile::MusicSource},
        {"/m/a.mp2", DroppedFile::MusicSource},     {"/m/a.Mp3", DroppedFile::MusicSource},
        {"/m/a.ogg", DroppedFile::MusicSource},     {"/m/a.flac", DroppedFile::Other},
        {"/m/dwv", DroppedFile::Other},             {"/m/a.dwv.txt", DroppedFile::Other},
        {"/m.wav/folder", DroppedFile::Other},
    };
    for (const auto& [path, kind] : cases) EXPECT_EQ(ClassifyDroppedFile(path), kind) << path;
}

}  // namespace
}  // namespace dw
