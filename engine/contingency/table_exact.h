// Exact comparisons of two tables with the same margins by the key of an
// ordering, without the tables of engine/contingency/table_keys.h: for the
// Monte Carlo test of tables too large for those, where the rare draws
// whose computed key cannot be told from the observed one are decided here.
#ifndef ENGINE_CONTINGENCY_TABLE_EXACT_H_
#define ENGINE_CONTINGENCY_TABLE_EXACT_H_

#include <cstdint>
#include <span>

#include "engine/contingency/table_keys.h"

namespace engine::table {

/// The sign of key(a) - key(b), a and b tables (r x c, row by row) with the
/// margins of shape: kChi by rationals; kDeviance by the exponents of the
/// primes in prod n^n, then logarithms; kFactorial by cancelling the counts
/// the tables share, then big-integer products of what is left or, when
/// that is long, Legendre's formula prime by prime and logarithms.
int CompareTables(Key key, const Shape& shape, std::span<const std::uint32_t> a, std::span<const std::uint32_t> b);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_EXACT_H_
