// Positive numbers far beyond the range of an extended real: a fraction
// and a separate power of two. The weights of tables far out in a tail,
// their sums and the p-values formed from them never underflow in this
// form; a p-value of 1e-100000 keeps its digits.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_SCALED_H_
#define ENGINE_CONTINGENCY_FOURFOLD_SCALED_H_

#include <cstdint>

namespace engine::fourfold {

/// fraction 2^exponent; zero when fraction is 0. The fraction is any
/// extended real well inside its range, kept so (Normalized) where a
/// product or a quotient could leave it; most numbers of a sweep keep
/// the exponent 0 and cost what extended reals cost.
/// Scaled{} is zero; a Scaled left uninitialised is not.
struct Scaled {
  Scaled() = default;
  Scaled(long double f, std::int64_t e) : fraction(f), exponent(e) {}
  // Copied member by member: the fraction as an extended real (ten
  // bytes), never as the sixteen bytes of its slot, which a processor
  // cannot forward from the ten-byte store that wrote it and so stalls.
  Scaled(const Scaled& other) : fraction(other.fraction), exponent(other.exponent) {}
  Scaled& operator=(const Scaled& other) {
    fraction = other.fraction;
    exponent = other.exponent;
    return *this;
  }

  long double fraction;
  std::int64_t exponent;
};

/// The same number with its fraction in [1/2, 1), or zero.
Scaled Normalized(Scaled s);

/// a + b, rounded once in the fraction. A term below 2^-80 of the other
/// adds nothing. Numbers of one exponent add as extended reals do.
Scaled AddApart(Scaled a, Scaled b);
inline Scaled Add(const Scaled& a, const Scaled& b) {
  if (a.exponent == b.exponent) return {a.fraction + b.fraction, a.exponent};
  return AddApart(a, b);
}

/// Fractions are kept within 2^-8000 .. 2^8000, so that one product or
/// quotient of two of them is still an extended real.
inline Scaled Kept(Scaled s) {
  if ((s.fraction < 0x1p-8000L && s.fraction != 0) || s.fraction > 0x1p8000L) return Normalized(s);
  return s;
}

/// a / b for b not zero, rounded once.
inline Scaled Divide(const Scaled& a, const Scaled& b) { return Kept({a.fraction / b.fraction, a.exponent - b.exponent}); }

/// s times factor (a finite extended real, neither huge nor tiny).
inline Scaled Scale(const Scaled& s, long double factor) { return Kept({s.fraction * factor, s.exponent}); }

/// e^log_value, for any finite log_value: FromLog(-1e6) is about
/// 0.5 2^-1442696. The error is that of exp at the fraction plus about
/// |log_value| 2^-64 relative, the rounding of log_value itself.
Scaled FromLog(long double log_value);

/// The natural logarithm; -inf for zero.
long double LogOf(Scaled s);

/// As a double: 0 where it lies below the doubles, +inf above them.
double ToDouble(Scaled s);

/// As an extended real: 0 below its range.
long double ToLongDoubleApart(Scaled s);
inline long double ToLongDouble(const Scaled& s) { return s.exponent == 0 ? s.fraction : ToLongDoubleApart(s); }

/// The sign of a - b for positive numbers each known to within a relative
/// tolerance (the two together), or 0 when the tolerance cannot tell.
int FilterScaled(Scaled a, Scaled b, long double tolerance);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_SCALED_H_
