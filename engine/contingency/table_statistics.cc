#include "engine/contingency/table_statistics.h"

#include <gmpxx.h>
#include <mpfr.h>

#include <cmath>

#include "engine/contingency/excess_entropy.h"

namespace engine::table {
namespace {

constexpr mpfr_prec_t kPrecision = 256;

// Holds MPFR numbers for the length of a scope.
struct Reals {
  explicit Reals(int count) : values(static_cast<std::size_t>(count)) {
    for (auto& v : values) mpfr_init2(v.value, kPrecision);
  }
  ~Reals() {
    for (auto& v : values) mpfr_clear(v.value);
  }
  Reals(const Reals&) = delete;
  Reals& operator=(const Reals&) = delete;
  struct Real {
    mpfr_t value;
  };
  std::vector<Real> values;
  mpfr_ptr operator[](int i) { return values[static_cast<std::size_t>(i)].value; }
};

// sum += sign n ln n.
void AddSelfPower(mpfr_ptr sum, mpfr_ptr term, std::int64_t n, int sign) {
  if (n < 2) return;
  mpfr_set_ui(term, static_cast<unsigned long>(n), MPFR_RNDN);
  mpfr_log(term, term, MPFR_RNDN);
  mpfr_mul_ui(term, term, static_cast<unsigned long>(n), MPFR_RNDN);
  if (sign > 0) {
    mpfr_add(sum, sum, term, MPFR_RNDN);
  } else {
    mpfr_sub(sum, sum, term, MPFR_RNDN);
  }
}

// sum += sign ln n!.
void AddLogFactorial(mpfr_ptr sum, mpfr_ptr term, std::int64_t n, int sign) {
  if (n < 2) return;
  mpfr_set_ui(term, static_cast<unsigned long>(n + 1), MPFR_RNDN);
  mpfr_lngamma(term, term, MPFR_RNDN);
  if (sign > 0) {
    mpfr_add(sum, sum, term, MPFR_RNDN);
  } else {
    mpfr_sub(sum, sum, term, MPFR_RNDN);
  }
}

}  // namespace

ObservedStatistics StatisticsOf(const Shape& shape) {
  ObservedStatistics s;
  const std::uint32_t r = shape.r, c = shape.c;
  if (shape.degenerate) {
    s.probability = 1;
    return s;
  }
  // X^2 = N (sum n^2 / (R_i C_j) - 1), exactly.
  mpq_class sum = 0;
  for (std::uint32_t i = 0; i < r; ++i) {
    for (std::uint32_t j = 0; j < c; ++j) {
      const mpz_class n = static_cast<unsigned long>(shape.observed[std::size_t{i} * c + j]);
      sum += mpq_class(n * n, mpz_class(static_cast<unsigned long>(shape.R[i])) * static_cast<unsigned long>(shape.C[j]));
    }
  }
  const mpq_class chi = (sum - 1) * static_cast<unsigned long>(shape.N);
  Reals x(3);
  mpfr_set_q(x[0], chi.get_mpq_t(), MPFR_RNDN);
  s.chi_square = mpfr_get_d(x[0], MPFR_RNDN);

  // G^2: exactly 0 at the independence table, else at 256 bits.
  bool independent = true;
  mpfr_set_zero(x[0], 1);
  for (std::uint32_t i = 0; i < r; ++i) {
    for (std::uint32_t j = 0; j < c; ++j) {
      const std::int64_t n = shape.observed[std::size_t{i} * c + j];
      independent = independent && n * shape.N == shape.R[i] * shape.C[j];
      AddSelfPower(x[0], x[1], n, 1);
    }
  }
  for (std::int64_t v : shape.R) AddSelfPower(x[0], x[1], v, -1);
  for (std::int64_t v : shape.C) AddSelfPower(x[0], x[1], v, -1);
  AddSelfPower(x[0], x[1], shape.N, 1);
  mpfr_mul_ui(x[0], x[0], 2, MPFR_RNDN);
  s.likelihood_ratio = independent ? 0.0 : mpfr_get_d(x[0], MPFR_RNDN);

  // ln P.
  mpfr_set_zero(x[0], 1);
  for (std::int64_t v : shape.R) AddLogFactorial(x[0], x[1], v, 1);
  for (std::int64_t v : shape.C) AddLogFactorial(x[0], x[1], v, 1);
  AddLogFactorial(x[0], x[1], shape.N, -1);
  for (std::uint32_t v : shape.observed) AddLogFactorial(x[0], x[1], v, -1);
  mpfr_exp(x[2], x[0], MPFR_RNDN);
  s.probability = mpfr_get_d(x[2], MPFR_RNDN);
  mpfr_set_ui(x[1], 10, MPFR_RNDN);
  mpfr_log(x[1], x[1], MPFR_RNDN);
  mpfr_div(x[0], x[0], x[1], MPFR_RNDN);
  s.log10_probability = mpfr_get_d(x[0], MPFR_RNDN);
  return s;
}

TableStatistics::TableStatistics(const Shape& s) : shape(s) {
  for (std::uint32_t i = 0; i < s.r; ++i) {
    for (std::uint32_t j = 0; j < s.c; ++j) {
      expected.push_back(static_cast<long double>(s.R[i]) * static_cast<long double>(s.C[j]) /
                         static_cast<long double>(s.N));
    }
  }
  for (std::int64_t v : s.R) log_constant += std::lgamma(static_cast<long double>(v) + 1);
  for (std::int64_t v : s.C) log_constant += std::lgamma(static_cast<long double>(v) + 1);
  log_constant -= std::lgamma(static_cast<long double>(s.N) + 1);
}

double TableStatistics::ChiSquare(std::span<const std::uint32_t> cells) const {
  long double sum = 0;
  for (std::size_t k = 0; k < cells.size(); ++k) {
    const long double d = static_cast<long double>(cells[k]) - expected[k];
    sum += d * d / expected[k];
  }
  return static_cast<double>(sum);
}

double TableStatistics::LikelihoodRatio(std::span<const std::uint32_t> cells) const {
  // 2 sum n ln(n / e) = 2 sum e h((n - e) / e), h(t) = (1 + t) ln(1 + t) - t:
  // the n - e add up to 0, and each term is at least 0.
  long double sum = 0;
  for (std::size_t k = 0; k < cells.size(); ++k) {
    sum += expected[k] * ExcessEntropy((static_cast<long double>(cells[k]) - expected[k]) / expected[k]);
  }
  return static_cast<double>(2 * sum);
}

double TableStatistics::Probability(std::span<const std::uint32_t> cells) const {
  long double log = log_constant;
  for (std::uint32_t n : cells) log -= std::lgamma(static_cast<long double>(n) + 1);
  return static_cast<double>(std::exp(log));
}

}  // namespace engine::table
