#include "engine/contingency/table.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace engine {
namespace {

// The test worked out by enumerating every table with the margins, in
// rationals: each table's probability prod R! prod C! / (N! prod n!), its
// X^2 key sum n^2 / (R C), its G^2 key prod n^n and its probability key
// prod n! (larger is more extreme for all three), compared exactly.
struct Reference {
  mpq_class p[3], mid_p[3];
  long tables = 0;
};

mpz_class Factorial(unsigned long n) {
  mpz_class f;
  mpz_fac_ui(f.get_mpz_t(), n);
  return f;
}

void ForEachTable(const std::vector<long>& R, const std::vector<long>& C,
                  const std::function<void(const std::vector<long>&)>& visit) {
  const std::size_t r = R.size(), c = C.size();
  std::vector<long> cells(r * c), row = R, column = C;
  std::function<void(std::size_t)> fill = [&](std::size_t k) {
    if (k == r * c) {
      visit(cells);
      return;
    }
    const std::size_t i = k / c, j = k % c;
    long lo = 0, hi = std::min(row[i], column[j]);
    if (j + 1 == c) lo = hi = row[i];   // the row's last cell takes what is left
    if (i + 1 == r) lo = hi = column[j];  // and so does the column's
    if (lo > std::min(row[i], column[j]) || hi < lo) return;
    for (long n = lo; n <= hi; ++n) {
      cells[k] = n;
      row[i] -= n;
      column[j] -= n;
      fill(k + 1);
      row[i] += n;
      column[j] += n;
    }
  };
  fill(0);
}

Reference Enumerate(std::uint32_t rows, std::uint32_t columns, const std::vector<std::uint32_t>& observed) {
  std::vector<long> R(rows, 0), C(columns, 0);
  long N = 0;
  for (std::uint32_t i = 0; i < rows; ++i) {
    for (std::uint32_t j = 0; j < columns; ++j) {
      R[i] += observed[i * columns + j];
      C[j] += observed[i * columns + j];
      N += observed[i * columns + j];
    }
  }
  mpz_class numerator = 1;
  for (long v : R) numerator *= Factorial(v);
  for (long v : C) numerator *= Factorial(v);
  const mpz_class denominator = Factorial(N);
  auto keys = [&](const std::vector<long>& cells, mpq_class& chi, mpz_class& self_powers, mpz_class& factorials) {
    chi = 0;
    self_powers = 1;
    factorials = 1;
    for (std::uint32_t i = 0; i < rows; ++i) {
      for (std::uint32_t j = 0; j < columns; ++j) {
        const long n = cells[i * columns + j];
        if (R[i] > 0 && C[j] > 0) chi += mpq_class(n * n, R[i] * C[j]);
        mpz_class power;
        mpz_ui_pow_ui(power.get_mpz_t(), n, n);
        self_powers *= power;
        factorials *= Factorial(n);
      }
    }
    chi.canonicalize();
  };
  std::vector<long> seen(observed.begin(), observed.end());
  mpq_class chi0;
  mpz_class self0, fact0;
  keys(seen, chi0, self0, fact0);
  Reference ref;
  for (int o = 0; o < 3; ++o) ref.p[o] = ref.mid_p[o] = 0;
  ForEachTable(R, C, [&](const std::vector<long>& cells) {
    mpq_class chi;
    mpz_class self, fact;
    keys(cells, chi, self, fact);
    const mpq_class probability(numerator, denominator * fact);
    const int sign[3] = {cmp(chi, chi0), cmp(self, self0), cmp(fact, fact0)};
    for (int o = 0; o < 3; ++o) {
      if (sign[o] >= 0) ref.p[o] += probability;
      if (sign[o] > 0) ref.mid_p[o] += probability;
      if (sign[o] == 0) ref.mid_p[o] += probability / 2;
    }
    ++ref.tables;
  });
  return ref;
}

TableProblem Problem(std::uint32_t rows, std::uint32_t columns, std::vector<std::uint32_t> cells) {
  return TableProblem{rows, columns, std::move(cells)};
}

::testing::AssertionResult Near(double value, const mpq_class& exact, double tolerance) {
  const double want = exact.get_d();
  if (std::fabs(value - want) <= tolerance * std::fabs(want)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << value << " against " << want << " (" << exact.get_str() << ")";
}

void ExpectMatchesEnumeration(const TableProblem& problem) {
  SCOPED_TRACE(::testing::Message() << problem.rows << " x " << problem.columns);
  const Reference ref = Enumerate(problem.rows, problem.columns, problem.cells);
  TableOptions options;
  options.method = Method::kExact;
  const TableResult result = TestTable(problem, options);
  for (int o = 0; o < 3; ++o) {
    EXPECT_TRUE(Near(result.orderings[o].p, ref.p[o], 1e-12)) << "ordering " << o;
    EXPECT_TRUE(Near(result.orderings[o].mid_p, ref.mid_p[o], 1e-12)) << "ordering " << o;
  }
}

TableResult Exact(const TableProblem& problem, std::uint64_t max_memory = kDefaultMaxMemory) {
  TableOptions options;
  options.method = Method::kExact;
  options.max_memory = max_memory;
  return TestTable(problem, options);
}

TEST(TableTest, MatchesEnumerationOnSmallTables) {
  ExpectMatchesEnumeration(Problem(2, 3, {1, 2, 3, 4, 0, 2}));
  ExpectMatchesEnumeration(Problem(3, 3, {1, 0, 2, 3, 1, 0, 0, 2, 2}));
  ExpectMatchesEnumeration(Problem(3, 4, {2, 0, 1, 3, 0, 4, 1, 1, 2, 2, 0, 1}));
  ExpectMatchesEnumeration(Problem(4, 2, {3, 1, 0, 2, 2, 2, 1, 4}));  // more rows than columns
  ExpectMatchesEnumeration(Problem(2, 5, {5, 0, 1, 0, 2, 0, 3, 1, 2, 0}));
  ExpectMatchesEnumeration(Problem(3, 3, {0, 0, 0, 1, 2, 3, 3, 2, 1}));  // an empty row
}

TEST(TableTest, MatchesEnumerationOnRandomTables) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 40; ++round) {
    const std::uint32_t rows = 2 + random() % 3, columns = 2 + random() % 3;
    std::vector<std::uint32_t> cells(rows * columns);
    const std::uint32_t spread = 1 + random() % 5;
    std::uint32_t total = 0;
    for (auto& n : cells) total += n = random() % (spread + 1);
    if (total > 22) continue;  // the enumeration stays short
    ExpectMatchesEnumeration(Problem(rows, columns, cells));
  }
}

// Margins that are the same for several rows and columns make many tables
// share their statistics exactly: the ties must be found, not approximated.
TEST(TableTest, DecidesTiesExactly) {
  ExpectMatchesEnumeration(Problem(3, 3, {2, 1, 1, 1, 2, 1, 1, 1, 2}));
  ExpectMatchesEnumeration(Problem(3, 3, {4, 0, 0, 0, 4, 0, 0, 0, 4}));
  ExpectMatchesEnumeration(Problem(4, 4, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
  ExpectMatchesEnumeration(Problem(2, 4, {3, 1, 2, 2, 1, 3, 2, 2}));
  // 6! = 3! 5!: tables whose cells differ as multisets and still have one
  // probability.
  ExpectMatchesEnumeration(Problem(2, 3, {6, 0, 1, 3, 5, 1}));
  ExpectMatchesEnumeration(Problem(3, 4, {3, 3, 0, 2, 0, 3, 3, 2, 3, 0, 3, 2}));
}

TEST(TableTest, SingleTableWhenALineIsAlone) {
  for (const TableProblem& problem : {Problem(1, 4, {1, 2, 3, 4}), Problem(3, 1, {5, 0, 2}),
                                      Problem(2, 3, {0, 0, 0, 1, 7, 2}), Problem(3, 3, {0, 4, 0, 0, 2, 0, 0, 1, 0}),
                                      Problem(2, 2, {0, 0, 0, 0}), Problem(1, 1, {9})}) {
    const TableResult result = Exact(problem);
    EXPECT_TRUE(result.outcomes.exact);
    EXPECT_EQ(result.outcomes.digits, "1");
    for (const OrderingResult& o : result.orderings) {
      EXPECT_EQ(o.p, 1);
      EXPECT_EQ(o.mid_p, 0.5);
    }
    EXPECT_EQ(result.orderings[2].value, 1);
  }
}

TEST(TableTest, CountsTablesWithTheMargins) {
  for (const TableProblem& problem : {Problem(2, 3, {1, 2, 3, 4, 0, 2}), Problem(3, 3, {1, 0, 2, 3, 1, 0, 0, 2, 2}),
                                      Problem(3, 4, {2, 0, 1, 3, 0, 4, 1, 1, 2, 2, 0, 1}),
                                      Problem(4, 4, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1})}) {
    const Reference ref = Enumerate(problem.rows, problem.columns, problem.cells);
    const TableResult result = Exact(problem);
    EXPECT_TRUE(result.outcomes.exact);
    EXPECT_EQ(result.outcomes.digits, std::to_string(ref.tables));
  }
  // 2 x 2 tables with margins (n, n): n + 1 of them; beyond 64 bits in
  // digits for a wide table of ones.
  EXPECT_EQ(Exact(Problem(2, 2, {3, 2, 2, 3})).outcomes.digits, "6");
}

TEST(TableTest, ObservedStatisticsAreCorrectlyRounded) {
  // X^2 = N (sum n^2 / (R C) - 1) and P from rationals.
  const TableResult result = Exact(Problem(2, 3, {1, 2, 3, 4, 0, 2}));
  // R = (6, 6), C = (5, 2, 5), N = 12: sum n^2 / (R C) = 1/30 + 4/12 + 9/30 +
  // 16/30 + 0 + 4/30 = 4/3, X^2 = 12 / 3 = 4.
  EXPECT_EQ(result.orderings[0].value, 4);
  // P = 6! 6! 5! 2! 5! / (12! 1! 2! 3! 4! 0! 2!) = 25/462.
  EXPECT_EQ(result.orderings[2].value, 25.0 / 462);
  EXPECT_NEAR(result.orderings[2].log10_value, std::log10(25.0 / 462), 1e-15);
  // The independence table has G^2 = 0 exactly.
  EXPECT_EQ(Exact(Problem(2, 3, {1, 2, 3, 2, 4, 6})).orderings[1].value, 0);
}

TEST(TableTest, ShortMemoryGivesTheSameResults) {
  // Depth first, a few past values at a time, merging less: the same sums.
  const TableProblem problem = Problem(4, 4, {1, 3, 10, 6, 2, 3, 10, 7, 1, 6, 14, 12, 0, 1, 9, 11});
  const TableResult roomy = Exact(problem), cramped = Exact(problem, 1 << 12);
  for (int o = 0; o < 3; ++o) {
    EXPECT_NEAR(cramped.orderings[o].p, roomy.orderings[o].p, 1e-13 * roomy.orderings[o].p);
    EXPECT_NEAR(cramped.orderings[o].mid_p, roomy.orderings[o].mid_p, 1e-13 * roomy.orderings[o].mid_p);
  }
  EXPECT_GT(cramped.nodes_visited, roomy.nodes_visited);
}

TEST(TableTest, ListsEveryTableInOrderWithItsMarks) {
  const TableProblem problem = Problem(3, 3, {1, 0, 2, 3, 1, 0, 0, 2, 2});
  const Reference ref = Enumerate(problem.rows, problem.columns, problem.cells);
  TableOptions options;
  options.every_outcome = true;
  std::vector<std::vector<std::uint32_t>> seen;
  double mass = 0, in_p[3] = {0, 0, 0};
  int observed = 0;
  const TableResult result = TestTable(problem, options, [&](const OutcomeRow& row) {
    seen.emplace_back(row.counts.begin(), row.counts.end());
    mass += row.probability;
    for (int o = 0; o < 3; ++o) {
      if (row.marks[o] != Mark::kNotExtreme) in_p[o] += row.probability;
    }
    if (seen.back() == problem.cells) {
      ++observed;
      for (int o = 0; o < 3; ++o) EXPECT_EQ(row.marks[o], Mark::kTied);
    }
  });
  EXPECT_EQ(static_cast<long>(seen.size()), ref.tables);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(observed, 1);
  EXPECT_NEAR(mass, 1, 1e-14);
  for (int o = 0; o < 3; ++o) EXPECT_NEAR(in_p[o], result.orderings[o].p, 1e-14);
}

TEST(TableTest, RefusesToListBeyondTheLimit) {
  TableOptions options;
  options.every_outcome = true;
  std::vector<std::uint32_t> cells(36, 40);
  EXPECT_THROW(TestTable(Problem(6, 6, cells), options, [](const OutcomeRow&) {}), TestFailure);
  options.method = Method::kMonteCarlo;
  EXPECT_THROW(TestTable(Problem(2, 3, {1, 2, 3, 4, 5, 6}), options, [](const OutcomeRow&) {}), TestFailure);
}

TEST(TableTest, MonteCarloEstimatesTheExactValues) {
  const TableProblem problem = Problem(3, 4, {2, 0, 1, 3, 0, 4, 1, 1, 2, 2, 0, 1});
  const Reference ref = Enumerate(problem.rows, problem.columns, problem.cells);
  TableOptions options;
  options.method = Method::kMonteCarlo;
  options.samples = 200000;
  const TableResult a = TestTable(problem, options), b = TestTable(problem, options);
  EXPECT_EQ(a.method, Method::kMonteCarlo);
  EXPECT_FALSE(a.fell_back);
  for (int o = 0; o < 3; ++o) {
    const double exact = ref.p[o].get_d();
    EXPECT_NEAR(a.orderings[o].p, exact, 5 * a.orderings[o].standard_error + 1e-5) << "ordering " << o;
    EXPECT_EQ(a.orderings[o].p, b.orderings[o].p);  // the seed fixes the draws
    EXPECT_EQ(a.orderings[o].draws_extreme + 1, std::llround(a.orderings[o].p * (options.samples + 1)));
  }
  options.seed = 7;
  EXPECT_NE(TestTable(problem, options).orderings[0].draws_extreme, a.orderings[0].draws_extreme);
}

TEST(TableTest, AutoTurnsToMonteCarloBeyondTheTime) {
  std::vector<std::uint32_t> cells(36);
  for (std::size_t k = 0; k < cells.size(); ++k) cells[k] = 30 + static_cast<std::uint32_t>(k % 7);
  TableOptions options;
  options.samples = 1000;
  const TableResult result = TestTable(Problem(6, 6, cells), options);
  EXPECT_EQ(result.method, Method::kMonteCarlo);
  EXPECT_TRUE(result.fell_back);
  EXPECT_EQ(result.samples, 1000u);
  options.method = Method::kExact;
  EXPECT_THROW(TestTable(Problem(6, 6, cells), options), TestFailure);
  // Small enough: exact.
  options.method = Method::kAuto;
  EXPECT_EQ(TestTable(Problem(2, 3, {1, 2, 3, 4, 5, 6}), options).method, Method::kExact);
}

TEST(TableTest, AutoKeepsTheDrawsToTheTimeAllowed) {
  // Far beyond the exact method, and more draws asked for than half a
  // second allows: the run stops with the draws made, and says how many
  // were asked for.
  std::vector<std::uint32_t> cells(36);
  for (std::size_t k = 0; k < cells.size(); ++k) cells[k] = 30 + static_cast<std::uint32_t>(k % 7);
  TableOptions options;
  options.samples = 100000000;
  options.max_seconds = 0.5;
  const auto start = std::chrono::steady_clock::now();
  const TableResult result = TestTable(Problem(6, 6, cells), options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(result.fell_back);
  EXPECT_EQ(result.samples_requested, options.samples);
  EXPECT_GE(result.samples, kMinimumDraws);
  EXPECT_LT(result.samples, options.samples);
  EXPECT_LT(seconds, 60);  // bounded, not a measure of speed
  for (const OrderingResult& o : result.orderings) {
    EXPECT_EQ(o.draws_extreme + 1, std::llround(o.p * static_cast<double>(result.samples + 1)));
  }
  // Too little time for an estimate: refused rather than a guess.
  options.max_seconds = 1e-6;
  EXPECT_THROW(TestTable(Problem(6, 6, cells), options), TestFailure);
  // Asked for by name, Monte Carlo draws them all.
  options.method = Method::kMonteCarlo;
  options.samples = 3000;
  const TableResult all = TestTable(Problem(6, 6, cells), options);
  EXPECT_EQ(all.samples, 3000u);
  EXPECT_EQ(all.samples_requested, 3000u);
}

}  // namespace
}  // namespace engine
