#include "engine/common/binomial_sampler.h"

#include <cmath>

#include "engine/common/stirling.h"

namespace engine {

namespace {

// Mass below this share of the mode's probability is left out of an alias
// table (at most 1e-16 of the whole with the geometric tails of the
// binomial).
constexpr double kNegligible = 1e-18;

// (n + 1/2) ln(n + 1) - (n + 1) + ln(2 pi) / 2 subtracted from ln n!.
double Correction(std::int64_t n) {
  return static_cast<double>(StirlingError(static_cast<std::uint64_t>(n) + 1));
}

// Sequential inversion from 0: about mean + 1 steps.
std::uint32_t DrawByInversion(std::uint32_t m, double p, double complement, Random& random) {
  const double odds = p / complement;
  const double first = std::exp(m * std::log1p(-p));
  for (;;) {
    double u = NextUniform(random);
    double f = first;
    std::uint32_t k = 0;
    while (u >= f && k <= m) {
      u -= f;
      ++k;
      f *= static_cast<double>(m + 1 - k) / k * odds;
    }
    if (k <= m) return k;  // else rounding left u unspent: draw again
  }
}

// W. Hoermann, The generation of binomial random variates, Journal of
// Statistical Computation and Simulation 46 (1993): transformed rejection
// with a decomposition, for p <= 1/2 and n p >= 10. Step numbers as there.
std::uint32_t DrawByRejection(std::uint32_t n, double p, double complement, Random& random) {
  const double np = n * p;
  const double npq = np * complement;
  const std::int64_t mode = static_cast<std::int64_t>(std::floor((n + 1.0) * p));
  const double r = p / complement;
  const double nr = (n + 1.0) * r;
  const double root = std::sqrt(npq);
  const double b = 1.15 + 2.53 * root;
  const double a = -0.0873 + 0.0248 * b + 0.01 * p;
  const double c = np + 0.5;
  const double alpha = (2.83 + 5.1 / b) * root;
  const double vr = 0.92 - 4.2 / b;
  const double urvr = 0.86 * vr;
  for (;;) {
    // 1: the box in the centre, accepted at once.
    double v = NextUniform(random);
    if (v <= urvr) {
      double u = v / vr - 0.43;
      double kd = std::floor((2 * a / (0.5 - std::fabs(u)) + b) * u + c);
      if (kd >= 0 && kd <= n) return static_cast<std::uint32_t>(kd);
      continue;
    }
    // 2: a point of the hat.
    double u;
    if (v >= vr) {
      u = NextUniform(random) - 0.5;
    } else {
      u = v / vr - 0.93;
      u = std::copysign(0.5, u) - u;
      v = NextUniform(random) * vr;
    }
    // 3.0
    double us = 0.5 - std::fabs(u);
    double kd = std::floor((2 * a / us + b) * u + c);
    if (kd < 0 || kd > n) continue;
    auto k = static_cast<std::int64_t>(kd);
    v = v * alpha / (a / (us * us) + b);
    std::int64_t km = k > mode ? k - mode : mode - k;
    if (km <= 15) {
      // 3.1: the ratio of probabilities, recursively.
      double f = 1;
      if (mode < k) {
        for (std::int64_t i = mode + 1; i <= k; ++i) f *= nr / static_cast<double>(i) - r;
      } else if (mode > k) {
        for (std::int64_t i = k + 1; i <= mode; ++i) v *= nr / static_cast<double>(i) - r;
      }
      if (v <= f) return static_cast<std::uint32_t>(k);
      continue;
    }
    // 3.2: squeeze on the logarithm.
    v = std::log(v);
    double kmd = static_cast<double>(km);
    double rho = (kmd / npq) * (((kmd / 3 + 0.625) * kmd + 1.0 / 6) / npq + 0.5);
    double t = -kmd * kmd / (2 * npq);
    if (v < t - rho) return static_cast<std::uint32_t>(k);
    if (v > t + rho) continue;
    // 3.3 and 3.4: the final acceptance test.
    double nm = static_cast<double>(n - mode + 1);
    double h = (mode + 0.5) * std::log((mode + 1) / (r * nm)) + Correction(mode) +
               Correction(n - mode);
    double nk = static_cast<double>(n - k + 1);
    if (v <= h + (n + 1.0) * std::log(nm / nk) + (kd + 0.5) * std::log(nk * r / (kd + 1)) -
                 Correction(k) - Correction(n - k))
      return static_cast<std::uint32_t>(k);
  }
}

}  // namespace

std::uint32_t DrawBinomial(const BinomialLaw& law, Random& random) {
  if (law.m == 0 || law.q <= 0) return 0;
  if (law.complement <= 0) return law.m;
  bool flip = law.q > 0.5;
  double p = flip ? law.complement : law.q;
  double complement = flip ? law.q : law.complement;
  std::uint32_t k = law.m * p < 10 ? DrawByInversion(law.m, p, complement, random)
                                   : DrawByRejection(law.m, p, complement, random);
  return flip ? law.m - k : k;
}

AliasTable MakeAliasTable(const BinomialLaw& law) {
  AliasTable table;
  std::vector<double> weight;
  if (law.m == 0 || law.q <= 0 || law.complement <= 0) {
    table.lo = law.m != 0 && law.complement <= 0 ? law.m : 0;
    weight.push_back(1);
  } else {
    const std::uint32_t m = law.m;
    auto mode = static_cast<std::uint32_t>(std::fmin(std::floor((m + 1.0) * law.q), m));
    // Probabilities relative to the mode's, outward until negligible.
    std::vector<double> up{1};
    for (std::uint32_t j = mode; j < m; ++j) {
      double next = up.back() * ((m - j) * law.q) / ((j + 1.0) * law.complement);
      if (next < kNegligible) break;
      up.push_back(next);
    }
    std::vector<double> down;
    double current = 1;
    for (std::uint32_t j = mode; j > 0; --j) {
      current *= (j * law.complement) / ((m - j + 1.0) * law.q);
      if (current < kNegligible) break;
      down.push_back(current);
    }
    table.lo = mode - static_cast<std::uint32_t>(down.size());
    weight.assign(down.rbegin(), down.rend());
    weight.insert(weight.end(), up.begin(), up.end());
  }
  // Vose's construction: columns below the mean take the rest from one
  // above it.
  const std::size_t width = weight.size();
  double total = 0;
  for (double w : weight) total += w;
  std::vector<double> scaled(width);
  std::vector<std::uint32_t> small, large;
  for (std::size_t j = 0; j < width; ++j) {
    scaled[j] = weight[j] / total * static_cast<double>(width);
    (scaled[j] < 1 ? small : large).push_back(static_cast<std::uint32_t>(j));
  }
  table.threshold.assign(width, UINT32_MAX);
  table.alias.resize(width);
  for (std::size_t j = 0; j < width; ++j) table.alias[j] = static_cast<std::uint32_t>(j);
  while (!small.empty() && !large.empty()) {
    std::uint32_t s = small.back();
    small.pop_back();
    std::uint32_t l = large.back();
    table.threshold[s] = static_cast<std::uint32_t>(scaled[s] * 0x1p32);
    table.alias[s] = l;
    scaled[l] -= 1 - scaled[s];
    if (scaled[l] < 1) {
      large.pop_back();
      small.push_back(l);
    }
  }
  // What is left has, up to rounding, exactly one column's worth: kept.
  return table;
}

}  // namespace engine
