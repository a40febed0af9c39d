#pragma once
// Modal message boxes with an OK button, and the shell's "open". Both go
// through a replaceable hook so the tests can see what the program would show
// or open without a person clicking OK.

#include "model/Progress.h"

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace dw {

struct ShownMessage {
    QString text;
    MessageIcon icon;
};

// Shows `text` with `icon` and an OK button, owned by `owner` (may be null).
void ShowMessageBox(QWidget* owner, const QString& text, MessageIcon icon);

// Replaces the message box (tests); an empty function restores it.
using MessageBoxHook = std::function<void(const ShownMessage&)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Asks the desktop to open a file or address; false when it could not.
bool ShellOpen(const QUrl& url);
using ShellOpenHook = std::function<bool(const QUrl&)>;
void SetShellOpenHook(ShellOpenHook hook);

// The core's messages shown as message boxes of the owner window.
class MessageBoxSink final : public IMessageSink {
public:
    explicit MessageBoxSink(QWidget* owner) : owner_(owner) {}
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;

private:
    QWidget* owner_;
};

}  // namespace dw
