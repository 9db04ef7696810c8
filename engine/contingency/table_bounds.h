// Bounds on the key of the cells a partial table has still to fill, row by
// row, for the network method. At stage k the columns k..c-1 remain; a row
// of class q that still holds s adds to the key of any completion
//   at least  offset_k + lower_k,q(s),  with lower_k,q(s) = min over y of
//             sum_j (f_qj(y_j) - lambda_j y_j),
//   at most   upper_k,q(s) = max over y of sum_j f_qj(y_j),
// y ranging over the counts its cells can hold with sum s, and offset_k =
// sum_j lambda_j C_j. Summed over the rows these are bounds for the whole
// completion: the upper one drops the column sums, the lower one is their
// Lagrangian relaxation, valid for any multipliers lambda_j and tight for
// lambda_j near the shares' slope at the independence table (ln C_j for G^2
// and the probability, 0 for X^2). Both are separable over the rows, which
// lets the network bound every partial column at once.
#ifndef ENGINE_CONTINGENCY_TABLE_BOUNDS_H_
#define ENGINE_CONTINGENCY_TABLE_BOUNDS_H_

#include <cstdint>
#include <vector>

#include "engine/contingency/table_keys.h"

namespace engine::table {

struct StageBounds {
  double offset = 0;
  std::vector<std::int64_t> first;  // by class: the least s held
  std::vector<std::vector<double>> lower, upper;  // by class, over s from first

  double Lower(std::uint32_t row_class, std::int64_t s) const {
    return lower[row_class][static_cast<std::size_t>(s - first[row_class])];
  }
  double Upper(std::uint32_t row_class, std::int64_t s) const {
    return upper[row_class][static_cast<std::size_t>(s - first[row_class])];
  }
};

/// The bounds of every stage k = 0..c-1 (index k). The last stage's are the
/// last column's shares themselves.
std::vector<StageBounds> MakeStageBounds(const Shape& shape, const KeyTables& keys);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_BOUNDS_H_
