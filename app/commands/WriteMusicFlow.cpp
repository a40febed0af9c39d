#include "app/commands/WriteMusicFlow.h"

#include "base/SameFile.h"
#include "engine/MusicEngine.h"
#include "model/Project.h"
#include "resources/StringTable.h"
#include "ui/ArtResources.h"
#include "ui/ProgressBox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <filesystem>

namespace dw {

namespace {

void Say(IMessageSink* sink, int id, std::string_view text) {
    if (sink) sink->ShowMessage(id, text, MessageIcon::Exclamation);
}

}  // namespace

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
    const QString filter = extension == QLatin1String("mp3") ? QStringLiteral("MP3 sound file (*.mp3)")
                                                             : QStringLiteral("WAV sound file (*.wav)");
    const QString suggested = SuggestedMusicFilePath(s.projectPath, extension);
    QString chosen;
    if (s.askTarget) {
        const std::optional<QString> answer = s.askTarget(suggested, filter, extension);
        if (!answer) return WriteResult::Cancelled;
        chosen = *answer;
    } else {
        QFileDialog dialog(s.owner, QStringLiteral("Write Music to File"), QString(), filter);
        dialog.setObjectName(QLatin1String(kMusicFileDialogName));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(extension);
        if (QFileInfo(suggested).isAbsolute()) dialog.setDirectory(QFileInfo(suggested).absolutePath());
        dialog.selectFile(QFileInfo(suggested).fileName());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return WriteResult::Cancelled;
        chosen = dialog.selectedFiles().first();
    }
    const std::filesystem::path target(chosen.toStdString());
    if (target.empty()) return WriteResult::Cancelled;

    const std::string& source = s.project->properties.sourcePath;
    const std::string projectFile = s.projectPath.toStdString();
    if ((!source.empty() && SameFile(target, source)) || (!projectFile.empty() && SameFile(target, projectFile))) {
        Say(s.messages, 0, kMsgTargetIsProjectFile);
        return WriteResult::Failed;
    }

    ProgressBox progress(s.owner, QStringLiteral("Writing Music"), s.messages, QLatin1String(kWriteProgressName));
    progress.SetBanner(LoadBitmapResource(IDB_PROGRESS_WRITE));
    return WriteMusic(target, s.engine->Output(), s.engine->OutputFrameCount(), s.engine->SampleRate(), s.encoder,
                      s.chosen, progress);
}

}  // namespace dw
