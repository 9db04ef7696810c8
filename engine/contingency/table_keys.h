// The keys by which the orderings compare tables with the same margins,
// each a sum over the cells of a function of the cell's count, larger
// meaning more extreme:
//   kChi:       n^2 / (R_i C_j)    (X^2 = N (sum - 1)),
//   kDeviance:  n ln n             (G^2 = 2 (sum - sum R ln R - sum C ln C + N ln N)),
//   kFactorial: ln n!              (ln P = const - sum).
// Each cell's share is kept as a double, to order tables fast, and as an
// exact code, to decide ties: for kChi the integer n^2 L / (R_i C_j) with L
// a common multiple of every R_i C_j; for kFactorial and kDeviance the
// exponents of the primes in n! and in n^n (divided by the prime), each in
// a bit field of its own, wide enough for any table, so that two sums of
// codes are equal exactly when the keys are.
//
// Rows whose shares are the same functions of their counts, over the same
// ranges of counts, form a class; the rows of a class are exchangeable. A kFactorial share is taken
// relative to the least count its cell can hold, ln(n! / lo!), so that the
// primes of a row far larger than the others (whose counts lie near the
// column sums) are only those of the counts it can hold.
#ifndef ENGINE_CONTINGENCY_TABLE_KEYS_H_
#define ENGINE_CONTINGENCY_TABLE_KEYS_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/contingency/table_shape.h"

namespace engine::table {

enum Key : int { kChi = 0, kDeviance = 1, kFactorial = 2 };
inline constexpr int kKeyCount = 3;

/// The counts a cell can hold in any table with the margins: lo..hi, with
/// their shares from `offset` on in KeyTables::value and (times words) code.
struct CellRange {
  std::int64_t lo = 0;
  std::int64_t hi = 0;
  std::size_t offset = 0;
};

struct KeyTables {
  Key key = kChi;
  std::uint32_t words = 1;  // of a code
  std::uint32_t r = 0, c = 0;
  std::vector<std::uint32_t> row_class;  // by row of the shape
  std::uint32_t classes = 0;
  std::vector<CellRange> cells;  // [class * c + column]
  std::vector<double> value;
  std::vector<std::uint64_t> code;
  // kFactorial and kDeviance: the primes of the codes and their bit fields.
  std::vector<std::uint64_t> primes;
  std::vector<std::uint32_t> field_bit;
  std::vector<std::uint32_t> field_width;
  // The observed table's key.
  double observed_value = 0;
  std::vector<std::uint64_t> observed_code;
  // An upper bound on any partial table's key, and the margin within which
  // computed keys and bounds cannot be told apart from the observed key and
  // the codes decide.
  double largest = 0;
  double margin = 0;

  const CellRange& Cell(std::uint32_t row_class_index, std::uint32_t column) const {
    return cells[std::size_t{row_class_index} * c + column];
  }
  /// The share of count n (lo <= n <= hi) in the cell.
  double ValueAt(const CellRange& cell, std::int64_t n) const {
    return value[cell.offset + static_cast<std::size_t>(n - cell.lo)];
  }
  const std::uint64_t* CodeAt(const CellRange& cell, std::int64_t n) const {
    return &code[(cell.offset + static_cast<std::size_t>(n - cell.lo)) * words];
  }
};

/// The tables of a key for a non-degenerate shape; nullopt when they would
/// hold more than `budget` bytes (the exact method is then out of reach).
std::optional<KeyTables> MakeKeyTables(const Shape& shape, Key key, std::uint64_t budget);

/// The sign of key(a) - key(b) for two codes of complete or partial tables
/// of the same cells, decided exactly.
int CompareKeys(const KeyTables& tables, const std::uint64_t* a, const std::uint64_t* b);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_KEYS_H_
