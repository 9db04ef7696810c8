#include "engine/contingency/fourfold_table.h"

#include <algorithm>
#include <cmath>

#include "engine/contingency/excess_entropy.h"

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

long double LikelihoodRatioAt(const Margins& m, std::int64_t x) { return 2 * HalfLikelihoodRatioAt(m, x); }

long double HalfLikelihoodRatioAt(const Margins& m, std::int64_t x) {
  if (IsDegenerate(m)) return 0;
  const long double d = static_cast<long double>(Deviation(m, x));
  const long double n = static_cast<long double>(m.total);
  const std::int64_t products[4] = {m.r1 * m.c1, m.r1 * m.c2, m.r2 * m.c1, m.r2 * m.c2};
  const int signs[4] = {1, -1, -1, 1};
  // A cell's term e h(t), e = rc / N its expectation and t = s d / rc (s
  // its sign). Near its expectation (|t| <= 1/8) that is (s d / N) u
  // AtanhFactor(u) with u = t / (2 + t) = s d / (2 rc + s d): a quotient
  // of integers exact in extended reals (below 2^64), rounded once.
  const long double deviation_share = d / n;
  long double sum = 0;
  for (int i = 0; i < 4; ++i) {
    const long double rc = static_cast<long double>(products[i]);
    const long double sd = signs[i] * d;
    if (std::fabs(sd) <= 0.125L * rc) {
      const long double u = sd / (2 * rc + sd);
      sum += signs[i] * deviation_share * u * AtanhFactor(u);
    } else {
      sum += rc / n * ExcessEntropy(sd / rc);
    }
  }
  return sum;
}

}  // namespace engine::fourfold
