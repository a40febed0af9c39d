#include "app/ProgressBox.h"

#include "app/MessageBox.h"

#include <QCoreApplication>

namespace dw {

ProgressBox::ProgressBox(QWidget* owner, const QString& caption)
    : owner_(owner), dialog_(caption, QStringLiteral("Cancel"), 0, 100, owner) {
    dialog_.setWindowTitle(QStringLiteral("Processing..."));
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(0);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setValue(0);
}

void ProgressBox::ShowMessage(int, std::string_view text, MessageIcon icon) {
    ShowMessageBox(owner_, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), icon);
}

void ProgressBox::SetProgress(int percent) {
    dialog_.setValue(percent);
    QCoreApplication::processEvents();
}

bool ProgressBox::IsRunning() const { return !dialog_.wasCanceled(); }

}  // namespace dw
