// Random tables with fixed margins under independence, for the Monte Carlo
// test: Patefield's algorithm (Applied Statistics algorithm AS 159), which
// fills the table row by row, each row's cells a draw without replacement
// from the counts its columns have left, cell by cell from univariate
// hypergeometric laws.
#ifndef ENGINE_CONTINGENCY_TABLE_SAMPLER_H_
#define ENGINE_CONTINGENCY_TABLE_SAMPLER_H_

#include <cstdint>
#include <span>
#include <vector>

#include "engine/common/random.h"

namespace engine::table {

/// ln n! for the draws: kept for n up to the total (or 2^22), formed by
/// Stirling's series with its exact remainder (the same on every machine)
/// beyond.
struct LogFactorials {
  explicit LogFactorials(std::int64_t largest);
  long double operator()(std::int64_t n) const {
    return n < static_cast<std::int64_t>(kept.size()) ? kept[static_cast<std::size_t>(n)] : Beyond(n);
  }
  static long double Beyond(std::int64_t n);
  std::vector<long double> kept;
};

/// The count of successes among n draws without replacement from a
/// population of m holding k successes (n, k <= m < 2^31): inversion from
/// the mode outward, about one step per unit of the standard deviation.
std::int64_t DrawHypergeometric(const LogFactorials& log_factorial, std::int64_t n, std::int64_t k,
                                std::int64_t m, Random& random);

/// Fills cells (r x c, row by row) with a random table whose row sums are R
/// and column sums C (equal totals), every such table drawn with its
/// probability prod R! prod C! / (N! prod n!).
void DrawTable(const LogFactorials& log_factorial, std::span<const std::int64_t> R,
               std::span<const std::int64_t> C, Random& random,
               std::vector<std::int64_t>& column_left, std::span<std::uint32_t> cells);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_SAMPLER_H_
