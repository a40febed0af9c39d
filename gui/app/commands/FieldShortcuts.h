#pragma once
// Lets the main window's shortcuts through while a text field has the focus.
//
// A line edit claims many control keys for itself before any shortcut sees
// them: on this platform Ctrl+E moves to the end of the line, and Ctrl+Z and
// Ctrl+Y undo and redo its own typing. Write Music to File must still come
// from Ctrl+E, and the project's undo must still come from Ctrl+Z when the
// field has nothing of its own to take back (a field keeps the focus after
// Enter, with its own history emptied by the committed value). While the
// user is typing, the field's own undo and redo apply.

#include <QKeySequence>
#include <QObject>
#include <QPointer>

#include <vector>

class QWidget;

namespace dw {

class FieldShortcuts final : public QObject {
public:
    // Watches the fields inside `window`; installs itself on the application
    // and is owned by `window`.
    explicit FieldShortcuts(QWidget* window);
    ~FieldShortcuts() override;

    // Keys that always reach the window's shortcuts.
    void AddCommandKeys(const QKeySequence& keys) { commandKeys_.push_back(keys); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    std::vector<QKeySequence> commandKeys_;
};

}  // namespace dw
