#include "engine/contingency/table_shape.h"

#include <algorithm>
#include <numeric>

namespace engine::table {

void SumsOf(const TableProblem& problem, std::vector<std::uint64_t>& row_sums,
            std::vector<std::uint64_t>& column_sums) {
  row_sums.assign(problem.rows, 0);
  column_sums.assign(problem.columns, 0);
  for (std::uint32_t i = 0; i < problem.rows; ++i) {
    for (std::uint32_t j = 0; j < problem.columns; ++j) {
      const std::uint32_t n = problem.cells[std::size_t{i} * problem.columns + j];
      row_sums[i] += n;
      column_sums[j] += n;
    }
  }
}

Shape ShapeOf(const TableProblem& problem) {
  std::vector<std::uint64_t> row_sums, column_sums;
  SumsOf(problem, row_sums, column_sums);
  std::vector<std::uint32_t> rows, columns;  // the lines that hold a count
  for (std::uint32_t i = 0; i < problem.rows; ++i) {
    if (row_sums[i] > 0) rows.push_back(i);
  }
  for (std::uint32_t j = 0; j < problem.columns; ++j) {
    if (column_sums[j] > 0) columns.push_back(j);
  }
  Shape shape;
  const bool transposed = rows.size() > columns.size();
  auto cell = [&](std::uint32_t a, std::uint32_t b) {  // row a, column b of the shape, by given index
    return transposed ? problem.cells[std::size_t{b} * problem.columns + a]
                      : problem.cells[std::size_t{a} * problem.columns + b];
  };
  std::vector<std::uint32_t>& shape_rows = transposed ? columns : rows;
  std::vector<std::uint32_t>& shape_columns = transposed ? rows : columns;
  const std::vector<std::uint64_t>& row_total = transposed ? column_sums : row_sums;
  const std::vector<std::uint64_t>& column_total = transposed ? row_sums : column_sums;

  // The largest column last, the others from the largest down.
  std::stable_sort(shape_columns.begin(), shape_columns.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return column_total[a] > column_total[b]; });
  if (!shape_columns.empty()) std::rotate(shape_columns.begin(), shape_columns.begin() + 1, shape_columns.end());

  shape.transposed = transposed;
  shape.row_index = shape_rows;
  shape.column_index = shape_columns;
  shape.r = static_cast<std::uint32_t>(shape_rows.size());
  shape.c = static_cast<std::uint32_t>(shape_columns.size());
  shape.degenerate = shape.r < 2 || shape.c < 2;
  for (std::uint32_t i : shape_rows) shape.R.push_back(static_cast<std::int64_t>(row_total[i]));
  for (std::uint32_t j : shape_columns) shape.C.push_back(static_cast<std::int64_t>(column_total[j]));
  shape.N = std::accumulate(shape.R.begin(), shape.R.end(), std::int64_t{0});
  for (std::uint32_t i : shape_rows) {
    for (std::uint32_t j : shape_columns) shape.observed.push_back(cell(i, j));
  }
  return shape;
}

}  // namespace engine::table
