#pragma once
// The eight parameter graphs, one value per section: a matrix of eight rows
// (graphs, in the order of `Graph`) by `columnCount` columns (sections). The
// engine reads the values of section i from column i. `CGraphSet` holds the
// graphs' names and the mapping between graphs and display rows.
//
// Operations take indices the caller checked (row 0..7, column
// 0..columnCount-1); an index outside throws std::invalid_argument and changes
// nothing. The random operations draw from the generator their caller hands
// them (model/Random.h), row by row, column by column.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace dw {

class CProjectArchive;
class Random;

// One matrix value, 0 to 1; 0 when newly allocated.
using CCell = float;

inline constexpr int kGraphCount = 8;

// The graphs in graph order: the row of the matrix and the index in CGraphSet.
enum Graph : int {
    kGranulation = 0,
    kComplexity = 1,
    kSmoothness = 2,
    kTexture = 3,
    kDynamics = 4,
    kProgression = 5,
    kVariations = 6,
    kTransition = 7,
};

// String table id of graph g's name is kGraphNameId + g.
inline constexpr int kGraphNameId = 61550;

class CMatrix {
public:
    // Starts with the default four columns.
    CMatrix();

    // Four columns of the default values.
    void SetDefaults();

    // Bounds-checked access; throws std::invalid_argument.
    CCell Cell(int row, int column) const;
    // Sets one value, clamped into [0, 1]; a NaN is refused with std::invalid_argument.
    void SetCell(int row, int column, CCell value);

    // Inserts a copy of `column` after it in every row.
    void SplitColumn(int column);
    // Removes column + 1 from every row; nothing happens for the last column.
    void MergeColumn(int column);
    // Every cell of `row` takes the value of (row, column).
    void FlatGraph(int row, int column);
    // Every cell of the matrix takes the value of (row, column).
    void FlatMatrix(int row, int column);
    // Every cell of `row`, column by column, takes a fresh random fraction.
    void RandomGraph(int row, Random& random);
    // RandomGraph for rows 0 to 7 in order.
    void RandomMatrix(Random& random);

    // Reads or writes the matrix block of the project file.
    void Serialize(CProjectArchive& archive);
    void Serialize(CProjectArchive& archive) const;

    std::int32_t columnCount = 0;
    std::array<std::vector<CCell>, kGraphCount> rows;

private:
    void CheckRow(int row) const;
    void CheckCell(int row, int column) const;
    template <class Self>
    static void SerializeFields(Self& self, CProjectArchive& archive);
};

// Names and display rows of the eight graphs; never stored. Every graph is
// visible, so both maps are the identity, but the editors still lay out rows
// through graphOfRow and visibleCount.
class CGraphSet {
public:
    // Loads the names from the string table and computes the maps.
    CGraphSet();

    // Name of graph `index`; throws std::invalid_argument outside 0..7.
    const std::string& GraphName(int index) const;

    std::array<bool, kGraphCount> visible{};
    std::array<std::string, kGraphCount> names;
    std::array<std::int32_t, kGraphCount> rowOfGraph{};
    std::array<std::int32_t, kGraphCount> graphOfRow{};
    std::int32_t visibleCount = 0;

private:
    void ComputeRows();
};

}  // namespace dw
