// Exact comparisons of two outcomes' statistics under the null w_i / W, for
// the outcomes the floating-point filter cannot separate. Ties are
// mathematical equality. Up to positive factors and constants:
//   X^2 orders as      sum y_i^2 / w_i                 (a rational),
//   G^2 orders as      sum y_i ln y_i - sum y_i ln w_i,
//   P orders (reversed, the surprise) as sum ln y_i! - sum y_i ln w_i.
// G^2 is decided on a coprime base: the logarithms of pairwise coprime
// integers above 1 are linearly independent over the rationals, so the
// difference of two such sums is zero exactly when every coefficient over
// the base is, and otherwise its sign is found by interval arithmetic at
// rising precision. The surprise compares two products of integers.
#ifndef ENGINE_MULTINOMIAL_EXACT_H_
#define ENGINE_MULTINOMIAL_EXACT_H_

#include <gmpxx.h>

#include <cstdint>
#include <span>
#include <vector>

#include "engine/multinomial/null.h"

namespace engine::multinomial {

/// The statistics in the order of Ordering: chi-square, likelihood ratio,
/// probability (through the surprise, larger when less probable).
enum Statistic : int { kChi = 0, kDeviance = 1, kSurprise = 2 };
inline constexpr int kStatisticCount = 3;

struct ExactOrder {
  ExactNull null;
  // X^2: sum y_i^2 c_i with c_i = lcm(w) / w_i.
  std::vector<mpz_class> chi_factor;
  bool chi_factor_small = false;  // every c_i below 2^32
  std::vector<std::uint64_t> chi_factor_u64;
};

ExactOrder MakeExactOrder(const ExactNull& null);

/// The sign of statistic(y) - statistic(x) in the sense of extremeness: +1
/// when y is more extreme than x (a larger X^2 or G^2, a smaller
/// probability), 0 when tied, -1 when less extreme.
int CompareExactly(const ExactOrder& order, Statistic statistic, std::span<const std::uint32_t> y,
                   std::span<const std::uint32_t> x);
/// The same when y and x differ only in the categories listed in where
/// (each listed once).
int CompareExactly(const ExactOrder& order, Statistic statistic, std::span<const std::uint32_t> y,
                   std::span<const std::uint32_t> x, std::span<const std::uint32_t> where);

/// True when y is x with counts exchanged only between categories of equal
/// weight: then every statistic is tied.
bool IsPermutationWithinClasses(const ExactNull& null, std::span<const std::uint32_t> y,
                                std::span<const std::uint32_t> x);
bool IsPermutationWithinClasses(const ExactNull& null, std::span<const std::uint32_t> y,
                                std::span<const std::uint32_t> x,
                                std::span<const std::uint32_t> where);

/// Pearson's X^2 of the counts y (total n >= 1) under the null, formed
/// exactly as (W sum y_i^2 c_i - n^2 lcm(w)) / (n lcm(w)) and rounded once
/// to the nearest double, so that a value such as 4.5 comes out as itself.
double RoundedChiSquare(const ExactOrder& order, std::span<const std::uint32_t> y, std::uint64_t n);

/// The sign of sum c_j ln a_j for integers a_j >= 1 and integer c_j.
int SignOfLogSum(const std::vector<mpz_class>& numbers, const std::vector<mpz_class>& coefficients);

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_EXACT_H_
