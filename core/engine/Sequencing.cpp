#include "core/engine/Sequencing.h"

#include <algorithm>
#include <cmath>

#include "core/model/Matrix.h"
#include "core/model/Random.h"

namespace dw {

double MatrixValue(const CMatrix& matrix, int graph, int column) {
    if (graph < 0 || graph >= kGraphCount || column < 0) return 0.0;
    const auto& row = matrix.rows[static_cast<std::size_t>(graph)];
    if (static_cast<std::size_t>(column) >= row.size()) return 0.0;
    const double v = static_cast<double>(row[static_cast<std::size_t>(column)]);
    if (!(v > 0.0)) return 0.0;  // also NaN
    return v < 1.0 ? v : 1.0;
}

double GrainSeconds(double granulation) {
    const double l = 0.25 + 1.75 * (1.0 - granulation);
    return l + granulation * l;
}

std::uint32_t GrainLengthFrames(double granulation, std::int32_t sampleRate) {
    return static_cast<std::uint32_t>(GrainSeconds(granulation) * static_cast<double>(sampleRate));
}

CNoteSequence Vary(const CNoteSequence& src, std::int32_t lower, std::int32_t upper, double amount, Random& random) {
    CNoteSequence result(src);
    const std::int64_t n = static_cast<std::int64_t>(src.notes.size());
    const std::int64_t first = src.loop ? 1 : 0;
    const std::int64_t last = src.loop ? n - 2 : n - 1;
    // Up to ten seconds of frames, multiplied in this order in doubles.
    const std::int64_t v = static_cast<std::int64_t>(amount * 10.0 * static_cast<double>(src.sampleRate));
    for (std::int64_t i = first; i <= last; ++i) {
        const double r = random.Fraction();
        const std::int64_t sign = r >= 0.5 ? 1 : -1;
        std::int64_t p = static_cast<std::int64_t>(src.notes[static_cast<std::size_t>(i)].position) + sign * (v / 2);
        p = std::max<std::int64_t>(p, lower);
        p = std::min<std::int64_t>(p, upper);
        result.notes[static_cast<std::size_t>(i)].position = static_cast<std::int32_t>(p);
    }
    return result;
}

void ShortenForTransition(CNoteSequence& motif, double amount) {
    if (motif.notes.empty()) return;
    const std::int64_t t = static_cast<std::int64_t>(static_cast<double>(motif.length) * amount);
    std::int64_t total = 0;
    std::int64_t i = static_cast<std::int64_t>(motif.notes.size()) - 1;
    while (i >= 0) {
        const CNote& note = motif.notes[static_cast<std::size_t>(i)];
        total += static_cast<std::int64_t>(note.body) + note.blend;
        if (total >= t) break;
        --i;
    }
    // When the notes add up to less than the transition the walk ends before
    // note 0, which then keeps the whole motif as one blend.
    const std::size_t b = static_cast<std::size_t>(std::max<std::int64_t>(i, 0));
    motif.notes[b].blend = static_cast<std::int32_t>(t);
    motif.notes[b].body = static_cast<std::int32_t>(total - t);
    motif.notes.resize(b + 1);
    motif.ResetCursor();
}

}  // namespace dw
