#include "engine/contingency/fourfold_exact.h"

#include <gmpxx.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "engine/common/exact_test.h"
#include "engine/common/factorials.h"
#include "engine/common/primes.h"

namespace engine::fourfold {
namespace {

// 0! = 1! and 0^0 = 1^1: both keys treat 0 as 1. Sorted, so that equal
// multisets compare equal.
Cells Canonical(const Cells& cells) {
  Cells c = cells;
  for (auto& v : c) v = std::max<std::int64_t>(v, 1);
  std::sort(c.begin(), c.end());
  return c;
}

bool FactorialValuationsAgree(const Cells& a, const Cells& b, std::int64_t p) {
  const auto valuation = [p](std::int64_t n) {
    return static_cast<std::int64_t>(FactorialValuation(static_cast<std::uint64_t>(n), static_cast<std::uint64_t>(p)));
  };
  std::int64_t e = 0;
  for (int i = 0; i < 4; ++i) e += valuation(a[i]) - valuation(b[i]);
  return e == 0;
}

// n^e mod m, for m below 2^32.
std::uint64_t PowerModulo(std::uint64_t n, std::uint64_t e, std::uint64_t m) {
  std::uint64_t result = 1;
  n %= m;
  for (; e > 0; e >>= 1) {
    if (e & 1) result = result * n % m;
    n = n * n % m;
  }
  return result;
}

// Miller and Rabin's test with the bases 2, 7 and 61, which no composite
// below 2^32 passes.
bool IsPrime(std::int64_t n) {
  if (n < 2) return false;
  for (std::int64_t p : {2, 3, 5, 7, 11, 13, 61}) {
    if (n % p == 0) return n == p;
  }
  const std::uint64_t m = static_cast<std::uint64_t>(n);
  std::uint64_t d = m - 1;
  int s = 0;
  for (; d % 2 == 0; d /= 2) ++s;
  for (std::uint64_t base : {2u, 7u, 61u}) {
    std::uint64_t x = PowerModulo(base, d, m);
    if (x == 1 || x == m - 1) continue;
    bool composite = true;
    for (int r = 1; r < s && composite; ++r) {
      x = x * x % m;
      composite = x != m - 1;
    }
    if (composite) return false;
  }
  return true;
}

// The least prime at or above n (a gap below 2^31 is under 300).
std::int64_t NextPrime(std::int64_t n) {
  while (!IsPrime(n)) ++n;
  return n;
}

// Adds weight times the exponents of the prime factors of n to exponents.
void AddFactors(std::map<std::int64_t, std::int64_t>& exponents, std::int64_t n, std::int64_t weight) {
  for (std::int64_t p : engine::SmallPrimes()) {
    if (p * p > n) break;
    while (n % p == 0) {
      exponents[p] += weight;
      n /= p;
    }
  }
  if (n > 1) exponents[n] += weight;
}

// Holds an MPFR number for the length of a scope.
struct Real {
  explicit Real(long precision) { mpfr_init2(value, precision); }
  ~Real() { mpfr_clear(value); }
  Real(const Real&) = delete;
  Real& operator=(const Real&) = delete;
  mpfr_t value;
};

enum class LogKey { kLogFactorial, kSelfPower };

// The sign of sum f(a_i) - sum f(b_i), f(n) = ln n! or n ln n, when the
// rounding errors at precision bits cannot reach it; 0 otherwise. Each of
// the 8 values of f costs at most two roundings of half a unit in the last
// place (MPFR rounds correctly), each of the 8 additions one; every value
// and partial sum is below 2^e, e the exponent of sum |f|, so the error is
// below 24 half-units at 2^e: less than 2^(e + 5 - precision).
int SignByLogs(const Cells& a, const Cells& b, long precision, LogKey key) {
  Real term(precision), sum(precision), magnitude(precision);
  mpfr_set_zero(sum.value, 1);
  mpfr_set_zero(magnitude.value, 1);
  for (int side = 0; side < 2; ++side) {
    for (std::int64_t n : side == 0 ? a : b) {
      if (n <= 1) continue;  // ln 0! = ln 1! = 0 ln 0 = 1 ln 1 = 0
      if (key == LogKey::kLogFactorial) {
        mpfr_set_ui(term.value, static_cast<unsigned long>(n + 1), MPFR_RNDN);
        mpfr_lngamma(term.value, term.value, MPFR_RNDN);
      } else {
        mpfr_set_ui(term.value, static_cast<unsigned long>(n), MPFR_RNDN);
        mpfr_log(term.value, term.value, MPFR_RNDN);
        mpfr_mul_ui(term.value, term.value, static_cast<unsigned long>(n), MPFR_RNDN);
      }
      if (side == 0) {
        mpfr_add(sum.value, sum.value, term.value, MPFR_RNDN);
      } else {
        mpfr_sub(sum.value, sum.value, term.value, MPFR_RNDN);
      }
      mpfr_add(magnitude.value, magnitude.value, term.value, MPFR_RNDU);
    }
  }
  if (mpfr_zero_p(sum.value) || mpfr_zero_p(magnitude.value)) return 0;
  const long bound_exponent = mpfr_get_exp(magnitude.value) + 5 - precision;
  if (mpfr_get_exp(sum.value) - 1 > bound_exponent) return mpfr_sgn(sum.value);  // |sum| >= 2^(exp - 1)
  return 0;
}

// For two keys known to differ: more bits until the sign shows. The loop
// ends because the difference is not zero; the cap only guards against a
// fault elsewhere.
int SignOfDifferentKeys(const Cells& a, const Cells& b, LogKey key) {
  for (long precision = 128; precision <= (1L << 24); precision *= 2) {
    if (const int sign = SignByLogs(a, b, precision, key); sign != 0) return sign;
  }
  throw TestFailure("two tables could not be ordered");
}

}  // namespace

int CompareFactorialProductsByRanges(const Cells& a, const Cells& b) {
  const Cells ca = Canonical(a), cb = Canonical(b);
  mpz_class left = 1, right = 1;
  for (int i = 0; i < 4; ++i) {
    const auto from = static_cast<std::uint64_t>(std::min(ca[i], cb[i]) + 1);
    const auto to = static_cast<std::uint64_t>(std::max(ca[i], cb[i]));
    (ca[i] > cb[i] ? left : right) *= RangeProduct(from, to);
  }
  const int c = cmp(left, right);
  return (c > 0) - (c < 0);
}

bool FactorialProductsEqualByPrimes(const Cells& a, const Cells& b) {
  const std::int64_t largest = std::max(*std::max_element(a.begin(), a.end()),
                                        *std::max_element(b.begin(), b.end()));
  const auto& small = engine::SmallPrimes();
  for (std::int64_t p : small) {
    if (p > largest) return true;
    if (!FactorialValuationsAgree(a, b, p)) return false;
  }
  // Beyond the small primes p^2 exceeds every value, so the exponent of p
  // is e(p) = sum floor(a_i / p) - sum floor(b_i / p). It holds still
  // between the points where a quotient changes, 8 largest / 46341 of them
  // at most: the products are equal unless e(p) is nonzero on a stretch
  // holding a prime.
  for (std::int64_t p = small.back() + 1; p <= largest;) {
    std::int64_t exponent = 0, next = largest + 1;
    for (int i = 0; i < 4; ++i) {
      exponent += a[i] / p - b[i] / p;
      for (std::int64_t n : {a[i], b[i]}) {
        if (const std::int64_t q = n / p; q > 0) next = std::min(next, n / q + 1);
      }
    }
    if (exponent != 0 && NextPrime(p) < next) return false;
    p = next;
  }
  return true;
}

int CompareFactorialProductsByLogs(const Cells& a, const Cells& b, long precision) {
  return SignByLogs(a, b, precision, LogKey::kLogFactorial);
}

int CompareFactorialProducts(const Cells& a, const Cells& b) {
  const Cells ca = Canonical(a), cb = Canonical(b);
  if (ca == cb) return 0;
  std::int64_t length = 0;
  for (int i = 0; i < 4; ++i) length += std::abs(ca[i] - cb[i]);
  if (length <= kRangeProductLimit) return CompareFactorialProductsByRanges(a, b);
  // Far apart: logarithms settle any real difference at once; only a tie
  // needs the primes.
  if (const int sign = CompareFactorialProductsByLogs(a, b, 256); sign != 0) return sign;
  if (FactorialProductsEqualByPrimes(a, b)) return 0;
  return SignOfDifferentKeys(a, b, LogKey::kLogFactorial);
}

int CompareSelfPowerProducts(const Cells& a, const Cells& b) {
  // Filter: each n ln n in extended reals, the logarithm within one unit in
  // the last place (logl is the x87 fyl2x here) and the product within half
  // a unit, so a term is within 3u of itself (u = 2^-64 relative); the sums
  // of four non-negative terms add 3u of the total each, the difference u
  // of the two totals: 7u (ta + tb) at most, well inside 16u (ta + tb).
  long double ta = 0, tb = 0;
  for (int i = 0; i < 4; ++i) {
    if (a[i] > 1) ta += static_cast<long double>(a[i]) * std::log(static_cast<long double>(a[i]));
    if (b[i] > 1) tb += static_cast<long double>(b[i]) * std::log(static_cast<long double>(b[i]));
  }
  const long double bound = 0x1p-60L * (ta + tb);
  if (ta - tb > bound) return 1;
  if (tb - ta > bound) return -1;
  if (Canonical(a) == Canonical(b)) return 0;
  // prod n^n is prod p^(sum n v_p(n)) over the primes p.
  std::map<std::int64_t, std::int64_t> exponents;
  for (int i = 0; i < 4; ++i) {
    if (a[i] > 1) AddFactors(exponents, a[i], a[i]);
    if (b[i] > 1) AddFactors(exponents, b[i], -b[i]);
  }
  if (std::all_of(exponents.begin(), exponents.end(), [](const auto& e) { return e.second == 0; })) return 0;
  return SignOfDifferentKeys(a, b, LogKey::kSelfPower);
}

}  // namespace engine::fourfold
