#include "engine/contingency/table_bounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "engine/contingency/table_keys.h"
#include "engine/contingency/table_shape.h"

namespace engine::table {
namespace {

// Every table with the shape's margins, cells row by row.
void ForEachTable(const Shape& shape, const std::function<void(const std::vector<std::int64_t>&)>& visit) {
  const std::size_t r = shape.r, c = shape.c;
  std::vector<std::int64_t> cells(r * c), row = shape.R, column = shape.C;
  std::function<void(std::size_t)> fill = [&](std::size_t k) {
    if (k == r * c) {
      visit(cells);
      return;
    }
    const std::size_t i = k / c, j = k % c;
    std::int64_t lo = 0, hi = std::min(row[i], column[j]);
    if (j + 1 == c) lo = std::max(lo, row[i]);
    if (i + 1 == r) lo = std::max(lo, column[j]);
    for (std::int64_t n = lo; n <= hi; ++n) {
      cells[k] = n;
      row[i] -= n;
      column[j] -= n;
      fill(k + 1);
      row[i] += n;
      column[j] += n;
    }
  };
  fill(0);
}

// The least and largest key of the columns k.. over every completion of
// each node of stage k (the rows' remaining sums), from every table.
using Node = std::pair<std::uint32_t, std::vector<std::int64_t>>;
std::map<Node, std::pair<long double, long double>> CompletionRanges(const Shape& shape, const KeyTables& keys) {
  std::map<Node, std::pair<long double, long double>> ranges;
  ForEachTable(shape, [&](const std::vector<std::int64_t>& cells) {
    std::vector<std::int64_t> left = shape.R;
    std::vector<long double> suffix(shape.c + 1, 0);
    for (std::uint32_t j = shape.c; j-- > 0;) {
      suffix[j] = suffix[j + 1];
      for (std::uint32_t i = 0; i < shape.r; ++i) {
        suffix[j] += keys.ValueAt(keys.Cell(keys.row_class[i], j), cells[i * shape.c + j]);
      }
    }
    for (std::uint32_t k = 0; k < shape.c; ++k) {
      auto [at, fresh] = ranges.try_emplace({k, left}, suffix[k], suffix[k]);
      at->second.first = std::min(at->second.first, suffix[k]);
      at->second.second = std::max(at->second.second, suffix[k]);
      for (std::uint32_t i = 0; i < shape.r; ++i) left[i] -= cells[i * shape.c + k];
    }
  });
  return ranges;
}

// The bounds of every node against its completions: never inside their
// range, and for two rows (where they come from both margins) the range
// itself.
void ExpectBoundsHold(std::uint32_t rows, std::uint32_t columns, const std::vector<std::uint32_t>& cells) {
  const Shape shape = ShapeOf(TableProblem{rows, columns, cells});
  if (shape.degenerate) return;
  for (int k = 0; k < kKeyCount; ++k) {
    SCOPED_TRACE(::testing::Message() << rows << " x " << columns << ", key " << k);
    const auto keys = MakeKeyTables(shape, static_cast<Key>(k), std::uint64_t{1} << 26);
    ASSERT_TRUE(keys.has_value());
    const std::vector<StageBounds> bounds = MakeStageBounds(shape, *keys);
    for (const auto& [node, range] : CompletionRanges(shape, *keys)) {
      const StageBounds& stage = bounds[node.first];
      long double lower = stage.offset, upper = 0;
      for (std::uint32_t i = 0; i < shape.r; ++i) {
        lower += stage.Lower(keys->row_class[i], node.second[i]);
        upper += stage.Upper(keys->row_class[i], node.second[i]);
      }
      const long double slack = keys->margin;
      EXPECT_LE(lower, range.first + slack) << "stage " << node.first;
      EXPECT_GE(upper, range.second - slack) << "stage " << node.first;
      if (shape.r == 2) {
        EXPECT_NEAR(static_cast<double>(lower), static_cast<double>(range.first), slack) << "stage " << node.first;
        EXPECT_NEAR(static_cast<double>(upper), static_cast<double>(range.second), slack) << "stage " << node.first;
      }
    }
  }
}

TEST(TableBoundsTest, BoundEveryCompletionAndAreExactForTwoRows) {
  ExpectBoundsHold(2, 5, {5, 0, 1, 0, 2, 0, 3, 1, 2, 0});
  ExpectBoundsHold(2, 4, {3, 1, 2, 2, 1, 3, 2, 2});          // rows of one class
  ExpectBoundsHold(2, 6, {9, 1, 0, 4, 2, 7, 0, 2, 1, 0, 1, 0});  // a small row against a large one
  ExpectBoundsHold(3, 4, {2, 0, 1, 3, 0, 4, 1, 1, 2, 2, 0, 1});
  std::mt19937 random(20261211);
  for (int round = 0; round < 30; ++round) {
    const std::uint32_t rows = 2 + random() % 2, columns = 2 + random() % 4;
    std::vector<std::uint32_t> cells(rows * columns);
    std::uint32_t total = 0;
    for (auto& n : cells) total += n = random() % 5;
    if (total > 24) continue;  // the enumeration stays short
    ExpectBoundsHold(rows, columns, cells);
  }
}

}  // namespace
}  // namespace engine::table
