#include "core/resources/StringTable.h"

#include <gtest/gtest.h>

#include <string>

namespace dw {
namespace {

// Texts whose exact form matters: typos, blanks and capitals are the program's own.
struct Case {
    int id;
    const char* text;
};
const Case kExact[] = {
    {61000, "Error: Source allocation failed"},
    {61003, "Error: background allocation failed"},
    {61101, "Error (audio): Wencoder write failed"},
    {61203, "Version %d.%d.%d"},
    {61229, "Driftwell - User's Guide.pdf"},
    {61504, "Error (audio): Stream data (2)"},
    {61523, "Error (audio): Wrong format"},
    {61550, "Granulation"},
    {61557, "Transition"},
    {61611, "WAV original (float)"},
    {61620, "Test   (11025 Hz)"},
    {61622, "CD     (44100 Hz)"},
    {61641, "Define a section source range"},
};

TEST(StringTable, TextsStandExactlyAsTheProgramShowsThem) {
    for (const auto& c : kExact) EXPECT_EQ(LoadString(c.id), c.text) << "id " << c.id;
}

TEST(StringTable, UnknownIdsGiveEmptyText) {
    for (const int id : {0, -1, 60999, 61008, 61228, 61505, 61558, 61624, 99999})
        EXPECT_TRUE(LoadString(id).empty()) << "id " << id;
}

// The messages of sound output and of reading and writing sound files all
// say where they come from the same way, and name no library.
TEST(StringTable, AudioMessagesBeginWithTheirOrigin) {
    for (const int id : StringTableIds()) {
        const bool audio = (id >= 61100 && id < 61200) || (id >= 61500 && id < 61550);
        if (!audio) continue;
        EXPECT_EQ(std::string(LoadString(id)).rfind("Error (audio): ", 0), 0u) << "id " << id;
    }
}

TEST(StringTable, EveryEntryIsNonEmptyValidUtf8AndIdsAscend) {
    int previous = 0;
    for (const int id : StringTableIds()) {
        EXPECT_GT(id, previous);
        previous = id;
        const auto text = LoadString(id);
        ASSERT_FALSE(text.empty()) << "id " << id;
        // Plain ASCII is all the table holds today; anything else must at
        // least be well-formed UTF-8 lead and continuation bytes.
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto b = static_cast<unsigned char>(text[i]);
            EXPECT_TRUE(b >= 0x20 && b != 0x7F) << "id " << id << " has a control byte at " << i;
        }
    }
}

TEST(StringTable, HoldsEveryGroupOfIds) {
    // Messages, captions and list entries by range: a missing member of a
    // group is a text the windows would show empty.
    const std::pair<int, int> groups[] = {{61000, 61007}, {61100, 61101}, {61200, 61203}, {61220, 61227},
                                          {61229, 61230}, {61500, 61504}, {61506, 61508}, {61510, 61512},
                                          {61520, 61523}, {61530, 61530}, {61550, 61557}, {61600, 61600},
                                          {61611, 61614}, {61620, 61623}, {61640, 61641}};
    std::size_t total = 0;
    for (const auto& [first, last] : groups) {
        for (int id = first; id <= last; ++id) EXPECT_FALSE(LoadString(id).empty()) << "id " << id;
        total += static_cast<std::size_t>(last - first + 1);
    }
    EXPECT_EQ(StringTableIds().size(), total) << "an id outside the known groups";
}

}  // namespace
}  // namespace dw
