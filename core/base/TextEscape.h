#pragma once
// Text that comes from files (a source path stored in a project, a tag, a
// decoder's message) may hold control characters. Printed raw, an escape
// sequence can retitle the user's terminal or rewrite what is on screen, and a
// newline can forge a second message line. Every message that shows such text,
// on the command line and in the program's windows, passes it through here.

#include <string>
#include <string_view>

namespace dw {

// `text` with every C0 control character (U+0000..U+001F), DEL and every C1
// control (U+0080..U+009F, as UTF-8 or as a lone byte) written as a visible
// escape: \n, \r, \t, \e for ESC, \\ for a backslash, \xHH for the rest, and
// \u{HHHH} for C1 controls encoded in UTF-8 and for the controls that
// reorder text (bidirectional embeddings, overrides and isolates U+202A..202E
// and U+2066..2069, the marks U+200E, U+200F and U+061C). Bytes that are not valid UTF-8
// are written as \xHH, so the result is always valid UTF-8. Printable text,
// including any other non-ASCII character, is kept as it is.
std::string EscapeForDisplay(std::string_view text);

}  // namespace dw
