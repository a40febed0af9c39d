#include "ui/ProgressBox.h"

#include <QCoreApplication>

namespace dw {

ProgressBox::ProgressBox(QWidget* owner, const QString& caption, IMessageSink* messages, const QString& objectName)
    : messages_(messages), dialog_(caption, QStringLiteral("Cancel"), 0, 100, owner) {
    if (!objectName.isEmpty()) dialog_.setObjectName(objectName);
    dialog_.setWindowTitle(QStringLiteral("Processing..."));
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(0);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setValue(0);
}

void ProgressBox::ShowMessage(int stringId, std::string_view text, MessageIcon icon) {
    dialog_.hide();
    if (messages_) messages_->ShowMessage(stringId, text, icon);
}

void ProgressBox::SetProgress(int percent) {
    dialog_.setValue(percent);
    QCoreApplication::processEvents();
}

bool ProgressBox::IsRunning() const { return !dialog_.wasCanceled(); }

}  // namespace dw
