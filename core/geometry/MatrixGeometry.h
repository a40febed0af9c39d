#pragma once
// Geometry of the matrix editor and its row headers: how the rows tile the
// window's height, where each section's column stands, what lies under the
// mouse, which section boundary a press grabs and where a drag moves it.
//
// Plain functions of the client size and the section list, recomputed on
// every paint and every mouse event (nothing is cached, so a resize needs no
// bookkeeping). The widgets in editors/windows/ only paint what these compute
// and route their mouse events here. No Qt, no model: callers pass the section
// bounds as fractions of the music length.

#include <span>
#include <vector>

#include "core/geometry/TrimGeometry.h"
#include "core/geometry/Rect.h"

namespace dw {

// Pixel span [top, bottom) of one row. Neighbouring rows share their edge:
// bottom(i) == top(i + 1).
struct RowSpan {
    int top = 0;
    int bottom = 0;
};

// Row `row` of `rowCount` rows tiling `height` pixels: the first
// height mod rowCount rows are one pixel taller, so the rows fill the height
// exactly. A rowCount below 1 gives an empty span.
RowSpan RowBounds(int height, int rowCount, int row);
std::vector<RowSpan> TileRows(int height, int rowCount);

// Hue (0 to 1) of a row: evenly spread around the circle starting at 0.67,
// computed in single precision as the editor and the headers must agree.
float RowHue(int row, int rowCount);

// Saturation and lightness of the three row colours.
inline constexpr float kBandSaturation = 0.225f, kBandLightness = 0.2f;   // matrix row background
inline constexpr float kBarSaturation = 0.4f, kBarLightness = 0.7f;       // matrix value bars
inline constexpr float kHeaderSaturation = 0.3f, kHeaderLightness = 0.7f; // row header bands

// A section's place on the music timeline, fractions 0 to 1.
struct SectionBounds {
    double start = 0.0;
    double end = 0.0;
};

// Column of a section in pixels: trunc(start × W) to trunc(end × W).
int SectionLeft(const SectionBounds& s, int width);
int SectionRight(const SectionBounds& s, int width);

// The bar that shows `value` (0 to 1) in a cell: the cell shrunk by 3 pixels
// at the top and 1 at the bottom, filled from the bottom. A value of 0 gives
// an empty rectangle (top == bottom).
Rect ValueBar(const Rect& cell, float value);

// Value for a mouse y in a cell of rows [top, bottom): 1 at the top edge, 0 at
// the bottom edge, exactly 0 and 1 beyond them (single precision).
float ValueFromY(int y, int top, int bottom);

// The x of the line drawn after section `s`: trunc(W × end) - 1.
int BoundaryLineX(const SectionBounds& s, int width);

// What the mouse is over. -1 means none (before the mouse entered, after it
// left). Kept between mouse events: a position outside every row or section
// leaves the old value.
struct Hover {
    int row = -1;
    int section = -1;
};

// Updates `hover` for the mouse at (x, y). A y on the edge between two rows
// goes to the lower row; an x on a section boundary goes to the left section.
// Returns true when the hovered row or section changed.
bool HitTest(Hover& hover, int x, int y, int width, int height, int rowCount,
             std::span<const SectionBounds> sections);

// Whether x is within 4 pixels of an inner boundary of the hovered section.
// The outer edges of the first and last section are never boundaries.
bool NearBoundary(int hoveredSection, int x, int width, std::span<const SectionBounds> sections);

// A boundary grabbed by a left press: the two sections it separates and the
// range of mouse x that the drag accepts, fixed at the press.
struct BoundaryGrab {
    int leftSection = 0;
    int rightSection = 1;
    int minX = 0;
    int maxX = 0;
};

// Picks the boundary of the hovered section nearest to x (a tie goes to the
// left boundary). Call only when NearBoundary() holds. The first section has
// only its right boundary and the last only its left one, so a press on a
// very narrow outer column never names a boundary outside the list.
BoundaryGrab PickBoundary(int hoveredSection, int x, int width, std::span<const SectionBounds> sections);

// The new position (fraction of the music) of the grabbed boundary for mouse
// x, with x held 10 pixels inside the outer edges of the two sections as they
// stood at the press. When the two sections together are too narrow for that
// (fewer than 20 pixels), the boundary stays where it is: moving it could only
// reverse or empty a section.
double BoundaryFromX(int x, const BoundaryGrab& grab, int width, std::span<const SectionBounds> sections);

// Split Section is offered only on columns wider than 20 pixels.
bool SplitAllowed(const SectionBounds& s, int width);

// The popup menu of the editor, in menu order; 0 marks a separator.
enum MatrixCommand : int {
    ID_SPLIT_SECTION = 32779,
    ID_MERGE_SECTION = 32780,
    ID_SET_SECTION_SOURCE = 32803,
    ID_FLAT_GRAPH = 32793,
    ID_FLAT_MATRIX = 32800,
    ID_RANDOM_GRAPH = 32795,
    ID_RANDOM_MATRIX = 32798,
};
inline constexpr int kMatrixMenu[] = {ID_SPLIT_SECTION, ID_MERGE_SECTION, 0, ID_SET_SECTION_SOURCE, 0,
                                      ID_FLAT_GRAPH, ID_FLAT_MATRIX, ID_RANDOM_GRAPH, ID_RANDOM_MATRIX};

// The menu text of a command ("" for an unknown id).
constexpr const char* MatrixCommandText(int id) {
    switch (id) {
    case ID_SPLIT_SECTION: return "Split Section";
    case ID_MERGE_SECTION: return "Merge Section";
    case ID_SET_SECTION_SOURCE: return "Set Section Source";
    case ID_FLAT_GRAPH: return "Flat Graph";
    case ID_FLAT_MATRIX: return "Flat Matrix";
    case ID_RANDOM_GRAPH: return "Random Graph";
    case ID_RANDOM_MATRIX: return "Random Matrix";
    default: return "";
    }
}

// The part of the trimmed source that a section covers by its share of the
// music: trimStart + start × (trimEnd - trimStart) to the same with end.
FractionRange SectionDefaultRange(const SectionBounds& s, double trimStart, double trimEnd);

// What the source-range dialog opens with: the section's own range when it
// has one (sourceStart is not -1), else the default range. A range with its
// own start but a default end (what a merge can leave) ends where the default
// range ends, but not before its start.
FractionRange InitialSectionRange(double sourceStart, double sourceEnd, const FractionRange& defaultRange);

// What a confirmed range is stored as: (-1, -1), "follow the trim range", when
// it equals the default range exactly at both ends, else the range itself.
FractionRange StoredSectionRange(const FractionRange& confirmed, const FractionRange& defaultRange);

}  // namespace dw
