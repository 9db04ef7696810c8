// Positive numbers far beyond the range of an extended real: a fraction
// and a separate power of two. The weights of tables far out in a tail,
// their sums and the p-values formed from them never underflow in this
// form; a p-value of 1e-100000 keeps its digits.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_SCALED_H_
#define ENGINE_CONTINGENCY_FOURFOLD_SCALED_H_

#include <cstdint>

namespace engine::fourfold {

/// fraction 2^exponent; zero when fraction is 0.
struct Scaled {
  long double fraction = 0;
  std::int64_t exponent = 0;
};

/// The same number with its fraction in [1/2, 1), or zero.
Scaled Normalized(Scaled s);

/// a + b, rounded once in the fraction. A term below 2^-80 of the other
/// adds nothing.
Scaled Add(Scaled a, Scaled b);

/// a / b for b not zero, rounded once.
Scaled Divide(Scaled a, Scaled b);

/// s times factor (a finite extended real).
Scaled Scale(Scaled s, long double factor);

/// e^log_value, for any finite log_value: FromLog(-1e6) is about
/// 0.5 2^-1442696. The error is that of exp at the fraction plus about
/// |log_value| 2^-64 relative, the rounding of log_value itself.
Scaled FromLog(long double log_value);

/// The natural logarithm; -inf for zero.
long double LogOf(Scaled s);

/// As a double: 0 where it lies below the doubles, +inf above them.
double ToDouble(Scaled s);

/// As an extended real: 0 below its range.
long double ToLongDouble(Scaled s);

/// The sign of a - b for positive numbers each known to within a relative
/// tolerance (the two together), or 0 when the tolerance cannot tell.
int FilterScaled(Scaled a, Scaled b, long double tolerance);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_SCALED_H_
