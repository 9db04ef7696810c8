// How many tables have the margins of an r x c table: counted exactly when
// the count's work is moderate, else estimated.
#ifndef ENGINE_CONTINGENCY_TABLE_COUNT_H_
#define ENGINE_CONTINGENCY_TABLE_COUNT_H_

#include <cstdint>

#include "engine/contingency/table_shape.h"

namespace engine::table {

/// The exact count, by a pass over the cells column by column whose states
/// are what the rows still hold (sorted: the count does not depend on which
/// row holds what), while it takes at most `budget` steps; else Good's
/// estimate, prod_i C(R_i + c - 1, c - 1) prod_j C(C_j + r - 1, r - 1) /
/// C(N + r c - 1, r c - 1), stated as such (exact false).
TableCount CountTables(const Shape& shape, std::uint64_t budget = std::uint64_t{1} << 22);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_COUNT_H_
