#include "engine/contingency/table_judge.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "engine/contingency/table_code.h"
#include "engine/contingency/table_exact.h"

namespace engine::table {
namespace {

// Counts up to this have their shares kept in tables; above, formed when met.
constexpr std::int64_t kTabled = std::int64_t{1} << 22;

long double LogFactorial(std::int64_t n) { return n < 2 ? 0 : std::lgamma(static_cast<long double>(n) + 1); }
long double SelfPower(std::int64_t n) {
  return n < 2 ? 0 : static_cast<long double>(n) * std::log(static_cast<long double>(n));
}

// The keys of a table in extended reals, each share within a unit or two
// in the last place: n^2 / (R_i C_j), n ln n, ln n! (lgammal).
void KeysOf(const Judge& judge, const std::uint32_t* cells, std::array<long double, kKeyCount>& key) {
  const Shape& shape = judge.shape;
  key = {0, 0, 0};
  for (std::uint32_t i = 0; i < shape.r; ++i) {
    for (std::uint32_t j = 0; j < shape.c; ++j) {
      const std::int64_t n = cells[std::size_t{i} * shape.c + j];
      if (n == 0) continue;
      const long double y = static_cast<long double>(n);
      key[kChi] += y * y / (static_cast<long double>(shape.R[i]) * static_cast<long double>(shape.C[j]));
      const bool tabled = n <= judge.tabled;
      key[kDeviance] += tabled ? judge.self_power[static_cast<std::size_t>(n)] : SelfPower(n);
      key[kFactorial] += tabled ? judge.log_factorial[static_cast<std::size_t>(n)] : LogFactorial(n);
    }
  }
}

}  // namespace

Judge::Judge(const Shape& s, const std::array<const KeyTables*, kKeyCount>& k) : shape(s), keys(k) {
  std::int64_t largest = 0;
  for (std::uint32_t i = 0; i < shape.r; ++i) {
    for (std::uint32_t j = 0; j < shape.c; ++j) largest = std::max(largest, std::min(shape.R[i], shape.C[j]));
  }
  tabled = std::min(largest, kTabled);
  log_factorial.resize(static_cast<std::size_t>(tabled + 1));
  self_power.resize(static_cast<std::size_t>(tabled + 1));
  for (std::int64_t n = 0; n <= tabled; ++n) {
    log_factorial[static_cast<std::size_t>(n)] = LogFactorial(n);
    self_power[static_cast<std::size_t>(n)] = SelfPower(n);
  }
  KeysOf(*this, shape.observed.data(), observed);
  // r c shares, each within 2 units of 2^-64 of itself, summed: the
  // computed keys of tables with equal keys differ by less than this share
  // of their size.
  tolerance = (4.0L * shape.r * shape.c + 64) * 0x1p-62L;
}

void Judge::Compare(const std::uint32_t* cells, std::array<int, kKeyCount>& sign) {
  std::array<long double, kKeyCount> key;
  KeysOf(*this, cells, key);
  for (int k = 0; k < kKeyCount; ++k) {
    const long double margin = tolerance * std::max(key[k], observed[k]) + 1e-4000L;
    if (key[k] > observed[k] + margin) {
      sign[k] = 1;
    } else if (key[k] < observed[k] - margin) {
      sign[k] = -1;
    } else if (const KeyTables* t = keys[k]; t != nullptr) {
      code.assign(t->words, 0);
      for (std::uint32_t i = 0; i < shape.r; ++i) {
        for (std::uint32_t j = 0; j < shape.c; ++j) {
          AddCode(code.data(), t->CodeAt(t->Cell(t->row_class[i], j), cells[std::size_t{i} * shape.c + j]), t->words);
        }
      }
      sign[k] = CompareKeys(*t, code.data(), t->observed_code.data());
    } else {
      const std::size_t size = std::size_t{shape.r} * shape.c;
      sign[k] = CompareTables(static_cast<Key>(k), shape, std::span<const std::uint32_t>(cells, size),
                              shape.observed);
    }
  }
}

}  // namespace engine::table
