#pragma once
// Geometry of the trim dialog: the wave area and the position bar, the
// waveform's columns and their peaks, picking an edge of the selected range
// or starting a new selection, moving and swapping the edges, the play marker
// and the cursor shown under the mouse, and the time ruler under the wave.
//
// All x here are relative to the left edge of the wave area (w pixels wide);
// a pixel p stands for the fraction p / (w - 1) of the source. Pure functions
// of the user-interface thread; no Qt, no model.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/geometry/Ruler.h"

namespace dw {

// A source range, fractions of the whole decoded source.
struct FractionRange {
    double start = 0.0;
    double end = 0.0;
    friend bool operator==(const FractionRange&, const FractionRange&) = default;
};

struct TrimLayout {
    int width = 0;       // w: width of the drawing rectangle
    int waveHeight = 0;  // h: height of the wave area; the position bar is the 30 pixels below it
    int Height() const { return waveHeight + kPositionBarHeight; }
    static constexpr int kPositionBarHeight = 30;
};

// The drawing rectangle is the frame's rectangle shrunk by 2 on every side.
TrimLayout TrimLayoutFor(int frameWidth, int frameHeight);

// Peak levels of both channels around one column's frame.
struct Peak {
    float left = 0.0f;
    float right = 0.0f;
    friend bool operator==(const Peak&, const Peak&) = default;
};

// Frame shown by column i of w: trunc(i / (w - 1) × (frameCount - 1)).
std::uint32_t ColumnFrame(int column, int width, std::uint32_t frameCount);

// Largest absolute values of every 100th frame from max(n - 500, 0) to
// min(n + 500, frameCount - 1). `frames` holds interleaved left/right floats,
// frameCount frames of them.
Peak PeakAt(const float* frames, std::uint32_t frameCount, std::uint32_t n);

// The peaks of every column, computed once per source and width and kept, so
// that a paint only reads w values whatever the length of the source.
class WavePeakCache {
public:
    const std::vector<Peak>& Get(const float* frames, std::uint32_t frameCount, int width);
    void Clear();

private:
    const float* frames_ = nullptr;
    std::uint32_t frameCount_ = 0;
    int width_ = -1;
    std::vector<Peak> peaks_;
};

// Where a press in the wave area lands.
enum class TrimEdge { None, Start, End };

// The edge within 4 pixels of x, the start edge first; None starts a new
// selection. s = trunc(w × start), e = trunc(w × end).
TrimEdge GrabEdge(int x, const FractionRange& range, int width);

// Clamps x to the columns of the wave area, 0 to w - 1.
int ClampToWave(int x, int width);

// Moves the grabbed edge to x (clamped). When the end falls below the start,
// the two swap and the drag continues on the other edge: the returned edge is
// the one now grabbed. The range never becomes empty: an edge dropped exactly
// on the other stays one pixel short of it.
TrimEdge MoveEdge(FractionRange& range, TrimEdge grabbed, int x, int width);

// A new selection from the anchor to x, at least 5 pixels wide, within 0 to 1
// (in the last columns the minimum width grows to the left).
FractionRange NewSelection(int anchor, int x, int width);

// Cursor under the mouse (x relative to the wave area, y to the drawing
// rectangle's top).
enum class TrimCursor { Arrow, Position, StartEdge, EndEdge };
TrimCursor CursorAt(int x, int y, const FractionRange& range, const TrimLayout& layout);

// Frame that playback starts at for a marker: trunc(marker / (w - 1) × frameCount).
std::uint32_t MarkerFrame(int marker, int width, std::uint32_t frameCount);

// Marker that follows playback: trunc(played / frameCount × w).
int MarkerForFrame(std::uint64_t frame, std::uint32_t frameCount, int width);

// What the 100 ms timer does while playing.
enum class TrimTick { Ended, RestartRange, Follow };
TrimTick TrimTimerStep(bool active, bool playRange, std::uint64_t frame, std::uint32_t frameCount,
                       const FractionRange& range);

// The trim dialog's ruler: tick i at trunc(i × w / 50) + 1, labelled with the
// source time at the tick, the source's length counted in whole seconds.
std::vector<RulerTick> SourceTicks(int width, std::uint32_t sourceFrameCount, std::uint32_t sampleRate);

}  // namespace dw
