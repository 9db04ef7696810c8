#include "engine/common/primes.h"

namespace engine {

const std::vector<std::uint32_t>& SmallPrimes() {
  static const std::vector<std::uint32_t> primes = [] {
    std::vector<bool> composite(kSmallPrimeLimit + 1);
    std::vector<std::uint32_t> found;
    for (std::uint32_t n = 2; n <= kSmallPrimeLimit; ++n) {
      if (composite[n]) continue;
      found.push_back(n);
      for (std::uint64_t m = std::uint64_t{n} * n; m <= kSmallPrimeLimit; m += n) composite[m] = true;
    }
    return found;
  }();
  return primes;
}

}  // namespace engine
