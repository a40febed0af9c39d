// The project's history without a window: a scripted host stands in for the
// main window, so what a step back or forward puts back, and what it asks of
// the windows, is seen exactly.
#include "gui/app/commands/ProjectHistory.h"
#include "core/model/ProjectFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace dw {
namespace {

class ScriptedHost final : public IHistoryHost {
public:
    explicit ScriptedHost(CProject& project) : project_(project) {}
    // As the control panel's decode does: the source is loaded and the trim
    // range starts afresh.
    void DecodeRestoredSource(const RestoredChanges& changes) override {
        decodes.push_back(changes);
        project_.properties.sourceLoaded = true;
        project_.properties.trimStart = 0.05;
        project_.properties.trimEnd = 0.95;
        project_.musicOutdated = 1;
    }
    void ShowRestored(const RestoredChanges& changes) override { shown.push_back(changes); }

    std::vector<RestoredChanges> decodes;
    std::vector<RestoredChanges> shown;

private:
    CProject& project_;
};

class ProjectHistoryTest : public ::testing::Test {
protected:
    ProjectHistoryTest() : host(project), history(project, host) {
        project.properties.sourcePath = "/music/tone.wav";
        project.properties.sourceLoaded = true;
        project.properties.trimStart = 0.2;
        project.properties.trimEnd = 0.7;
        history.Reset();
    }
    std::vector<std::uint8_t> Bytes() const { return StoreProjectToBytes(project); }

    CProject project;
    ScriptedHost host;
    ProjectHistory history;
};

struct EditCase {
    const char* name;
    std::function<void(CProject&)> edit;
    std::uint32_t outdated;     // after undo and redo, from 0
    bool decodes;               // the source is read again
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class EachKindOfChange : public ProjectHistoryTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(EachKindOfChange, UndoAndRedoPutBackTheExactProjectAndMarkTheMusicAsTheEditDid) {
    const auto before = Bytes();
    GetParam().edit(project);
    const auto after = Bytes();
    ASSERT_TRUE(history.Record());
    EXPECT_FALSE(history.Record()) << "nothing new: no second step";

    for (int round = 0; round < 2; ++round) {
        project.musicOutdated = 0;
        history.Undo();
        EXPECT_TRUE(Bytes() == before);
        EXPECT_EQ(project.musicOutdated, GetParam().outdated);
        project.musicOutdated = 0;
        history.Redo();
        EXPECT_TRUE(Bytes() == after);
        EXPECT_EQ(project.musicOutdated, GetParam().outdated);
    }
    EXPECT_EQ(host.decodes.size(), GetParam().decodes ? 4u : 0u);
    EXPECT_EQ(host.shown.size(), 4u);
    EXPECT_TRUE(project.properties.sourceLoaded);
    EXPECT_EQ(history.stack().count(), 1);
}

const EditCase kCases[] = {
    {"MatrixValue", [](CProject& p) { p.matrix.SetCell(kTexture, 1, 0.9f); }, 1, false},
    {"Split",
     [](CProject& p) {
         p.sections.Split(1);
         p.matrix.SplitColumn(1);
     },
     1, false},
    {"SectionSource",
     [](CProject& p) {
         p.sections.items[2].sourceStart = 0.3;
         p.sections.items[2].sourceEnd = -0.3;  // kept as edited, never repaired
     },
     1, false},
    {"TrimRange", [](CProject& p) { p.properties.trimEnd = 0.5; }, 1, false},
    {"MusicLength", [](CProject& p) { p.properties.musicLength = 300; }, 1, false},
    {"LoopMusic", [](CProject& p) { p.properties.loopMusic = !p.properties.loopMusic; }, 1, false},
    {"Volume", [](CProject& p) { p.properties.volume = 0.3; }, 2, false},
    {"FadeIn", [](CProject& p) { p.properties.fadeIn = p.properties.fadeIn + 1; }, 2, false},
    {"ReverbAmount", [](CProject& p) { p.properties.reverb = 0.8; }, 0, false},
    {"Encoder", [](CProject& p) { p.properties.encoder = 1; }, 0, false},
    // The host's decode marks 1, as the panel's does.
    {"Quality",
     [](CProject& p) {
         p.properties.quality = 1;
         p.properties.sampleRate = 22050;
     },
     1, true},
    {"NewSource",
     [](CProject& p) {
         p.properties.sourcePath = "/music/other.wav";
         p.properties.trimStart = 0.05;
         p.properties.trimEnd = 0.95;
     },
     1, true},
};

INSTANTIATE_TEST_SUITE_P(Kinds, EachKindOfChange, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ProjectHistoryTest, AnotherSourceIsDecodedAgainAndKeepsTheTrimRangeOfItsStep) {
    project.properties.sourcePath = "/music/other.wav";
    project.properties.trimStart = 0.1;
    project.properties.trimEnd = 0.3;
    history.Record();
    history.Undo();
    ASSERT_EQ(host.decodes.size(), 1u);
    EXPECT_TRUE(host.decodes[0].source);
    EXPECT_FALSE(host.decodes[0].quality);
    EXPECT_EQ(project.properties.sourcePath, "/music/tone.wav");
    EXPECT_EQ(project.properties.trimStart, 0.2) << "the decode's fresh range does not win";
    EXPECT_EQ(project.properties.trimEnd, 0.7);
}

TEST_F(ProjectHistoryTest, ASourceThatStaysIsNotDecodedAgain) {
    project.properties.fadeOut = 9;
    history.Record();
    project.properties.sourceLoaded = true;
    history.Undo();
    EXPECT_TRUE(host.decodes.empty());
    EXPECT_TRUE(project.properties.sourceLoaded);
}

TEST_F(ProjectHistoryTest, StepsUndoInTurnAndANewEditEndsWhatCouldBeRedone) {
    const auto start = Bytes();
    project.properties.fadeIn = 1;
    history.Record();
    const auto first = Bytes();
    project.properties.fadeIn = 2;
    history.Record();
    history.Undo();
    EXPECT_TRUE(Bytes() == first);
    history.Undo();
    EXPECT_TRUE(Bytes() == start);
    history.Undo();  // nothing left: nothing happens
    EXPECT_TRUE(Bytes() == start);
    history.Redo();
    EXPECT_TRUE(Bytes() == first);
    project.properties.fadeOut = 5;
    history.Record();
    EXPECT_FALSE(history.stack().canRedo());
    history.Redo();
    EXPECT_EQ(project.properties.fadeOut, 5u);
}

TEST_F(ProjectHistoryTest, AnUnreportedChangeIsTheFirstStepUndone) {
    project.properties.fadeIn = 4;
    history.Record();
    const auto reported = Bytes();
    project.properties.volume = 0.1;  // nobody called Record
    history.Undo();
    EXPECT_TRUE(Bytes() == reported);
}

TEST_F(ProjectHistoryTest, ResetForgetsEveryStep) {
    project.properties.fadeIn = 4;
    history.Record();
    history.Reset();
    EXPECT_EQ(history.stack().count(), 0);
    history.Undo();
    EXPECT_EQ(project.properties.fadeIn, 4u);
}

}  // namespace
}  // namespace dw
