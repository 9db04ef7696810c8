#include "engine/common/binomial_tail.h"

#include <cmath>
#include <limits>

namespace engine {

namespace {

// The continued fraction of the regularized incomplete beta function,
// I_x(a, b) = x^a (1 - x)^b / (a B(a, b)) times it, by the modified Lentz
// method; converges fast for x < (a + 1) / (a + b + 2). NaN if it has not
// settled after many steps.
double BetaContinuedFraction(double a, double b, double x) {
  constexpr double kTiny = 1e-300;
  constexpr double kSettled = 1e-15;
  constexpr int kSteps = 1'000'000;
  const double sum = a + b;
  double c = 1;
  double d = 1 - sum * x / (a + 1);
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m <= kSteps; ++m) {
    const double twice = 2.0 * m;
    double step = m * (b - m) * x / ((a - 1 + twice) * (a + twice));
    d = 1 + step * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + step / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    h *= d * c;
    step = -(a + m) * (sum + m) * x / ((a + twice) * (a + 1 + twice));
    d = 1 + step * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + step / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    double change = d * c;
    h *= change;
    if (std::fabs(change - 1) < kSettled) return h;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

double BinomialTailRatio(std::uint32_t r, std::uint32_t v, double q, double c, bool upward) {
  // Upward: sum_{j >= v} P(j) = I_q(v, r - v + 1), and the factor in front
  // of the continued fraction is c P(v). Downward, mirrored: the count of
  // the other category is at least r - v.
  if (upward) {
    if (v == r) return 1;
    return c * BetaContinuedFraction(v, static_cast<double>(r) - v + 1, q);
  }
  if (v == 0) return 1;
  return q * BetaContinuedFraction(static_cast<double>(r) - v, static_cast<double>(v) + 1, c);
}

}  // namespace engine
