// The string table. One row per text: id, then the text exactly as the program
// shows it. Kept sorted by id (a test checks it) so that lookup can bisect.

#include "core/resources/StringTable.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace dw {
namespace {

struct Entry {
    int id;
    std::string_view text;
};

constexpr Entry kStrings[] = {
    // Decoding the source and creating the music.
    {61000, "Error: Source allocation failed"},
    {61001, "Error: Open failed for the music source file"},
    {61002, "Error: Output allocation failed"},
    {61003, "Error: background allocation failed"},
    {61004, "Error: Envelope allocation failed"},
    // A source longer than the engine takes, or not what its header says.
    {61005, "Error: The music source is too long"},
    {61006, "Warning: The music source holds far less sound than its header announces; only what could be read is used"},
    {61007, "Warning: The music source is silent, so the music will be silent too"},
    // Writing the music to a file.
    {61100, "Error (audio): Encoder create failed"},
    {61101, "Error (audio): Wencoder write failed"},
    // Start-up, help and About.
    {61200, "Error: Cannot open User's Guide"},
    {61201, "Error: Operating system version is not supported"},
    {61202, "Error: Screen resolution is not supported"},
    {61203, "Version %d.%d.%d"},
    // Toolbar tooltips.
    {61220, "New Project"},
    {61221, "Open Project"},
    {61222, "Save Project"},
    {61223, "Save Project Copy"},
    {61224, "Write Music to File"},
    {61225, "User's Guide"},
    {61226, "About Driftwell"},
    {61227, "Web Home Page"},
    {61229, "Driftwell - User's Guide.pdf"},
    {61230, "https://www.quillfen.com/driftwell"},
    // Audio layer.
    {61500, "Error (audio): Resampler open failed"},
    {61501, "Error (audio): Stream file length"},
    {61502, "Error (audio): Stream duration"},
    {61503, "Error (audio): Stream info"},
    {61504, "Error (audio): Stream data (2)"},
    {61506, "Error (audio): An incorrect version of the audio library was loaded"},
    {61507, "Error (audio): An incorrect version of the audio effects library was loaded"},
    {61508, "Error (audio): Cannot initialize device"},
    {61510, "Error (audio): Cannot apply Low Pass Filter effect"},
    {61511, "Error (audio): Cannot apply Reverb Filter effect"},
    {61512, "Error (audio): Cannot apply Chorus Filter effect"},
    {61520, "Error (audio): Encoder ACM file"},
    {61521, "Error (audio): Encoder create file failed"},
    {61522, "Error (audio): Encoder ACM format main failed"},
    {61523, "Error (audio): Wrong format"},
    {61530, "Error (audio): Cannot open playback stream"},
    // Graph names, in graph order.
    {61550, "Granulation"},
    {61551, "Complexity"},
    {61552, "Smoothness"},
    {61553, "Texture"},
    {61554, "Dynamics"},
    {61555, "Progression"},
    {61556, "Variations"},
    {61557, "Transition"},
    // Control panel.
    {61600, "Select the Music Source File"},
    {61611, "WAV original (float)"},
    {61612, "WAV 16 bits"},
    {61613, "WAV ACM compressed"},
    {61614, "MP3 ACM"},
    {61620, "Test   (11025 Hz)"},
    {61621, "Medium (22050 Hz)"},
    {61622, "CD     (44100 Hz)"},
    {61623, "DVD    (48000 Hz)"},
    // Trim dialog captions.
    {61640, "Trim the music source"},
    {61641, "Define a section source range"},
};

constexpr bool IsSorted() {
    for (std::size_t i = 1; i < std::size(kStrings); ++i)
        if (kStrings[i - 1].id >= kStrings[i].id) return false;
    return true;
}
static_assert(IsSorted(), "the string table must stay sorted by id, without duplicates");

}  // namespace

std::string_view LoadString(int id) {
    const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                      [](const Entry& e, int key) { return e.id < key; });
    if (it == std::end(kStrings) || it->id != id) return {};
    return it->text;
}

std::span<const int> StringTableIds() {
    static const auto ids = [] {
        std::array<int, std::size(kStrings)> out{};
        for (std::size_t i = 0; i < std::size(kStrings); ++i) out[i] = kStrings[i].id;
        return out;
    }();
    return ids;
}

}  // namespace dw
