#include "engine/contingency/table_sampler.h"

#include <algorithm>
#include <cmath>

#include "engine/common/stirling.h"

namespace engine::table {
namespace {

constexpr std::int64_t kKept = std::int64_t{1} << 22;

long double Stirling(std::int64_t n) {
  if (n < 2) return 0;
  const long double y = static_cast<long double>(n);
  return (y + 0.5L) * std::log(y) - y + kLnTwoPi / 2 + StirlingError(static_cast<std::uint64_t>(n));
}

}  // namespace

LogFactorials::LogFactorials(std::int64_t largest) {
  kept.resize(static_cast<std::size_t>(std::min(largest, kKept) + 1));
  for (std::size_t n = 0; n < kept.size(); ++n) kept[n] = Stirling(static_cast<std::int64_t>(n));
}

long double LogFactorials::Beyond(std::int64_t n) { return Stirling(n); }

std::int64_t DrawHypergeometric(const LogFactorials& LogFactorial, std::int64_t n, std::int64_t k, std::int64_t m,
                                Random& random) {
  const std::int64_t lo = std::max<std::int64_t>(0, n - (m - k)), hi = std::min(n, k);
  if (lo >= hi) return lo;
  const std::int64_t mode = std::clamp<std::int64_t>((n + 1) * (k + 1) / (m + 2), lo, hi);
  const long double log_mode = LogFactorial(k) - LogFactorial(mode) - LogFactorial(k - mode) +
                               LogFactorial(m - k) - LogFactorial(n - mode) - LogFactorial(m - k - n + mode) -
                               LogFactorial(m) + LogFactorial(n) + LogFactorial(m - n);
  // The walk in doubles: the law drawn from is within a few units in the
  // 16th digit of the hypergeometric one.
  const double at_mode = std::exp(static_cast<double>(log_mode));
  const double a = static_cast<double>(k), b = static_cast<double>(n), c = static_cast<double>(m - k - n);
  for (;;) {
    double u = NextUniform(random);
    if (u < at_mode) return mode;
    u -= at_mode;
    std::int64_t up = mode, down = mode;
    double p_up = at_mode, p_down = at_mode;
    while (up < hi || down > lo) {
      if (up < hi) {
        const double x = static_cast<double>(up);
        p_up *= (a - x) * (b - x) / ((x + 1) * (c + x + 1));
        ++up;
        if (u < p_up) return up;
        u -= p_up;
      }
      if (down > lo) {
        const double x = static_cast<double>(down);
        p_down *= x * (c + x) / ((a - x + 1) * (b - x + 1));
        --down;
        if (u < p_down) return down;
        u -= p_down;
      }
    }
    // Rounding left u unspent: draw again.
  }
}

void DrawTable(const LogFactorials& log_factorial, std::span<const std::int64_t> R,
               std::span<const std::int64_t> C, Random& random,
               std::vector<std::int64_t>& column_left, std::span<std::uint32_t> cells) {
  const std::size_t r = R.size(), c = C.size();
  column_left.assign(C.begin(), C.end());
  std::int64_t population = 0;
  for (std::int64_t v : C) population += v;
  for (std::size_t i = 0; i + 1 < r; ++i) {
    std::int64_t draws = R[i];
    std::int64_t rest = population;  // the columns from j on hold rest
    for (std::size_t j = 0; j + 1 < c; ++j) {
      const std::int64_t x = draws == 0 ? 0 : DrawHypergeometric(log_factorial, draws, column_left[j], rest, random);
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
