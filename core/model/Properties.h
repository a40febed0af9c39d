#pragma once
// The global settings of a project: the music source and its trim range, the
// length and shape of the music to create, the output quality, the final gain
// and the playback effects. Also the decoded source itself (`sourceFrames`),
// which belongs to the properties but is never stored in the project file.
//
// Edited by the control panel, read by the engine, stored by the project file.
// Plain data: the editing code keeps the invariants listed below; a load from a
// file repairs or refuses values that break them (model/ProjectFile.h).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/model/StereoFrame.h"

namespace dw {

class CProjectArchive;

// One entry of the output quality list, by quality index; the encoder list
// shares the index range. The texts are also in the string table under
// `qualityTextId` and `encoderTextId`.
struct QualityEntry {
    std::uint32_t sampleRate;
    int qualityTextId;
    std::string_view qualityText;
    int encoderTextId;
    std::string_view encoderText;
};

inline constexpr std::array<QualityEntry, 4> kQualityTable{{
    {11025, 61620, "Test   (11025 Hz)", 61611, "WAV original (float)"},
    {22050, 61621, "Medium (22050 Hz)", 61612, "WAV 16 bits"},
    {44100, 61622, "CD     (44100 Hz)", 61613, "WAV ACM compressed"},
    {48000, 61623, "DVD    (48000 Hz)", 61614, "MP3 ACM"},
}};

inline constexpr std::uint32_t kQualityCount = 4;
inline constexpr std::uint32_t kEncoderCount = 4;

// The sample rate of a quality index; throws std::invalid_argument outside 0..3.
std::uint32_t SampleRateOfQuality(std::uint32_t quality);

// Ranges of the editable values.
inline constexpr std::uint32_t kMinMusicLength = 10;     // seconds
inline constexpr std::uint32_t kMaxMusicLength = 3599;   // seconds, below one hour
inline constexpr double kMinBaseMotifLength = 2.0;       // seconds
inline constexpr double kMaxBaseMotifLength = 20.0;      // seconds
inline constexpr std::uint32_t kMaxFade = 10;            // seconds
// The longest decoded source the engine creates music from, in frames at the
// project's rate (about 101 minutes at 44100 Hz). The loader refuses a longer
// one before it allocates anything.
inline constexpr std::uint32_t kMaxSourceFrameCount = 1u << 28;

class CProperties {
public:
    CProperties();
    ~CProperties() = default;
    // The properties own the decoded source; they move but are not copied.
    CProperties(const CProperties&) = delete;
    CProperties& operator=(const CProperties&) = delete;
    CProperties(CProperties&&) noexcept = default;
    CProperties& operator=(CProperties&&) noexcept = default;

    // Every stored field takes its default, `sourcePath` becomes empty and
    // `sourceLoaded` false. The decoded source is kept: a later decode
    // replaces it.
    void SetDefaults();

    // Copies the twenty stored fields of `other` and clears `sourceLoaded`;
    // the decoded source stays as it is. This is what a load does to the
    // project in use.
    void AssignStoredFields(const CProperties& other);

    // Reads or writes the properties block of the project file.
    void Serialize(CProjectArchive& archive);
    // Writes the properties block; the archive must be storing.
    void Serialize(CProjectArchive& archive) const;

    // Releases the decoded source and clears `sourceLoaded`.
    void ReleaseSource();

    std::string sourcePath;         // UTF-8; stored as UTF-16 in the file
    std::uint32_t musicLength;      // seconds, 10 to 3599
    double trimStart;               // fraction of the source
    double trimEnd;                 // fraction of the source, above trimStart
    bool sourceLoaded;              // sourceFrames holds the source at sampleRate; never stored
    bool sourceMissing = false;     // the last decode of sourcePath failed; never stored
    double baseMotifLength;         // seconds, 2 to 20, not above musicLength
    bool fractalScanner;
    bool loopMotifs;
    std::uint32_t quality;          // index 0 to 3 into kQualityTable
    std::uint32_t sampleRate;       // Hz, always the rate of `quality`
    double volume;                  // 0 to 1, peak level of the created music
    bool loopMusic;
    std::uint32_t fadeIn;           // seconds, 0 to 10
    std::uint32_t fadeOut;          // seconds, 0 to 10
    std::uint32_t encoder;          // index 0 to 3
    bool highCutOn;
    double highCut;                 // 0 to 1
    bool reverbOn;
    double reverb;                  // 0 to 1
    bool chorusOn;
    double chorus;                  // 0 to 1
    FrameBuffer sourceFrames;                     // the decoded source; never stored
    std::uint32_t sourceFrameCount;               // 0 whenever sourceFrames is null

private:
    template <class Self>
    static void SerializeFields(Self& self, CProjectArchive& archive);
};

}  // namespace dw
