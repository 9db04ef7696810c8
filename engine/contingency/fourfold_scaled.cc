#include "engine/contingency/fourfold_scaled.h"

#include <cmath>
#include <limits>

namespace engine::fourfold {
namespace {

// ln 2 in two parts: the high one has 32 significant bits, so that k times
// it is exact for |k| < 2^31, and the low one carries the rest.
constexpr long double kLn2High = 0x1.62e42fefp-1L;
constexpr long double kLn2Low = 0x5.1cf79abc9e3b398p-36L;  // ln 2 - kLn2High to 64 bits
constexpr long double kLn2 = 0xb.17217f7d1cf79acp-4L;

}  // namespace

Scaled Normalized(Scaled s) {
  if (s.fraction == 0) return {0, 0};
  int e = 0;
  s.fraction = std::frexp(s.fraction, &e);
  s.exponent += e;
  return s;
}

Scaled AddApart(Scaled a, Scaled b) {
  if (a.fraction == 0) return b;
  if (b.fraction == 0) return a;
  a = Normalized(a);
  b = Normalized(b);
  if (a.exponent < b.exponent) std::swap(a, b);
  const std::int64_t apart = a.exponent - b.exponent;
  if (apart > 80) return a;
  return Normalized({a.fraction + std::ldexp(b.fraction, static_cast<int>(-apart)), a.exponent});
}

Scaled FromLog(long double log_value) {
  // log_value = k ln 2 + r with |r| <= ln 2 / 2 or so.
  const long double k = std::nearbyint(log_value / kLn2);
  if (std::fabs(k) < 0x1p31L) {
    const long double r = (log_value - k * kLn2High) - k * kLn2Low;
    return Normalized({std::exp(r), static_cast<std::int64_t>(k)});
  }
  // Far beyond any p-value of a table with a total below 2^31; kept exact
  // in form all the same.
  const long double r = log_value - k * kLn2;
  return Normalized({std::exp(r), static_cast<std::int64_t>(k)});
}

long double LogOf(Scaled s) {
  if (s.fraction == 0) return -std::numeric_limits<long double>::infinity();
  s = Normalized(s);
  return std::log(s.fraction) + static_cast<long double>(s.exponent) * kLn2;
}

double ToDouble(Scaled s) { return static_cast<double>(ToLongDouble(s)); }

long double ToLongDoubleApart(Scaled s) {
  if (s.fraction == 0) return 0;
  s = Normalized(s);
  if (s.exponent < -16500) return 0;
  if (s.exponent > 16500) return std::numeric_limits<long double>::infinity();
  return std::ldexp(s.fraction, static_cast<int>(s.exponent));
}

int FilterScaled(Scaled a, Scaled b, long double tolerance) {
  a = Normalized(a);
  b = Normalized(b);
  // Fractions in [1/2, 1): two powers of two apart is a factor of 2 at least.
  if (a.exponent > b.exponent + 1) return 1;
  if (b.exponent > a.exponent + 1) return -1;
  const long double x = std::ldexp(a.fraction, static_cast<int>(a.exponent - b.exponent));
  if (x > b.fraction * (1 + tolerance)) return 1;
  if (x < b.fraction * (1 - tolerance)) return -1;
  return 0;
}

}  // namespace engine::fourfold
