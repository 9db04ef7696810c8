#include "plot/axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace plot {

double NiceCeiling(double x) {
  const double decade = std::pow(10.0, std::floor(std::log10(x)));
  // Rounding in log10 and pow may leave x a hair above a nice number.
  for (const double factor : {1.0, 2.0, 5.0, 10.0, 20.0}) {
    if (x <= factor * decade * (1 + 1e-9)) return factor * decade;
  }
  return 50.0 * decade;
}

double NiceRound(double x) {
  const double decade = std::pow(10.0, std::floor(std::log10(x)));
  const double f = x / decade;
  // The geometric means of neighbouring nice numbers split the decade.
  if (f < std::sqrt(2.0)) return decade;
  if (f < std::sqrt(10.0)) return 2 * decade;
  if (f < std::sqrt(50.0)) return 5 * decade;
  return 10 * decade;
}

namespace {

std::string LinearLabel(double value, double step, double magnitude) {
  char buffer[64];
  if (magnitude < 1e9 && step >= 1e-6) {
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  } else {
    const int digits = std::max(
        1, static_cast<int>(std::floor(std::log10(magnitude)) - std::floor(std::log10(step) + 1e-9)) + 1);
    std::snprintf(buffer, sizeof buffer, "%.*g", std::min(digits, 17), value);
  }
  // "-0", "0.00" and the like are all 0.
  if (std::string_view(buffer).find_first_not_of("-0.") == std::string_view::npos) return std::string(1, '0');
  return buffer;
}

}  // namespace

std::vector<Tick> LinearTicks(double lo, double hi, int max_ticks, double min_step) {
  std::vector<Tick> ticks;
  if (!(hi >= lo) || !std::isfinite(lo) || !std::isfinite(hi) || max_ticks < 2) return ticks;
  const double span = hi - lo;
  if (!(span > 0)) {
    ticks.push_back({lo, FormatSignificant(lo, 6)});
    return ticks;
  }
  // From the least step that could do, up the 1, 2, 5 sequence.
  double step = NiceCeiling(span / max_ticks);
  if (min_step > 0) step = std::max(step, NiceCeiling(min_step));
  for (;;) {
    const double first = std::ceil(lo / step - 1e-9);
    const double last = std::floor(hi / step + 1e-9);
    if (last - first + 1 <= max_ticks) {
      const double magnitude = std::max({std::fabs(first * step), std::fabs(last * step), step});
      for (double k = first; k <= last; ++k) {
        const double value = k * step;
        ticks.push_back({value, LinearLabel(value, step, magnitude)});
      }
      return ticks;
    }
    step = NiceCeiling(step * 1.5);
  }
}

std::string DecadeLabel(int e) {
  static const char* const kNear[] = {"0.001", "0.01", "0.1", "1", "10", "100", "1000"};
  if (e >= -3 && e <= 3) return kNear[e + 3];
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "1e%+03d", e);
  return buffer;
}

std::vector<Tick> DecadeTicks(int lo, int hi, int max_ticks) {
  std::vector<Tick> ticks;
  if (hi < lo || max_ticks < 1) return ticks;
  int every = 1;
  for (int scale = 1;; scale *= 10) {
    bool found = false;
    for (const int factor : {1, 2, 5}) {
      every = factor * scale;
      const int first = lo >= 0 ? (lo + every - 1) / every : -((-lo) / every);
      const int last = hi >= 0 ? hi / every : -((-hi + every - 1) / every);
      if (last - first + 1 <= max_ticks) {
        for (int k = first; k <= last; ++k) {
          const int e = k * every;
          ticks.push_back({static_cast<double>(e), DecadeLabel(e)});
        }
        found = true;
        break;
      }
    }
    if (found) return ticks;
  }
}

std::string FormatSignificant(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, value == 0 ? 0.0 : value);
  return buffer;
}

}  // namespace plot
