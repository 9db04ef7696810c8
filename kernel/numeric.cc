#include "kernel/numeric.h"

#include <cmath>
#include <cstdint>

#include "kernel/failure.h"

namespace {

// 1754! is the largest factorial an extended real holds (about 1.97926e4930).
constexpr std::int32_t kLargestFactorial = 1754;

struct FactorialTable {
  long double value[kLargestFactorial + 1];
};

// The ascending products, each rounded as it is formed: the same values a
// loop from 2 to n would give on every call.
const FactorialTable& Factorials() {
  static const FactorialTable table = [] {
    FactorialTable t{};
    t.value[0] = 1;
    for (std::int32_t n = 1; n <= kLargestFactorial; ++n) {
      t.value[n] = t.value[n - 1] * static_cast<long double>(n);
    }
    return t;
  }();
  return table;
}

}  // namespace

void SetFloatingPointEnvironment() {
  std::uint16_t word = kControlWord;
  asm volatile("fninit\n\tfldcw %0" : : "m"(word));
}

long double Factorial(std::int32_t n) {
  const FactorialTable& table = Factorials();
  if (n <= kLargestFactorial) return n < 0 ? 1 : table.value[n];
  // 1754! x 1755 leaves the extended range: the overflow failure, whatever n.
  // The unit traps on it; should it not (a debugger, an emulator), the run
  // must still not go on with a factorial that does not exist.
  Settled(table.value[kLargestFactorial] * static_cast<long double>(kLargestFactorial + 1));
  RaiseArithmeticFailure(ArithmeticFailure::kOverflow,
                         reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
}

long double BinomialCoefficient(std::int32_t n, std::int32_t k) {
  if (n < k) return 0;
  long double a = Factorial(n);
  long double b = Factorial(k);
  // n - k wraps for a negative k; no caller passes one.
  long double c = Factorial(static_cast<std::int32_t>(static_cast<std::uint32_t>(n) -
                                                      static_cast<std::uint32_t>(k)));
  return Settled(a / (c * b));
}

long double PowerRatio(long double numerator, long double denominator, long double exponent) {
  if (denominator == 0) return 1;
  return RaiseToPower(Settled(numerator / denominator), exponent);
}

long double RaiseToPower(long double base, long double exponent) {
  bool whole = exponent >= -2147483648.0L && exponent <= 2147483647.0L &&
               static_cast<long double>(static_cast<std::int64_t>(exponent)) == exponent;
  if (!whole) return Settled(std::pow(base, exponent));
  auto n = static_cast<std::int32_t>(static_cast<std::int64_t>(exponent));
  // The magnitude in unsigned arithmetic, so that -2^31 gives 2^31.
  std::uint32_t m = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
  if (m == 0) return 1;
  long double r = 1;
  long double x = base;
  for (;;) {
    bool bit = (m & 1u) != 0;
    m >>= 1;
    if (bit) {
      r = Settled(r * x);
      if (m == 0) break;
    }
    x = Settled(x * x);
  }
  return n < 0 ? Settled(1 / r) : r;
}

long double ChiSquareTerm(std::int32_t observed, long double expected) {
  long double d = static_cast<long double>(observed) - expected;
  return Settled((d * d) / expected);
}

std::int32_t Larger(std::int32_t a, std::int32_t b) { return a > b ? a : b; }

std::int32_t Smaller(std::int32_t a, std::int32_t b) { return a < b ? a : b; }

long double NaturalLog(long double x) {
  long double result;
  asm volatile("fldln2\n\tfxch\n\tfyl2x" : "=t"(result) : "0"(x) : "st(1)");
  return Settled(result);
}
