// Binomial draws for the Monte Carlo test: an alias table for a distribution
// drawn from often, else inversion for small means and Hoermann's
// transformed rejection with decomposition (BTRD) for the others.
#ifndef ENGINE_COMMON_BINOMIAL_SAMPLER_H_
#define ENGINE_COMMON_BINOMIAL_SAMPLER_H_

#include <cstdint>
#include <vector>

#include "engine/common/random.h"

namespace engine {

/// Binomial(m, q), q given with its complement 1 - q (each in (0, 1), or
/// one of them 0) so that neither loses precision near the ends.
struct BinomialLaw {
  std::uint32_t m;
  double q;
  double complement;
};

/// A draw by inversion (mean below 10) or BTRD.
std::uint32_t DrawBinomial(const BinomialLaw& law, Random& random);

/// Walker's alias method over the counts that carry all but a relative
/// 1e-18 of the probability: one 64-bit random number per draw.
struct AliasTable {
  std::uint32_t lo = 0;
  std::vector<std::uint32_t> threshold;  // accept the column when the low bits are below
  std::vector<std::uint32_t> alias;      // else take this column
};

AliasTable MakeAliasTable(const BinomialLaw& law);

/// The column of an alias table chosen by 64 random bits: the high half
/// picks a column, the low half decides between it and its alias (without
/// a branch, whose outcome would be a coin toss).
inline std::uint32_t AliasColumn(std::uint64_t bits, std::uint32_t threshold, std::uint32_t alias,
                                 std::uint32_t column) {
  std::uint32_t keep = 0u - static_cast<std::uint32_t>(static_cast<std::uint32_t>(bits) < threshold);
  return (column & keep) | (alias & ~keep);
}

inline std::uint32_t DrawFromAlias(const AliasTable& table, Random& random) {
  std::uint64_t bits = NextBits(random);
  auto width = static_cast<std::uint32_t>(table.threshold.size());
  auto column = static_cast<std::uint32_t>(((bits >> 32) * width) >> 32);
  return table.lo +
         AliasColumn(bits, table.threshold[column], table.alias[column], column);
}

}  // namespace engine

#endif  // ENGINE_COMMON_BINOMIAL_SAMPLER_H_
