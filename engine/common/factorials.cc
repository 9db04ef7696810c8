#include "engine/common/factorials.h"

#include <algorithm>
#include <vector>

namespace engine {

mpz_class RangeProduct(std::uint64_t lo, std::uint64_t hi) {
  if (hi < lo) return 1;
  // Runs of 32 factors in machine words, then their products pairwise, so
  // that the big multiplications balance.
  std::vector<mpz_class> parts;
  for (std::uint64_t start = lo;; start += 32) {
    const std::uint64_t end = std::min(hi, start + 31);
    mpz_class part = 1;
    for (std::uint64_t n = start; n <= end; ++n) part *= static_cast<unsigned long>(n);
    parts.push_back(std::move(part));
    if (end == hi) break;
  }
  while (parts.size() > 1) {
    std::vector<mpz_class> next;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) next.push_back(parts[i] * parts[i + 1]);
    if (parts.size() % 2 == 1) next.push_back(std::move(parts.back()));
    parts = std::move(next);
  }
  return parts.front();
}

std::uint64_t FactorialValuation(std::uint64_t n, std::uint64_t p) {
  std::uint64_t sum = 0;
  for (std::uint64_t q = n / p; q > 0; q /= p) sum += q;
  return sum;
}

}  // namespace engine
