#pragma once
// The dialogs of the project commands: the project file dialog in its two
// modes, and the question "Save project?". Both are ordinary modal dialogs
// with object names, so the tests find and answer the real ones.

#include "core/model/ProjectCommands.h"

#include <QString>

#include <optional>

class QWidget;

namespace dw {

inline constexpr const char* kProjectFileDialogName = "project-file-dialog";
inline constexpr const char* kSaveQuestionName = "save-project-question";

// The filter as Qt writes it: the entry's text is "Driftwell Project(*.dwv)",
// matching "*.dwv".
QString ProjectFileFilter();

// Owned by `owner`, with the system's title for the mode, the default
// extension "dwv" and "*.dwv" as the initial name; resizable. The full chosen
// path, or none when the user cancelled. Saving over a file asks first.
std::optional<QString> RunProjectFileDialog(QWidget* owner, FileDialogMode mode);

// "Save project?" with Yes, No and Cancel; Escape and the close box answer
// Cancel.
SaveAnswer AskSaveProjectQuestion(QWidget* owner);

}  // namespace dw
