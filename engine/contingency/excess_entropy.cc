#include "engine/contingency/excess_entropy.h"

#include <cmath>

namespace engine {
namespace {

// 1 / (2k + 1), each rounded once, so that a term of the series below
// costs a product rather than a quotient.
constexpr long double kOddInverses[] = {1.0L,       1.0L / 3,  1.0L / 5,  1.0L / 7,  1.0L / 9,  1.0L / 11,
                                        1.0L / 13, 1.0L / 15, 1.0L / 17, 1.0L / 19, 1.0L / 21, 1.0L / 23};

}  // namespace

long double AtanhFactor(long double u) {
  // The terms of v shrink by a factor of 225 at least, and 9 of them reach
  // the last bit (2^-66 of the 1 they are added to).
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

}  // namespace engine
