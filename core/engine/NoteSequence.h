#pragma once
// Notes, note sequences and the fractal curve: the data that planning and
// sequencing build and that the renderer walks along.
//
// A motif is a short `CNoteSequence` whose notes name source frames; the score
// is one long sequence that covers the whole created music. Built once per
// creation on the creating thread; the renderer then asks the score for source
// positions in increasing output order through its cursor.
//
// Arithmetic: where a formula names 32-bit floats they are used; every other
// real-valued expression is evaluated in 64-bit doubles, matrix values (32-bit
// floats) widened exactly first. Conversions to integers truncate toward zero.

#include <cstdint>
#include <vector>

namespace dw {

class Random;

struct CNote {
    std::int32_t position = 0;  // source frame the note's material is taken from
    std::int32_t body = 0;      // output frames of grains around `position`
    std::int32_t blend = 0;     // output frames, after the body, blending towards the next note

    bool operator==(const CNote&) const = default;
};

// A one-dimensional midpoint displacement in [0, 1]; lays out the note
// positions of a motif when the fractal scanner is on.
class CFractalCurve {
public:
    // `count` values from `first` to `last`, midpoints displaced at random
    // (pre-order: left half before right half), less at every level; one
    // draw from `random` per midpoint.
    void Init(std::uint32_t count, float first, float last, float roughness, Random& random);

    // Linear interpolation of the values at t in [0, 1] (clamped).
    float At(double t) const;

    std::uint32_t count = 0;
    std::vector<float> values;
    std::uint32_t levels = 0;

private:
    void Fill(std::uint32_t depth, std::uint32_t lo, std::uint32_t hi, float roughness, Random& random);
};

class CNoteSequence {
public:
    CNoteSequence() = default;
    // Copies notes and parameters; the copy's cursor starts again at note 0.
    CNoteSequence(const CNoteSequence& other);
    CNoteSequence& operator=(const CNoteSequence& other);
    CNoteSequence(CNoteSequence&&) noexcept = default;
    CNoteSequence& operator=(CNoteSequence&&) noexcept = default;

    // Builds a motif of `length` output frames whose notes spread over
    // `range` source frames from `base`. Draws from `random` when `fractal`
    // is set (two draws for the end points, one per midpoint).
    void InitMotif(std::int32_t base, std::uint32_t range, bool fractal, bool loop,
                   std::int32_t sampleRate, double noteSeconds, std::uint32_t length, Random& random);

    // Cursor back to note 0. `next` never points past the last note, so a
    // one-note sequence blends towards itself.
    void ResetCursor();

    // Copies notes and parameters of `other` and resets the cursor.
    void CopyFrom(const CNoteSequence& other);

    // The source frame for output frame `p`. Frames must be asked in
    // increasing order (the cursor passes at most one note per call); draws
    // one number from `random` when `p` falls in a blend.
    std::int32_t SourcePosition(std::int64_t p, Random& random);

    // Output frames the notes add up to.
    std::int64_t NotesLength() const;

    std::vector<CNote> notes;
    std::int32_t base = 0;
    std::uint32_t range = 0;
    std::uint32_t length = 0;
    bool fractal = false;
    bool loop = false;
    std::int32_t sampleRate = 0;
    std::int32_t current = 0;
    std::int32_t next = 0;
    std::uint32_t currentStart = 0;
    std::uint32_t currentLength = 0;
};

}  // namespace dw
