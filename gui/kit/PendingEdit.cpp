#include "gui/kit/PendingEdit.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace dw {

bool IsTextField(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

void CommitPendingEdit() {
    // Losing the focus is the one commit every field understands (a line
    // edit and a spin box both report editingFinished), and it runs
    // synchronously: the handler has stored the value when clearFocus returns.
    if (QWidget* focus = QApplication::focusWidget(); IsTextField(focus)) focus->clearFocus();
}

}  // namespace dw
