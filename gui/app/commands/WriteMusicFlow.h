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
};

// The loudness choices offered beside the file name: none is Off (the
// music's peak stays at the volume), otherwise a target in LUFS.
std::vector<std::optional<double>> LoudnessChoices();
QString LoudnessChoiceText(std::optional<double> lufs);
// The choice remembered in the program's settings; Off when none is.
std::optional<double> RememberedLoudness();
void RememberLoudness(std::optional<double> lufs);

// The save dialog's file types: the encoder's own first, then FLAC, Ogg
// Vorbis and Opus, which every project can write besides.
QStringList MusicFileFilters(int encoder, const SoundFormat* chosen);

// The extension (without the dot) of what `encoder` writes.
QString MusicFileExtension(int encoder, const SoundFormat* chosen);

// The name the save dialog offers: the project file's name (or "Driftwell")
// with `extension`, in the project's folder when it has one.
QString SuggestedMusicFilePath(const QString& projectPath, const QString& extension);

// Runs the whole command; Cancelled when the user stopped at any step. The
// file gets what playing gives (the project's effects, run offline), the
// remembered loudness choice, and tags with the seed and the settings; a
// name ending in .flac, .ogg or .opus writes that format, any other the
// encoder's.
WriteResult WriteMusicToFile(const WriteMusicSetup& setup);

}  // namespace dw
