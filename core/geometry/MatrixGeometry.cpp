#include "core/geometry/MatrixGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace dw {

RowSpan RowBounds(int height, int rowCount, int row) {
    if (rowCount < 1 || height < 0) return {};
    const int d = height / rowCount;
    const int r = height % rowCount;
    RowSpan span;
    span.top = row * d + std::min(row, r);
    span.bottom = span.top + d + (row < r ? 1 : 0);
    return span;
}

std::vector<RowSpan> TileRows(int height, int rowCount) {
    std::vector<RowSpan> rows;
    for (int i = 0; i < rowCount; ++i) rows.push_back(RowBounds(height, rowCount, i));
    return rows;
}

float RowHue(int row, int rowCount) {
    if (rowCount < 1) return 0.67f;
    float h = static_cast<float>(row) * (1.0f / static_cast<float>(rowCount)) + 0.67f;
    if (h > 1.0f) h -= 1.0f;
    return h;
}

int SectionLeft(const SectionBounds& s, int width) { return static_cast<int>(s.start * width); }
int SectionRight(const SectionBounds& s, int width) { return static_cast<int>(s.end * width); }

int BoundaryLineX(const SectionBounds& s, int width) { return static_cast<int>(width * s.end) - 1; }

Rect ValueBar(const Rect& cell, float value) {
    const int t = cell.top + 3;
    const int b = cell.bottom - 1;
    Rect bar{cell.left, b, cell.right, b};
    bar.top = static_cast<int>(static_cast<float>(b) - value * static_cast<float>(b - t));
    return bar;
}

float ValueFromY(int y, int top, int bottom) {
    if (bottom <= top) return y < top ? 1.0f : 0.0f;
    const float v = 1.0f - static_cast<float>(y - top) / static_cast<float>(bottom - top);
    if (v <= 0.0f) return 0.0f;
    if (v >= 1.0f) return 1.0f;
    return v;
}

bool HitTest(Hover& hover, int x, int y, int width, int height, int rowCount,
             std::span<const SectionBounds> sections) {
    bool changed = false;
    // No early exit: a y on a shared edge matches both rows and ends on the lower one.
    for (int i = 0; i < rowCount; ++i) {
        const RowSpan row = RowBounds(height, rowCount, i);
        if (row.top <= y && y <= row.bottom && i != hover.row) {
            hover.row = i;
            changed = true;
        }
    }
    if (width > 0) {
        const double fx = static_cast<double>(x) / width;
        for (int k = 0; k < static_cast<int>(sections.size()); ++k) {
            if (sections[k].start <= fx && fx <= sections[k].end) {
                if (k != hover.section) {
                    hover.section = k;
                    changed = true;
                }
                break;  // the first match wins: a shared boundary belongs to the left section
            }
        }
    }
    return changed;
}

bool NearBoundary(int a, int x, int width, std::span<const SectionBounds> sections) {
    const int count = static_cast<int>(sections.size());
    if (a < 0 || a >= count) return false;
    if (std::abs(x - SectionLeft(sections[a], width)) < 5 && a > 0) return true;
    if (std::abs(x - SectionRight(sections[a], width)) < 5 && a < count - 1) return true;
    return false;
}

BoundaryGrab PickBoundary(int a, int x, int width, std::span<const SectionBounds> sections) {
    const int count = static_cast<int>(sections.size());
    BoundaryGrab grab;
    if (count < 2) return grab;
    a = std::clamp(a, 0, count - 1);
    bool rightBoundary;
    if (a == 0)
        rightBoundary = true;  // the first section's left edge separates nothing
    else if (a == count - 1)
        rightBoundary = false;  // nor does the last section's right edge
    else
        rightBoundary = std::abs(x - SectionRight(sections[a], width)) < std::abs(x - SectionLeft(sections[a], width));
    grab.leftSection = rightBoundary ? a : a - 1;
    grab.rightSection = grab.leftSection + 1;
    grab.minX = SectionLeft(sections[grab.leftSection], width) + 10;
    grab.maxX = SectionRight(sections[grab.rightSection], width) - 10;
    return grab;
}

double BoundaryFromX(int x, const BoundaryGrab& grab, int width, std::span<const SectionBounds> sections) {
    const SectionBounds& l = sections[grab.leftSection];
    const SectionBounds& r = sections[grab.rightSection];
    if (grab.minX > grab.maxX) return l.end;
    if (x <= grab.minX)
        x = grab.minX;
    else if (x >= grab.maxX)
        x = grab.maxX;
    const int left = SectionLeft(l, width);
    const int right = SectionRight(r, width);
    return l.start + static_cast<double>(x - left) / (right - left) * (r.end - l.start);
}

bool SplitAllowed(const SectionBounds& s, int width) { return SectionRight(s, width) - SectionLeft(s, width) > 20; }

FractionRange SectionDefaultRange(const SectionBounds& s, double trimStart, double trimEnd) {
    return {trimStart + s.start * (trimEnd - trimStart), trimStart + s.end * (trimEnd - trimStart)};
}

FractionRange InitialSectionRange(double sourceStart, double sourceEnd, const FractionRange& defaultRange) {
    if (sourceStart == -1.0) return defaultRange;
    // Merging a section of its own range with a following default one leaves
    // an explicit start with a default end; that end means the end of the
    // section's default range, never before its start.
    if (sourceEnd == -1.0) sourceEnd = std::max(defaultRange.end, sourceStart);
    return {sourceStart, sourceEnd};
}

FractionRange StoredSectionRange(const FractionRange& confirmed, const FractionRange& defaultRange) {
    if (confirmed.start == defaultRange.start && confirmed.end == defaultRange.end) return {-1.0, -1.0};
    return confirmed;
}

}  // namespace dw
