#include "engine/contingency/fourfold_logweight.h"

#include <cmath>

#include "engine/common/stirling.h"

namespace engine::fourfold {
namespace {

// H(0) .. H(15), from 200-bit arithmetic.
constexpr long double kSmallExcess[16] = {
    0.0L,
    1.0L,
    1.306852819440054690582768L,
    1.495922603223725926626742L,
    1.632876385868383144309085L,
    1.740302180611544121243904L,
    1.828694396641770990185314L,
    1.903790317678221164428062L,
    1.969070569306562802403656L,
    2.026806284055495166093304L,
    2.078561643135058455045795L,
    2.125459845091809854606274L,
    2.168334698205882426760849L,
    2.207822206123445316875513L,
    2.244418568125060896777247L,
    2.278518367307740576149371L,
};

constexpr long double kUnit = 0x1p-64L;

}  // namespace

long double FactorialExcess(std::int64_t n) {
  if (n < 16) return kSmallExcess[n];
  return (kLnTwoPi + std::log(static_cast<long double>(n))) / 2 + StirlingError(static_cast<std::uint64_t>(n));
}

ProbabilityKey ProbabilityKeyAt(const Margins& m, std::int64_t x) {
  const Cells cells = CellsAt(m, x);
  const long double half_g2 = HalfLikelihoodRatioAt(m, x);
  long double excess = 0;
  for (std::int64_t n : cells) excess += FactorialExcess(n);
  // Each term of G^2 / 2 within 32 units in its last place, their sum
  // within 40 of the whole; each H within 48 units of 2^-64 (its logarithm
  // below 22, the series of Stirling's error beyond 16), the sums of
  // values below 64 within 64 more.
  return {half_g2 + excess, 40 * kUnit * half_g2 + 512 * kUnit};
}

LogWeight LogWeightAt(const Margins& m, const ProbabilityKey& mode_key, std::int64_t x) {
  const ProbabilityKey key = ProbabilityKeyAt(m, x);
  const long double value = mode_key.value - key.value;
  // The subtraction rounds once more, FromLog adds the rounding of value
  // and that of exp: a unit of |value| and a few.
  return {value, mode_key.error + key.error + (std::fabs(value) + 64) * 2 * kUnit};
}

}  // namespace engine::fourfold
