#include "engine/contingency/fourfold.h"
#include "engine/contingency/excess_entropy.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

namespace engine {
namespace {

using Table = std::array<std::uint32_t, 4>;

// The test worked out in rationals over the whole support: each table's
// hypergeometric probability, its keys (|N n11 - r1 c1| for X^2, the
// product of n^n for G^2, the probability itself) and where it stands.
struct ExactOrdering {
  mpq_class p, mid_p;
  std::vector<Mark> marks;  // by n11 - lo
};

struct ExactTest {
  std::int64_t lo = 0;
  std::vector<mpq_class> probabilities;
  std::vector<mpq_class> chi_square;  // N D^2 / (r1 r2 c1 c2)
  ExactOrdering orderings[kOrderingCount];
};

mpz_class Binomial(std::int64_t n, std::int64_t k) {
  mpz_class b;
  mpz_bin_uiui(b.get_mpz_t(), static_cast<unsigned long>(n), static_cast<unsigned long>(k));
  return b;
}

mpz_class SelfPowers(const std::array<std::int64_t, 4>& cells) {
  mpz_class product = 1, power;
  for (std::int64_t n : cells) {
    mpz_ui_pow_ui(power.get_mpz_t(), static_cast<unsigned long>(n), static_cast<unsigned long>(n));
    product *= power;
  }
  return product;
}

template <typename Key>
ExactOrdering Order(const std::vector<Key>& keys, const std::vector<mpq_class>& probabilities, std::size_t observed,
                    bool larger_is_extreme) {
  ExactOrdering o;
  o.p = 0;
  o.mid_p = 0;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    int c = cmp(keys[i], keys[observed]);
    if (!larger_is_extreme) c = -c;
    o.marks.push_back(c > 0 ? Mark::kBeyond : c == 0 ? Mark::kTied : Mark::kNotExtreme);
    if (c >= 0) o.p += probabilities[i];
    if (c > 0) o.mid_p += probabilities[i];
    if (c == 0) o.mid_p += probabilities[i] / 2;
  }
  return o;
}

ExactTest SolveExactly(const Table& t, Alternative alternative) {
  const std::int64_t r1 = std::int64_t{t[0]} + t[1], r2 = std::int64_t{t[2]} + t[3];
  const std::int64_t c1 = std::int64_t{t[0]} + t[2], c2 = std::int64_t{t[1]} + t[3];
  const std::int64_t n = r1 + r2;
  ExactTest e;
  e.lo = std::max<std::int64_t>(0, r1 - c2);
  const std::int64_t hi = std::min(r1, c1);
  const mpz_class all = Binomial(n, c1);
  std::vector<mpz_class> chi_keys, lr_keys, n11_keys;
  for (std::int64_t x = e.lo; x <= hi; ++x) {
    e.probabilities.emplace_back(Binomial(r1, x) * Binomial(r2, c1 - x), all);
    e.probabilities.back().canonicalize();
    const mpz_class d = mpz_class(std::to_string(n * x)) - mpz_class(std::to_string(r1 * c1));
    chi_keys.push_back(abs(d));
    const bool degenerate = r1 == 0 || r2 == 0 || c1 == 0 || c2 == 0;
    e.chi_square.emplace_back(degenerate ? mpz_class(0) : mpz_class(d * d * n),
                              degenerate ? mpz_class(1) : mpz_class(mpz_class(r1 * r2) * mpz_class(c1 * c2)));
    e.chi_square.back().canonicalize();
    lr_keys.push_back(SelfPowers({x, r1 - x, c1 - x, r2 - c1 + x}));
    n11_keys.push_back(alternative == Alternative::kGreater ? x : -x);
  }
  const std::size_t observed = t[0] - e.lo;
  e.orderings[0] = Order(chi_keys, e.probabilities, observed, true);
  e.orderings[1] = Order(lr_keys, e.probabilities, observed, true);
  e.orderings[2] = Order(e.probabilities, e.probabilities, observed, false);
  e.orderings[3] = Order(n11_keys, e.probabilities, observed, true);
  return e;
}

// |got - want| <= tolerance want, in multiple precision.
void ExpectRelativelyClose(double got, const mpq_class& want, double tolerance, const std::string& what) {
  const double w = want.get_d();
  if (w < 1e-300) {
    EXPECT_LE(got, 1e-290) << what;
    return;
  }
  const mpq_class error = abs(mpq_class(got) - want);
  EXPECT_LE(cmp(error, want * mpq_class(tolerance)), 0) << what << ": got " << got << ", want " << w;
}

// G^2 = 2 sum n ln(n / e) to 256 bits.
double ReferenceLikelihoodRatio(const Table& t) {
  const double r[2] = {double(t[0]) + t[1], double(t[2]) + t[3]};
  const double c[2] = {double(t[0]) + t[2], double(t[1]) + t[3]};
  const double n = r[0] + r[1];
  if (r[0] == 0 || r[1] == 0 || c[0] == 0 || c[1] == 0) return 0;
  mpfr_t sum, term, e;
  mpfr_inits2(256, sum, term, e, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_zero(sum, 1);
  for (int i = 0; i < 4; ++i) {
    if (t[i] == 0) continue;
    mpfr_set_d(e, r[i / 2], MPFR_RNDN);
    mpfr_mul_d(e, e, c[i % 2], MPFR_RNDN);
    mpfr_div_d(e, e, n, MPFR_RNDN);        // the expected count
    mpfr_set_ui(term, t[i], MPFR_RNDN);
    mpfr_div(term, term, e, MPFR_RNDN);
    mpfr_log(term, term, MPFR_RNDN);
    mpfr_mul_ui(term, term, t[i], MPFR_RNDN);
    mpfr_add(sum, sum, term, MPFR_RNDN);
  }
  const double g2 = 2 * mpfr_get_d(sum, MPFR_RNDN);
  mpfr_clears(sum, term, e, static_cast<mpfr_ptr>(nullptr));
  return g2;
}

struct Listed {
  Table counts;
  OutcomeRow row;
};

// Runs the test with a sink and without, and holds every p-value, mark and
// listed probability against exact arithmetic.
void ExpectExact(const Table& t, Alternative alternative = Alternative::kTwoSided) {
  const std::string name = std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + " " +
                           std::to_string(t[3]) + (alternative == Alternative::kTwoSided ? "" : " one-sided");
  FourfoldProblem problem;
  problem.cells = t;
  problem.alternative = alternative;
  std::vector<Listed> rows;
  const FourfoldResult listed = TestFourfold(problem, [&](const OutcomeRow& row) {
    Listed l{};
    std::copy(row.counts.begin(), row.counts.end(), l.counts.begin());
    l.row = row;
    rows.push_back(l);
  });
  const FourfoldResult summed = TestFourfold(problem);
  const ExactTest exact = SolveExactly(t, alternative);

  ASSERT_EQ(rows.size(), exact.probabilities.size()) << name;
  EXPECT_EQ(listed.outcomes, rows.size()) << name;
  EXPECT_EQ(listed.n11_min, exact.lo) << name;
  const bool two_sided = alternative == Alternative::kTwoSided;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::int64_t x = exact.lo + static_cast<std::int64_t>(i);
    const std::string where = name + ", n11 = " + std::to_string(x);
    EXPECT_EQ(rows[i].counts[0], x) << where;
    EXPECT_EQ(std::int64_t{rows[i].counts[0]} + rows[i].counts[1], std::int64_t{t[0]} + t[1]) << where;
    EXPECT_EQ(std::int64_t{rows[i].counts[0]} + rows[i].counts[2], std::int64_t{t[0]} + t[2]) << where;
    EXPECT_EQ(rows[i].row.multiplicity, 1) << where;
    ExpectRelativelyClose(rows[i].row.probability, exact.probabilities[i], 1e-12, where + " probability");
    ExpectRelativelyClose(rows[i].row.chi_square, exact.chi_square[i], 1e-14, where + " chi-square");
    for (int o = 0; o < 3; ++o) {
      EXPECT_EQ(rows[i].row.marks[o], exact.orderings[o].marks[i]) << where << " ordering " << o;
    }
    EXPECT_EQ(rows[i].row.marks[3], two_sided ? Mark::kNotExtreme : exact.orderings[3].marks[i]) << where;
  }

  const std::vector<Ordering> expected =
      two_sided ? std::vector<Ordering>{Ordering::kChiSquare, Ordering::kLikelihoodRatio, Ordering::kProbability}
                : std::vector<Ordering>{Ordering::kN11};
  ASSERT_EQ(listed.orderings.size(), expected.size()) << name;
  ASSERT_EQ(summed.orderings.size(), expected.size()) << name;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const OrderingResult& r = listed.orderings[k];
    const ExactOrdering& e = exact.orderings[static_cast<int>(expected[k])];
    EXPECT_EQ(r.ordering, expected[k]) << name;
    ExpectRelativelyClose(r.p, e.p, 1e-12, name + " p of " + std::string(KeyOf(r.ordering)));
    ExpectRelativelyClose(r.mid_p, e.mid_p, 1e-12, name + " mid-p of " + std::string(KeyOf(r.ordering)));
    EXPECT_TRUE(std::isnan(r.standard_error));
    // Summing only what matters gives what the listing's run gives.
    EXPECT_EQ(summed.orderings[k].p, r.p) << name;
    EXPECT_EQ(summed.orderings[k].mid_p, r.mid_p) << name;
  }
  if (two_sided) {
    const std::size_t observed = t[0] - exact.lo;
    ExpectRelativelyClose(listed.orderings[0].value, exact.chi_square[observed], 1e-14, name + " X^2");
    EXPECT_NEAR(listed.orderings[1].value, ReferenceLikelihoodRatio(t), 1e-14 * listed.orderings[1].value + 1e-300)
        << name;
    ExpectRelativelyClose(listed.orderings[2].value, exact.probabilities[observed], 1e-12, name + " P");
  } else {
    EXPECT_EQ(listed.orderings[0].value, t[0]) << name;
  }
}

TEST(FourfoldTest, SmallTablesMatchExactArithmetic) {
  std::mt19937_64 random(14);
  std::uniform_int_distribution<std::uint32_t> cell(0, 14);
  for (int i = 0; i < 400; ++i) ExpectExact({cell(random), cell(random), cell(random), cell(random)});
}

TEST(FourfoldTest, MediumTablesMatchExactArithmetic) {
  std::mt19937_64 random(1414);
  for (int i = 0; i < 60; ++i) {
    // Skewed shapes too: one small cell, one large one.
    std::uniform_int_distribution<std::uint32_t> small(0, 40), large(0, 700);
    Table t{};
    for (auto& n : t) n = (random() % 3 == 0) ? small(random) : large(random);
    ExpectExact(t);
  }
}

TEST(FourfoldTest, OneSidedMatchesExactArithmetic) {
  std::mt19937_64 random(28);
  std::uniform_int_distribution<std::uint32_t> cell(0, 60);
  for (int i = 0; i < 150; ++i) {
    const Table t{cell(random), cell(random), cell(random), cell(random)};
    ExpectExact(t, Alternative::kLess);
    ExpectExact(t, Alternative::kGreater);
  }
}

TEST(FourfoldTest, TiesBetweenDifferentTables) {
  // Equal margins mirror the tables; equal probabilities also come from
  // equal products of factorials (0! 2! 2! 3! = 1! 1! 1! 4!, at distance 2:
  // 0! 4! 4! 7! = 2! 2! 2! 9!), equal G^2 from equal products of n^n
  // (0^0 3^3 3^3 4^4 = 2^2 1^1 1^1 6^6, for any multiple of the cells).
  const Table tables[] = {{3, 5, 5, 3},   {1, 1, 1, 5},   {0, 2, 2, 3},    {1, 1, 4, 1},     {0, 4, 4, 7},
                          {2, 2, 9, 2},   {0, 3, 6, 8},   {0, 6, 7, 4},    {5, 1, 2, 9},     {0, 3, 3, 4},
                          {2, 1, 1, 6},   {0, 6, 6, 8},   {4, 2, 2, 12},   {0, 30, 30, 40},  {20, 10, 10, 60},
                          {7, 9, 9, 7},   {10, 0, 0, 10}, {0, 12, 12, 0},  {6, 6, 6, 6},     {50, 61, 61, 50},
                          {8, 3, 6, 0},   {4, 10, 2, 1},  {1, 10, 2, 4}};
  for (const Table& t : tables) {
    ExpectExact(t);
    ExpectExact({t[1], t[0], t[3], t[2]});
  }
}

TEST(FourfoldTest, SkewedMarginsPutTheMirrorsOfXSquareAndGSquareApart) {
  // An expected n11 of 10: X^2 mirrors n11 = 1 at 19, G^2 only at 23, a
  // search past the first guesses; the same from the other side and
  // one-sided.
  const Table tables[] = {{1, 49, 199, 751}, {0, 50, 200, 750}, {24, 26, 176, 774}, {30, 20, 170, 780}};
  for (const Table& t : tables) {
    ExpectExact(t);
    ExpectExact(t, Alternative::kLess);
  }
}

TEST(FourfoldTest, ObservedFarInTheTail) {
  // P(observed) from about 1e-180 to 1e-360: down to where no double shows
  // it, and beyond the weights the engine keeps.
  ExpectExact({0, 300, 300, 0});
  ExpectExact({0, 500, 500, 0});
  ExpectExact({0, 540, 540, 0});
  ExpectExact({0, 600, 600, 0});
  ExpectExact({600, 0, 0, 600});
  ExpectExact({2, 700, 650, 3});
  ExpectExact({700, 1, 4, 650});
  ExpectExact({0, 600, 600, 0}, Alternative::kLess);
  ExpectExact({0, 600, 600, 0}, Alternative::kGreater);
}

// The test of a large table in multiple precision over the tables that
// matter: the weights walked from the mode at 96 bits down to 2^-1500 of
// it, each table's G^2 key at 96 bits, its X^2 key exact. No table of the
// tables used here ties with another but itself.
struct WindowReference {
  std::int64_t first = 0;
  // chi_square, likelihood_ratio, probability, then n11 for less and for
  // greater.
  std::vector<double> p, mid_p;
  std::vector<Mark> marks[5];
};

WindowReference SolveInWindow(const Table& t) {
  constexpr long kBits = 96;
  const std::int64_t r1 = std::int64_t{t[0]} + t[1], r2 = std::int64_t{t[2]} + t[3];
  const std::int64_t c1 = std::int64_t{t[0]} + t[2], c2 = std::int64_t{t[1]} + t[3];
  const std::int64_t n = r1 + r2, lo = std::max<std::int64_t>(0, r1 - c2), hi = std::min(r1, c1);
  const std::int64_t mode = std::clamp((r1 + 1) * (c1 + 1) / (n + 2), lo, hi);
  std::vector<__mpfr_struct> up, down;  // w(mode + i), w(mode - i)
  for (int side = 0; side < 2; ++side) {
    auto& w = side == 0 ? up : down;
    w.reserve(1 << 20);
    w.emplace_back();
    mpfr_init2(&w.back(), kBits);
    mpfr_set_ui(&w.back(), 1, MPFR_RNDN);
    for (std::int64_t x = mode;; x += side == 0 ? 1 : -1) {
      if (side == 0 ? x == hi : x == lo) break;
      if (mpfr_get_exp(&w.back()) < -1500) break;
      __mpfr_struct next;
      mpfr_init2(&next, kBits);
      if (side == 0) {
        mpfr_mul_ui(&next, &w.back(), (r1 - x) * (c1 - x), MPFR_RNDN);
        mpfr_div_ui(&next, &next, (x + 1) * (r2 - c1 + x + 1), MPFR_RNDN);
      } else {
        mpfr_mul_ui(&next, &w.back(), x * (r2 - c1 + x), MPFR_RNDN);
        mpfr_div_ui(&next, &next, (r1 - x + 1) * (c1 - x + 1), MPFR_RNDN);
      }
      w.push_back(next);
    }
  }
  WindowReference ref;
  ref.first = mode - static_cast<std::int64_t>(down.size()) + 1;
  const std::int64_t last = mode + static_cast<std::int64_t>(up.size()) - 1;
  const auto weight = [&](std::int64_t x) -> mpfr_srcptr { return x >= mode ? &up[x - mode] : &down[mode - x]; };
  std::vector<std::int64_t> chi;
  std::vector<__mpfr_struct> lr(last - ref.first + 1);
  mpfr_t term;
  mpfr_init2(term, kBits);
  for (std::int64_t x = ref.first; x <= last; ++x) {
    chi.push_back(std::llabs(n * x - r1 * c1));
    __mpfr_struct& key = lr[x - ref.first];
    mpfr_init2(&key, kBits);
    mpfr_set_zero(&key, 1);
    for (std::int64_t cell : {x, r1 - x, c1 - x, r2 - c1 + x}) {
      if (cell < 2) continue;
      mpfr_set_ui(term, cell, MPFR_RNDN);
      mpfr_log(term, term, MPFR_RNDN);
      mpfr_mul_ui(term, term, cell, MPFR_RNDN);
      mpfr_add(&key, &key, term, MPFR_RNDN);
    }
  }
  const std::int64_t x0 = t[0];
  EXPECT_TRUE(x0 >= ref.first && x0 <= last) << "the observed table lies beyond the window";
  const auto compare = [&](int ordering, std::int64_t x) {  // more extreme than x0: 1
    switch (ordering) {
      case 0:
        return (chi[x - ref.first] > chi[x0 - ref.first]) - (chi[x - ref.first] < chi[x0 - ref.first]);
      case 1:
        return mpfr_cmp(&lr[x - ref.first], &lr[x0 - ref.first]);
      case 2:
        return -mpfr_cmp(weight(x), weight(x0));
      case 3:
        return (x < x0) - (x > x0);
      default:
        return (x > x0) - (x < x0);
    }
  };
  mpfr_t total, beyond, tied;
  mpfr_inits2(kBits, total, beyond, tied, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_zero(total, 1);
  for (std::int64_t x = ref.first; x <= last; ++x) mpfr_add(total, total, weight(x), MPFR_RNDN);
  for (int o = 0; o < 5; ++o) {
    mpfr_set_zero(beyond, 1);
    mpfr_set_zero(tied, 1);
    for (std::int64_t x = ref.first; x <= last; ++x) {
      const int c = x == x0 ? 0 : compare(o, x);
      ref.marks[o].push_back(c > 0 ? Mark::kBeyond : c == 0 ? Mark::kTied : Mark::kNotExtreme);
      if (c >= 0) mpfr_add(c > 0 ? beyond : tied, c > 0 ? beyond : tied, weight(x), MPFR_RNDN);
    }
    mpfr_add(term, beyond, tied, MPFR_RNDN);
    mpfr_div(term, term, total, MPFR_RNDN);
    ref.p.push_back(mpfr_get_d(term, MPFR_RNDN));
    mpfr_div_ui(tied, tied, 2, MPFR_RNDN);
    mpfr_add(term, beyond, tied, MPFR_RNDN);
    mpfr_div(term, term, total, MPFR_RNDN);
    ref.mid_p.push_back(mpfr_get_d(term, MPFR_RNDN));
  }
  mpfr_clears(term, total, beyond, tied, static_cast<mpfr_ptr>(nullptr));
  for (auto* v : {&up, &down, &lr}) {
    for (auto& x : *v) mpfr_clear(&x);
  }
  return ref;
}

void ExpectWindow(const Table& t, const WindowReference& ref, Alternative alternative, bool listing) {
  const std::string name = std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + " " +
                           std::to_string(t[3]) + " alternative " + std::to_string(int(alternative));
  const int n11 = alternative == Alternative::kLess ? 3 : 4;
  std::int64_t x = ref.first;
  const OutcomeSink sink = [&](const OutcomeRow& row) {
    const std::int64_t i = std::int64_t{row.counts[0]} - ref.first;
    if (i < 0 || i >= static_cast<std::int64_t>(ref.marks[0].size())) return;
    EXPECT_EQ(row.counts[0], x++) << name;
    for (int o = 0; o < 3; ++o) {
      EXPECT_EQ(row.marks[o], ref.marks[o][i]) << name << " n11 " << row.counts[0] << " ordering " << o;
    }
    if (alternative != Alternative::kTwoSided) {
      EXPECT_EQ(row.marks[3], ref.marks[n11][i]) << name;
    }
  };
  const FourfoldResult result = TestFourfold({t, alternative}, listing ? sink : OutcomeSink{});
  if (listing) {
    EXPECT_EQ(x, ref.first + static_cast<std::int64_t>(ref.marks[0].size())) << name;
  }
  for (const OrderingResult& r : result.orderings) {
    const int o = r.ordering == Ordering::kN11 ? n11 : static_cast<int>(r.ordering);
    EXPECT_NEAR(r.p, ref.p[o], 1e-10 * ref.p[o]) << name << " " << KeyOf(r.ordering);
    EXPECT_NEAR(r.mid_p, ref.mid_p[o], 1e-10 * ref.mid_p[o]) << name << " " << KeyOf(r.ordering);
  }
}

TEST(FourfoldTest, LargeTablesAgreeWithMultiplePrecision) {
  // Totals of 1e5 with the observed table near the middle, 20 standard
  // deviations out and 30 out (p near 1e-190); totals of 2^31 - 1 whose n21
  // has a mean near 5; a total of 2e7, its ten million tables not listed.
  const Table tables[] = {{25000, 25100, 24800, 25100}, {23400, 26700, 26400, 23500},
                          {22600, 27500, 27200, 22700}, {99993, 2147283654, 7, 99993},
                          {99960, 2147283687, 40, 99960}};
  for (const Table& t : tables) {
    const WindowReference ref = SolveInWindow(t);
    for (Alternative a : {Alternative::kTwoSided, Alternative::kLess, Alternative::kGreater}) {
      ExpectWindow(t, ref, a, true);
    }
  }
  const Table wide{5000000, 5010000, 4990000, 5003000};
  const WindowReference ref = SolveInWindow(wide);
  for (Alternative a : {Alternative::kTwoSided, Alternative::kLess, Alternative::kGreater}) {
    ExpectWindow(wide, ref, a, false);
  }
}

TEST(FourfoldTest, KnownValues) {
  // Fisher's test of 47 11 10 13 against the chi-square ordering.
  FourfoldResult r = TestFourfold({{47, 11, 10, 13}});
  ASSERT_EQ(r.orderings.size(), 3u);
  EXPECT_NEAR(r.orderings[0].p, 0.001395, 5e-7);
  EXPECT_NEAR(r.orderings[2].p, 0.002273, 5e-7);
  // 1 1 1 5: no table is nearer independence by X^2, so its p is 1, while
  // Fisher's test gives 13/28.
  r = TestFourfold({{1, 1, 1, 5}});
  EXPECT_EQ(r.orderings[0].p, 1);
  EXPECT_NEAR(r.orderings[2].p, 13.0 / 28, 1e-15);
  r = TestFourfold({{400, 477, 500, 377}});
  EXPECT_NEAR(r.orderings[0].p, 2.1996e-06, 5e-11);
  EXPECT_EQ(r.outcomes, 855u);
}

TEST(FourfoldTest, ZeroMarginLeavesOneTable) {
  const Table tables[] = {{0, 0, 3, 4}, {0, 5, 0, 3}, {3, 0, 4, 0}, {2, 3, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 7}};
  for (const Table& t : tables) {
    for (Alternative a : {Alternative::kTwoSided, Alternative::kLess, Alternative::kGreater}) {
      int rows = 0;
      const FourfoldResult r = TestFourfold({t, a}, [&](const OutcomeRow& row) {
        ++rows;
        EXPECT_EQ(row.probability, 1);
        EXPECT_EQ(row.chi_square, 0);
        EXPECT_EQ(row.likelihood_ratio, 0);
        for (int o = 0; o < 3; ++o) EXPECT_EQ(row.marks[o], Mark::kTied);
        EXPECT_EQ(row.marks[3], a == Alternative::kTwoSided ? Mark::kNotExtreme : Mark::kTied);
      });
      EXPECT_EQ(rows, 1);
      EXPECT_EQ(r.outcomes, 1u);
      ASSERT_EQ(r.orderings.size(), a == Alternative::kTwoSided ? 3u : 1u);
      for (const OrderingResult& o : r.orderings) {
        EXPECT_EQ(o.p, 1);
        EXPECT_EQ(o.mid_p, 0.5);
      }
      EXPECT_FALSE(r.odds_ratio.estimate.has_value());
      EXPECT_FALSE(r.odds_ratio.lower.has_value());
      EXPECT_FALSE(r.odds_ratio.upper.has_value());
      EXPECT_FALSE(r.odds_ratio.sample.has_value());  // a zero margin is 0 / 0
    }
  }
}

// G^2 is a sum of e h(d / e), h(t) = (1 + t) ln(1 + t) - t: h must keep its
// digits where t is tiny (a large cell near its expected count), across
// the switch between its series and the closed form, and out to t = -1.
TEST(FourfoldTest, ExcessEntropyKeepsItsDigitsEverywhere) {
  mpfr_t t, h, l;
  mpfr_inits2(256, t, h, l, static_cast<mpfr_ptr>(nullptr));
  std::mt19937_64 random(20261210);
  EXPECT_EQ(ExcessEntropy(-1), 1);  // an empty cell: 0 ln 0 = 0
  std::vector<long double> points = {-0.999L, -0.5L, -0.125L, 0.125L, 0.5L, 7, 1e6L};
  for (int i = 0; i < 20000; ++i) {
    const long double unit = static_cast<long double>(random() >> 11) * 0x1p-53L;
    points.push_back(std::ldexp(unit, -static_cast<int>(random() % 60)) * ((random() & 1) != 0 ? 1 : -1));
  }
  for (const long double edge : {0.125L, -0.125L}) {
    points.push_back(std::nextafter(edge, 0.0L));
    points.push_back(std::nextafter(edge, edge * 2));
  }
  for (const long double x : points) {
    mpfr_set_ld(t, x, MPFR_RNDN);
    mpfr_log1p(l, t, MPFR_RNDN);
    mpfr_add_ui(h, t, 1, MPFR_RNDN);
    mpfr_mul(h, h, l, MPFR_RNDN);
    mpfr_sub(h, h, t, MPFR_RNDN);
    const long double exact = mpfr_get_ld(h, MPFR_RNDN);
    const long double got = ExcessEntropy(x);
    // A few units of 2^-64 inside the series; the closed form loses a few
    // bits to cancellation just past its edge.
    const long double tolerance = std::fabs(x) <= 0.125L ? 8 * 0x1p-64L : 0x1p-56L;
    EXPECT_LE(std::fabs(got - exact), tolerance * exact) << static_cast<double>(x);
  }
  mpfr_clears(t, h, l, static_cast<mpfr_ptr>(nullptr));
}

TEST(FourfoldTest, RefusesWhatItCannotTest) {
  EXPECT_THROW(TestFourfold({{2147483647u, 1, 0, 0}}), std::invalid_argument);
  EXPECT_THROW(TestFourfold({{4294967295u, 4294967295u, 4294967295u, 4294967295u}}), std::invalid_argument);
  EXPECT_THROW(TestFourfold({{1, 2, 3, 4}, Alternative::kTwoSided, 1.0}), std::invalid_argument);
  EXPECT_THROW(TestFourfold({{1, 2, 3, 4}, Alternative::kTwoSided, 0.0}), std::invalid_argument);
  EXPECT_THROW(TestFourfold({{1, 2, 3, 4}, Alternative::kTwoSided, std::nan("")}), std::invalid_argument);
  EXPECT_NO_THROW(TestFourfold({{2147483647u, 0, 0, 0}}));
}

}  // namespace
}  // namespace engine
