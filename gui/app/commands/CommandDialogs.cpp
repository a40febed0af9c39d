#include "gui/app/commands/CommandDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace dw {

QString ProjectFileFilter() { return QStringLiteral("Driftwell Project(*.dwv) (*.dwv)"); }

std::optional<QString> RunProjectFileDialog(QWidget* owner, FileDialogMode mode) {
    QFileDialog dialog(owner, QString(), QString(), ProjectFileFilter());
    dialog.setObjectName(QLatin1String(kProjectFileDialogName));
    // The entry shows as "Driftwell Project(*.dwv)", not with the patterns twice.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(QStringLiteral("dwv"));
    if (mode == FileDialogMode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    dialog.selectFile(QStringLiteral("*.dwv"));
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    return files.first();
}

SaveAnswer AskSaveProjectQuestion(QWidget* owner) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Driftwell"),
                    QString::fromUtf8(kMsgSaveProject.data(), static_cast<qsizetype>(kMsgSaveProject.size())),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    box.setObjectName(QLatin1String(kSaveQuestionName));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes: return SaveAnswer::Yes;
    case QMessageBox::No: return SaveAnswer::No;
    default: return SaveAnswer::Cancel;
    }
}

}  // namespace dw
