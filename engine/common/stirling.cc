#include "engine/common/stirling.h"

#include <cmath>

namespace engine {

long double StirlingError(std::uint64_t y) {
  long double x = static_cast<long double>(y);
  if (y <= 15) {
    long double factorial = 1;
    for (std::uint64_t j = 2; j <= y; ++j) factorial *= static_cast<long double>(j);
    return std::log(factorial) - (x + 0.5L) * std::log(x) + x - kLnTwoPi / 2;
  }
  // The asymptotic series; from y = 16 on its first omitted term is below
  // 3e-20.
  long double r = 1 / x;
  long double r2 = r * r;
  return r * (1.0L / 12 -
              r2 * (1.0L / 360 -
                    r2 * (1.0L / 1260 -
                          r2 * (1.0L / 1680 -
                                r2 * (1.0L / 1188 - r2 * (691.0L / 360360 - r2 / 156))))));
}

}  // namespace engine
