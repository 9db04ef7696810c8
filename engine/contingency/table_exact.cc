#include "engine/contingency/table_exact.h"

#include <gmpxx.h>
#include <mpfr.h>

#include <algorithm>
#include <bit>
#include <iterator>
#include <map>
#include <vector>

#include "engine/common/exact_test.h"
#include "engine/common/factorials.h"
#include "engine/common/primes.h"

namespace engine::table {
namespace {

// Adds sign n v_p(n), the exponent of p in n^n, for every prime p of n.
void AddSelfPowerExponents(std::map<std::uint64_t, std::int64_t>& exponents, std::uint64_t n, int sign) {
  const std::uint64_t value = n;
  for (std::uint32_t p : engine::SmallPrimes()) {
    if (std::uint64_t{p} * p > n) break;
    std::int64_t e = 0;
    while (n % p == 0) {
      n /= p;
      ++e;
    }
    if (e > 0) exponents[p] += sign * e * static_cast<std::int64_t>(value);
  }
  if (n > 1) exponents[n] += sign * static_cast<std::int64_t>(value);
}

struct Real {
  explicit Real(mpfr_prec_t precision) { mpfr_init2(value, precision); }
  ~Real() { mpfr_clear(value); }
  Real(const Real&) = delete;
  Real& operator=(const Real&) = delete;
  mpfr_t value;
};

// The sign of sum_k w_k g(n_k), g(n) = ln n! (factorials) or ln n, for a
// sum known not to be 0, at rising precision until the rounding cannot
// reach it: k terms of at most 3 half-units each and k additions of one.
int SignOfSum(const std::vector<std::pair<std::uint64_t, std::int64_t>>& terms, bool factorials) {
  for (mpfr_prec_t precision = 128; precision <= (1 << 22); precision *= 2) {
    Real sum(precision), magnitude(precision), term(precision);
    mpfr_set_zero(sum.value, 1);
    mpfr_set_zero(magnitude.value, 1);
    for (const auto& [n, weight] : terms) {
      mpfr_set_ui(term.value, static_cast<unsigned long>(factorials ? n + 1 : n), MPFR_RNDN);
      if (factorials) {
        mpfr_lngamma(term.value, term.value, MPFR_RNDN);
      } else {
        mpfr_log(term.value, term.value, MPFR_RNDN);
      }
      mpfr_mul_si(term.value, term.value, static_cast<long>(weight), MPFR_RNDN);
      mpfr_add(sum.value, sum.value, term.value, MPFR_RNDN);
      mpfr_abs(term.value, term.value, MPFR_RNDN);
      mpfr_add(magnitude.value, magnitude.value, term.value, MPFR_RNDU);
    }
    if (!mpfr_zero_p(sum.value)) {
      const long bound = mpfr_get_exp(magnitude.value) + static_cast<long>(std::bit_width(4 * terms.size() + 4)) -
                         static_cast<long>(precision);
      if (mpfr_get_exp(sum.value) - 1 > bound) return mpfr_sgn(sum.value);
    }
  }
  throw TestFailure("two tables could not be ordered");
}

int CompareChi(const Shape& shape, std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
  mpq_class difference = 0;
  for (std::uint32_t i = 0; i < shape.r; ++i) {
    for (std::uint32_t j = 0; j < shape.c; ++j) {
      const std::size_t k = std::size_t{i} * shape.c + j;
      if (a[k] == b[k]) continue;
      const mpz_class x = a[k], y = b[k];
      difference += mpq_class(x * x - y * y, mpz_class(static_cast<unsigned long>(shape.R[i])) *
                                                 static_cast<unsigned long>(shape.C[j]));
    }
  }
  return sgn(difference);
}

int CompareDeviance(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
  std::map<std::uint64_t, std::int64_t> exponents;
  for (std::uint32_t n : a) {
    if (n > 1) AddSelfPowerExponents(exponents, n, 1);
  }
  for (std::uint32_t n : b) {
    if (n > 1) AddSelfPowerExponents(exponents, n, -1);
  }
  std::vector<std::pair<std::uint64_t, std::int64_t>> terms;
  for (const auto& [p, e] : exponents) {
    if (e != 0) terms.push_back({p, e});
  }
  return terms.empty() ? 0 : SignOfSum(terms, false);
}

// True when prod a! = prod b! for multisets a, b, by Legendre's formula:
// the primes up to 46341 one by one; beyond, the exponent of p is the sum
// of the quotients n / p, constant between the points where one of them
// changes, and the products are equal unless a stretch with a nonzero
// exponent holds a prime.
bool FactorialProductsEqual(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b) {
  std::uint64_t largest = 0;
  for (std::uint64_t n : a) largest = std::max(largest, n);
  for (std::uint64_t n : b) largest = std::max(largest, n);
  for (std::uint32_t p : engine::SmallPrimes()) {
    if (p > largest) return true;
    std::int64_t e = 0;
    for (std::uint64_t n : a) e += static_cast<std::int64_t>(FactorialValuation(n, p));
    for (std::uint64_t n : b) e -= static_cast<std::int64_t>(FactorialValuation(n, p));
    if (e != 0) return false;
  }
  auto is_prime = [](std::uint64_t n) {
    for (std::uint32_t p : engine::SmallPrimes()) {
      if (std::uint64_t{p} * p > n) return true;
      if (n % p == 0) return false;
    }
    return true;
  };
  for (std::uint64_t p = engine::SmallPrimes().back() + 1; p <= largest;) {
    std::int64_t exponent = 0;
    std::uint64_t next = largest + 1;
    for (const auto* side : {&a, &b}) {
      for (std::uint64_t n : *side) {
        const std::uint64_t q = n / p;
        exponent += side == &a ? static_cast<std::int64_t>(q) : -static_cast<std::int64_t>(q);
        if (q > 0) next = std::min(next, n / q + 1);
      }
    }
    if (exponent != 0) {
      for (std::uint64_t m = p; m < next; ++m) {
        if (is_prime(m)) return false;
      }
    }
    p = next;
  }
  return true;
}

int CompareFactorial(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
  // 0! = 1!: counts below 2 drop out; counts both tables hold cancel.
  std::vector<std::uint64_t> x, y;
  for (std::uint32_t n : a) {
    if (n > 1) x.push_back(n);
  }
  for (std::uint32_t n : b) {
    if (n > 1) y.push_back(n);
  }
  std::sort(x.begin(), x.end());
  std::sort(y.begin(), y.end());
  std::vector<std::uint64_t> only_x, only_y;
  std::set_difference(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(only_x));
  std::set_difference(y.begin(), y.end(), x.begin(), x.end(), std::back_inserter(only_y));
  if (only_x.empty() && only_y.empty()) return 0;
  // Pair the counts left in order: the products of the ranges between them.
  std::uint64_t length = 0;
  const std::size_t pairs = std::max(only_x.size(), only_y.size());
  only_x.resize(pairs, 1);
  only_y.resize(pairs, 1);
  std::sort(only_x.begin(), only_x.end());
  std::sort(only_y.begin(), only_y.end());
  for (std::size_t k = 0; k < pairs; ++k) length += only_x[k] > only_y[k] ? only_x[k] - only_y[k] : only_y[k] - only_x[k];
  if (length <= 4096) {
    mpz_class left = 1, right = 1;
    for (std::size_t k = 0; k < pairs; ++k) {
      if (only_x[k] > only_y[k]) left *= RangeProduct(only_y[k] + 1, only_x[k]);
      if (only_y[k] > only_x[k]) right *= RangeProduct(only_x[k] + 1, only_y[k]);
    }
    const int c = cmp(left, right);
    return (c > 0) - (c < 0);
  }
  if (FactorialProductsEqual(only_x, only_y)) return 0;
  std::vector<std::pair<std::uint64_t, std::int64_t>> terms;
  for (std::uint64_t n : only_x) {
    if (n > 1) terms.push_back({n, 1});
  }
  for (std::uint64_t n : only_y) {
    if (n > 1) terms.push_back({n, -1});
  }
  return SignOfSum(terms, true);
}

}  // namespace

int CompareTables(Key key, const Shape& shape, std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
  switch (key) {
    case kChi:
      return CompareChi(shape, a, b);
    case kDeviance:
      return CompareDeviance(a, b);
    case kFactorial:
      break;
  }
  return CompareFactorial(a, b);
}

}  // namespace engine::table
