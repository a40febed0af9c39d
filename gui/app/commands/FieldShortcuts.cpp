#include "gui/app/commands/FieldShortcuts.h"

#include "gui/kit/PendingEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

namespace dw {

namespace {
// The line edit that holds a field's typing: the field itself, or the one
// inside a spin box or time picker.
QLineEdit* TypingOf(QWidget* field) {
    if (auto* edit = qobject_cast<QLineEdit*>(field)) return edit;
    return field->findChild<QLineEdit*>();
}
}  // namespace

FieldShortcuts::FieldShortcuts(QWidget* window) : QObject(window), window_(window) {
    qApp->installEventFilter(this);
}

FieldShortcuts::~FieldShortcuts() {
    if (qApp) qApp->removeEventFilter(this);
}

bool FieldShortcuts::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !window_) return false;
    auto* field = qobject_cast<QWidget*>(watched);
    if (!field || field->window() != window_ || !IsTextField(field)) return false;
    const QKeySequence keys(static_cast<QKeyEvent*>(event)->keyCombination());
    // Returning true with the event not accepted hands the key to the
    // shortcuts instead of the field.
    for (const QKeySequence& k : commandKeys_)
        if (k == keys) return true;
    const QLineEdit* typing = TypingOf(field);
    if (!typing || typing->isReadOnly()) return false;
    if (keys == QKeySequence(QStringLiteral("Ctrl+Z"))) return !typing->isUndoAvailable();
    if (keys == QKeySequence(QStringLiteral("Ctrl+Shift+Z")) || keys == QKeySequence(QStringLiteral("Ctrl+Y")))
        return !typing->isRedoAvailable();
    return false;
}

}  // namespace dw
