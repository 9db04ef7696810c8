// Numeric routines of both programs, in x87 extended precision.
//
// Every probability and statistic is formed from these routines, under one
// floating-point environment (control word 0x1332): 64-bit significand, round
// to nearest even, invalid operation, division by zero and overflow unmasked
// (each ends the run at the faulting operation through the SIGFPE handler of
// kernel/failure), underflow, denormal operands and inexact results silent.
#ifndef KERNEL_NUMERIC_H_
#define KERNEL_NUMERIC_H_

#include <cstdint>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64,
              "the statistics need the x87 extended real with a 64-bit significand");
static_assert(std::numeric_limits<long double>::max_exponent == 16384);

/// The x87 control word of the whole run.
inline constexpr std::uint16_t kControlWord = 0x1332;

/// Resets the x87 unit (fninit) and loads kControlWord.
void SetFloatingPointEnvironment();

/// Runs fn with every x87 exception masked, then clears the flags it raised
/// and restores kControlWord. For library calls (strtold) that may touch
/// overflow or underflow internally.
template <typename Fn>
auto WithExceptionsMasked(Fn fn);

/// n! as the ascending product 2 x 3 x ... x n, each partial product rounded;
/// exact up to 20!. 1 for n <= 1. Every n >= 1755 is the overflow failure.
/// Factorial(20) is 2432902008176640000.
long double Factorial(std::int32_t n);

/// n over k as Factorial(n) / (Factorial(n - k) x Factorial(k)), in that
/// order of operations; 0 when n < k. Any n >= 1755 overflows, even for
/// k = 0. BinomialCoefficient(10, 3) is 120.
long double BinomialCoefficient(std::int32_t n, std::int32_t k);

/// (numerator / denominator) raised to exponent; 1 when denominator is 0,
/// whatever the others. PowerRatio(2, 4, -2) is 4.
long double PowerRatio(long double numerator, long double denominator, long double exponent);

/// base^exponent by binary powering from the lowest bit, every product
/// rounded; for a whole exponent, 1 / R when it is negative. 0^0 is 1.
/// Underflow is silent; overflow and 1 / 0 are failures.
long double RaiseToPower(long double base, long double exponent);

/// (observed - expected)^2 / expected, the square rounded before the division.
/// ChiSquareTerm(5, 2.5) is 2.5; an expected value of 0 is the
/// invalid-operation failure for observed 0, division by zero otherwise.
long double ChiSquareTerm(std::int32_t observed, long double expected);

/// The larger and the smaller of two signed integers.
std::int32_t Larger(std::int32_t a, std::int32_t b);
std::int32_t Smaller(std::int32_t a, std::int32_t b);

/// ln x as ln 2 x log2 x (FYL2X). NaturalLog(1) is 0; 0 is division by zero,
/// a negative x the invalid-operation failure.
long double NaturalLog(long double x);

/// Makes a pending x87 exception of value's computation fire here, so that a
/// failure ends the run at the operation that caused it and not at some later
/// floating-point instruction.
inline long double Settled(long double value) {
  asm volatile("fwait" : "+t"(value));
  return value;
}

template <typename Fn>
auto WithExceptionsMasked(Fn fn) {
  std::uint16_t masked = kControlWord | 0x3F;
  asm volatile("fldcw %0" : : "m"(masked));
  auto result = fn();
  std::uint16_t restored = kControlWord;
  asm volatile("fnclex\n\tfldcw %0" : : "m"(restored));
  return result;
}

#endif  // KERNEL_NUMERIC_H_
