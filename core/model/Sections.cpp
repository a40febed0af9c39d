#include "core/model/Sections.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "core/model/ProjectArchive.h"

namespace dw {
namespace {

// trunc(v) as a frame number, without the undefined conversion of a NaN or
// of a value beyond the 64-bit range.
std::int64_t TruncFrame(double v) {
    if (std::isnan(v)) return 0;
    constexpr double kLimit = 9.0e18;
    if (v >= kLimit) return static_cast<std::int64_t>(kLimit);
    if (v <= -kLimit) return -static_cast<std::int64_t>(kLimit);
    return static_cast<std::int64_t>(v);
}

constexpr std::int32_t kSectionRecordBytes = 32;

}  // namespace

CSections::CSections() { SetDefaults(); }

void CSections::SetDefaults() {
    items.clear();
    items.push_back({0.0, 0.25});
    items.push_back({0.25, 0.5});
    items.push_back({0.5, 0.75});
    items.push_back({0.75, 1.0});
}

void CSections::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw std::invalid_argument("section index " + std::to_string(index) + " outside 0 to " +
                                    std::to_string(Count() - 1));
}

const CSection& CSections::At(int index) const {
    CheckIndex(index);
    return items[static_cast<std::size_t>(index)];
}

void CSections::Split(int index) {
    CheckIndex(index);
    const CSection old = items[static_cast<std::size_t>(index)];
    CSection first = old;
    CSection second = old;
    const double mid = (old.start + old.end) * 0.5;
    first.end = mid;
    second.start = mid;
    if (old.HasDefaultSourceRange()) {
        // Both halves keep the default form. (A stored end beside a default
        // start means nothing; averaging it with -1 would turn the second half
        // into an explicit range below 0.)
        first.sourceStart = first.sourceEnd = kDefaultSourceRange;
        second.sourceStart = second.sourceEnd = kDefaultSourceRange;
    } else if (old.sourceEnd < 0.0) {
        // Mixed form: explicit start, default end. The first half keeps the
        // start and still ends at its own default end; the second half takes
        // its default share, instead of the mean of a fraction and -1.
        second.sourceStart = second.sourceEnd = kDefaultSourceRange;
    } else {
        const double srcMid = (old.sourceStart + old.sourceEnd) * 0.5;
        first.sourceEnd = srcMid;
        second.sourceStart = srcMid;
    }
    items[static_cast<std::size_t>(index)] = first;
    items.insert(items.begin() + index + 1, second);
}

void CSections::Merge(int index) {
    if (index < 0) CheckIndex(index);
    // Merging the last section (or beyond it) is a no-op, not an error: the
    // editor offers the command on every section.
    if (index >= Count() - 1) return;
    auto& first = items[static_cast<std::size_t>(index)];
    const auto& next = items[static_cast<std::size_t>(index) + 1];
    first.end = next.end;
    first.sourceEnd = next.sourceEnd;
    items.erase(items.begin() + index + 1);
}

int CSections::FindSection(double position) const {
    if (!(position >= 0.0 && position <= 1.0)) return 0;
    for (int i = 0; i < Count(); ++i) {
        const auto& s = items[static_cast<std::size_t>(i)];
        if (s.start <= position && position < s.end) return i;
    }
    return 0;
}

FrameRange CSections::ResolveSourceRange(int index, std::uint32_t sourceFrameCount, double trimStart,
                                         double trimEnd) const {
    CheckIndex(index);
    const auto& s = items[static_cast<std::size_t>(index)];
    const double n = static_cast<double>(sourceFrameCount);
    const auto defaultRange = [&] {
        const std::int64_t c = TruncFrame(trimStart * n);
        const std::int64_t d = TruncFrame(trimEnd * n) - c - 1;
        return FrameRange{TruncFrame(static_cast<double>(c) + static_cast<double>(d) * s.start),
                          TruncFrame(static_cast<double>(c) + static_cast<double>(d) * s.end)};
    };
    FrameRange range;
    if (s.HasDefaultSourceRange()) {
        range = defaultRange();
    } else if (s.sourceEnd < 0.0) {
        // Mixed form (explicit start, default end), left by merging an
        // explicit section with a default one: the explicit start and the
        // end of the section's default share.
        range.first = TruncFrame(s.sourceStart * n);
        range.end = defaultRange().end;
    } else {
        range.first = TruncFrame(s.sourceStart * n);
        range.end = TruncFrame(s.sourceEnd * n);
    }
    // Whatever the stored fractions, the frames lie inside the source and the
    // range never runs backwards.
    const auto count = static_cast<std::int64_t>(sourceFrameCount);
    if (range.first < 0) range.first = 0;
    if (range.first > count) range.first = count;
    if (range.end < range.first) range.end = range.first;
    if (range.end > count) range.end = count;
    return range;
}

SourceRange CSections::DefaultSourceRange(int index, double trimStart, double trimEnd) const {
    CheckIndex(index);
    const auto& s = items[static_cast<std::size_t>(index)];
    return {trimStart + s.start * (trimEnd - trimStart), trimStart + s.end * (trimEnd - trimStart)};
}

template <class Self>
void CSections::SerializeFields(Self& self, CProjectArchive& archive) {
    if (archive.IsLoading()) {
        if constexpr (!std::is_const_v<Self>) {
            self.items.clear();
            const std::int32_t count = archive.ReadInt32();
            if (count <= 0) return;
            // Nothing is allocated for records the file does not hold.
            archive.RequireRemaining(static_cast<std::uint64_t>(count) * kSectionRecordBytes);
            self.items.reserve(static_cast<std::size_t>(count));
            for (std::int32_t i = 0; i < count; ++i) {
                CSection s;
                s.start = archive.ReadDouble();
                s.end = archive.ReadDouble();
                s.sourceStart = archive.ReadDouble();
                s.sourceEnd = archive.ReadDouble();
                self.items.push_back(s);
            }
        }
        return;
    }
    archive.WriteInt32(static_cast<std::int32_t>(self.items.size()));
    for (const CSection& s : self.items) {
        archive.WriteDouble(s.start);
        archive.WriteDouble(s.end);
        archive.WriteDouble(s.sourceStart);
        archive.WriteDouble(s.sourceEnd);
    }
}

void CSections::Serialize(CProjectArchive& archive) { SerializeFields(*this, archive); }
void CSections::Serialize(CProjectArchive& archive) const {
    archive.RequireStoring();
    SerializeFields(*this, archive);
}

}  // namespace dw
