#include "engine/contingency/table_keys.h"

#include <gmpxx.h>
#include <mpfr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

#include "engine/common/exact_test.h"
#include "engine/common/primes.h"
#include "engine/contingency/table_code.h"

namespace engine::table {
namespace {

// At most this many counts over every cell's range: beyond, the tables
// would not fit, and the network would not end in any case.
constexpr std::uint64_t kMaxRangeEntries = std::uint64_t{1} << 24;

// The prime factors of every count from a to b (2 <= a <= b), by a sieve
// over the range: factors[n - a] lists (prime, exponent).
struct Factor {
  std::uint64_t prime;
  std::uint32_t exponent;
};
std::vector<std::vector<Factor>> FactorRange(std::int64_t a, std::int64_t b) {
  const std::size_t size = static_cast<std::size_t>(b - a + 1);
  std::vector<std::uint64_t> rest(size);
  for (std::size_t i = 0; i < size; ++i) rest[i] = static_cast<std::uint64_t>(a) + i;
  std::vector<std::vector<Factor>> factors(size);
  for (std::uint32_t p : engine::SmallPrimes()) {
    if (std::int64_t{p} * p > b) break;
    for (std::int64_t m = (a + p - 1) / p * p; m <= b; m += p) {
      const std::size_t i = static_cast<std::size_t>(m - a);
      std::uint32_t e = 0;
      while (rest[i] % p == 0) {
        rest[i] /= p;
        ++e;
      }
      factors[i].push_back({p, e});
    }
  }
  for (std::size_t i = 0; i < size; ++i) {
    if (rest[i] > 1) factors[i].push_back({rest[i], 1});
  }
  return factors;
}

mpz_class Lcm(const std::vector<std::int64_t>& values) {
  mpz_class l = 1;
  for (std::int64_t v : values) mpz_lcm_ui(l.get_mpz_t(), l.get_mpz_t(), static_cast<unsigned long>(v));
  return l;
}

void ExportCode(const mpz_class& value, std::uint64_t* code, std::uint32_t words) {
  std::fill(code, code + words, 0);
  std::size_t count = 0;
  mpz_export(code, &count, -1, sizeof(std::uint64_t), 0, 0, value.get_mpz_t());
}

// The classes of exchangeable rows: rows with the same row sums (kChi,
// whose shares depend on them), or whose cells can hold counts from the
// same least ones (kFactorial, whose shares are taken from there, and
// kDeviance, whose bounds are tighter over the counts a row can hold: a
// row far larger than the others holds counts near the column sums).
void ClassifyRows(const Shape& shape, KeyTables& t) {
  t.row_class.assign(shape.r, 0);
  std::vector<std::uint32_t> representative;
  for (std::uint32_t i = 0; i < shape.r; ++i) {
    std::uint32_t found = static_cast<std::uint32_t>(representative.size());
    for (std::uint32_t k = 0; k < representative.size(); ++k) {
      const std::uint32_t other = representative[k];
      bool same = true;
      if (t.key == kChi) {
        same = shape.R[i] == shape.R[other];
      } else {
        for (std::uint32_t j = 0; j < shape.c && same; ++j) {
          same = std::max<std::int64_t>(0, shape.R[i] + shape.C[j] - shape.N) ==
                 std::max<std::int64_t>(0, shape.R[other] + shape.C[j] - shape.N);
        }
      }
      if (same) {
        found = k;
        break;
      }
    }
    if (found == representative.size()) representative.push_back(i);
    t.row_class[i] = found;
  }
  t.classes = static_cast<std::uint32_t>(representative.size());
}

// The counts each cell of a class can hold: at least R_i + C_j - N, at
// most min(R_i, C_j), over the rows of the class.
bool SetRanges(const Shape& shape, KeyTables& t) {
  t.cells.assign(std::size_t{t.classes} * t.c, CellRange{});
  std::vector<bool> seen(t.cells.size());
  for (std::uint32_t i = 0; i < shape.r; ++i) {
    for (std::uint32_t j = 0; j < shape.c; ++j) {
      const std::int64_t lo = std::max<std::int64_t>(0, shape.R[i] + shape.C[j] - shape.N);
      const std::int64_t hi = std::min(shape.R[i], shape.C[j]);
      const std::size_t k = std::size_t{t.row_class[i]} * t.c + j;
      if (!seen[k]) {
        t.cells[k].lo = lo;
        t.cells[k].hi = hi;
        seen[k] = true;
      }
      t.cells[k].lo = std::min(t.cells[k].lo, lo);
      t.cells[k].hi = std::max(t.cells[k].hi, hi);
    }
  }
  std::uint64_t entries = 0;
  for (CellRange& cell : t.cells) {
    cell.offset = static_cast<std::size_t>(entries);
    entries += static_cast<std::uint64_t>(cell.hi - cell.lo + 1);
  }
  if (entries > kMaxRangeEntries) return false;
  t.value.resize(static_cast<std::size_t>(entries));
  return true;
}

// The rows of each class.
std::vector<std::uint32_t> ClassSizes(const KeyTables& t) {
  std::vector<std::uint32_t> sizes(t.classes, 0);
  for (std::uint32_t k : t.row_class) ++sizes[k];
  return sizes;
}

bool MakePrimeCodes(KeyTables& t, std::uint64_t budget) {
  const std::vector<std::uint32_t> sizes = ClassSizes(t);
  // Each cell's counts factored, and the largest total each prime's field
  // must hold: kFactorial, the exponents of hi! / lo! over every row's
  // cell; kDeviance, the largest n v_p(n) / p of a count, times the cells.
  std::vector<std::vector<std::vector<Factor>>> factored(t.cells.size());
  std::vector<std::pair<std::uint64_t, std::uint64_t>> bounds;  // (prime, bound), unsorted
  for (std::uint32_t k = 0; k < t.classes; ++k) {
    for (std::uint32_t j = 0; j < t.c; ++j) {
      const std::size_t index = std::size_t{k} * t.c + j;
      const CellRange& cell = t.cells[index];
      const std::int64_t first = std::max<std::int64_t>(2, cell.lo + (t.key == kFactorial ? 1 : 0));
      if (first > cell.hi) continue;
      factored[index] = FactorRange(first, cell.hi);
      const std::uint64_t rows = sizes[k];
      std::vector<std::pair<std::uint64_t, std::uint64_t>> cell_bounds;
      for (std::size_t i = 0; i < factored[index].size(); ++i) {
        const std::uint64_t n = static_cast<std::uint64_t>(first) + i;
        for (const Factor& f : factored[index][i]) {
          const std::uint64_t share = t.key == kFactorial ? f.exponent : n / f.prime * f.exponent;
          cell_bounds.push_back({f.prime, share});
        }
      }
      std::sort(cell_bounds.begin(), cell_bounds.end());
      for (std::size_t a = 0; a < cell_bounds.size();) {
        std::size_t b = a;
        std::uint64_t total = 0;
        for (; b < cell_bounds.size() && cell_bounds[b].first == cell_bounds[a].first; ++b) {
          total = t.key == kFactorial ? total + cell_bounds[b].second : std::max(total, cell_bounds[b].second);
        }
        bounds.push_back({cell_bounds[a].first, total * rows});
        a = b;
      }
    }
  }
  std::sort(bounds.begin(), bounds.end());
  std::uint32_t bits = 0;
  for (std::size_t a = 0; a < bounds.size();) {
    std::uint64_t total = 0;
    std::size_t b = a;
    for (; b < bounds.size() && bounds[b].first == bounds[a].first; ++b) total += bounds[b].second;
    t.primes.push_back(bounds[a].first);
    t.field_bit.push_back(bits);
    const std::uint32_t width = static_cast<std::uint32_t>(std::bit_width(total));
    t.field_width.push_back(width);
    bits += width;
    a = b;
  }
  t.words = std::max<std::uint32_t>(1, (bits + 63) / 64);
  if (t.value.size() * (8 + 8 * std::uint64_t{t.words}) > budget) return false;
  t.code.assign(t.value.size() * t.words, 0);

  auto field_of = [&](std::uint64_t prime) {
    return static_cast<std::size_t>(std::lower_bound(t.primes.begin(), t.primes.end(), prime) - t.primes.begin());
  };
  for (std::size_t index = 0; index < t.cells.size(); ++index) {
    const CellRange& cell = t.cells[index];
    const std::int64_t first = std::max<std::int64_t>(2, cell.lo + (t.key == kFactorial ? 1 : 0));
    long double log_sum = 0;  // kFactorial: ln(n! / lo!)
    for (std::int64_t n = cell.lo; n <= cell.hi; ++n) {
      const std::size_t at = cell.offset + static_cast<std::size_t>(n - cell.lo);
      std::uint64_t* code = &t.code[at * t.words];
      if (t.key == kFactorial && n > cell.lo) {
        std::copy(code - t.words, code, code);  // ln(n! / lo!) = ln((n - 1)! / lo!) + ln n
        log_sum += std::log(static_cast<long double>(n));
      }
      if (n >= first) {
        for (const Factor& f : factored[index][static_cast<std::size_t>(n - first)]) {
          const std::size_t field = field_of(f.prime);
          const std::uint64_t share =
              t.key == kFactorial ? f.exponent : static_cast<std::uint64_t>(n) / f.prime * f.exponent;
          AddShifted(code, share, t.field_bit[field], t.words);
        }
      }
      t.value[at] = t.key == kFactorial
                        ? static_cast<double>(log_sum)
                        : (n < 2 ? 0.0 : static_cast<double>(n * std::log(static_cast<long double>(n))));
    }
  }
  return true;
}

bool MakeChiCodes(const Shape& shape, KeyTables& t, std::uint64_t budget) {
  // Every R_i C_j divides L = lcm(R) lcm(C); a key is below min(r, c).
  const mpz_class l = Lcm(shape.R) * Lcm(shape.C);
  const mpz_class largest = l * std::min(shape.r, shape.c);
  t.words = static_cast<std::uint32_t>((mpz_sizeinbase(largest.get_mpz_t(), 2) + 63) / 64);
  if (t.value.size() * (8 + 8 * std::uint64_t{t.words}) > budget) return false;
  t.code.assign(t.value.size() * t.words, 0);
  std::vector<std::int64_t> class_sum(t.classes);
  for (std::uint32_t i = 0; i < shape.r; ++i) class_sum[t.row_class[i]] = shape.R[i];
  for (std::uint32_t k = 0; k < t.classes; ++k) {
    for (std::uint32_t j = 0; j < t.c; ++j) {
      const CellRange& cell = t.Cell(k, j);
      const mpz_class factor = l / (mpz_class(static_cast<unsigned long>(class_sum[k])) *
                                    static_cast<unsigned long>(shape.C[j]));
      const long double denominator =
          static_cast<long double>(class_sum[k]) * static_cast<long double>(shape.C[j]);
      for (std::int64_t n = cell.lo; n <= cell.hi; ++n) {
        const std::size_t at = cell.offset + static_cast<std::size_t>(n - cell.lo);
        const mpz_class square = mpz_class(static_cast<unsigned long>(n)) * static_cast<unsigned long>(n);
        ExportCode(square * factor, &t.code[at * t.words], t.words);
        t.value[at] = static_cast<double>(static_cast<long double>(n) * n / denominator);
      }
    }
  }
  return true;
}

// The sign of sum d_p w_p ln p over the fields of two codes that differ,
// d_p the difference of the fields and w_p = p for kDeviance (whose fields
// hold n v_p(n) / p), 1 for kFactorial. The logarithms of distinct primes
// are linearly independent over the rationals, so the sum is not 0; MPFR
// finds its sign at a precision that proves it, rising until it does.
int SignOfLogSum(const KeyTables& t, const std::uint64_t* a, const std::uint64_t* b) {
  std::vector<std::pair<std::uint64_t, std::int64_t>> terms;  // (prime, coefficient)
  for (std::size_t f = 0; f < t.primes.size(); ++f) {
    const std::int64_t d = static_cast<std::int64_t>(FieldOf(a, t.field_bit[f], t.field_width[f])) -
                           static_cast<std::int64_t>(FieldOf(b, t.field_bit[f], t.field_width[f]));
    if (d != 0) terms.push_back({t.primes[f], d});
  }
  if (terms.empty()) return 0;
  for (mpfr_prec_t precision = 128; precision <= (1 << 20); precision *= 2) {
    mpfr_t sum, magnitude, term, weight;
    mpfr_inits2(precision, sum, magnitude, term, weight, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_zero(sum, 1);
    mpfr_set_zero(magnitude, 1);
    for (const auto& [prime, coefficient] : terms) {
      mpfr_set_ui(term, static_cast<unsigned long>(prime), MPFR_RNDN);
      mpfr_log(term, term, MPFR_RNDN);
      mpz_class factor(static_cast<long>(coefficient));
      if (t.key == kDeviance) factor *= static_cast<unsigned long>(prime);
      mpfr_set_z(weight, factor.get_mpz_t(), MPFR_RNDN);
      mpfr_mul(term, term, weight, MPFR_RNDN);
      mpfr_add(sum, sum, term, MPFR_RNDN);
      mpfr_abs(term, term, MPFR_RNDN);
      mpfr_add(magnitude, magnitude, term, MPFR_RNDU);
    }
    // Each of the k terms errs by at most 3 half-units of its own size and
    // each addition by one of the partial sum's: below (4 k + 4) 2^-precision
    // of the magnitude.
    int sign = 0;
    if (!mpfr_zero_p(sum)) {
      const long bound_exponent = mpfr_get_exp(magnitude) + static_cast<long>(std::bit_width(4 * terms.size() + 4)) -
                                  static_cast<long>(precision);
      if (mpfr_get_exp(sum) - 1 > bound_exponent) sign = mpfr_sgn(sum);
    }
    mpfr_clears(sum, magnitude, term, weight, static_cast<mpfr_ptr>(nullptr));
    if (sign != 0) return sign;
  }
  throw TestFailure("two tables could not be ordered");
}

}  // namespace

std::optional<KeyTables> MakeKeyTables(const Shape& shape, Key key, std::uint64_t budget) {
  KeyTables t;
  t.key = key;
  t.r = shape.r;
  t.c = shape.c;
  ClassifyRows(shape, t);
  if (!SetRanges(shape, t)) return std::nullopt;
  const bool made = key == kChi ? MakeChiCodes(shape, t, budget) : MakePrimeCodes(t, budget);
  if (!made) return std::nullopt;

  long double largest = 0;
  t.observed_code.assign(t.words, 0);
  long double observed = 0;
  for (std::uint32_t i = 0; i < shape.r; ++i) {
    for (std::uint32_t j = 0; j < shape.c; ++j) {
      const CellRange& cell = t.Cell(t.row_class[i], j);
      largest += t.ValueAt(cell, cell.hi);
      const std::int64_t n = shape.observed[std::size_t{i} * shape.c + j];
      observed += t.ValueAt(cell, n);
      AddCode(t.observed_code.data(), t.CodeAt(cell, n), t.words);
    }
  }
  t.observed_value = static_cast<double>(observed);
  t.largest = static_cast<double>(largest);
  // Sums of at most r c shares and bounds of as many, each share within a
  // relative 2^-53, in doubles: every computed key is within (2 r c) 2^-53
  // of the largest; the margin leaves room for the bounds and comparisons.
  t.margin = (4.0 * t.r * t.c + 64) * 0x1p-52 * (t.largest + 1);
  return t;
}

int CompareKeys(const KeyTables& tables, const std::uint64_t* a, const std::uint64_t* b) {
  if (EqualCodes(a, b, tables.words)) return 0;
  if (tables.key == kChi) return CompareCodes(a, b, tables.words);
  return SignOfLogSum(tables, a, b);
}

}  // namespace engine::table
