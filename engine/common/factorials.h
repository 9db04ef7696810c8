// Exact pieces of factorials, for the keys that decide ties exactly: the
// product of a run of integers, and the power of a prime in n!.
#ifndef ENGINE_COMMON_FACTORIALS_H_
#define ENGINE_COMMON_FACTORIALS_H_

#include <gmpxx.h>

#include <cstdint>

namespace engine {

/// lo (lo + 1) ... hi; 1 when hi < lo.
mpz_class RangeProduct(std::uint64_t lo, std::uint64_t hi);

/// The exponent of the prime p in n! (Legendre's formula).
std::uint64_t FactorialValuation(std::uint64_t n, std::uint64_t p);

}  // namespace engine

#endif  // ENGINE_COMMON_FACTORIALS_H_
