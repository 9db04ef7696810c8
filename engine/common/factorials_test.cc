#include "engine/common/factorials.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace engine {
namespace {

mpz_class Factorial(unsigned long n) {
  mpz_class f;
  mpz_fac_ui(f.get_mpz_t(), n);
  return f;
}

TEST(FactorialsTest, RangeProductIsAQuotientOfFactorials) {
  EXPECT_EQ(RangeProduct(5, 4), 1);
  EXPECT_EQ(RangeProduct(0, 3), 0);
  EXPECT_EQ(RangeProduct(7, 7), 7);
  // Across the runs of 32 factors and the pairwise products: lengths of
  // one run, one more, an odd number of runs, many.
  for (std::uint64_t lo : {1u, 2u, 31u, 1000u}) {
    for (std::uint64_t length : {1u, 31u, 32u, 33u, 64u, 65u, 97u, 1500u}) {
      const std::uint64_t hi = lo + length - 1;
      EXPECT_EQ(RangeProduct(lo, hi), Factorial(hi) / Factorial(lo - 1)) << lo << ".." << hi;
    }
  }
  EXPECT_EQ(RangeProduct(2147483646, 2147483647), mpz_class("4611686011984936962"));
}

TEST(FactorialsTest, FactorialValuationCountsEveryPower) {
  EXPECT_EQ(FactorialValuation(0, 2), 0u);
  EXPECT_EQ(FactorialValuation(1, 2), 0u);
  EXPECT_EQ(FactorialValuation(100, 5), 24u);  // 20 multiples of 5, 4 of 25
  EXPECT_EQ(FactorialValuation(1024, 2), 1023u);
  EXPECT_EQ(FactorialValuation(2147483647, 46337), 46345u);  // 46344 multiples, one of its square
  for (unsigned long n : {10ul, 97ul, 360ul}) {
    for (unsigned long p : {2ul, 3ul, 7ul, 97ul}) {
      mpz_class f = Factorial(n);
      std::uint64_t e = 0;
      while (mpz_divisible_ui_p(f.get_mpz_t(), p) != 0) f /= p, ++e;
      EXPECT_EQ(FactorialValuation(n, p), e) << n << " " << p;
    }
  }
}

}  // namespace
}  // namespace engine
