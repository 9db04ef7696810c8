#include "engine/multinomial/exact.h"

#include <mpfr.h>

#include <algorithm>
#include <ranges>
#include <utility>

#include "engine/common/exact_test.h"

namespace engine::multinomial {

namespace {

// lo (lo + 1) ... hi, 1 when hi < lo; split in halves so that the factors
// multiplied stay of similar size.
mpz_class RangeProduct(std::uint64_t lo, std::uint64_t hi) {
  if (hi < lo) return 1;
  if (hi - lo < 16) {
    mpz_class product = 1;
    for (std::uint64_t j = lo; j <= hi; ++j) product *= static_cast<unsigned long>(j);
    return product;
  }
  std::uint64_t middle = lo + (hi - lo) / 2;
  return RangeProduct(lo, middle) * RangeProduct(middle + 1, hi);
}

// Replaces numbers by pairwise coprime numbers above 1 of which each of the
// given ones is a product of powers. Splitting a and b with g = gcd(a, b) >
// 1 into g, a / g and b / g lowers the product of the set, so this ends.
std::vector<mpz_class> CoprimeBase(std::vector<mpz_class> set) {
  std::erase_if(set, [](const mpz_class& a) { return a <= 1; });
  bool split = true;
  while (split) {
    split = false;
    for (std::size_t i = 0; i < set.size() && !split; ++i) {
      for (std::size_t j = i + 1; j < set.size() && !split; ++j) {
        mpz_class g;
        mpz_gcd(g.get_mpz_t(), set[i].get_mpz_t(), set[j].get_mpz_t());
        if (g == 1) continue;
        mpz_class a = set[i] / g;
        mpz_class b = set[j] / g;
        set.erase(set.begin() + static_cast<std::ptrdiff_t>(j));
        set.erase(set.begin() + static_cast<std::ptrdiff_t>(i));
        set.push_back(g);
        if (a > 1) set.push_back(a);
        if (b > 1) set.push_back(b);
        split = true;
      }
    }
  }
  return set;
}

// Bounds on sum c_j ln b_j at a working precision: lower rounds every step
// down, upper up.
void LogSumBounds(const std::vector<mpz_class>& base, const std::vector<mpz_class>& coefficients,
                  mpfr_prec_t precision, mpfr_t lower, mpfr_t upper) {
  mpfr_t log_down, log_up, term, exact;
  mpfr_inits2(precision, log_down, log_up, term, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_zero(lower, 1);
  mpfr_set_zero(upper, 1);
  for (std::size_t j = 0; j < base.size(); ++j) {
    if (coefficients[j] == 0) continue;
    mpfr_init2(exact, std::max<mpfr_prec_t>(
                          precision, static_cast<mpfr_prec_t>(
                                         mpz_sizeinbase(base[j].get_mpz_t(), 2))));
    mpfr_set_z(exact, base[j].get_mpz_t(), MPFR_RNDN);
    mpfr_log(log_down, exact, MPFR_RNDD);
    mpfr_log(log_up, exact, MPFR_RNDU);
    mpfr_clear(exact);
    bool positive = coefficients[j] > 0;
    // The lower bound takes the lower logarithm for a positive coefficient.
    mpfr_mul_z(term, positive ? log_down : log_up, coefficients[j].get_mpz_t(), MPFR_RNDD);
    mpfr_add(lower, lower, term, MPFR_RNDD);
    mpfr_mul_z(term, positive ? log_up : log_down, coefficients[j].get_mpz_t(), MPFR_RNDU);
    mpfr_add(upper, upper, term, MPFR_RNDU);
  }
  mpfr_clears(log_down, log_up, term, static_cast<mpfr_ptr>(nullptr));
}

// Every comparison looks at the categories in `at` alone (the others
// have equal counts in y and x): all of them, or a list.
template <typename Indices>
int CompareChiSquare(const ExactOrder& order, std::span<const std::uint32_t> y,
                     std::span<const std::uint32_t> x, const Indices& at) {
  if (order.chi_factor_small) {
    __int128 sum = 0;
    for (std::size_t i : at) {
      if (y[i] == x[i]) continue;
      std::int64_t difference = static_cast<std::int64_t>(std::uint64_t{y[i]} * y[i]) -
                                static_cast<std::int64_t>(std::uint64_t{x[i]} * x[i]);
      sum += static_cast<__int128>(difference) * static_cast<__int128>(order.chi_factor_u64[i]);
    }
    return (sum > 0) - (sum < 0);
  }
  mpz_class sum = 0;
  for (std::size_t i : at) {
    if (y[i] == x[i]) continue;
    mpz_class difference = mpz_class(static_cast<unsigned long>(y[i])) * y[i];
    difference -= mpz_class(static_cast<unsigned long>(x[i])) * x[i];
    sum += difference * order.chi_factor[i];
  }
  return sgn(sum);
}

template <typename Indices>
int CompareDeviance(const ExactOrder& order, std::span<const std::uint32_t> y,
                    std::span<const std::uint32_t> x, const Indices& at) {
  std::vector<mpz_class> numbers;
  std::vector<mpz_class> coefficients;
  for (std::size_t i : at) {
    if (y[i] == x[i]) continue;
    if (y[i] > 1) {
      numbers.emplace_back(static_cast<unsigned long>(y[i]));
      coefficients.emplace_back(static_cast<unsigned long>(y[i]));
    }
    if (x[i] > 1) {
      numbers.emplace_back(static_cast<unsigned long>(x[i]));
      coefficients.emplace_back(-static_cast<long>(x[i]));
    }
    if (!order.null.equal && order.null.weights[i] > 1) {
      numbers.push_back(order.null.weights[i]);
      coefficients.emplace_back(static_cast<long>(x[i]) - static_cast<long>(y[i]));
    }
  }
  return SignOfLogSum(numbers, coefficients);
}

template <typename Indices>
int CompareSurprise(const ExactOrder& order, std::span<const std::uint32_t> y,
                    std::span<const std::uint32_t> x, const Indices& at) {
  // surprise(y) - surprise(x) = ln(more / less).
  mpz_class more = 1;
  mpz_class less = 1;
  for (std::size_t i : at) {
    if (y[i] == x[i]) continue;
    bool up = y[i] > x[i];
    std::uint64_t lo = up ? x[i] : y[i];
    std::uint64_t hi = up ? y[i] : x[i];
    mpz_class power;
    if (!order.null.equal) {
      mpz_pow_ui(power.get_mpz_t(), order.null.weights[i].get_mpz_t(),
                 static_cast<unsigned long>(hi - lo));
    }
    if (up) {
      more *= RangeProduct(lo + 1, hi);
      if (!order.null.equal) less *= power;
    } else {
      less *= RangeProduct(lo + 1, hi);
      if (!order.null.equal) more *= power;
    }
  }
  int sign = cmp(more, less);
  return (sign > 0) - (sign < 0);
}

template <typename Indices>
bool SameWithinClasses(const ExactNull& null, std::span<const std::uint32_t> y,
                       std::span<const std::uint32_t> x, const Indices& at) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> a, b;
  for (std::size_t i : at) {
    if (y[i] == x[i]) continue;
    a.emplace_back(null.weight_class[i], y[i]);
    b.emplace_back(null.weight_class[i], x[i]);
  }
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

template <typename Indices>
int Compare(const ExactOrder& order, Statistic statistic, std::span<const std::uint32_t> y,
            std::span<const std::uint32_t> x, const Indices& at) {
  switch (statistic) {
    case kChi:
      return CompareChiSquare(order, y, x, at);
    case kDeviance:
      return CompareDeviance(order, y, x, at);
    case kSurprise:
      return CompareSurprise(order, y, x, at);
  }
  return 0;
}

auto Every(std::span<const std::uint32_t> y) {
  return std::views::iota(std::size_t{0}, y.size());
}

}  // namespace

double RoundedChiSquare(const ExactOrder& order, std::span<const std::uint32_t> y, std::uint64_t n) {
  mpz_class squares = 0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    if (y[i] == 0) continue;
    const mpz_class count = static_cast<unsigned long>(y[i]);
    squares += count * count * order.chi_factor[i];
  }
  const mpz_class multiple = order.chi_factor[0] * order.null.weights[0];  // lcm(w)
  const mpz_class total = static_cast<unsigned long>(n);
  mpq_class chi(order.null.total_weight * squares - total * total * multiple, total * multiple);
  chi.canonicalize();
  mpfr_t rounded;
  mpfr_init2(rounded, 53);
  mpfr_set_q(rounded, chi.get_mpq_t(), MPFR_RNDN);
  const double value = mpfr_get_d(rounded, MPFR_RNDN);
  mpfr_clear(rounded);
  return value;
}

ExactOrder MakeExactOrder(const ExactNull& null) {
  ExactOrder order;
  order.null = null;
  mpz_class multiple = 1;
  for (const mpz_class& weight : null.weights)
    mpz_lcm(multiple.get_mpz_t(), multiple.get_mpz_t(), weight.get_mpz_t());
  order.chi_factor_small = true;
  for (const mpz_class& weight : null.weights) {
    order.chi_factor.push_back(multiple / weight);
    if (order.chi_factor.back() >= mpz_class(1UL << 32)) order.chi_factor_small = false;
  }
  if (order.chi_factor_small) {
    for (const mpz_class& factor : order.chi_factor) order.chi_factor_u64.push_back(factor.get_ui());
  }
  return order;
}

bool IsPermutationWithinClasses(const ExactNull& null, std::span<const std::uint32_t> y,
                                std::span<const std::uint32_t> x) {
  return SameWithinClasses(null, y, x, Every(y));
}

bool IsPermutationWithinClasses(const ExactNull& null, std::span<const std::uint32_t> y,
                                std::span<const std::uint32_t> x,
                                std::span<const std::uint32_t> where) {
  return SameWithinClasses(null, y, x, where);
}

int SignOfLogSum(const std::vector<mpz_class>& numbers, const std::vector<mpz_class>& coefficients) {
  std::vector<mpz_class> base = CoprimeBase(numbers);
  std::vector<mpz_class> total(base.size(), 0);
  for (std::size_t t = 0; t < numbers.size(); ++t) {
    if (coefficients[t] == 0) continue;
    mpz_class rest = numbers[t];
    for (std::size_t j = 0; j < base.size() && rest > 1; ++j) {
      unsigned long power = mpz_remove(rest.get_mpz_t(), rest.get_mpz_t(), base[j].get_mpz_t());
      if (power != 0) total[j] += coefficients[t] * power;
    }
  }
  if (std::all_of(total.begin(), total.end(), [](const mpz_class& c) { return c == 0; })) return 0;
  // Not zero: some precision separates it from zero.
  int sign = 0;
  mpfr_t lower, upper;
  for (mpfr_prec_t precision = 128; sign == 0; precision *= 2) {
    if (precision > (mpfr_prec_t{1} << 24))
      throw TestFailure("a comparison of statistics did not settle");
    mpfr_inits2(precision, lower, upper, static_cast<mpfr_ptr>(nullptr));
    LogSumBounds(base, total, precision, lower, upper);
    if (mpfr_sgn(lower) > 0) sign = 1;
    if (mpfr_sgn(upper) < 0) sign = -1;
    mpfr_clears(lower, upper, static_cast<mpfr_ptr>(nullptr));
  }
  return sign;
}

int CompareExactly(const ExactOrder& order, Statistic statistic, std::span<const std::uint32_t> y,
                   std::span<const std::uint32_t> x) {
  return Compare(order, statistic, y, x, Every(y));
}

int CompareExactly(const ExactOrder& order, Statistic statistic, std::span<const std::uint32_t> y,
                   std::span<const std::uint32_t> x, std::span<const std::uint32_t> where) {
  return Compare(order, statistic, y, x, where);
}

}  // namespace engine::multinomial
