#include "core/engine/NoteSequence.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/model/Random.h"

namespace dw {

// ---------------------------------------------------------------- fractal curve

void CFractalCurve::Init(std::uint32_t pointCount, float first, float last, float roughness, Random& random) {
    count = pointCount;
    values.assign(count, 0.0f);
    if (count == 0) return;
    values[0] = first;
    values[count - 1] = last;
    // log(count) is rounded to a 32-bit float before the division by log(2),
    // which is a double; the quotient is a double.
    const float logCount = static_cast<float>(std::log(static_cast<double>(count)));
    levels = static_cast<std::uint32_t>(static_cast<double>(logCount) / std::log(2.0)) + 1;
    if (count >= 2) Fill(0, 0, count - 1, roughness, random);
}

void CFractalCurve::Fill(std::uint32_t depth, std::uint32_t lo, std::uint32_t hi, float roughness, Random& random) {
    while (hi > lo + 1) {
        const std::uint32_t mid = (lo + hi) / 2;
        const float avg = (values[lo] + values[hi]) * 0.5f;
        // depth / levels as a 32-bit float quotient (not an integer division,
        // which would keep the amplitude at 1 on every level).
        const float amplitude =
            std::pow(1.0f - static_cast<float>(depth) / static_cast<float>(levels), roughness);
        const float half = amplitude * 0.5f;
        const double r = random.Fraction();
        double v = avg - 0.5 * half + r * half;
        if (v <= 0.0) v = 0.0;
        if (v >= 1.0) v = 1.0;
        values[mid] = static_cast<float>(v);
        Fill(depth + 1, lo, mid, roughness, random);
        depth = depth + 1;
        lo = mid;
    }
}

float CFractalCurve::At(double t) const {
    if (count == 0) return 0.0f;
    if (t <= 0.0 || count == 1) return values[0];
    if (t >= 1.0) return values[count - 1];
    const float x = static_cast<float>(t * static_cast<double>(count - 1));
    std::uint32_t k = static_cast<std::uint32_t>(x);
    if (k > count - 2) k = count - 2;
    return values[k] + (values[k + 1] - values[k]) * (x - static_cast<float>(k));
}

// ---------------------------------------------------------------- note sequence

CNoteSequence::CNoteSequence(const CNoteSequence& other) { CopyFrom(other); }

CNoteSequence& CNoteSequence::operator=(const CNoteSequence& other) {
    if (this != &other) CopyFrom(other);
    return *this;
}

void CNoteSequence::CopyFrom(const CNoteSequence& other) {
    notes = other.notes;
    base = other.base;
    range = other.range;
    length = other.length;
    fractal = other.fractal;
    loop = other.loop;
    sampleRate = other.sampleRate;
    ResetCursor();
}

void CNoteSequence::InitMotif(std::int32_t motifBase, std::uint32_t motifRange, bool useFractal,
                              bool useLoop, std::int32_t rate, double noteSeconds,
                              std::uint32_t motifLength, Random& random) {
    notes.clear();
    base = motifBase;
    range = motifRange;
    length = motifLength;
    sampleRate = rate;
    fractal = useFractal;
    loop = useLoop;

    // Whole seconds of the motif (integer division), then at least two notes.
    const std::uint32_t wholeSeconds = rate > 0 ? motifLength / static_cast<std::uint32_t>(rate) : 0;
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::max(2.0, static_cast<double>(wholeSeconds) / noteSeconds));
    const std::uint32_t l = motifLength / n;
    const std::int32_t body = static_cast<std::int32_t>(l / 2);
    const std::int32_t blend = static_cast<std::int32_t>(l - l / 2);
    notes.assign(n, CNote{0, body, blend});

    if (useFractal) {
        const float r1 = static_cast<float>(random.Fraction());
        const float r2 = static_cast<float>(random.Fraction());
        CFractalCurve curve;
        curve.Init(n, r1, r2, 1.0f, random);
        for (std::uint32_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / static_cast<double>(n - 1);
            notes[i].position = static_cast<std::int32_t>(
                static_cast<double>(curve.At(t)) * static_cast<double>(motifRange) + motifBase);
        }
    } else {
        const std::uint32_t step = motifRange / n;
        for (std::uint32_t i = 0; i < n; ++i)
            notes[i].position = static_cast<std::int32_t>(motifBase + static_cast<std::int64_t>(i) * step);
    }
    if (useLoop) notes[0].position = notes[n - 1].position;

    ResetCursor();
}

void CNoteSequence::ResetCursor() {
    current = 0;
    next = notes.size() > 1 ? 1 : 0;
    currentStart = 0;
    currentLength = notes.empty() ? 0 : static_cast<std::uint32_t>(notes[0].body + notes[0].blend);
}

std::int64_t CNoteSequence::NotesLength() const {
    std::int64_t total = 0;
    for (const CNote& n : notes) total += static_cast<std::int64_t>(n.body) + n.blend;
    return total;
}

std::int32_t CNoteSequence::SourcePosition(std::int64_t p, Random& random) {
    if (notes.empty()) return 0;
    if (p < 0) return notes[0].position;
    if (p >= static_cast<std::int64_t>(length)) return notes.back().position;

    if (static_cast<std::int64_t>(currentStart) + currentLength < p) {
        current = next;
        if (static_cast<std::size_t>(next) + 1 < notes.size()) ++next;
        currentStart += currentLength;
        const CNote& now = notes[static_cast<std::size_t>(current)];
        currentLength = static_cast<std::uint32_t>(now.body + now.blend);
    }

    const CNote& note = notes[static_cast<std::size_t>(current)];
    const std::int64_t x = p - static_cast<std::int64_t>(currentStart);
    if (x < note.body) {
        // One full sine period across the body, as wide as the note is long.
        const double s = note.body <= 1
                             ? 0.0
                             : std::sin(2.0 * std::numbers::pi * static_cast<double>(x) /
                                        static_cast<double>(note.body - 1));
        const double qd = static_cast<double>(note.position) + s * static_cast<double>(currentLength);
        const std::int64_t q = static_cast<std::int64_t>(qd);
        const std::int64_t top = static_cast<std::int64_t>(base) + range - 1;
        if (q < 1) return 0;
        if (q >= top) return static_cast<std::int32_t>(top);
        return static_cast<std::int32_t>(q);
    }

    // Blend: the chance of the next note's position rises along a raised
    // cosine. t is a real quotient in doubles (an integer division would
    // keep it at 0 until the very end of the blend).
    double t = 0.0;
    if (note.blend > 1) {
        t = static_cast<double>(x - note.body) / static_cast<double>(note.blend - 1);
        t = std::clamp(t, 0.0, 1.0);
    }
    const double w = (std::sin(std::numbers::pi * t + 3.0 * std::numbers::pi / 2.0) + 1.0) / 2.0;
    const double r = random.Fraction();
    if ((r + w) / 2.0 >= 0.5) return notes[static_cast<std::size_t>(next)].position;
    return note.position;
}

}  // namespace dw
