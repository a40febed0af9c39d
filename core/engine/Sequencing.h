#pragma once
// The plan of one section and the two motif operations of sequencing: the
// random displacement of a repetition's notes and the crossfade at the end of
// a section's last repetition. Used by CMusicEngine while it builds the score.

#include <cstdint>

#include "core/engine/NoteSequence.h"

namespace dw {

class CMatrix;
class Random;

// The plan of one section: where it lies in the created music and in the
// source, and its motif.
struct CPSection {
    std::int32_t section = 0;
    std::int32_t outputStart = 0;  // first output frame
    std::int32_t outputEnd = 0;    // end output frame (this frame still belongs to the section)
    std::int32_t sourceStart = 0;  // first source frame
    std::int32_t sourceEnd = 0;    // end source frame
    CNoteSequence motif;
};

// Matrix value (graph, column) widened to double and held in [0, 1]; a NaN
// reads as 0. The editors keep values in range; this keeps a hand-made or
// damaged project from steering the arithmetic outside the buffers. A column
// the matrix does not have reads as 0.
double MatrixValue(const CMatrix& matrix, int graph, int column);

// Grain length in frames for a Granulation value: from 2 s at 0 down to 0.5 s
// at 1. Shared by the sequencer (grain room at the end of a source range) and
// the renderer.
std::uint32_t GrainLengthFrames(double granulation, std::int32_t sampleRate);
double GrainSeconds(double granulation);

// A copy of `src` whose notes each move by exactly amount * 5 s of frames,
// forward or backward at random (one draw from `random` per note, also for
// amount 0), then held in [lower, upper]. A looping motif keeps its first and
// last notes.
CNoteSequence Vary(const CNoteSequence& src, std::int32_t lower, std::int32_t upper, double amount, Random& random);

// Turns the last `length * amount` frames of the motif into one blend from
// the note where they begin towards whatever follows; later notes are removed.
// The motif keeps its total length.
void ShortenForTransition(CNoteSequence& motif, double amount);

}  // namespace dw
