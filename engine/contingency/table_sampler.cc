#include "engine/contingency/table_sampler.h"

#include <algorithm>
#include <cmath>

#include "engine/common/stirling.h"

namespace engine::table {
namespace {

// ln n! by Stirling's series with its exact remainder, the same on every
// machine.
long double LogFactorial(std::int64_t n) {
  if (n < 2) return 0;
  const long double y = static_cast<long double>(n);
  return (y + 0.5L) * std::log(y) - y + kLnTwoPi / 2 + StirlingError(static_cast<std::uint64_t>(n));
}

}  // namespace

std::int64_t DrawHypergeometric(std::int64_t n, std::int64_t k, std::int64_t m, Random& random) {
  const std::int64_t lo = std::max<std::int64_t>(0, n - (m - k)), hi = std::min(n, k);
  if (lo >= hi) return lo;
  const std::int64_t mode = std::clamp<std::int64_t>((n + 1) * (k + 1) / (m + 2), lo, hi);
  const long double log_mode = LogFactorial(k) - LogFactorial(mode) - LogFactorial(k - mode) +
                               LogFactorial(m - k) - LogFactorial(n - mode) - LogFactorial(m - k - n + mode) -
                               LogFactorial(m) + LogFactorial(n) + LogFactorial(m - n);
  const long double at_mode = std::exp(log_mode);
  for (;;) {
    long double u = NextUniform(random);
    if (u < at_mode) return mode;
    u -= at_mode;
    std::int64_t up = mode, down = mode;
    long double p_up = at_mode, p_down = at_mode;
    while (up < hi || down > lo) {
      if (up < hi) {
        p_up *= static_cast<long double>((k - up) * (n - up)) / static_cast<long double>((up + 1) * (m - k - n + up + 1));
        ++up;
        if (u < p_up) return up;
        u -= p_up;
      }
      if (down > lo) {
        p_down *= static_cast<long double>(down * (m - k - n + down)) /
                  static_cast<long double>((k - down + 1) * (n - down + 1));
        --down;
        if (u < p_down) return down;
        u -= p_down;
      }
    }
    // Rounding left u unspent: draw again.
  }
}

void DrawTable(std::span<const std::int64_t> R, std::span<const std::int64_t> C, Random& random,
               std::vector<std::int64_t>& column_left, std::span<std::uint32_t> cells) {
  const std::size_t r = R.size(), c = C.size();
  column_left.assign(C.begin(), C.end());
  std::int64_t population = 0;
  for (std::int64_t v : C) population += v;
  for (std::size_t i = 0; i + 1 < r; ++i) {
    std::int64_t draws = R[i];
    std::int64_t rest = population;  // the columns from j on hold rest
    for (std::size_t j = 0; j + 1 < c; ++j) {
      const std::int64_t x = draws == 0 ? 0 : DrawHypergeometric(draws, column_left[j], rest, random);
      cells[i * c + j] = static_cast<std::uint32_t>(x);
      rest -= column_left[j];
      column_left[j] -= x;
      draws -= x;
    }
    cells[i * c + c - 1] = static_cast<std::uint32_t>(draws);
    column_left[c - 1] -= draws;
    population -= R[i];
  }
  for (std::size_t j = 0; j < c; ++j) cells[(r - 1) * c + j] = static_cast<std::uint32_t>(column_left[j]);
}

}  // namespace engine::table
