#include "tests/exact.h"

#include <cstdlib>

namespace {

__int128 Magnitude(__int128 v) { return v < 0 ? -v : v; }

__int128 GreatestCommonDivisor(__int128 a, __int128 b) {
  a = Magnitude(a);
  b = Magnitude(b);
  while (b != 0) {
    __int128 r = a % b;
    a = b;
    b = r;
  }
  return a;
}

std::string Decimal(__int128 v) {
  if (v == 0) return "0";
  bool negative = v < 0;
  v = Magnitude(v);
  std::string digits;
  while (v != 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  return negative ? "-" + digits : digits;
}

}  // namespace

Fraction MakeFraction(__int128 numerator, __int128 denominator) {
  if (denominator == 0) std::abort();
  if (denominator < 0) {
    numerator = -numerator;
    denominator = -denominator;
  }
  __int128 divisor = GreatestCommonDivisor(numerator, denominator);
  if (divisor == 0) return {0, 1};
  return {numerator / divisor, denominator / divisor};
}

Fraction operator+(const Fraction& a, const Fraction& b) {
  __int128 divisor = GreatestCommonDivisor(a.denominator, b.denominator);
  __int128 b_scale = a.denominator / divisor;
  __int128 a_scale = b.denominator / divisor;
  return MakeFraction(a.numerator * a_scale + b.numerator * b_scale, a.denominator * a_scale);
}

Fraction operator-(const Fraction& a, const Fraction& b) {
  return a + Fraction{-b.numerator, b.denominator};
}

int Compare(const Fraction& a, const Fraction& b) {
  __int128 left = a.numerator * b.denominator;
  __int128 right = b.numerator * a.denominator;
  return left < right ? -1 : left > right ? 1 : 0;
}

std::string ToString(const Fraction& value) {
  return Decimal(value.numerator) + "/" + Decimal(value.denominator);
}

std::int64_t ScaledHalfUp(const Fraction& value, std::int64_t scale) {
  __int128 twice = 2 * value.numerator * scale + value.denominator;
  return static_cast<std::int64_t>(twice / (2 * value.denominator));
}

long double Approximately(const Fraction& value) {
  return static_cast<long double>(value.numerator) / static_cast<long double>(value.denominator);
}

__int128 ExactFactorial(int n) {
  __int128 product = 1;
  for (int i = 2; i <= n; ++i) product *= i;
  return product;
}

__int128 ExactBinomial(int n, int k) {
  if (k < 0 || k > n) return 0;
  __int128 result = 1;
  // Each partial result is itself a binomial coefficient, so it divides.
  for (int i = 1; i <= k; ++i) result = result * (n - k + i) / i;
  return result;
}

__int128 ExactPower(int base, int exponent) {
  __int128 result = 1;
  for (int i = 0; i < exponent; ++i) result *= base;
  return result;
}

Natural SelfPowerProduct(const std::vector<int>& values) {
  Natural product{1};
  for (int v : values) {
    for (int i = 0; i < v; ++i) {
      std::uint64_t carry = 0;
      for (std::uint32_t& limb : product) {
        std::uint64_t wide = static_cast<std::uint64_t>(limb) * static_cast<std::uint32_t>(v) + carry;
        limb = static_cast<std::uint32_t>(wide);
        carry = wide >> 32;
      }
      if (carry != 0) product.push_back(static_cast<std::uint32_t>(carry));
    }
  }
  return product;
}

int Compare(const Natural& a, const Natural& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}
