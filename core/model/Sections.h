#pragma once
// The sections of the music to create: consecutive ranges of the music
// timeline, each with its own column of the matrix and its own range of the
// music source. Split and merge here are always paired with the matrix's
// SplitColumn and MergeColumn at the same index.
//
// Invariants kept by every operation: at least one section; the first starts
// at 0 and the last ends at 1; items[i].end == items[i+1].start; start < end.
// An index outside the list throws std::invalid_argument and changes nothing.

#include <cstdint>
#include <vector>

namespace dw {

class CProjectArchive;

// Marks a section's default source range: its proportional share of the trim range.
inline constexpr double kDefaultSourceRange = -1.0;

struct CSection {
    double start = 0.0;        // fraction of the music length
    double end = 0.0;          // fraction of the music length
    double sourceStart = kDefaultSourceRange;  // fraction of the whole source, or -1
    double sourceEnd = kDefaultSourceRange;    // fraction of the whole source, or -1

    // Only sourceStart decides the form: a -1 end with an explicit start is
    // the mixed form that merging an explicit with a default section leaves.
    bool HasDefaultSourceRange() const { return sourceStart == kDefaultSourceRange; }

    bool operator==(const CSection&) const = default;
};

// A section's source range in frames of the decoded source: [first, end).
struct FrameRange {
    std::int64_t first = 0;
    std::int64_t end = 0;
    bool operator==(const FrameRange&) const = default;
};

// A section's source range as fractions of the whole source.
struct SourceRange {
    double start = 0.0;
    double end = 0.0;
    bool operator==(const SourceRange&) const = default;
};

class CSections {
public:
    // Starts with the four default sections.
    CSections();

    // Four sections [0, .25], [.25, .5], [.5, .75], [.75, 1] with default source ranges.
    void SetDefaults();

    int Count() const { return static_cast<int>(items.size()); }

    // Bounds-checked access; throws std::invalid_argument.
    const CSection& At(int index) const;

    // Cuts section `index` in two halves at its middle, source range included
    // (a default range stays default in both halves).
    void Split(int index);

    // Joins section `index` with the next one; nothing happens for the last.
    void Merge(int index);

    // The section that holds `position` (start <= position < end); 0 for a
    // position outside [0, 1] and for exactly 1.
    int FindSection(double position) const;

    // The section's source range in frames of a source of `sourceFrameCount`
    // frames, truncating toward zero. A mixed range (explicit start, default
    // end) resolves to the explicit start and the end of the section's
    // default range, never before the start.
    FrameRange ResolveSourceRange(int index, std::uint32_t sourceFrameCount, double trimStart,
                                  double trimEnd) const;

    // The section's default source range as fractions of the whole source:
    // its share of the trim range.
    SourceRange DefaultSourceRange(int index, double trimStart, double trimEnd) const;

    // Reads or writes the sections block of the project file.
    void Serialize(CProjectArchive& archive);
    void Serialize(CProjectArchive& archive) const;

    std::vector<CSection> items;

private:
    void CheckIndex(int index) const;
    template <class Self>
    static void SerializeFields(Self& self, CProjectArchive& archive);
};

}  // namespace dw
