// Where a table stands against the observed one in each ordering: its keys
// in extended reals, and within their rounding of the observed keys the
// exact codes (engine/contingency/table_keys.h) or, without them, exact
// arithmetic on the cells (engine/contingency/table_exact.h).
#ifndef ENGINE_CONTINGENCY_TABLE_JUDGE_H_
#define ENGINE_CONTINGENCY_TABLE_JUDGE_H_

#include <array>
#include <cstdint>
#include <vector>

#include "engine/contingency/table_keys.h"

namespace engine::table {

struct Judge {
  /// keys[k] may be null: key k is then decided from the cells.
  Judge(const Shape& shape, const std::array<const KeyTables*, kKeyCount>& keys);

  /// sign[k] of key_k(cells) - key_k(observed), cells r x c in the shape.
  void Compare(const std::uint32_t* cells, std::array<int, kKeyCount>& sign);

  const Shape& shape;
  std::array<const KeyTables*, kKeyCount> keys;
  std::int64_t tabled = 0;  // counts up to this have their shares in tables
  std::vector<long double> log_factorial, self_power;
  std::array<long double, kKeyCount> observed{};
  long double tolerance = 0;
  std::vector<std::uint64_t> code;
};

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_JUDGE_H_
