#pragma once
// Write Music to File: the music is created first when it does not match the
// project (through the same road as Play, with its progress dialogs), a save
// dialog offers a name with the encoder's extension, and the audio layer's
// writer writes it behind a progress window. The writer writes beside the
// target and renames only a complete file, so a failure or a cancel never
// leaves a half-written file, nor harms a file that was there.

#include "core/audio/Export.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace dw {

class CMusicEngine;
class CProject;
class IMessageSink;

inline constexpr const char* kMusicFileDialogName = "music-file-dialog";
inline constexpr const char* kWriteProgressName = "write-music-progress";
inline constexpr const char* kLoudnessBoxName = "write-music-loudness";
inline constexpr const char* kDurationBoxName = "write-music-duration";
// Where the program remembers the loudness choice (QSettings), not the project.
inline constexpr const char* kLoudnessSettingKey = "writeMusic/loudnessLufs";
// Writing over the music source or the project file would destroy what the
// project is made from.
inline constexpr std::string_view kMsgTargetIsProjectFile =
    "This file is the project's music source or its project file and cannot be overwritten with the music. "
    "Please choose another file name.";

struct WriteMusicSetup {
    QWidget* owner = nullptr;
    CProject* project = nullptr;
    CMusicEngine* engine = nullptr;
    int encoder = 0;                       // the main window's copy
    const SoundFormat* chosen = nullptr;   // for encoders 2 and 3
    QString projectPath;                   // names and places the suggested file
    // Decodes and creates as Play does; true when the music matches the
    // project afterwards.
    std::function<bool()> createMusic;
    IMessageSink* messages = nullptr;
    // Replaces the save dialog: gets the suggested path, the filter and the
    // default suffix, returns the chosen path or none.
    std::function<std::optional<QString>(const QString& suggested, const QString& filter, const QString& suffix)>
        askTarget;
    // With askTarget, the duration the dialog's box would give: empty for
    // this piece, otherwise typed as in the box ("8h", "1:30:00").
    QString duration;
};

// The loudness choices offered beside the file name: none is Off (the
// music's peak stays at the volume), otherwise a target in LUFS.
std::vector<std::optional<double>> LoudnessChoices();
QString LoudnessChoiceText(std::optional<double> lufs);
// The choice remembered in the program's settings; Off when none is.
std::optional<double> RememberedLoudness();
void RememberLoudness(std::optional<double> lufs);

// The duration box's offers: this piece (of `pieceSeconds`), then chains of
// 1, 2, 4 and 8 hours. Anything else may be typed.
QStringList DurationChoiceTexts(std::uint32_t pieceSeconds);
// The seconds the duration box's text asks for: the piece's for its first
// offer, the hours of the others, or a typed duration (ParseDurationText);
// none when the text is not a duration.
std::optional<double> DurationChoiceSeconds(const QString& text, std::uint32_t pieceSeconds);

// The save dialog's file types: the encoder's own first, then FLAC, Ogg
// Vorbis and Opus, which every project can write besides.
QStringList MusicFileFilters(int encoder, const SoundFormat* chosen);

// The extension (without the dot) of what `encoder` writes.
QString MusicFileExtension(int encoder, const SoundFormat* chosen);

// The name the save dialog offers: the project file's name (or "Driftwell")
// with `extension`, in the project's folder when it has one.
QString SuggestedMusicFilePath(const QString& projectPath, const QString& extension);

// Runs the whole command; a duration longer than the piece writes a chain of
// variations (core/audio/ChainWriter.h) under the same progress window, with
// the same all-or-nothing file. Cancelled when the user stopped at any step. The
// file gets what playing gives (the project's effects, run offline), the
// remembered loudness choice, and tags with the seed and the settings; a
// name ending in .flac, .ogg or .opus writes that format, any other the
// encoder's.
WriteResult WriteMusicToFile(const WriteMusicSetup& setup);

}  // namespace dw
