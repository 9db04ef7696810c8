// Probabilities as products of the categories' Poisson probabilities. The
// multinomial probability of an outcome y is e^L0 times the product of
// e^-surprise_i(y_i), each factor at most 1, kept beside the shares in the
// tables: a few multiplications in extended precision (each within 2^-64)
// in place of an exponential per outcome, as accurate as e^(L0 - surprise)
// and far cheaper. A product at or above kLowestProduct has every partial
// product normal (each factor is at most 1, and e^L0, about the square
// root of 2 pi n, is below 2^17), so it keeps its digits; a smaller one,
// or one whose factors underflowed, is formed from the summed surprise
// instead, which reaches any depth.
#ifndef ENGINE_MULTINOMIAL_PRODUCT_H_
#define ENGINE_MULTINOMIAL_PRODUCT_H_

#include <limits>

#include "engine/multinomial/log_sum.h"

namespace engine::multinomial {

/// The least probability formed as a product: 2^-16000, about 1e-4817,
/// well above the least normal extended real (2^-16382).
inline constexpr long double kLowestProduct = 0x1p-16000L;

/// Whether a probability formed as a product (e^L0 included) kept its
/// digits.
inline bool IsPlainProduct(long double value) { return value >= kLowestProduct; }

/// A product at or above this (2^-14000) times two factors of the tables,
/// each 0 or at least 2^-1000 (kLowestPoisson), is plain unless a factor is
/// 0: the walks judge a prefix once and each outcome by its factors alone.
inline constexpr long double kLowestPrefix = 0x1p-14000L;

/// A probability known by its value alone (its logarithm formed when
/// needed).
inline Probability ProbabilityOfValue(long double value) {
  return Probability{std::numeric_limits<long double>::quiet_NaN(), value};
}

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_PRODUCT_H_
