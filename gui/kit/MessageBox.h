#pragma once
// Modal message boxes with an OK button: the one way every window shows the
// core's messages. They go through a replaceable hook, so the tests see what
// the program would show without a person clicking OK.

#include "core/model/Progress.h"

#include <QString>

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

// The core's messages shown as message boxes of the owner window; without an
// owner, of the window that is active when a box is shown.
class MessageBoxSink final : public IMessageSink {
public:
    explicit MessageBoxSink(QWidget* owner) : owner_(owner) {}
    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override;

private:
    QWidget* owner_;
};

// The sink for code that has no window of its own at hand (an owner-less
// MessageBoxSink that lives for the whole run).
IMessageSink& ActiveWindowMessageSink();

}  // namespace dw
