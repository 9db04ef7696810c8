#include "engine/multinomial/terms.h"

#include <cmath>

#include "engine/common/stirling.h"
#include "engine/multinomial/exp_extended.h"

namespace engine::multinomial {

namespace {

// y ln(y / e) + e - y for y >= 1, with d = y - e formed exactly enough.
// Near y = e the series in v = d / (y + e) keeps the relative accuracy:
// y ln(y / e) = 2 y (v + v^3 / 3 + v^5 / 5 + ...) and e - y = -d, so the
// share is d v + 2 y (v^3 / 3 + v^5 / 5 + ...), whose first term dominates
// (|v| < 0.1). Farther out the direct form cancels at most a factor of ten.
long double Deviance(long double y, long double e, long double d) {
  long double sum = y + e;
  if (std::fabs(d) < 0.1L * sum) {
    long double v = d / sum;
    long double share = d * v;
    long double power = 2 * y * v;
    long double v2 = v * v;
    for (int j = 1; j < 64; ++j) {
      power *= v2;
      long double next = share + power / (2 * j + 1);
      if (next == share) break;
      share = next;
    }
    return share;
  }
  return y * std::log(y / e) - d;
}

}  // namespace

Terms ComputeTerms(std::uint32_t y, const Expectation& e) {
  long double d = static_cast<long double>(static_cast<std::int64_t>(y) - e.nearest) - e.offset;
  Terms terms;
  terms.chi = static_cast<double>(d * d / e.value);
  long double surprise;
  if (y == 0) {
    terms.deviance = static_cast<double>(e.value);
    surprise = e.value;
  } else {
    long double x = static_cast<long double>(y);
    long double deviance = Deviance(x, e.value, d);
    terms.deviance = static_cast<double>(deviance);
    surprise = StirlingError(y) + deviance + (kLnTwoPi + std::log(x)) / 2;
  }
  // Each rest is what the double leaves of the extended value: at most 11
  // significant bits, exact as a double.
  terms.surprise = static_cast<double>(surprise);
  terms.surprise_rest = static_cast<double>(surprise - terms.surprise);
  const long double poisson = ExpExtended(-surprise);
  if (poisson >= kLowestPoisson) {
    terms.poisson[0] = static_cast<double>(poisson);
    terms.poisson[1] = static_cast<double>(poisson - terms.poisson[0]);
  } else {
    terms.poisson[0] = terms.poisson[1] = 0;
  }
  return terms;
}

long double SurpriseOfTotal(std::uint64_t n) {
  if (n == 0) return 0;
  return StirlingError(n) + (kLnTwoPi + std::log(static_cast<long double>(n))) / 2;
}

TermTable MakeTermTable(const Expectation& e, std::uint32_t lo, std::uint32_t hi) {
  TermTable table;
  table.e = e;
  table.lo = lo;
  if (hi >= lo) {
    table.size = hi - lo + 1;
    table.values.resize(table.size);
    for (std::size_t i = 0; i < table.values.size(); ++i)
      table.values[i] = ComputeTerms(lo + static_cast<std::uint32_t>(i), e);
  }
  return table;
}

}  // namespace engine::multinomial
