#include "kernel/numeric.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using testing::ExitedWithCode;

// The second line of each arithmetic failure report.
constexpr const char* kInvalid = "EInvalidOp .*\r\n不正な浮動小数点数演算命令\\.\r\n\r\n";
constexpr const char* kZeroDivide = "EZeroDivide .*\r\n0 による浮動小数点数除算\\.\r\n\r\n";
constexpr const char* kOverflow = "EOverflow .*\r\n浮動小数点数のオーバーフロー\\.\r\n\r\n";

TEST(NumericTest, FactorialIsTheAscendingProduct) {
  EXPECT_EQ(Factorial(0), 1);
  EXPECT_EQ(Factorial(1), 1);
  EXPECT_EQ(Factorial(20), 2432902008176640000.0L);
  // 25! = 2^22 x an odd part below 2^64: still exact.
  EXPECT_EQ(Factorial(25), 15511210043330985984000000.0L);
  long double product = 1;
  for (int n = 2; n <= 300; ++n) product *= n;
  EXPECT_EQ(Factorial(300), product);
  EXPECT_NEAR(Factorial(1754) / 1.97926e4930L, 1, 1e-5);
}

TEST(NumericTest, FactorialOverflowsFrom1755) {
  EXPECT_EXIT(Factorial(1755), ExitedWithCode(1), kOverflow);
  EXPECT_EXIT(Factorial(2147483647), ExitedWithCode(1), kOverflow);
  // Even where the unit does not trap, the factorial is never returned.
  EXPECT_EXIT(WithExceptionsMasked([] { return Factorial(1755); }), ExitedWithCode(1), kOverflow);
}

TEST(NumericTest, BinomialCoefficient) {
  EXPECT_EQ(BinomialCoefficient(5, 7), 0);
  EXPECT_EQ(BinomialCoefficient(10, 3), 120);
  EXPECT_EQ(BinomialCoefficient(0, 0), 1);
  EXPECT_EQ(BinomialCoefficient(17, 5), 6188);
  EXPECT_NEAR(BinomialCoefficient(1000, 500) / 2.702882409454365695e299L, 1, 1e-12);
  // The factorial of n is formed even when the coefficient is 1.
  EXPECT_EXIT(BinomialCoefficient(1755, 0), ExitedWithCode(1), kOverflow);
}

TEST(NumericTest, PowerRatio) {
  EXPECT_EQ(PowerRatio(7, 0, 3), 1);
  EXPECT_EQ(PowerRatio(0, 0, 5), 1);
  EXPECT_EQ(PowerRatio(5, -0.0L, -9), 1);
  EXPECT_EQ(PowerRatio(3, 2, 0), 1);
  EXPECT_EQ(PowerRatio(0, 5, 3), 0);
  EXPECT_EQ(PowerRatio(2, 4, -2), 4);
  // The quotient is rounded before it is raised.
  long double third = 1.0L / 3;
  EXPECT_EQ(PowerRatio(1, 3, 2), third * third);
}

TEST(NumericTest, UnderflowIsSilent) {
  EXPECT_EQ(PowerRatio(1, 2, 20000), 0);
  EXPECT_EQ(RaiseToPower(0.5L, 16445), 0x1p-16445L);  // the smallest denormal
  EXPECT_EQ(RaiseToPower(0x1p-16000L, 2), 0);
}

TEST(NumericTest, RaiseToPowerByBinaryPowering) {
  EXPECT_EQ(RaiseToPower(0, 0), 1);
  EXPECT_EQ(RaiseToPower(3, 5), 243);
  EXPECT_EQ(RaiseToPower(-2, 3), -8);
  EXPECT_EQ(RaiseToPower(10, -2), 1 / 100.0L);
  // The magnitude of -2^31 is 2^31, taken without overflow.
  EXPECT_EQ(RaiseToPower(1, -2147483648.0L), 1);
  EXPECT_EQ(RaiseToPower(-1, -2147483648.0L), 1);
  EXPECT_EQ(RaiseToPower(-1, 2147483647), -1);
  // No squaring after the last factor: 2^16383 is the largest power of two.
  EXPECT_EQ(RaiseToPower(2, 16383), 0x1p16383L);
  EXPECT_EXIT(RaiseToPower(2, 16384), ExitedWithCode(1), kOverflow);
  EXPECT_EXIT(RaiseToPower(0x1p-16000L, -2), ExitedWithCode(1), kZeroDivide);
}

TEST(NumericTest, ChiSquareTerm) {
  EXPECT_EQ(ChiSquareTerm(5, 2.5L), 2.5L);
  EXPECT_EQ(ChiSquareTerm(0, 2.5L), 2.5L);
  EXPECT_EQ(ChiSquareTerm(1, -1), -4);
  EXPECT_EQ(ChiSquareTerm(-2147483648, 2), 2147483650.0L * 2147483650.0L / 2);
  EXPECT_EXIT(ChiSquareTerm(0, 0), ExitedWithCode(1), kInvalid);
  EXPECT_EXIT(ChiSquareTerm(3, 0), ExitedWithCode(1), kZeroDivide);
}

// Each routine is one fixed sequence of roundings, and another order of the
// same operations gives other bits. The values come from 64-bit arithmetic
// rounded at every step, done apart from the x87 unit.
TEST(NumericTest, EachRoutineRoundsInItsOwnOrder) {
  // (d x d) / e; d x (d / e) ends in ...492 instead.
  EXPECT_EQ(ChiSquareTerm(19, 1.0L / 7), 0x9.b92492492492491p+8L);
  // 34! / (24! x 10!) comes out whole; (34! / 24!) / 10! and
  // (34! / 10!) / 24! miss it by one and two units of the last place.
  EXPECT_EQ(BinomialCoefficient(34, 10), 131128140);
  // The quotient 10 / 3, rounded, then raised by binary powering from the
  // lowest bit; 10^5 / 3^5 ends in ...4044, one factor at a time in ...4040.
  EXPECT_EQ(PowerRatio(10, 3, 5), 0x1.9b85cb5339f14042p+8L);
}

TEST(NumericTest, LargerAndSmaller) {
  EXPECT_EQ(Larger(0, -4), 0);
  EXPECT_EQ(Larger(-3, -5), -3);
  EXPECT_EQ(Smaller(7, 7), 7);
  EXPECT_EQ(Smaller(-2147483647 - 1, 2147483647), -2147483647 - 1);
}

TEST(NumericTest, NaturalLog) {
  EXPECT_EQ(NaturalLog(1), 0);
  EXPECT_NEAR(NaturalLog(16.0L / 27) * -2, 1.046496287529095673L, 1e-15);
  EXPECT_NEAR(NaturalLog(0x1p-16445L), -16445 * 0.6931471805599453L, 1e-9);
  EXPECT_EXIT(NaturalLog(0), ExitedWithCode(1), kZeroDivide);
  EXPECT_EXIT(NaturalLog(-1), ExitedWithCode(1), kInvalid);
}

TEST(NumericTest, FailureEndsTheRunAtTheFaultingOperation) {
  // Nothing after the fault reaches standard error before the report.
  EXPECT_EXIT(
      {
        long double term = ChiSquareTerm(0, 0);
        std::fputs("after the fault\n", stderr);
        std::printf("%Lg", term);
      },
      ExitedWithCode(1), testing::Not(testing::HasSubstr("after the fault")));
}

TEST(NumericTest, ControlWordIsLoaded) {
  std::uint16_t word = 0;
  asm volatile("fnstcw %0" : "=m"(word));
  EXPECT_EQ(word & ~0x40, kControlWord);  // bit 6 is reserved and reads as 1
}

}  // namespace
