#pragma once
// A value the user is still typing (the music length picker, the base motif
// length) reaches the project only when its field commits it: on Enter, or
// when the field loses the keyboard focus. Commands that read or replace the
// project (Play, Save, Open, New, closing, Write Music to File, Trim) are
// started by buttons that take no focus and by shortcuts, so without help
// they would act on the old value and the typed one would be lost.

class QWidget;

namespace dw {

// Fields that take typed text: where Space types a blank rather than plays,
// and where a value may be waiting to be committed.
bool IsTextField(const QWidget* w);

// Commits a value still being typed in the focused text field by taking the
// focus from it, exactly as a click elsewhere would; the field's own commit
// handler then runs before this returns. Nothing happens without such a field.
void CommitPendingEdit();

}  // namespace dw
