#pragma once
// Geometry and arithmetic of the timeline under the matrix editor: its time
// ruler, the motif blocks, the play cursor from a mouse x, and the
// conversions between fractions of the music and byte positions of the
// playback stream.
//
// Pure functions, called on every paint and mouse event of the user-interface
// thread. No Qt, no model.

#include <cstdint>
#include <vector>

#include "core/geometry/Ruler.h"

namespace dw {

// The timeline's ruler: tick i at trunc(i × W / 50) + 1 (step as a double),
// labelled with i / 50 of `musicLength` seconds.
std::vector<RulerTick> TimelineTicks(int width, std::uint32_t musicLength);

// One base motif along the top of the timeline; the last one may run past
// the right edge.
struct MotifBlock {
    int left = 0;
    int width = 0;
    bool dark = true;  // even blocks dark, odd ones light
    friend bool operator==(const MotifBlock&, const MotifBlock&) = default;
};

// ceil(musicLength / baseMotifLength) blocks of W × m / L pixels each. No
// blocks for a zero length or motif (a project file can hold anything).
std::vector<MotifBlock> MotifBlocks(int width, std::uint32_t musicLength, double baseMotifLength);

// Play cursor for a mouse x: x / W, exactly 0 at or left of the left edge and
// exactly 1 at or beyond the right edge.
double CursorFromX(int x, int width);

// x of the play cursor: trunc(W × cursor).
int CursorX(double cursor, int width);

// Frames of the created music: sampleRate × musicLength as a 32-bit product.
std::uint32_t MusicFrames(std::uint32_t sampleRate, std::uint32_t musicLength);

// Frame that a fraction of the music seeks to: trunc(f × frames).
std::uint32_t SeekFrame(double fraction, std::uint32_t frames);

// Played fraction of the music at a frame position: frame / (frames - 1).
// A music of fewer than two frames counts as played to its start.
double PlayedFraction(std::uint64_t frame, std::uint32_t frames);

// What the time display shows: the played fraction while the stream is
// active, else the hovered x / (W - 1) while the mouse is over the timeline
// (mouseX is not -1), else the play cursor.
double CurrentFractionOf(bool active, std::uint64_t frame, std::uint32_t frames, int mouseX, int width,
                         double playCursor);

}  // namespace dw
