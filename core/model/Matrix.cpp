#include "core/model/Matrix.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "core/model/ProjectArchive.h"
#include "core/model/Random.h"
#include "core/resources/StringTable.h"

namespace dw {
namespace {

// Default values in percent, by graph, for the four default columns.
constexpr int kDefaultPercent[kGraphCount][4] = {
    {15, 20, 25, 15},  // Granulation
    {15, 20, 25, 15},  // Complexity
    {15, 20, 25, 15},  // Smoothness
    {10, 15, 20, 15},  // Texture
    {20, 30, 40, 30},  // Dynamics
    {20, 40, 60, 30},  // Progression
    {60, 40, 20, 30},  // Variations
    {20, 30, 40, 30},  // Transition
};

constexpr std::uint64_t kCellBytes = 4;

}  // namespace

CMatrix::CMatrix() { SetDefaults(); }

void CMatrix::SetDefaults() {
    columnCount = 4;
    for (int g = 0; g < kGraphCount; ++g) {
        auto& row = rows[static_cast<std::size_t>(g)];
        row.clear();
        // Divided in double precision, then stored as float.
        for (int c = 0; c < 4; ++c) row.push_back(static_cast<CCell>(kDefaultPercent[g][c] / 100.0));
    }
}

void CMatrix::CheckRow(int row) const {
    if (row < 0 || row >= kGraphCount)
        throw std::invalid_argument("matrix row " + std::to_string(row) + " outside 0 to 7");
}

void CMatrix::CheckCell(int row, int column) const {
    CheckRow(row);
    const auto& cells = rows[static_cast<std::size_t>(row)];
    if (column < 0 || column >= columnCount || static_cast<std::size_t>(column) >= cells.size())
        throw std::invalid_argument("matrix column " + std::to_string(column) + " outside 0 to " +
                                    std::to_string(columnCount - 1));
}

CCell CMatrix::Cell(int row, int column) const {
    CheckCell(row, column);
    return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void CMatrix::SetCell(int row, int column, CCell value) {
    CheckCell(row, column);
    if (std::isnan(value)) throw std::invalid_argument("matrix value is not a number");
    rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] =
        value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
}

void CMatrix::SplitColumn(int column) {
    CheckCell(0, column);
    for (auto& row : rows) {
        if (static_cast<std::size_t>(column) >= row.size())
            throw std::invalid_argument("matrix rows are shorter than the column count");
    }
    for (auto& row : rows) {
        const auto at = row.begin() + column;
        row.insert(at, *at);
    }
    ++columnCount;
}

void CMatrix::MergeColumn(int column) {
    if (column < 0) CheckCell(0, column);
    // Merging the last column (or beyond it) is a no-op, like merging the last section.
    const auto cellsInRow0 = static_cast<std::int64_t>(rows[0].size());
    if (column >= cellsInRow0 - 1) return;
    for (auto& row : rows) {
        if (static_cast<std::size_t>(column) + 1 < row.size()) row.erase(row.begin() + column + 1);
    }
    --columnCount;
}

void CMatrix::FlatGraph(int row, int column) {
    const CCell v = Cell(row, column);
    for (auto& cell : rows[static_cast<std::size_t>(row)]) cell = v;
}

void CMatrix::FlatMatrix(int row, int column) {
    const CCell v = Cell(row, column);
    for (auto& cells : rows)
        for (auto& cell : cells) cell = v;
}

void CMatrix::RandomGraph(int row, Random& random) {
    CheckRow(row);
    for (auto& cell : rows[static_cast<std::size_t>(row)]) cell = static_cast<CCell>(random.Fraction());
}

void CMatrix::RandomMatrix(Random& random) {
    for (int g = 0; g < kGraphCount; ++g) RandomGraph(g, random);
}

template <class Self>
void CMatrix::SerializeFields(Self& self, CProjectArchive& archive) {
    if (archive.IsLoading()) {
        if constexpr (!std::is_const_v<Self>) {
            archive.ReadInt32();  // the row count: always eight rows are read
            const std::int32_t n = archive.ReadInt32();
            if (n < 0) throw ArchiveError(ArchiveError::Cause::InvalidArgument, "negative column count");
            // Nothing is allocated for cells the file does not hold.
            archive.RequireRemaining(static_cast<std::uint64_t>(n) * kGraphCount * kCellBytes);
            self.columnCount = n;
            for (auto& row : self.rows) {
                row.assign(static_cast<std::size_t>(n), 0.0f);
                for (auto& cell : row) cell = archive.ReadFloat();
            }
        }
        return;
    }
    archive.WriteInt32(kGraphCount);
    const std::int32_t n = self.columnCount < 0 ? 0 : self.columnCount;
    archive.WriteInt32(n);
    for (const auto& row : self.rows) {
        for (std::int32_t c = 0; c < n; ++c)
            archive.WriteFloat(static_cast<std::size_t>(c) < row.size() ? row[static_cast<std::size_t>(c)] : 0.0f);
    }
}

void CMatrix::Serialize(CProjectArchive& archive) { SerializeFields(*this, archive); }
void CMatrix::Serialize(CProjectArchive& archive) const {
    archive.RequireStoring();
    SerializeFields(*this, archive);
}

CGraphSet::CGraphSet() {
    for (int g = 0; g < kGraphCount; ++g) {
        visible[static_cast<std::size_t>(g)] = true;
        names[static_cast<std::size_t>(g)] = std::string(LoadString(kGraphNameId + g));
    }
    ComputeRows();
}

void CGraphSet::ComputeRows() {
    visibleCount = 0;
    rowOfGraph.fill(-1);
    graphOfRow.fill(-1);
    for (int g = 0; g < kGraphCount; ++g) {
        if (!visible[static_cast<std::size_t>(g)]) continue;
        rowOfGraph[static_cast<std::size_t>(g)] = visibleCount;
        graphOfRow[static_cast<std::size_t>(visibleCount)] = g;
        ++visibleCount;
    }
}

const std::string& CGraphSet::GraphName(int index) const {
    if (index < 0 || index >= kGraphCount)
        throw std::invalid_argument("graph index " + std::to_string(index) + " outside 0 to 7");
    return names[static_cast<std::size_t>(index)];
}

}  // namespace dw
