#include "gui/app/commands/WriteMusicFlow.h"

#include "core/audio/ChainWriter.h"
#include "core/audio/FileTags.h"
#include "core/audio/WriteMusic.h"
#include "core/base/SameFile.h"
#include "core/base/TextEscape.h"
#include "core/engine/MusicEngine.h"
#include "core/model/Project.h"
#include "core/resources/StringTable.h"
#include "core/transport/ChainTransport.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/ProgressBox.h"

#include <QDir>
#include <QFileDialog>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QSettings>

#include <cmath>
#include <filesystem>
#include <new>
#include <vector>

#ifndef DW_VERSION
#define DW_VERSION "unknown"
#endif

namespace dw {

namespace {

void Say(IMessageSink* sink, int id, std::string_view text) {
    if (sink) sink->ShowMessage(id, text, MessageIcon::Exclamation);
}

// The formats any project can write besides its encoder's, by extension.
struct ModernType {
    const char* extension;
    const char* filter;
};
constexpr ModernType kModernTypes[] = {
    {"flac", "FLAC sound file (*.flac)"},
    {"ogg", "Ogg Vorbis sound file (*.ogg)"},
    {"opus", "Opus sound file (*.opus)"},
};

// The format a chosen name asks for: FLAC, Ogg or Opus by its extension,
// otherwise none (the encoder's).
std::optional<SoundFormat> ModernFormatOf(const std::filesystem::path& target, std::uint32_t sampleRate) {
    const QString ext = QFileInfo(QString::fromStdString(target.string())).suffix().toLower();
    for (const ModernType& type : kModernTypes)
        if (ext == QLatin1String(type.extension) || (ext == QLatin1String("oga") && std::string_view(type.extension) == "ogg"))
            return FormatFromName(type.extension, sampleRate);
    return std::nullopt;
}

// Without a loudness choice a chain is still brought to the level of streamed
// music, so that its pieces match one another.
constexpr double kChainLoudnessLufs = -16.0;

QString PieceClock(std::uint32_t seconds) {
    return QString::fromStdString(SleepLeftText(seconds));
}

}  // namespace

QStringList DurationChoiceTexts(std::uint32_t pieceSeconds) {
    return {QStringLiteral("This piece (%1)").arg(PieceClock(pieceSeconds)), QStringLiteral("1 hour"),
            QStringLiteral("2 hours"), QStringLiteral("4 hours"), QStringLiteral("8 hours")};
}

std::optional<double> DurationChoiceSeconds(const QString& text, std::uint32_t pieceSeconds) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == DurationChoiceTexts(pieceSeconds).front()) return double(pieceSeconds);
    QString typed = trimmed;
    // "2 hours", "90 minutes" as well as "2h", "90m".
    for (const auto& [word, unit] : {std::pair{"hours", "h"}, {"hour", "h"}, {"minutes", "m"}, {"min", "m"},
                                     {"seconds", "s"}, {"sec", "s"}})
        if (typed.endsWith(QLatin1String(word))) {
            typed = typed.chopped(static_cast<qsizetype>(std::string_view(word).size())).trimmed() + QLatin1String(unit);
            break;
        }
    return ParseDurationText(typed.toStdString());
}

namespace {

// The chain of variations behind the progress window: created piece by piece
// on the worker pool while the window answers, written all or nothing.
WriteResult WriteChainToFile(const WriteMusicSetup& s, const std::filesystem::path& target, const SoundFormat& format,
                             std::optional<double> loudness, double seconds, ProgressBox& progress) {
    CProperties& properties = s.project->properties;
    const std::uint32_t rate = properties.sampleRate;
    ChainRequest job;
    ChainPlan& plan = job.plan;
    plan.seed = s.engine->Seed();
    plan.pieceFrames = std::uint64_t{properties.musicLength} * rate;
    plan.crossfadeFrames = static_cast<std::uint64_t>(ChainCrossfadeSeconds(properties.musicLength) * rate);
    plan.totalFrames = static_cast<std::uint64_t>(std::llround(seconds * rate));
    plan.fadeInFrames = std::uint64_t{properties.fadeIn} * rate;
    plan.fadeOutFrames = std::uint64_t{properties.fadeOut} * rate;
    if (const std::string problem = ChainPlanProblem(plan, rate); !problem.empty()) {
        Say(s.messages, 0, "The chain cannot be written: " + problem + ".");
        return WriteResult::Failed;
    }
    job.target = target;
    job.format = format;
    job.finish.loudnessLufs = loudness.value_or(kChainLoudnessLufs);
    job.tags.version = DW_VERSION;
    job.tags.sourcePath = properties.sourcePath;
    job.tags.projectPath = s.projectPath.toStdString();
    job.tags.when = TagTime();
    // The chain is created from a copy: the writer changes the settings of
    // what it creates from for the pieces, and the window may paint meanwhile.
    std::unique_ptr<CProject> copy = CopyForCreation(*s.project);
    if (!copy) {
        Say(s.messages, 0, "Not enough memory to write the music; " + EscapeForDisplay(target.string()) + " was not changed.");
        return WriteResult::Failed;
    }
    ChainReport done;
    try {
        progress.Run([&](IProgress& work) { done = WriteChain(*copy, job, work); });
    } catch (const std::bad_alloc&) {
        Say(s.messages, 0, "Not enough memory to write the music; " + EscapeForDisplay(target.string()) + " was not changed.");
        return WriteResult::Failed;
    } catch (const std::exception& e) {
        Say(s.messages, 0, "The music could not be written to " + EscapeForDisplay(target.string()) + ": " + EscapeForDisplay(e.what()));
        return WriteResult::Failed;
    }
    if (done.result == WriteResult::Cancelled) return WriteResult::Cancelled;
    if (!done.problem.empty()) {
        Say(s.messages, 0, "The chain failed: " + done.problem + "; " + EscapeForDisplay(target.string()) +
                               " was not changed.");
        return WriteResult::Failed;
    }
    if (done.result != WriteResult::Written) {
        Say(s.messages, 0, "Could not write " + EscapeForDisplay(target.string()) + ": " + done.error.reason +
                               "; the file was not changed.");
    }
    return done.result;
}

}  // namespace

std::vector<std::optional<double>> LoudnessChoices() { return {std::nullopt, -23.0, -16.0, -14.0}; }

QString LoudnessChoiceText(std::optional<double> lufs) {
    if (!lufs) return QStringLiteral("Off (peak at the volume)");
    return QStringLiteral("%1 LUFS").arg(*lufs, 0, 'f', 0);
}

std::optional<double> RememberedLoudness() {
    const QVariant value = QSettings().value(QLatin1String(kLoudnessSettingKey));
    bool ok = false;
    const double lufs = value.toDouble(&ok);
    // Only the offered choices count: a hand-edited setting cannot ask for anything else.
    for (const auto& choice : LoudnessChoices())
        if (ok && choice && *choice == lufs) return choice;
    return std::nullopt;
}

void RememberLoudness(std::optional<double> lufs) {
    QSettings settings;
    if (lufs)
        settings.setValue(QLatin1String(kLoudnessSettingKey), *lufs);
    else
        settings.setValue(QLatin1String(kLoudnessSettingKey), QStringLiteral("off"));
}

QStringList MusicFileFilters(int encoder, const SoundFormat* chosen) {
    const QString own = MusicFileExtension(encoder, chosen) == QLatin1String("mp3")
                            ? QStringLiteral("MP3 sound file (*.mp3)")
                            : QStringLiteral("WAV sound file (*.wav)");
    QStringList filters{own};
    for (const ModernType& type : kModernTypes) filters << QLatin1String(type.filter);
    return filters;
}

QString MusicFileExtension(int encoder, const SoundFormat* chosen) {
    if ((encoder == kEncoderWavCompressed || encoder == kEncoderMp3) && chosen && !chosen->extension.empty())
        return QString::fromStdString(chosen->extension);
    // The extension of the encoder's first format in the table.
    for (const OutputFormatRecord& row : OutputFormats())
        if (row.encoder == encoder)
            return QString::fromUtf8(row.extension.data(), static_cast<qsizetype>(row.extension.size()));
    return QStringLiteral("wav");
}

QString SuggestedMusicFilePath(const QString& projectPath, const QString& extension) {
    QString base = QStringLiteral("Driftwell");
    QString folder;
    if (!projectPath.isEmpty()) {
        const QFileInfo info(projectPath);
        if (!info.completeBaseName().isEmpty()) base = info.completeBaseName();
        folder = info.absolutePath();
    }
    const QString name = base + QLatin1Char('.') + extension;
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

WriteResult WriteMusicToFile(const WriteMusicSetup& s) {
    if (!s.project || !s.engine) return WriteResult::Failed;
    const bool compressed = s.encoder == kEncoderWavCompressed || s.encoder == kEncoderMp3;
    // Without a chosen format there is nothing to write with: say so before
    // the user waits for a creation.
    if (compressed && !s.chosen) {
        Say(s.messages, IDS_ENCODER_ACM_FILE, LoadString(IDS_ENCODER_ACM_FILE));
        return WriteResult::Failed;
    }
    if (s.project->musicOutdated != 0 || !s.engine->Output() || s.engine->OutputFrameCount() == 0) {
        if (!s.createMusic || !s.createMusic()) return WriteResult::Cancelled;
        if (!s.engine->Output() || s.engine->OutputFrameCount() == 0) return WriteResult::Failed;
    }

    const QString extension = MusicFileExtension(s.encoder, s.chosen);
    const QStringList filters = MusicFileFilters(s.encoder, s.chosen);
    const QString suggested = SuggestedMusicFilePath(s.projectPath, extension);
    QString chosen;
    std::optional<double> loudness = RememberedLoudness();
    const std::uint32_t pieceSeconds = s.project->properties.musicLength;
    QString duration = s.duration;
    if (s.askTarget) {
        const std::optional<QString> answer = s.askTarget(suggested, filters.join(QStringLiteral(";;")), extension);
        if (!answer) return WriteResult::Cancelled;
        chosen = *answer;
    } else {
        QFileDialog dialog(s.owner, QStringLiteral("Write Music to File"), QString());
        dialog.setObjectName(QLatin1String(kMusicFileDialogName));
        // Qt's own dialog, so that the loudness choice can sit beside the name.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilters(filters);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(extension);
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            // "FLAC sound file (*.flac)" -> "flac"
            const qsizetype dot = filter.lastIndexOf(QLatin1String("*."));
            if (dot >= 0) dialog.setDefaultSuffix(filter.mid(dot + 2).chopped(1));
        });
        auto* box = new QComboBox(&dialog);
        box->setObjectName(QLatin1String(kLoudnessBoxName));
        const auto choices = LoudnessChoices();
        for (const auto& choice : choices) box->addItem(LoudnessChoiceText(choice));
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (choices[i] == loudness) box->setCurrentIndex(static_cast<int>(i));
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            const int row = grid->rowCount();
            grid->addWidget(new QLabel(QStringLiteral("Loudness:"), &dialog), row, 0);
            grid->addWidget(box, row, 1);
        }
        // How much music: this piece, or hours of it as a chain of variations.
        auto* lengthBox = new QComboBox(&dialog);
        lengthBox->setObjectName(QLatin1String(kDurationBoxName));
        lengthBox->setEditable(true);
        lengthBox->setInsertPolicy(QComboBox::NoInsert);
        lengthBox->addItems(DurationChoiceTexts(pieceSeconds));
        lengthBox->setToolTip(QStringLiteral("Longer than the piece, the file holds a chain of variations: pieces "
                                             "with their own seeds, crossfaded. Type any length: 3h, 90m, 1:30:00."));
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            const int row = grid->rowCount();
            grid->addWidget(new QLabel(QStringLiteral("Duration:"), &dialog), row, 0);
            grid->addWidget(lengthBox, row, 1);
        }
        if (QFileInfo(suggested).isAbsolute()) dialog.setDirectory(QFileInfo(suggested).absolutePath());
        dialog.selectFile(QFileInfo(suggested).fileName());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return WriteResult::Cancelled;
        chosen = dialog.selectedFiles().first();
        loudness = choices[static_cast<std::size_t>(std::max(0, box->currentIndex()))];
        RememberLoudness(loudness);
        duration = lengthBox->currentText();
    }
    const std::filesystem::path target(chosen.toStdString());
    if (target.empty()) return WriteResult::Cancelled;

    const std::optional<double> seconds = DurationChoiceSeconds(duration, pieceSeconds);
    if (!seconds || *seconds <= 0.0 || *seconds > kLongestWrittenChainSeconds) {
        std::string text = "Duration: ";
        text += EscapeForDisplay(duration.toStdString());
        text += " is not a duration up to 1000 hours (for example 8h, 90m or 1:30:00); nothing was written.";
        Say(s.messages, 0, text);
        return WriteResult::Failed;
    }
    if (*seconds < pieceSeconds) {
        Say(s.messages, 0, "A duration of " + SleepLeftText(*seconds) + " is shorter than the piece (" +
                               SleepLeftText(pieceSeconds) +
                               "); to write less music, shorten the music length. Nothing was written.");
        return WriteResult::Failed;
    }
    const bool chain = *seconds > pieceSeconds;

    const std::string& source = s.project->properties.sourcePath;
    const std::string projectFile = s.projectPath.toStdString();
    if ((!source.empty() && SameFile(target, source)) || (!projectFile.empty() && SameFile(target, projectFile))) {
        Say(s.messages, 0, kMsgTargetIsProjectFile);
        return WriteResult::Failed;
    }

    ProgressBox progress(s.owner, QStringLiteral("Writing Music"), s.messages, QLatin1String(kWriteProgressName));
    progress.SetBanner(LoadBitmapResource(IDB_PROGRESS_WRITE));
    const std::uint32_t rate = s.engine->SampleRate();
    const std::optional<SoundFormat> modern = ModernFormatOf(target, rate);
    // Compressed encoders came here with their chosen format (checked above).
    const SoundFormat format = modern                        ? *modern
                               : s.encoder <= kEncoderWav16 ? FormatForEncoder(s.encoder, rate)
                                                            : *s.chosen;

    // Encoders 2 and 3 write only a format block of their own kind.
    if (!modern && !EncoderWrites(s.encoder, format)) {
        Say(s.messages, IDS_ENCODER_ACM_FILE, LoadString(IDS_ENCODER_ACM_FILE));
        return WriteResult::Failed;
    }

    if (chain) return WriteChainToFile(s, target, format, loudness, *seconds, progress);

    MusicFileRequest file;
    file.target = target;
    file.format = format;
    file.finish.loudnessLufs = loudness;
    file.tags.version = DW_VERSION;
    file.tags.seed = s.engine->Seed();
    file.tags.sourcePath = source;
    file.tags.projectPath = projectFile;
    file.tags.when = TagTime();
    // Off the window's thread: the window repaints and Cancel answers while
    // an hour of music is finished and encoded. The player keeps the music
    // it holds; the file gets a finished copy.
    MusicFileReport written;
    try {
        progress.Run([&](IProgress& work) {
            std::vector<StereoFrame> music(s.engine->Output(), s.engine->Output() + s.engine->OutputFrameCount());
            written = WriteFinishedMusic(music, rate, s.project->properties, file, work);
        });
    } catch (const std::bad_alloc&) {
        Say(s.messages, 0, "Not enough memory to write the music; " + EscapeForDisplay(target.string()) + " was not changed.");
        return WriteResult::Failed;
    } catch (const std::exception& e) {
        Say(s.messages, 0, "The music could not be written to " + EscapeForDisplay(target.string()) + ": " + EscapeForDisplay(e.what()));
        return WriteResult::Failed;
    }
    if (!written.finishProblem.empty())
        Say(s.messages, 0, "The music could not be finished: " + written.finishProblem + ".");
    return written.result;
}

}  // namespace dw
