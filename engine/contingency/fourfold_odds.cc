#include "engine/contingency/fourfold_odds.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace engine::fourfold {
namespace {

constexpr long double kInfinity = std::numeric_limits<long double>::infinity();

// The noncentral distribution at theta = ln psi, as sums of the weights
// v(x) = P(x) / P(mode) about the observed n11 = x0, moments taken about x0
// so that nothing cancels against a large n11.
struct Noncentral {
  long double total = 0;        // sum v
  long double first = 0;        // sum (x - x0) v
  long double second = 0;       // sum (x - x0)^2 v
  long double upper = 0;        // sum over x >= x0 of v; 0 when below 1e-60 of the total
  long double upper_first = 0;  // sum over x >= x0 of (x - x0) v
  long double lower = 0;        // likewise over x <= x0
  long double lower_first = 0;
};

// The last x whose weight at psi is at least its left neighbour's: psi
// times the ratio of neighbours decreases in x.
std::int64_t NoncentralMode(const Margins& m, long double psi) {
  std::int64_t first = m.lo, last = m.hi;
  while (first < last) {
    const std::int64_t mid = last - (last - first) / 2;
    const Ratio r = UpRatio(m, mid - 1);
    if (psi * static_cast<long double>(r.numerator) >= static_cast<long double>(r.denominator)) {
      first = mid;
    } else {
      last = mid - 1;
    }
  }
  return first;
}

// Walks from the mode outward, both ways. A side stops where, as for the
// central weights, the rest is at most v q / (1 - q) (q the ratio at the
// last table, an upper bound of every later one): when that is below 1e-30
// of the total and, once the walk is in the observed table's tail, below
// 1e-20 of the tail; or, before it, below 1e-60 of the total, the whole tail
// then too small to matter against any level (1 - L >= 1e-16).
Noncentral SumNoncentral(const Margins& m, std::int64_t x0, long double theta) {
  const long double psi = std::exp(theta);
  const std::int64_t mode = NoncentralMode(m, psi);
  Noncentral s;
  const auto add = [&](std::int64_t x, long double v) {
    const long double d = static_cast<long double>(x - x0);
    s.total += v;
    s.first += d * v;
    s.second += d * d * v;
    if (x >= x0) {
      s.upper += v;
      s.upper_first += d * v;
    }
    if (x <= x0) {
      s.lower += v;
      s.lower_first += d * v;
    }
  };
  const auto done = [&](long double v, long double q, bool in_tail, long double tail) {
    if (!(q < 1)) return false;
    const long double rest = v * q / (1 - q);
    if (in_tail) return rest <= 1e-30L * s.total && rest <= 1e-20L * tail;
    return rest <= 1e-60L * s.total;
  };
  add(mode, 1);
  long double v = 1;
  for (std::int64_t x = mode; x < m.hi; ++x) {
    const long double ratio = psi * ValueOf(UpRatio(m, x));
    if (done(v, ratio * (1 + 0x1p-58L), x + 1 >= x0, s.upper)) break;
    v *= ratio;
    add(x + 1, v);
  }
  v = 1;
  for (std::int64_t x = mode; x > m.lo; --x) {
    const long double ratio = ValueOf(DownRatio(m, x)) / psi;
    if (done(v, ratio * (1 + 0x1p-58L), x - 1 <= x0, s.lower)) break;
    v *= ratio;
    add(x - 1, v);
  }
  return s;
}

struct Evaluation {
  long double value;  // may be -inf or +inf, far from the root
  long double slope;  // NaN when unknown
};

// The root of an increasing function f of theta, from a guess and a first
// step: a bracket by steps that double, then Newton's steps kept inside
// the bracket, with bisection whenever a step would leave it or would not
// at least halve the step before last (so the bracket shrinks for sure).
template <typename F>
long double SolveIncreasing(F f, long double guess, long double step) {
  constexpr long double kLimit = 2000;  // psi = e^2000: far beyond any bound
  long double a = guess, b = guess;  // to hold f(a) < 0 < f(b)
  long double x = guess;
  Evaluation ex = f(guess);
  if (ex.value == 0) return guess;
  if (ex.value < 0) {
    for (;;) {
      b = a + step;
      if (b > kLimit) return kInfinity;
      const Evaluation eb = f(b);
      if (eb.value == 0) return b;
      if (eb.value > 0) {
        if (std::fabs(eb.value) < std::fabs(ex.value)) x = b, ex = eb;
        break;
      }
      a = b, x = b, ex = eb;
      step *= 2;
    }
  } else {
    for (;;) {
      a = b - step;
      if (a < -kLimit) return -kInfinity;
      const Evaluation ea = f(a);
      if (ea.value == 0) return a;
      if (ea.value < 0) {
        if (std::fabs(ea.value) < std::fabs(ex.value)) x = a, ex = ea;
        break;
      }
      b = a, x = a, ex = ea;
      step *= 2;
    }
  }
  long double step_before = b - a, last_step = b - a;
  for (int iteration = 0; iteration < 200; ++iteration) {
    long double next = x - ex.value / ex.slope;
    if (!std::isfinite(next) || !(next > a && next < b) ||
        std::fabs(2 * (next - x)) > std::fabs(step_before)) {
      next = a + (b - a) / 2;
    }
    step_before = last_step;
    last_step = next - x;
    const long double tolerance = 4e-14L * std::max<long double>(1, std::fabs(next));
    const Evaluation en = f(next);
    if (en.value == 0) return next;
    (en.value < 0 ? a : b) = next;
    if (std::fabs(next - x) <= tolerance || b - a <= tolerance) return next;
    x = next, ex = en;
  }
  return x;
}

double PsiOf(long double theta) { return static_cast<double>(std::exp(theta)); }

}  // namespace

OddsRatio ConditionalOddsRatio(const Margins& m, std::int64_t x0, Alternative alternative, double conf_level) {
  OddsRatio odds;
  odds.conf_level = conf_level;
  // A start near the root: the logarithm of the sample odds ratio with a
  // half added to each cell, and its usual standard error.
  const Cells n = CellsAt(m, x0);
  const long double log_odds = std::log((n[0] + 0.5L) * (n[3] + 0.5L) / ((n[1] + 0.5L) * (n[2] + 0.5L)));
  const long double spread =
      2 * std::sqrt(1 / (n[0] + 0.5L) + 1 / (n[1] + 0.5L) + 1 / (n[2] + 0.5L) + 1 / (n[3] + 0.5L));

  if (x0 == m.lo) {
    odds.estimate = 0;
  } else if (x0 == m.hi) {
    odds.estimate = std::numeric_limits<double>::infinity();
  } else {
    odds.estimate = PsiOf(SolveIncreasing(
        [&](long double theta) {
          const Noncentral s = SumNoncentral(m, x0, theta);
          const long double mean = s.first / s.total;
          return Evaluation{mean, s.second / s.total - mean * mean};
        },
        log_odds, spread / 4));
  }

  // The level left to each bound's tail.
  const long double left_out = 1 - static_cast<long double>(conf_level);
  const long double share = alternative == Alternative::kTwoSided ? left_out / 2 : left_out;
  const long double log_share = std::log(share);
  const bool want_lower = alternative != Alternative::kLess;
  const bool want_upper = alternative != Alternative::kGreater;

  if (!want_lower || x0 == m.lo) {
    odds.lower = 0;
  } else {
    // P(N11 >= x0) = share, rising with psi.
    odds.lower = PsiOf(SolveIncreasing(
        [&](long double theta) {
          const Noncentral s = SumNoncentral(m, x0, theta);
          if (s.upper == 0) return Evaluation{-kInfinity, std::numeric_limits<long double>::quiet_NaN()};
          return Evaluation{std::log(s.upper / s.total) - log_share, s.upper_first / s.upper - s.first / s.total};
        },
        log_odds - spread, spread / 4));
  }
  if (!want_upper || x0 == m.hi) {
    odds.upper = std::numeric_limits<double>::infinity();
  } else {
    // P(N11 <= x0) = share, falling with psi: its negative rises.
    odds.upper = PsiOf(SolveIncreasing(
        [&](long double theta) {
          const Noncentral s = SumNoncentral(m, x0, theta);
          if (s.lower == 0) return Evaluation{kInfinity, std::numeric_limits<long double>::quiet_NaN()};
          return Evaluation{log_share - std::log(s.lower / s.total), s.first / s.total - s.lower_first / s.lower};
        },
        log_odds + spread, spread / 4));
  }
  return odds;
}

std::optional<double> SampleOddsRatio(const std::array<std::uint32_t, 4>& cells) {
  const std::uint64_t numerator = std::uint64_t{cells[0]} * cells[3];
  const std::uint64_t denominator = std::uint64_t{cells[1]} * cells[2];
  if (denominator == 0) {
    if (numerator == 0) return std::nullopt;
    return std::numeric_limits<double>::infinity();
  }
  return static_cast<double>(static_cast<long double>(numerator) / static_cast<long double>(denominator));
}

}  // namespace engine::fourfold
