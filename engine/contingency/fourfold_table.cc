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

namespace {

// 1 / (2k + 1), each rounded once, so that a term of the series below
// costs a product rather than a quotient.
constexpr long double kOddInverses[] = {1.0L,       1.0L / 3,  1.0L / 5,  1.0L / 7,  1.0L / 9,  1.0L / 11,
                                        1.0L / 13, 1.0L / 15, 1.0L / 17, 1.0L / 19, 1.0L / 21, 1.0L / 23};

// 1 + (1 + u) v, v = u / 3 + u^3 / 5 + u^5 / 7 + ..., for |u| <= 1/15: the
// terms of v shrink by a factor of 225 at least, and 9 of them reach the
// last bit (2^-66 of the 1 they are added to).
long double AtanhFactor(long double u) {
  const long double u2 = u * u;
  long double power = u;
  long double v = 0;
  for (int k = 1; k < 12; ++k) {
    const long double term = power * kOddInverses[k];
    v += term;
    if (std::fabs(term) < 0x1p-66L) break;
    power *= u2;
  }
  return 1 + (1 + u) * v;
}

}  // namespace

long double ExcessEntropy(long double t) {
  if (t == -1) return 1;  // an empty cell: n ln(n / e) - (n - e) = e, over e
  if (std::fabs(t) <= 0.125L) {
    // With u = t / (2 + t), ln(1 + t) = 2 atanh u = 2 (u + u^3 / 3 + ...),
    // 1 + t = (1 + u) / (1 - u) and u (2 + t) = t, so that
    //   h(t) = t u (1 + (1 + u) v),  v = u / 3 + u^3 / 5 + u^5 / 7 + ...,
    // every part positive or near 1: no cancellation.
    const long double u = t / (2 + t);
    return t * u * AtanhFactor(u);
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
