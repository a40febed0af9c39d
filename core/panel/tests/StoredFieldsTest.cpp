#include "core/panel/StoredFields.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "core/model/Project.h"
#include "core/model/ProjectFile.h"

namespace dw {
namespace {

// One stored field changed alone, what the change must mark, and the
// caption its panel row shows (empty: none).
struct FieldCase {
    const char* name;
    std::function<void(CProperties&)> change;
    OutdatedMark mark;
    const char* caption;
};

const FieldCase kCases[] = {
    {"sourcePath", [](CProperties& p) { p.sourcePath = "other.wav"; }, OutdatedMark::Creation, ""},
    {"musicLength", [](CProperties& p) { p.musicLength += 1; }, OutdatedMark::Creation, "Music length"},
    {"trimStart", [](CProperties& p) { p.trimStart += 0.01; }, OutdatedMark::Creation, ""},
    {"trimEnd", [](CProperties& p) { p.trimEnd -= 0.01; }, OutdatedMark::Creation, ""},
    {"baseMotifLength", [](CProperties& p) { p.baseMotifLength += 1.0; }, OutdatedMark::Creation,
     "Base motif length"},
    {"fractalScanner", [](CProperties& p) { p.fractalScanner = !p.fractalScanner; }, OutdatedMark::Creation,
     "Fractal scanner"},
    {"loopMotifs", [](CProperties& p) { p.loopMotifs = !p.loopMotifs; }, OutdatedMark::Creation, "Loop motifs"},
    {"quality", [](CProperties& p) { p.quality = (p.quality + 1) % kQualityCount; }, OutdatedMark::Finishing,
     "Quality"},
    {"sampleRate", [](CProperties& p) { p.sampleRate += 1; }, OutdatedMark::None, ""},
    {"volume", [](CProperties& p) { p.volume /= 2.0; }, OutdatedMark::Finishing, "Volume"},
    {"loopMusic", [](CProperties& p) { p.loopMusic = !p.loopMusic; }, OutdatedMark::Creation, "Loop music"},
    {"fadeIn", [](CProperties& p) { p.fadeIn = (p.fadeIn + 1) % kMaxFade; }, OutdatedMark::Finishing, "Fade in"},
    {"fadeOut", [](CProperties& p) { p.fadeOut = (p.fadeOut + 1) % kMaxFade; }, OutdatedMark::Finishing,
     "Fade out"},
    {"encoder", [](CProperties& p) { p.encoder = (p.encoder + 1) % kEncoderCount; }, OutdatedMark::None, "Encoder"},
    {"highCutOn", [](CProperties& p) { p.highCutOn = !p.highCutOn; }, OutdatedMark::None, "High-cut filter"},
    {"highCut", [](CProperties& p) { p.highCut /= 2.0; }, OutdatedMark::None, ""},
    {"reverbOn", [](CProperties& p) { p.reverbOn = !p.reverbOn; }, OutdatedMark::None, "Reverb"},
    {"reverb", [](CProperties& p) { p.reverb /= 2.0; }, OutdatedMark::None, ""},
    {"chorusOn", [](CProperties& p) { p.chorusOn = !p.chorusOn; }, OutdatedMark::None, "Chorus"},
    {"chorus", [](CProperties& p) { p.chorus /= 2.0; }, OutdatedMark::None, ""},
};

class StoredFieldCases : public testing::TestWithParam<FieldCase> {};

// The change is one of the file's stored fields, exactly the named row sees
// it, and it carries the mark and caption the panel and undo have always used.
TEST_P(StoredFieldCases, OneRowSeesTheChangeWithItsMarkAndCaption) {
    const FieldCase& c = GetParam();
    CProject before;
    CProject after;
    c.change(after.properties);
    ASSERT_NE(StoreProjectToBytes(before), StoreProjectToBytes(after)) << "not a stored field";

    std::vector<std::string> seen;
    for (const StoredField& f : StoredFields())
        if (f.differs(before.properties, after.properties)) seen.emplace_back(f.name);
    ASSERT_EQ(seen, std::vector<std::string>{c.name});

    const StoredField* row = nullptr;
    for (const StoredField& f : StoredFields())
        if (f.name == c.name) row = &f;
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->mark, c.mark);
    EXPECT_EQ(row->caption, std::string_view(c.caption));
    EXPECT_EQ(MarkOfChanges(before.properties, after.properties), c.mark);
    EXPECT_EQ(MarkOfChanges(after.properties, before.properties), c.mark);
    if (row->controlId != 0) {
        EXPECT_EQ(StoredFieldOfControl(row->controlId), row);
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, StoredFieldCases, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FieldCase>& param) { return std::string(param.param.name); });

// Every stored field has a row and none has two; the cases above cover them all.
TEST(StoredFields, EveryStoredFieldOnce) {
    std::set<std::string> names;
    std::set<int> ids;
    for (const StoredField& f : StoredFields()) {
        EXPECT_TRUE(names.insert(std::string(f.name)).second) << f.name;
        if (f.controlId != 0) {
            EXPECT_TRUE(ids.insert(f.controlId).second) << f.name;
        }
    }
    std::set<std::string> cased;
    for (const FieldCase& c : kCases) cased.insert(c.name);
    EXPECT_EQ(names, cased);
    EXPECT_EQ(StoredFieldOfControl(0), nullptr);
    EXPECT_EQ(StoredFieldOfControl(1111), nullptr) << "the seed is no stored field";
}

// Several changes at once: a creation outranks a finishing pass.
TEST(StoredFields, CreationOutranksFinishing) {
    CProperties a;
    CProperties b;
    b.volume /= 2.0;
    b.reverbOn = !b.reverbOn;
    EXPECT_EQ(MarkOfChanges(a, b), OutdatedMark::Finishing);
    b.loopMotifs = !b.loopMotifs;
    EXPECT_EQ(MarkOfChanges(a, b), OutdatedMark::Creation);
    EXPECT_EQ(MarkOfChanges(a, a), OutdatedMark::None);
}

struct MarkCase {
    const char* name;
    std::uint32_t before;
    OutdatedMark mark;
    std::uint32_t after;
};

class MarkMusicCases : public testing::TestWithParam<MarkCase> {};

TEST_P(MarkMusicCases, MusicOutdatedAfterTheMark) {
    const MarkCase& c = GetParam();
    EXPECT_EQ(MarkMusic(c.before, c.mark), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, MarkMusicCases,
    testing::Values(MarkCase{"NoneKeepsCurrent", 0, OutdatedMark::None, 0},
                    MarkCase{"NoneKeepsFinishing", 2, OutdatedMark::None, 2},
                    MarkCase{"FinishingOnCurrent", 0, OutdatedMark::Finishing, 2},
                    MarkCase{"FinishingKeepsCreation", 1, OutdatedMark::Finishing, 1},
                    MarkCase{"CreationOnFinishing", 2, OutdatedMark::Creation, 1},
                    MarkCase{"CreationOnCurrent", 0, OutdatedMark::Creation, 1}),
    [](const testing::TestParamInfo<MarkCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace dw
