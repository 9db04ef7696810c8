#include "engine/multinomial/null.h"

#include <mpfr.h>

#include <algorithm>
#include <map>

#include "engine/common/exact_test.h"


namespace engine {

namespace multinomial {

namespace {

// The leading digit of an accepted proportion stands at a power of ten in
// this range: every proportion lies between 1e-307 and 1e308, as a normal
// double does, and the common denominator stays of a sensible size.
constexpr std::int64_t kLeadingExponentLimit = 307;

// Exponents are read up to this magnitude and held there beyond it; such a
// value is far outside the range above whatever the digits.
constexpr std::int64_t kExponentSaturation = 1'000'000'000'000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// x rounded to the nearest long double.
long double RoundedQuotient(const mpz_class& numerator, const mpz_class& denominator) {
  mpfr_t quotient;
  mpfr_init2(quotient, 64);
  mpfr_t exact;
  mpfr_init2(exact, std::max<mpfr_prec_t>(64, static_cast<mpfr_prec_t>(
                                                   mpz_sizeinbase(numerator.get_mpz_t(), 2))));
  mpfr_set_z(exact, numerator.get_mpz_t(), MPFR_RNDN);
  mpfr_div_z(quotient, exact, denominator.get_mpz_t(), MPFR_RNDN);
  long double result = mpfr_get_ld(quotient, MPFR_RNDN);
  mpfr_clear(exact);
  mpfr_clear(quotient);
  return result;
}

}  // namespace

std::optional<Decimal> ParseDecimal(std::string_view text) {
  std::string digits;
  std::size_t before_point = 0;
  bool seen_point = false;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      digits.push_back(c);
      if (!seen_point) ++before_point;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (digits.empty()) return std::nullopt;
  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negative = text[i] == '-';
      ++i;
    }
    if (i == text.size()) return std::nullopt;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return std::nullopt;
      exponent = std::min(exponent * 10 + (text[i] - '0'), kExponentSaturation);
    }
    if (negative) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;

  std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return std::nullopt;  // zero
  std::size_t last = digits.find_last_not_of('0');
  // value = 0.d1d2... x 10^(before_point + exponent); its leading digit
  // stands at 10^(before_point - first - 1 + exponent).
  std::int64_t leading = static_cast<std::int64_t>(before_point) - static_cast<std::int64_t>(first) -
                         1 + exponent;
  if (leading < -kLeadingExponentLimit || leading > kLeadingExponentLimit) return std::nullopt;
  Decimal value;
  value.digits = mpz_class(digits.substr(first, last - first + 1), 10);
  value.exponent = static_cast<std::int64_t>(before_point) - static_cast<std::int64_t>(last) - 1 +
                   exponent;
  return value;
}

ExactNull MakeExactNull(const std::vector<std::string>& proportions, std::size_t k) {
  ExactNull null;
  null.weights.assign(k, mpz_class(1));
  if (!proportions.empty()) {
    std::vector<Decimal> values;
    values.reserve(k);
    for (const std::string& text : proportions) {
      std::optional<Decimal> value = ParseDecimal(text);
      if (!value) throw TestFailure("invalid proportion '" + text + "'");
      values.push_back(*value);
    }
    std::int64_t lowest = values.front().exponent;
    for (const Decimal& value : values) lowest = std::min(lowest, value.exponent);
    mpz_class common = 0;
    for (std::size_t i = 0; i < k; ++i) {
      mpz_class scale;
      mpz_ui_pow_ui(scale.get_mpz_t(), 10,
                    static_cast<unsigned long>(values[i].exponent - lowest));
      null.weights[i] = values[i].digits * scale;
      mpz_gcd(common.get_mpz_t(), common.get_mpz_t(), null.weights[i].get_mpz_t());
    }
    for (mpz_class& weight : null.weights) weight /= common;
  }
  null.total_weight = 0;
  null.equal = true;
  for (const mpz_class& weight : null.weights) {
    null.total_weight += weight;
    if (weight != 1) null.equal = false;
  }
  std::map<mpz_class, std::uint32_t> classes;
  null.weight_class.resize(k);
  for (std::size_t i = 0; i < k; ++i) {
    auto [place, added] = classes.try_emplace(null.weights[i], static_cast<std::uint32_t>(i));
    null.weight_class[i] = place->second;
  }
  return null;
}

std::vector<double> NormalisedProbabilities(const ExactNull& null) {
  std::vector<double> probabilities;
  mpfr_t quotient;
  mpfr_init2(quotient, 53);
  for (const mpz_class& weight : null.weights) {
    mpfr_t exact;
    mpfr_init2(exact, std::max<mpfr_prec_t>(
                          53, static_cast<mpfr_prec_t>(mpz_sizeinbase(weight.get_mpz_t(), 2))));
    mpfr_set_z(exact, weight.get_mpz_t(), MPFR_RNDN);
    mpfr_div_z(quotient, exact, null.total_weight.get_mpz_t(), MPFR_RNDN);
    probabilities.push_back(mpfr_get_d(quotient, MPFR_RNDN));
    mpfr_clear(exact);
  }
  mpfr_clear(quotient);
  return probabilities;
}

Expectation MakeExpectation(std::uint64_t total, const mpz_class& part, const mpz_class& whole) {
  mpz_class numerator = part;
  numerator *= static_cast<unsigned long>(total);
  // nearest = floor((2 numerator + whole) / (2 whole)).
  mpz_class twice = 2 * numerator + whole;
  mpz_class nearest;
  mpz_fdiv_q(nearest.get_mpz_t(), twice.get_mpz_t(), mpz_class(2 * whole).get_mpz_t());
  Expectation e;
  e.nearest = static_cast<std::int64_t>(nearest.get_ui());
  mpz_class remainder = numerator - nearest * whole;
  e.offset = RoundedQuotient(remainder, whole);
  e.value = static_cast<long double>(e.nearest) + e.offset;
  return e;
}

}  // namespace multinomial

}  // namespace engine
