// The p-values of the sweep against big-integer arithmetic, down to
// 1e-5000 and below, and the doubles it delivers against correct rounding.
#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine/contingency/fourfold.h"
#include "engine/contingency/fourfold_logweight.h"
#include "engine/contingency/fourfold_table.h"

namespace engine {
namespace {

using Table = std::array<std::uint32_t, 4>;

// A number of MPFR for the length of a scope.
struct Big {
  explicit Big(long bits = 2048) { mpfr_init2(value, bits); }
  ~Big() { mpfr_clear(value); }
  Big(const Big&) = delete;
  Big& operator=(const Big&) = delete;
  mpfr_t value;
};

double Log10OfQuotient(const mpz_class& numerator, const mpz_class& denominator) {
  Big n, d;
  mpfr_set_z(n.value, numerator.get_mpz_t(), MPFR_RNDN);
  mpfr_set_z(d.value, denominator.get_mpz_t(), MPFR_RNDN);
  mpfr_div(n.value, n.value, d.value, MPFR_RNDN);
  mpfr_log10(n.value, n.value, MPFR_RNDN);
  return mpfr_get_d(n.value, MPFR_RNDN);
}

// The double nearest to numerator / denominator, and whether the exact
// value lies within a relative 2^-62 of a point halfway between two
// doubles, where extended reals cannot be sure to round it right.
struct Rounded {
  double value;
  bool near_halfway;
};
Rounded RoundedQuotient(const mpq_class& q) {
  Big exact(4096);
  mpfr_set_q(exact.value, q.get_mpq_t(), MPFR_RNDN);
  const double value = mpfr_get_d(exact.value, MPFR_RNDN);
  Big neighbour(4096), halfway(4096), distance(4096);
  bool near = false;
  for (double other : {std::nextafter(value, 0.0), std::nextafter(value, 2.0)}) {
    mpfr_set_d(neighbour.value, other, MPFR_RNDN);
    mpfr_set_d(halfway.value, value, MPFR_RNDN);
    mpfr_add(halfway.value, halfway.value, neighbour.value, MPFR_RNDN);
    mpfr_div_2ui(halfway.value, halfway.value, 1, MPFR_RNDN);
    mpfr_sub(distance.value, exact.value, halfway.value, MPFR_RNDN);
    mpfr_abs(distance.value, distance.value, MPFR_RNDN);
    mpfr_div(distance.value, distance.value, exact.value, MPFR_RNDN);
    if (mpfr_cmp_d(distance.value, 0x1p-62) < 0) near = true;
  }
  return {value, near};
}

// The test in big integers: each table's weight C(r1, x) C(r2, c1 - x),
// its keys (|N x - r1 c1|, sum n ln n at 512 bits with ties decided by
// the multisets of cells, the weight itself) and the sums of the tables
// at least as extreme.
struct Reference {
  std::vector<Ordering> orderings;
  std::vector<mpz_class> beyond, tied;
  mpz_class all;            // C(N, c1)
  mpz_class observed;       // the observed table's weight
};

Reference SolveInBigIntegers(const Table& t, Alternative alternative) {
  const std::int64_t r1 = std::int64_t{t[0]} + t[1], r2 = std::int64_t{t[2]} + t[3];
  const std::int64_t c1 = std::int64_t{t[0]} + t[2], c2 = std::int64_t{t[1]} + t[3];
  const std::int64_t n = r1 + r2, lo = std::max<std::int64_t>(0, r1 - c2), hi = std::min(r1, c1);
  const std::int64_t x0 = t[0];
  std::vector<mpz_class> weights;
  mpz_class w;
  mpz_bin_uiui(w.get_mpz_t(), static_cast<unsigned long>(r1), static_cast<unsigned long>(lo));
  mpz_class other;
  mpz_bin_uiui(other.get_mpz_t(), static_cast<unsigned long>(r2), static_cast<unsigned long>(c1 - lo));
  w *= other;
  for (std::int64_t x = lo; x <= hi; ++x) {
    weights.push_back(w);
    if (x < hi) {
      w *= static_cast<unsigned long>((r1 - x) * (c1 - x));
      mpz_divexact_ui(w.get_mpz_t(), w.get_mpz_t(), static_cast<unsigned long>((x + 1) * (r2 - c1 + x + 1)));
    }
  }
  const auto cells = [&](std::int64_t x) {
    std::array<std::int64_t, 4> c{x, r1 - x, c1 - x, r2 - c1 + x};
    for (auto& v : c) v = std::max<std::int64_t>(v, 1);
    std::sort(c.begin(), c.end());
    return c;
  };
  std::vector<Big> lr_keys(weights.size());
  for (std::int64_t x = lo; x <= hi; ++x) {
    Big term(512);
    mpfr_t& key = lr_keys[x - lo].value;
    mpfr_set_prec(key, 512);
    mpfr_set_zero(key, 1);
    for (std::int64_t cell : {x, r1 - x, c1 - x, r2 - c1 + x}) {
      if (cell < 2) continue;
      mpfr_set_ui(term.value, static_cast<unsigned long>(cell), MPFR_RNDN);
      mpfr_log(term.value, term.value, MPFR_RNDN);
      mpfr_mul_ui(term.value, term.value, static_cast<unsigned long>(cell), MPFR_RNDN);
      mpfr_add(key, key, term.value, MPFR_RNDN);
    }
  }
  const auto compare = [&](Ordering o, std::int64_t x) -> int {  // more extreme than x0: 1
    switch (o) {
      case Ordering::kChiSquare: {
        const std::int64_t d = std::llabs(n * x - r1 * c1), d0 = std::llabs(n * x0 - r1 * c1);
        return (d > d0) - (d < d0);
      }
      case Ordering::kLikelihoodRatio:
        if (cells(x) == cells(x0)) return 0;
        return mpfr_cmp(lr_keys[x - lo].value, lr_keys[x0 - lo].value);
      case Ordering::kProbability:
        return -cmp(weights[x - lo], weights[x0 - lo]);
      case Ordering::kN11:
        return alternative == Alternative::kLess ? (x < x0) - (x > x0) : (x > x0) - (x < x0);
    }
    return 0;
  };
  Reference ref;
  mpz_bin_uiui(ref.all.get_mpz_t(), static_cast<unsigned long>(n), static_cast<unsigned long>(c1));
  ref.observed = weights[x0 - lo];
  ref.orderings = alternative == Alternative::kTwoSided
                      ? std::vector<Ordering>{Ordering::kChiSquare, Ordering::kLikelihoodRatio, Ordering::kProbability}
                      : std::vector<Ordering>{Ordering::kN11};
  for (Ordering o : ref.orderings) {
    mpz_class beyond = 0, tied = 0;
    for (std::int64_t x = lo; x <= hi; ++x) {
      const int c = compare(o, x);
      if (c > 0) beyond += weights[x - lo];
      if (c == 0) tied += weights[x - lo];
    }
    ref.beyond.push_back(beyond);
    ref.tied.push_back(tied);
  }
  return ref;
}

std::string Name(const Table& t, Alternative alternative) {
  return std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + " " +
         std::to_string(t[3]) + (alternative == Alternative::kLess      ? " less"
                                 : alternative == Alternative::kGreater ? " greater"
                                                                        : "");
}

// log10 p and log10 mid-p within 1e-9; p and mid-p within a relative 1e-9
// where they are at least 1e-300; the observed probability likewise.
void ExpectAgreement(const Table& t, Alternative alternative) {
  const std::string name = Name(t, alternative);
  const Reference ref = SolveInBigIntegers(t, alternative);
  const FourfoldOrderings got = TestFourfoldOrderings({t, alternative});
  ASSERT_EQ(static_cast<std::size_t>(got.count), ref.orderings.size()) << name;
  for (int k = 0; k < got.count; ++k) {
    const OrderingResult& r = got.results[k];
    const std::string what = name + " " + std::string(KeyOf(r.ordering));
    ASSERT_EQ(r.ordering, ref.orderings[k]) << what;
    const mpz_class p_numerator = ref.beyond[k] + ref.tied[k];
    const mpz_class mid_numerator = 2 * ref.beyond[k] + ref.tied[k];
    const double log10_p = Log10OfQuotient(p_numerator, ref.all);
    const double log10_mid = Log10OfQuotient(mid_numerator, 2 * ref.all);
    EXPECT_NEAR(r.log10_p, log10_p, 1e-9) << what;
    EXPECT_NEAR(r.log10_mid_p, log10_mid, 1e-9) << what;
    if (log10_p >= -300) {
      EXPECT_NEAR(r.p, std::pow(10.0, log10_p), 1e-9 * std::pow(10.0, log10_p)) << what;
    }
    if (log10_mid >= -300) {
      EXPECT_NEAR(r.mid_p, std::pow(10.0, log10_mid), 1e-9 * std::pow(10.0, log10_mid)) << what;
    }
    if (log10_p < -330) {
      EXPECT_EQ(r.p, 0) << what;  // the double underflows; its log10 does not
    }
    if (r.ordering == Ordering::kProbability) {
      EXPECT_NEAR(r.log10_value, Log10OfQuotient(ref.observed, ref.all), 1e-9) << what;
    }
  }
}

TEST(FourfoldPValuesTest, FarBelowTheDoublesAgreeWithBigIntegers) {
  // p from 1e-1202 (2000 0 0 2000) to 1e-5055 (8400 0 0 8400); tails far
  // out on both sides of the mode, mirrored with ties (equal row sums,
  // equal column sums: one side swept for both) and without; one-sided.
  const Table tables[] = {{2000, 0, 0, 2000}, {0, 2000, 2000, 0},    {8400, 0, 0, 8400},   {6000, 4, 9, 6100},
                          {1900, 3100, 100, 4900}, {1500, 3500, 300, 4700}, {10, 5000, 3000, 10},
                          {3, 4997, 1990, 3010}, {700, 1, 4, 650},   {2, 9000, 9000, 3},
                          {50, 3000, 2950, 0},   {1500, 1499, 1500, 1501}};
  for (const Table& t : tables) {
    for (Alternative a : {Alternative::kTwoSided, Alternative::kLess, Alternative::kGreater}) ExpectAgreement(t, a);
  }
}

TEST(FourfoldPValuesTest, RandomTablesAgreeWithBigIntegers) {
  // Enrichment-like tables (total 20,000), allelic-like ones (5,000 and
  // 5,000 alleles, minor counts up to 2,000) and free shapes, the observed
  // table anywhere in its support.
  std::mt19937_64 random(2023);
  for (int i = 0; i < 60; ++i) {
    Table t{};
    const int kind = i % 3;
    if (kind == 0) {
      const std::uint32_t r1 = 5 + random() % 496, c1 = 20 + random() % 1981, total = 20000;
      const std::uint32_t hi = std::min(r1, c1), x = static_cast<std::uint32_t>(random() % (hi + 1));
      t = {x, r1 - x, c1 - x, total - r1 - c1 + x};
    } else if (kind == 1) {
      const std::uint32_t a = random() % 2001, b = random() % 2001;
      t = {a, 5000 - a, b, 5000 - b};
    } else {
      for (auto& n : t) n = static_cast<std::uint32_t>(random() % 3000);
    }
    ExpectAgreement(t, i % 4 == 1 ? Alternative::kLess : i % 4 == 3 ? Alternative::kGreater : Alternative::kTwoSided);
  }
}

TEST(FourfoldPValuesTest, ExactValuesAreCorrectlyRounded) {
  // 1 2 0 5: the tables have probabilities 3/8 and 5/8, so Fisher's p is
  // 3/8 and its mid-p 3/16, exactly; 1 0 0 15: 1/16 and 1/32.
  FourfoldOrderings r = TestFourfoldOrderings({{1, 2, 0, 5}});
  EXPECT_EQ(r.results[2].value, 0.375);
  EXPECT_EQ(r.results[2].p, 0.375);
  EXPECT_EQ(r.results[2].mid_p, 0.1875);
  r = TestFourfoldOrderings({{1, 0, 0, 15}});
  EXPECT_EQ(r.results[2].p, 0.0625);
  EXPECT_EQ(r.results[2].mid_p, 0.03125);
  // Every small table: each p and mid-p is the double nearest the exact
  // rational, unless that lies within 2^-62 of halfway between two
  // doubles, closer than the rounding of extended reals can tell.
  std::mt19937_64 random(1616);
  int checked = 0;
  for (int i = 0; i < 400; ++i) {
    const Table t{static_cast<std::uint32_t>(random() % 25), static_cast<std::uint32_t>(random() % 25),
                  static_cast<std::uint32_t>(random() % 25), static_cast<std::uint32_t>(random() % 25)};
    const Alternative a = i % 3 == 0 ? Alternative::kTwoSided : i % 3 == 1 ? Alternative::kLess : Alternative::kGreater;
    const Reference ref = SolveInBigIntegers(t, a);
    const FourfoldOrderings got = TestFourfoldOrderings({t, a});
    for (int k = 0; k < got.count; ++k) {
      const mpq_class p(ref.beyond[k] + ref.tied[k], ref.all), mid(2 * ref.beyond[k] + ref.tied[k], 2 * ref.all);
      for (const auto& [value, exact] : {std::pair{got.results[k].p, p}, std::pair{got.results[k].mid_p, mid}}) {
        mpq_class canonical = exact;
        canonical.canonicalize();
        const Rounded rounded = RoundedQuotient(canonical);
        if (rounded.near_halfway) continue;
        ++checked;
        EXPECT_EQ(value, rounded.value) << Name(t, a) << " " << KeyOf(got.results[k].ordering);
      }
    }
  }
  EXPECT_GT(checked, 1300);
}

TEST(FourfoldPValuesTest, ClosedFormWeightsAgreeWithBigIntegersWithinTheirBound) {
  // ln w(x) = ln(P(x) / P(mode)) from G^2 and Stirling's remainders,
  // against the quotient of big integers; the bound it claims must hold,
  // near the mode and far from it, with empty and small cells (the table
  // of H) and with cells past 16 (the series).
  const Table tables[] = {{3, 5, 2, 7}, {40, 460, 1363, 18137}, {0, 20, 15, 0}, {2000, 0, 0, 2000},
                          {1900, 3100, 100, 4900}, {12, 13, 14, 15}};
  for (const Table& t : tables) {
    const fourfold::Margins m = fourfold::MarginsOf(t);
    const std::int64_t mode = fourfold::ModeOf(m);
    const fourfold::ProbabilityKey mode_key = fourfold::ProbabilityKeyAt(m, mode);
    const auto weight = [&](std::int64_t x) {
      mpz_class a, b;
      mpz_bin_uiui(a.get_mpz_t(), static_cast<unsigned long>(m.r1), static_cast<unsigned long>(x));
      mpz_bin_uiui(b.get_mpz_t(), static_cast<unsigned long>(m.r2), static_cast<unsigned long>(m.c1 - x));
      return mpz_class(a * b);
    };
    const mpz_class w_mode = weight(mode);
    for (std::int64_t x = m.lo; x <= m.hi; x += std::max<std::int64_t>(1, (m.hi - m.lo) / 40)) {
      const fourfold::LogWeight lw = fourfold::LogWeightAt(m, mode_key, x);
      const double exact_log10 = Log10OfQuotient(weight(x), w_mode);
      const double error = std::fabs(static_cast<double>(lw.value) - exact_log10 * std::log(10.0));
      EXPECT_LE(error, static_cast<double>(lw.tolerance) + 1e-15 * std::fabs(static_cast<double>(lw.value)))
          << Name(t, Alternative::kTwoSided) << " n11 " << x;
      EXPECT_LT(lw.tolerance, 1e-12L + 1e-15L * std::fabs(lw.value)) << "a bound too loose to decide anything";
    }
  }
}

TEST(FourfoldPValuesTest, FactorialExcessAtBothSidesOfTheSeries) {
  // H(n) = ln n! - n ln n + n, from the table up to 15 and Stirling's
  // series from 16.
  for (std::int64_t n : {0, 1, 2, 7, 15, 16, 17, 100, 1000000, 2147483647}) {
    Big f(256), t(256);
    mpfr_set_ui(f.value, static_cast<unsigned long>(n + 1), MPFR_RNDN);
    mpfr_lngamma(f.value, f.value, MPFR_RNDN);
    if (n > 0) {
      mpfr_set_ui(t.value, static_cast<unsigned long>(n), MPFR_RNDN);
      mpfr_log(t.value, t.value, MPFR_RNDN);
      mpfr_mul_ui(t.value, t.value, static_cast<unsigned long>(n), MPFR_RNDN);
      mpfr_sub(f.value, f.value, t.value, MPFR_RNDN);
      mpfr_add_ui(f.value, f.value, static_cast<unsigned long>(n), MPFR_RNDN);
    }
    const long double want = mpfr_get_ld(f.value, MPFR_RNDN);
    EXPECT_NEAR(static_cast<double>(fourfold::FactorialExcess(n)), static_cast<double>(want), 1e-17) << n;
  }
}

}  // namespace
}  // namespace engine
