#pragma once
// The twenty stored fields of the project properties, in one table: for each,
// how a change of it leaves the created music (the mark the control panel sets
// when the user edits it and the one undo and redo set when they put it back),
// and its row in the control panel (caption, kind of control, ids, places in
// dialog units, limits). The panel builds its rows from the table and undo
// takes its marks from it, so the two cannot disagree. Free of Qt.
//
// Table order is the panel's, top to bottom (which is also its tab order);
// the fields without a control of their own (the trim range, edited by the
// Trim dialog, and the sample rate, which follows the quality) come last.

#include <cstdint>
#include <span>
#include <string_view>

namespace dw {

class CProperties;

// What a change makes of the created music, as the project's musicOutdated
// holds it.
enum class OutdatedMark : std::uint32_t {
    None = 0,      // applied as played (effects, encoder) or following another field
    Finishing = 2, // only the final pass must run again (volume, fades, quality)
    Creation = 1,  // the engine must create the music again
};

// musicOutdated after a change marked `mark`: a creation outranks a finishing
// pass, which outranks nothing.
std::uint32_t MarkMusic(std::uint32_t musicOutdated, OutdatedMark mark);

// The kind of control a field has in the panel.
enum class PanelControl {
    None,          // no control of its own
    Source,        // "Select music source", "Trim" and the file name
    MusicLength,   // the mm:ss picker
    MotifLength,   // the seconds edit box
    CheckLeft,     // caption, then a check box in the value column
    CheckRight,    // a check box, then its caption beside it (switches an effect)
    Combo,         // caption and a drop-down list
    Slider,        // caption (if any), the value in percent or seconds, and a slider
};

// A rectangle in dialog units.
struct DluRect {
    int x = 0, y = 0, w = 0, h = 0;
};

struct StoredField {
    std::string_view name;  // the member of CProperties
    OutdatedMark mark;
    // Whether the field differs between two sets of properties.
    bool (*differs)(const CProperties& a, const CProperties& b);

    // The panel row.
    PanelControl control = PanelControl::None;
    std::string_view caption;  // empty: none
    int controlId = 0;
    DluRect controlRect;
    int captionId = 0;  // 0: the caption needs no id
    DluRect captionRect;
    int valueId = 0;    // the value label of a slider
    DluRect valueRect;
    int sliderMax = 0;  // the slider's range (0 to this)
};

// Every stored field once, panel rows first.
std::span<const StoredField> StoredFields();

// The field whose control has `controlId`; null when none has.
const StoredField* StoredFieldOfControl(int controlId);

// The highest mark among the fields that differ between `from` and `to`:
// Creation if any creation field changed, else Finishing if any finishing
// field changed, else None.
OutdatedMark MarkOfChanges(const CProperties& from, const CProperties& to);

}  // namespace dw
