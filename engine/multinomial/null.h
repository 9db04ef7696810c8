// The null hypothesis of the multinomial test in exact terms. The
// proportions the user wrote are decimal numbers; scaled to a common
// denominator they become positive integers w_i, and the category
// probabilities are w_i / W with W = w_1 + ... + w_k, without rounding.
#ifndef ENGINE_MULTINOMIAL_NULL_H_
#define ENGINE_MULTINOMIAL_NULL_H_

#include <gmpxx.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::multinomial {

/// A positive decimal number as digits times a power of ten: value =
/// digits x 10^exponent, digits without trailing zeros. "2.50e-1" is
/// {25, -2}.
struct Decimal {
  mpz_class digits;
  std::int64_t exponent = 0;
};

/// The value of text if it is a proportion (see IsProportion), else nullopt.
std::optional<Decimal> ParseDecimal(std::string_view text);

struct ExactNull {
  std::vector<mpz_class> weights;  // w_i > 0, without a common factor
  mpz_class total_weight;          // W
  bool equal = true;               // every w_i is 1
  // Categories with equal weights share a class number (the smallest index
  // of their weight), so that outcomes differing by a permutation within
  // the classes are recognised as tied at once.
  std::vector<std::uint32_t> weight_class;
};

/// The null of k categories: equal when proportions is empty, else
/// proportional to the k decimal texts (each one IsProportion).
ExactNull MakeExactNull(const std::vector<std::string>& proportions, std::size_t k);

/// w_i / W rounded to the nearest double.
std::vector<double> NormalisedProbabilities(const ExactNull& null);

/// An expected count t x w / W, held as the nearest integer plus an offset
/// of at most one half, so that y - e is formed without cancellation for
/// every integer y. value is nearest + offset.
struct Expectation {
  std::int64_t nearest = 0;
  long double offset = 0;
  long double value = 0;
};

/// total x part / whole, part and whole positive.
Expectation MakeExpectation(std::uint64_t total, const mpz_class& part, const mpz_class& whole);

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_NULL_H_
