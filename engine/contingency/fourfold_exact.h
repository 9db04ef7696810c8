// Exact comparisons of two tables by the keys behind their probability and
// their G^2, for the cases a floating-point filter cannot decide. Tables
// with the same margins have the same probability exactly when their
// products of factorials n11! n12! n21! n22! are equal, and the same G^2
// when their products n11^n11 ... n22^n22 (0^0 = 1) are equal.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_EXACT_H_
#define ENGINE_CONTINGENCY_FOURFOLD_EXACT_H_

#include "engine/contingency/fourfold_table.h"

namespace engine::fourfold {

/// The sign of prod a_i! - prod b_i!, decided exactly. Values below 2^31.
int CompareFactorialProducts(const Cells& a, const Cells& b);

/// The sign of sum a_i ln a_i - sum b_i ln b_i (0 ln 0 = 0), that is of
/// prod a_i^a_i - prod b_i^b_i, decided exactly: a filter in extended reals
/// first, then the factorisation of the values for equality and, when they
/// differ, multiple-precision logarithms for the sign.
int CompareSelfPowerProducts(const Cells& a, const Cells& b);

// The ways CompareFactorialProducts decides, open to tests.

/// Exact big-integer products of the ranges by which sorted a and b differ;
/// the work grows with that length.
int CompareFactorialProductsByRanges(const Cells& a, const Cells& b);
/// True when the products are equal, by Legendre's formula prime by prime:
/// the primes below 46341 one by one, the larger ones a stretch at a time
/// (their exponents are single quotients). The work grows with the largest
/// value over 46341.
bool FactorialProductsEqualByPrimes(const Cells& a, const Cells& b);
/// The sign of sum ln Gamma(a_i + 1) - sum ln Gamma(b_i + 1) when precision
/// bits prove it, 0 when they cannot.
int CompareFactorialProductsByLogs(const Cells& a, const Cells& b, long precision);

/// The summed length of the ranges CompareFactorialProductsByRanges
/// multiplies, beyond which CompareFactorialProducts turns to logarithms
/// and primes.
inline constexpr std::int64_t kRangeProductLimit = 4096;

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_EXACT_H_
