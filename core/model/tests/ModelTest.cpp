#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/model/ColorRGB.h"
#include "core/model/Matrix.h"
#include "core/model/Project.h"
#include "core/model/Properties.h"
#include "core/model/Random.h"
#include "core/model/Sections.h"
#include "core/resources/StringTable.h"

namespace dw {
namespace {

// ---- properties ------------------------------------------------------------

TEST(Properties, NewPropertiesHoldTheDefaults) {
    const CProperties p;
    EXPECT_EQ(p.sourcePath, "");
    EXPECT_EQ(p.musicLength, 64u);
    EXPECT_EQ(p.trimStart, 0.05);
    EXPECT_EQ(p.trimEnd, 0.95);
    EXPECT_FALSE(p.sourceLoaded);
    EXPECT_EQ(p.baseMotifLength, 4.0);
    EXPECT_TRUE(p.fractalScanner);
    EXPECT_FALSE(p.loopMotifs);
    EXPECT_EQ(p.quality, 0u);
    EXPECT_EQ(p.sampleRate, 11025u);
    EXPECT_EQ(p.volume, 0.5);
    EXPECT_FALSE(p.loopMusic);
    EXPECT_EQ(p.fadeIn, 3u);
    EXPECT_EQ(p.fadeOut, 3u);
    EXPECT_EQ(p.encoder, 0u);
    EXPECT_FALSE(p.highCutOn);
    EXPECT_EQ(p.highCut, 0.25);
    EXPECT_FALSE(p.reverbOn);
    EXPECT_EQ(p.reverb, 0.25);
    EXPECT_FALSE(p.chorusOn);
    EXPECT_EQ(p.chorus, 0.25);
    EXPECT_EQ(p.sourceFrames, nullptr);
    EXPECT_EQ(p.sourceFrameCount, 0u);
}

TEST(Properties, SetDefaultsKeepsTheDecodedSourceButClearsSourceLoaded) {
    CProperties p;
    p.sourceFrames = MakeSilentFrames(16);
    StereoFrame* frames = p.sourceFrames.get();
    p.sourceFrameCount = 16;
    p.sourceLoaded = true;
    p.sourcePath = "/music/a.wav";
    p.musicLength = 300;
    p.SetDefaults();
    EXPECT_EQ(p.sourceFrames.get(), frames);
    EXPECT_EQ(p.sourceFrameCount, 16u);
    EXPECT_FALSE(p.sourceLoaded);
    EXPECT_EQ(p.sourcePath, "");
    EXPECT_EQ(p.musicLength, 64u);
}

TEST(Properties, QualityIndexSelectsRateAndTexts) {
    const std::uint32_t rates[] = {11025, 22050, 44100, 48000};
    for (std::uint32_t q = 0; q < kQualityCount; ++q) {
        EXPECT_EQ(SampleRateOfQuality(q), rates[q]);
        EXPECT_EQ(LoadString(kQualityTable[q].qualityTextId), kQualityTable[q].qualityText);
        EXPECT_EQ(LoadString(kQualityTable[q].encoderTextId), kQualityTable[q].encoderText);
    }
    EXPECT_THROW(SampleRateOfQuality(4), std::invalid_argument);
}

TEST(Properties, AssignStoredFieldsLeavesTheSourceBufferAlone) {
    CProperties target;
    target.sourceFrames = MakeSilentFrames(4);
    target.sourceFrameCount = 4;
    target.sourceLoaded = true;
    CProperties other;
    other.sourcePath = "x";
    other.quality = 3;
    other.sampleRate = 48000;
    other.chorus = 0.75;
    target.AssignStoredFields(other);
    EXPECT_EQ(target.sourcePath, "x");
    EXPECT_EQ(target.sampleRate, 48000u);
    EXPECT_EQ(target.chorus, 0.75);
    EXPECT_FALSE(target.sourceLoaded);
    EXPECT_EQ(target.sourceFrameCount, 4u);
    EXPECT_NE(target.sourceFrames, nullptr);
}

// ---- colour ----------------------------------------------------------------

struct HslCase {
    const char* name;
    float h, s, l;
    int red, green, blue;
};
const HslCase kHsl[] = {
    {"graph blue", 0.67f, 0.4f, 0.7f, 149, 147, 209},
    {"pure red", 0.0f, 1.0f, 0.5f, 255, 0, 0},
    {"grey at hue 0", 0.0f, 0.0f, 0.5f, 127, 127, 127},
    {"grey at hue 0.3", 0.3f, 0.0f, 0.5f, 127, 127, 127},
    {"grey at hue 0.9", 0.9f, 0.0f, 0.5f, 127, 127, 127},
    {"pure green", 1.0f / 3.0f, 1.0f, 0.5f, 0, 255, 0},
    {"white", 0.5f, 1.0f, 1.0f, 255, 255, 255},
    {"black", 0.5f, 1.0f, 0.0f, 0, 0, 0},
};

TEST(Project, CopyForCreationOwnsItsSourceAndFollowsNoLaterEdit) {
    CProject project;
    project.SetDefaults();
    project.properties.musicLength = 120;
    project.properties.fadeOut = 7;
    project.properties.sourceFrames = AllocateFrames(3);
    for (std::uint32_t i = 0; i < 3; ++i) project.properties.sourceFrames[i] = {float(i), -float(i)};
    project.properties.sourceFrameCount = 3;
    project.properties.sourceLoaded = true;
    project.sections.items[0].sourceStart = 0.25;
    project.musicOutdated = 0;

    const std::unique_ptr<CProject> copy = CopyForCreation(project);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(CheckInvariants(*copy), "");
    EXPECT_EQ(copy->musicOutdated, 0u);
    EXPECT_TRUE(copy->properties.sourceLoaded);
    ASSERT_EQ(copy->properties.sourceFrameCount, 3u);
    ASSERT_NE(copy->properties.sourceFrames.get(), project.properties.sourceFrames.get());
    EXPECT_EQ(copy->properties.sourceFrames[2].right, -2.0f);

    // Edits and a replaced source afterwards are the project's alone.
    project.properties.fadeOut = 1;
    project.properties.ReleaseSource();
    project.sections.items[0].sourceStart = 0.5;
    project.musicOutdated = 1;
    EXPECT_EQ(copy->properties.musicLength, 120u);
    EXPECT_EQ(copy->properties.fadeOut, 7u);
    EXPECT_EQ(copy->properties.sourceFrames[1].left, 1.0f);
    EXPECT_EQ(copy->sections.items[0].sourceStart, 0.25);
    EXPECT_EQ(copy->musicOutdated, 0u);
}

TEST(ColorRGB, HslConstructionInSinglePrecision) {
    for (const auto& c : kHsl) {
        const CColorRGB color(c.h, c.s, c.l);
        EXPECT_EQ(color.red, c.red) << c.name;
        EXPECT_EQ(color.green, c.green) << c.name;
        EXPECT_EQ(color.blue, c.blue) << c.name;
    }
}

TEST(ColorRGB, DefaultIsBlackAndColorRefPacksRedLow) {
    const CColorRGB black;
    EXPECT_EQ(black.ToColorRef(), 0u);
    const CColorRGB c(0.67f, 0.4f, 0.7f);
    EXPECT_EQ(c.ToColorRef(), 149u | 147u << 8 | 209u << 16);
}

// ---- sections --------------------------------------------------------------

TEST(Sections, DefaultsAreFourQuartersWithDefaultSourceRanges) {
    const CSections s;
    ASSERT_EQ(s.Count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s.items[i].start, 0.25 * i);
        EXPECT_EQ(s.items[i].end, 0.25 * (i + 1));
        EXPECT_EQ(s.items[i].sourceStart, -1.0);
        EXPECT_EQ(s.items[i].sourceEnd, -1.0);
    }
}

struct SplitCase {
    const char* name;
    CSection before;
    CSection first, second;
};
const SplitCase kSplits[] = {
    {"default range stays default", {0.25, 0.5, -1, -1}, {0.25, 0.375, -1, -1}, {0.375, 0.5, -1, -1}},
    {"explicit range halves", {0.25, 0.5, 0.2, 0.6}, {0.25, 0.375, 0.2, 0.4}, {0.375, 0.5, 0.4, 0.6}},
    // Explicit start with default end: the first half keeps the start, the
    // second takes its default share instead of the mean of 0.4 and -1.
    {"mixed range", {0.25, 0.5, 0.4, -1}, {0.25, 0.375, 0.4, -1}, {0.375, 0.5, -1, -1}},
    // A default start makes the stored end meaningless; it must not turn
    // into an explicit start below 0 in the second half.
    {"default start with explicit end", {0.25, 0.5, -1, 0.6}, {0.25, 0.375, -1, -1}, {0.375, 0.5, -1, -1}},
};

TEST(Sections, SplitHalvesTheSectionAndItsSourceRange) {
    for (const auto& c : kSplits) {
        CSections s;
        s.items[1] = c.before;
        s.items[0].end = c.before.start;
        s.items[2].start = c.before.end;
        s.Split(1);
        ASSERT_EQ(s.Count(), 5) << c.name;
        EXPECT_EQ(s.items[1], c.first) << c.name;
        EXPECT_EQ(s.items[2], c.second) << c.name;
    }
}

TEST(Sections, MergeJoinsWithTheNextAndIgnoresTheLast) {
    CSections s;
    s.items[1].sourceStart = 0.1;
    s.items[1].sourceEnd = 0.2;
    s.items[2].sourceStart = 0.5;
    s.items[2].sourceEnd = 0.7;
    s.Merge(1);
    ASSERT_EQ(s.Count(), 3);
    EXPECT_EQ(s.items[1], (CSection{0.25, 0.75, 0.1, 0.7}));
    const auto before = s.items;
    s.Merge(2);  // the last section
    EXPECT_EQ(s.items, before);
}

TEST(Sections, IndexOutsideTheListThrowsAndChangesNothing) {
    CSections s;
    const auto before = s.items;
    EXPECT_THROW(s.Split(-1), std::invalid_argument);
    EXPECT_THROW(s.Split(4), std::invalid_argument);
    EXPECT_THROW(s.Merge(-1), std::invalid_argument);
    EXPECT_THROW(s.At(4), std::invalid_argument);
    EXPECT_THROW(s.ResolveSourceRange(4, 100, 0.05, 0.95), std::invalid_argument);
    EXPECT_THROW(s.DefaultSourceRange(-1, 0.05, 0.95), std::invalid_argument);
    EXPECT_EQ(s.items, before);
}

TEST(Sections, FindSection) {
    const CSections s;
    const std::pair<double, int> cases[] = {{0.0, 0},  {0.24, 0}, {0.25, 1},  {0.5, 2},
                                            {0.99, 3}, {1.0, 0},  {-0.1, 0}, {1.5, 0},
                                            {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& [position, index] : cases) EXPECT_EQ(s.FindSection(position), index) << position;
}

struct ResolveCase {
    const char* name;
    CSection section;
    std::uint32_t frames;
    FrameRange expected;
};
const ResolveCase kResolve[] = {
    {"default first section", {0.0, 0.25, -1, -1}, 1000000, {50000, 274999}},
    {"default last section", {0.75, 1.0, -1, -1}, 1000000, {724999, 949999}},
    {"explicit", {0.0, 0.25, 0.2, 0.6}, 1000000, {200000, 600000}},
    // Left by merging an explicit section with a default one: the explicit
    // start and the end of the section's default share, never -frames.
    {"mixed explicit start, default end", {0.0, 0.5, 0.1, -1}, 1000000, {100000, 499999}},
    {"mixed with start beyond the default end", {0.0, 0.25, 0.6, -1}, 1000000, {600000, 600000}},
    {"default start with explicit end counts as default", {0.75, 1.0, -1, 0.3}, 1000000, {724999, 949999}},
    {"backwards explicit range is empty", {0.0, 0.25, 0.6, 0.2}, 1000, {600, 600}},
    {"no source", {0.0, 0.25, -1, -1}, 0, {0, 0}},
};

TEST(Sections, ResolveSourceRangeInFrames) {
    for (const auto& c : kResolve) {
        CSections s;
        s.items[0] = c.section;
        s.items[1] = c.section;
        const int index = c.section.start == 0.0 ? 0 : 1;
        EXPECT_EQ(s.ResolveSourceRange(index, c.frames, 0.05, 0.95), c.expected) << c.name;
    }
}

TEST(Sections, DefaultSourceRangeIsTheShareOfTheTrimRange) {
    const CSections s;
    const SourceRange r = s.DefaultSourceRange(1, 0.1, 0.9);
    EXPECT_DOUBLE_EQ(r.start, 0.3);
    EXPECT_DOUBLE_EQ(r.end, 0.5);
}

// ---- matrix ----------------------------------------------------------------

std::vector<CCell> Row(const CMatrix& m, int g) { return m.rows[static_cast<std::size_t>(g)]; }

TEST(Matrix, DefaultsAreFourColumnsOfTheTable) {
    const CMatrix m;
    EXPECT_EQ(m.columnCount, 4);
    EXPECT_EQ(m.Cell(kProgression, 2), 0.6f);
    EXPECT_EQ(m.Cell(kVariations, 0), 0.6f);
    EXPECT_EQ(Row(m, kTexture), (std::vector<CCell>{0.1f, 0.15f, 0.2f, 0.15f}));
    EXPECT_EQ(Row(m, kGranulation), (std::vector<CCell>{0.15f, 0.2f, 0.25f, 0.15f}));
}

TEST(Matrix, SplitAndMergeColumns) {
    CMatrix m;
    m.SplitColumn(1);
    EXPECT_EQ(m.columnCount, 5);
    EXPECT_EQ(Row(m, kDynamics), (std::vector<CCell>{0.2f, 0.3f, 0.3f, 0.4f, 0.3f}));
    for (int g = 0; g < kGraphCount; ++g) EXPECT_EQ(Row(m, g).size(), 5u);

    CMatrix merged;
    merged.MergeColumn(2);
    EXPECT_EQ(merged.columnCount, 3);
    EXPECT_EQ(Row(merged, kTransition), (std::vector<CCell>{0.2f, 0.3f, 0.4f}));
    const auto before = merged.rows;
    merged.MergeColumn(2);  // the last column
    EXPECT_EQ(merged.rows, before);
    EXPECT_EQ(merged.columnCount, 3);
}

TEST(Matrix, FlatOperations) {
    CMatrix m;
    m.FlatMatrix(5, 2);
    for (int g = 0; g < kGraphCount; ++g) EXPECT_EQ(Row(m, g), std::vector<CCell>(4, 0.6f));

    CMatrix f;
    f.FlatGraph(kDynamics, 2);
    EXPECT_EQ(Row(f, kDynamics), std::vector<CCell>(4, 0.4f));
    EXPECT_EQ(Row(f, kTransition), (std::vector<CCell>{0.2f, 0.3f, 0.4f, 0.3f}));
}

TEST(Matrix, RandomGraphChangesOneRowWithinTheUnitRange) {
    CMatrix m;
    const CMatrix before;
    Random random(1234);
    m.RandomGraph(kTexture, random);
    for (int g = 0; g < kGraphCount; ++g) {
        if (g == kTexture) continue;
        EXPECT_EQ(Row(m, g), Row(before, g)) << "row " << g;
    }
    EXPECT_NE(Row(m, kTexture), Row(before, kTexture));
    for (const CCell v : Row(m, kTexture)) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
    }
}

TEST(Matrix, RandomMatrixDrawsRowByRowColumnByColumn) {
    CMatrix m;
    m.SplitColumn(0);  // five columns, so that a transposed order would show
    Random random(99);
    m.RandomMatrix(random);
    Random same(99);
    for (int g = 0; g < kGraphCount; ++g)
        for (int c = 0; c < m.columnCount; ++c)
            EXPECT_EQ(m.Cell(g, c), static_cast<CCell>(same.Fraction())) << g << "," << c;
}

TEST(Matrix, IndexOutsideThrowsAndChangesNothing) {
    CMatrix m;
    const auto before = m.rows;
    EXPECT_THROW(m.SplitColumn(4), std::invalid_argument);
    EXPECT_THROW(m.SplitColumn(-1), std::invalid_argument);
    EXPECT_THROW(m.MergeColumn(-1), std::invalid_argument);
    EXPECT_THROW(m.FlatGraph(8, 0), std::invalid_argument);
    EXPECT_THROW(m.FlatGraph(0, 4), std::invalid_argument);
    EXPECT_THROW(m.FlatMatrix(-1, 0), std::invalid_argument);
    Random random(3);
    EXPECT_THROW(m.RandomGraph(8, random), std::invalid_argument);
    EXPECT_EQ(random.State(), 3u) << "a refused operation draws nothing";
    EXPECT_THROW(m.Cell(0, -1), std::invalid_argument);
    EXPECT_THROW(m.SetCell(0, 0, std::numeric_limits<float>::quiet_NaN()), std::invalid_argument);
    EXPECT_EQ(m.rows, before);
    EXPECT_EQ(m.columnCount, 4);
}

TEST(Matrix, SetCellClampsIntoTheUnitRange) {
    CMatrix m;
    m.SetCell(0, 0, 1.5f);
    m.SetCell(0, 1, -0.5f);
    m.SetCell(0, 2, 0.42f);
    EXPECT_EQ(Row(m, 0), (std::vector<CCell>{1.0f, 0.0f, 0.42f, 0.15f}));
}

TEST(GraphSet, NamesFromTheStringTableAndIdentityRows) {
    const CGraphSet g;
    const char* names[] = {"Granulation", "Complexity", "Smoothness", "Texture",
                           "Dynamics",    "Progression", "Variations", "Transition"};
    EXPECT_EQ(g.visibleCount, 8);
    for (int i = 0; i < kGraphCount; ++i) {
        EXPECT_EQ(g.GraphName(i), names[i]);
        EXPECT_TRUE(g.visible[i]);
        EXPECT_EQ(g.rowOfGraph[i], i);
        EXPECT_EQ(g.graphOfRow[i], i);
    }
    EXPECT_THROW(g.GraphName(8), std::invalid_argument);
}

// ---- project ---------------------------------------------------------------

TEST(Project, NewProjectIsOutdatedWithDefaultsAndConsistent) {
    const CProject p;
    EXPECT_EQ(p.musicOutdated, 1u);
    EXPECT_EQ(p.sections.Count(), 4);
    EXPECT_EQ(p.matrix.rows, CMatrix().rows);
    EXPECT_EQ(CheckInvariants(p), "");
}

TEST(Project, SetDefaultsLeavesOutdatedFlagAndSourceAlone) {
    CProject p;
    p.musicOutdated = 0;
    p.sections.Split(0);
    p.matrix.SplitColumn(0);
    p.properties.sourceFrames = MakeSilentFrames(2);
    p.properties.sourceFrameCount = 2;
    p.SetDefaults();
    EXPECT_EQ(p.musicOutdated, 0u);
    EXPECT_EQ(p.sections.Count(), 4);
    EXPECT_EQ(p.matrix.columnCount, 4);
    EXPECT_EQ(p.properties.sourceFrameCount, 2u);
    EXPECT_EQ(CheckInvariants(p), "");
}

// Split and merge in pairs, as the editor does, at random places: the
// invariants must hold after every step.
TEST(Project, PairedSplitsAndMergesKeepTheInvariants) {
    CProject p;
    Random random(7);
    for (int step = 0; step < 400; ++step) {
        const int index = random.Draw() % p.sections.Count();
        if (random.Draw() % 2 == 0 && p.sections.Count() < 40) {
            p.sections.Split(index);
            p.matrix.SplitColumn(index);
        } else {
            p.sections.Merge(index);
            p.matrix.MergeColumn(index);
        }
        ASSERT_EQ(CheckInvariants(p), "") << "step " << step;
    }
}

TEST(Project, CheckInvariantsNamesTheBrokenOne) {
    struct Break {
        const char* name;
        void (*apply)(CProject&);
    };
    const Break breaks[] = {
        {"gap", [](CProject& p) { p.sections.items[1].start = 0.3; }},
        {"column count", [](CProject& p) { p.matrix.SplitColumn(0); }},
        {"sample rate", [](CProject& p) { p.properties.sampleRate = 44100; }},
        {"value", [](CProject& p) { p.matrix.rows[3][1] = 1.5f; }},
        {"trim", [](CProject& p) { p.properties.trimStart = 0.96; }},
        {"motif", [](CProject& p) { p.properties.baseMotifLength = 1.0; }},
    };
    for (const auto& b : breaks) {
        CProject p;
        b.apply(p);
        EXPECT_NE(CheckInvariants(p), "") << b.name;
    }
}

}  // namespace
}  // namespace dw
