// The primes up to 46341, beyond the square root of every count and total
// (all below 2^31): a count's prime factors above them appear at most once.
#ifndef ENGINE_COMMON_PRIMES_H_
#define ENGINE_COMMON_PRIMES_H_

#include <cstdint>
#include <vector>

namespace engine {

inline constexpr std::uint32_t kSmallPrimeLimit = 46341;

/// In increasing order; built once, thread-safely, and never changed.
const std::vector<std::uint32_t>& SmallPrimes();

}  // namespace engine

#endif  // ENGINE_COMMON_PRIMES_H_
