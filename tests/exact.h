// Exact arithmetic for checking the programs' results, independent of the
// extended reals they compute with: fractions of 128-bit integers (the
// totals used in tests keep every numerator and denominator far inside that
// range) and natural numbers of any size, for products of powers.
#ifndef TESTS_EXACT_H_
#define TESTS_EXACT_H_

#include <cstdint>
#include <string>
#include <vector>

/// A fraction in lowest terms with a positive denominator.
struct Fraction {
  __int128 numerator;
  __int128 denominator;
};

/// numerator / denominator reduced; the denominator must not be 0.
Fraction MakeFraction(__int128 numerator, __int128 denominator);
Fraction operator+(const Fraction& a, const Fraction& b);
Fraction operator-(const Fraction& a, const Fraction& b);
/// The sign of a - b.
int Compare(const Fraction& a, const Fraction& b);
/// 3/8 gives "3/8".
std::string ToString(const Fraction& value);

/// A non-negative value times scale, rounded half up: 0.0000005 with scale
/// 10^6 gives 1, 0.625 gives 625000.
std::int64_t ScaledHalfUp(const Fraction& value, std::int64_t scale);
/// The nearest extended real, near enough for relative comparisons.
long double Approximately(const Fraction& value);

/// n! for 0 <= n <= 33.
__int128 ExactFactorial(int n);
/// n over k for 0 <= k <= n <= 120; 0 when k is out of range.
__int128 ExactBinomial(int n, int k);
/// base^exponent for a small result.
__int128 ExactPower(int base, int exponent);

/// A natural number of any size: 32-bit limbs, least significant first,
/// without leading zero limbs.
using Natural = std::vector<std::uint32_t>;

/// The product of x^x over the values (0^0 is 1). {2, 3} gives 108.
Natural SelfPowerProduct(const std::vector<int>& values);
/// The sign of a - b.
int Compare(const Natural& a, const Natural& b);

#endif  // TESTS_EXACT_H_
