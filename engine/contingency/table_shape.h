// The shape an r x c table is worked in: empty rows and columns dropped
// (their cells are 0 in every table with these margins, and change no
// statistic), the shorter side as the rows, and the columns in the order
// the network takes them.
#ifndef ENGINE_CONTINGENCY_TABLE_SHAPE_H_
#define ENGINE_CONTINGENCY_TABLE_SHAPE_H_

#include <cstdint>
#include <vector>

#include "engine/contingency/table_types.h"

namespace engine::table {

struct Shape {
  std::uint32_t r = 0;  // rows: the side whose remaining sums make a node
  std::uint32_t c = 0;  // columns: one stage each
  std::vector<std::int64_t> R;  // row sums
  std::vector<std::int64_t> C;  // column sums, in the order of the stages
  std::int64_t N = 0;
  std::vector<std::uint32_t> observed;  // r x c, row by row, in this shape
  // Fewer than two rows or columns hold a count: one table only.
  bool degenerate = false;
  // Where the shape's lines come from: shape row a is row row_index[a] of
  // the problem (its column, when transposed), shape column b its column
  // column_index[b] (its row, when transposed).
  bool transposed = false;
  std::vector<std::uint32_t> row_index;
  std::vector<std::uint32_t> column_index;
};

/// The shape of a problem whose total is at most 2^31 - 1: rows no more
/// than columns, the columns in decreasing order of their sums except the
/// largest, taken last (the network fixes it from the others).
Shape ShapeOf(const TableProblem& problem);

/// The row and column sums of a problem as given.
void SumsOf(const TableProblem& problem, std::vector<std::uint64_t>& row_sums,
            std::vector<std::uint64_t>& column_sums);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_SHAPE_H_
