#include "app/MessageBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>

namespace dw {

namespace {
MessageBoxHook& BoxHook() {
    static MessageBoxHook hook;
    return hook;
}
ShellOpenHook& OpenHook() {
    static ShellOpenHook hook;
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
    QMessageBox box(qicon, QApplication::applicationName().isEmpty() ? QStringLiteral("Driftwell")
                                                                     : QApplication::applicationName(),
                    text, QMessageBox::Ok, owner);
    box.exec();
}

void SetMessageBoxHook(MessageBoxHook hook) { BoxHook() = std::move(hook); }

bool ShellOpen(const QUrl& url) {
    if (OpenHook()) return OpenHook()(url);
    return QDesktopServices::openUrl(url);
}

void SetShellOpenHook(ShellOpenHook hook) { OpenHook() = std::move(hook); }

void MessageBoxSink::ShowMessage(int, std::string_view text, MessageIcon icon) {
    ShowMessageBox(owner_, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), icon);
}

}  // namespace dw
