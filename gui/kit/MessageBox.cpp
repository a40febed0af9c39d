#include "gui/kit/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace dw {

namespace {
MessageBoxHook& BoxHook() {
    static MessageBoxHook hook;
    return hook;
}

}  // namespace

void ShowMessageBox(QWidget* owner, const QString& text, MessageIcon icon) {
    if (BoxHook()) {
        BoxHook()({text, icon});
        return;
    }
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None: qicon = QMessageBox::NoIcon; break;
    case MessageIcon::Information: qicon = QMessageBox::Information; break;
    case MessageIcon::Exclamation: qicon = QMessageBox::Warning; break;
    case MessageIcon::Stop:
    case MessageIcon::Error: qicon = QMessageBox::Critical; break;
    }
    QMessageBox box(qicon, QStringLiteral("Driftwell"), text, QMessageBox::Ok, owner);
    // A file name such as "<b>a</b>.wav" is shown as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void SetMessageBoxHook(MessageBoxHook hook) { BoxHook() = std::move(hook); }

void MessageBoxSink::ShowMessage(int, std::string_view text, MessageIcon icon) {
    ShowMessageBox(owner_ ? owner_ : QApplication::activeWindow(),
                   QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), icon);
}

IMessageSink& ActiveWindowMessageSink() {
    static MessageBoxSink sink(nullptr);
    return sink;
}

}  // namespace dw
