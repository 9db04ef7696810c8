#include "engine/contingency/fourfold_table.h"

#include <algorithm>
#include <cmath>

namespace engine::fourfold {

Margins MarginsOf(const std::array<std::uint32_t, 4>& cells) {
  const std::int64_t n11 = cells[0], n12 = cells[1], n21 = cells[2], n22 = cells[3];
  Margins m{};
  m.r1 = n11 + n12;
  m.r2 = n21 + n22;
  m.c1 = n11 + n21;
  m.c2 = n12 + n22;
  m.total = m.r1 + m.r2;
  m.lo = std::max<std::int64_t>(0, m.r1 - m.c2);
  m.hi = std::min(m.r1, m.c1);
  return m;
}

bool IsDegenerate(const Margins& m) { return m.r1 == 0 || m.r2 == 0 || m.c1 == 0 || m.c2 == 0; }

std::int64_t ModeOf(const Margins& m) {
  const std::int64_t mode = (m.r1 + 1) * (m.c1 + 1) / (m.total + 2);
  return std::clamp(mode, m.lo, m.hi);
}

long double ChiSquareAt(const Margins& m, std::int64_t x) {
  if (IsDegenerate(m)) return 0;
  const long double d = static_cast<long double>(Deviation(m, x));
  return d * d * static_cast<long double>(m.total) /
         (static_cast<long double>(m.r1 * m.r2) * static_cast<long double>(m.c1 * m.c2));
}

long double ExcessEntropy(long double t) {
  if (t == -1) return 1;  // an empty cell: n ln(n / e) - (n - e) = e, over e
  if (std::fabs(t) <= 0.125L) {
    // sum over k >= 2 of (-1)^k t^k / (k (k - 1)); the terms shrink by at
    // least a factor of 8, so 22 of them reach the last bit.
    long double power = t * t;
    long double sum = 0;
    for (int k = 2; k < 32; ++k) {
      const long double term = power / (static_cast<long double>(k) * (k - 1));
      sum += (k % 2 == 0) ? term : -term;
      if (std::fabs(term) < sum * 0x1p-66L) break;
      power *= t;
    }
    return sum;
  }
  // Here h(t) > t^2 / 3 > 0.005 against terms near 0.125: a few bits of
  // cancellation at most.
  return (1 + t) * std::log1p(t) - t;
}

long double LikelihoodRatioAt(const Margins& m, std::int64_t x) { return 2 * HalfLikelihoodRatioAt(m, x); }

long double HalfLikelihoodRatioAt(const Margins& m, std::int64_t x) {
  if (IsDegenerate(m)) return 0;
  const long double d = static_cast<long double>(Deviation(m, x));
  const long double n = static_cast<long double>(m.total);
  const std::int64_t products[4] = {m.r1 * m.c1, m.r1 * m.c2, m.r2 * m.c1, m.r2 * m.c2};
  const int signs[4] = {1, -1, -1, 1};
  long double sum = 0;
  for (int i = 0; i < 4; ++i) {
    const long double rc = static_cast<long double>(products[i]);
    sum += rc / n * ExcessEntropy(signs[i] * d / rc);
  }
  return sum;
}

}  // namespace engine::fourfold
