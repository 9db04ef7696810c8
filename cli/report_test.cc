#include "cli/report.h"

#include "engine/common/monte_carlo_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace cli {
namespace {

using engine::Ordering;
using Json = nlohmann::json;
constexpr double kInf = std::numeric_limits<double>::infinity();

// The exact result for 1 0 4 2 against equal probabilities.
engine::MultinomialProblem Problem1042() { return {{1, 0, 4, 2}, {}}; }

engine::MultinomialResult Result1042() {
  engine::MultinomialResult result;
  result.total = 7;
  result.probabilities = {0.25, 0.25, 0.25, 0.25};
  result.outcomes = 120;
  result.outcomes_visited = 120;
  result.orderings = {{{Ordering::kChiSquare, 5, 0.23095703125, 0.154052734375},
                       {Ordering::kLikelihoodRatio, 6.028322580102989, 0.23095703125, 0.154052734375},
                       {Ordering::kProbability, 0.00640869140625, 0.23095703125, 0.154052734375}}};
  return result;
}

engine::MultinomialResult MonteCarloResult() {
  engine::MultinomialResult result = Result1042();
  result.method = engine::Method::kMonteCarlo;
  result.fell_back = true;
  result.samples = 1000000;
  result.samples_requested = 1000000;
  result.seed = 20261207;
  for (auto& ordering : result.orderings) {
    ordering.standard_error = 0.00042;
    ordering.draws_extreme = 230957;
  }
  return result;
}

// Monte Carlo where no draw was as extreme as the observed counts in the
// chi-square ordering: p = 1 / (10^6 + 1).
engine::MultinomialResult NoneAsExtreme() {
  engine::MultinomialResult result = MonteCarloResult();
  result.orderings[0] = engine::MonteCarloOrdering(Ordering::kChiSquare, 66, 0, 0, 1000000);
  return result;
}

engine::FourfoldResult Fourfold(engine::Alternative alternative) {
  engine::FourfoldResult result;
  result.total = 81;
  result.n11_min = 33;
  result.n11_max = 57;
  result.outcomes = 25;
  result.alternative = alternative;
  if (alternative == engine::Alternative::kTwoSided) {
    result.orderings = {{Ordering::kChiSquare, 10.2, 0.001395, 0.0009},
                        {Ordering::kLikelihoodRatio, 9.5, 0.002, 0.0015},
                        {Ordering::kProbability, 0.0011, 0.002273, 0.0017}};
  } else {
    result.orderings = {{Ordering::kN11, 47, 0.0016, 0.0011}};
  }
  result.odds_ratio = {5.3, 5.5545454545454547, 1.8, kInf, 0.9};
  return result;
}

TEST(ReportTest, JsonOfTheMultinomialTestReadsBackAsTheContractsExample) {
  Json report = Json::parse(JsonReport(Problem1042(), {}, Result1042()));
  Json expected = Json::parse(R"({
    "program": "orvane", "test": "exact multinomial goodness of fit",
    "observed": [1, 0, 4, 2], "probabilities": [0.25, 0.25, 0.25, 0.25], "total": 7,
    "method": "exact", "outcomes": 120, "outcomes_visited": 120,
    "statistics": {
      "chi_square":       {"value": 5, "p": 0.23095703125, "mid_p": 0.154052734375},
      "likelihood_ratio": {"value": 6.028322580102989, "p": 0.23095703125, "mid_p": 0.154052734375},
      "probability":      {"value": 0.00640869140625, "p": 0.23095703125, "mid_p": 0.154052734375}}})");
  EXPECT_EQ(report, expected);
  // The keys come in the contract's order, integral numbers as integers.
  std::string text = JsonReport(Problem1042(), {}, Result1042());
  EXPECT_LT(text.find("\"program\""), text.find("\"test\""));
  EXPECT_LT(text.find("\"total\""), text.find("\"method\""));
  EXPECT_NE(text.find("\n  \"observed\": [1, 0, 4, 2],\n"), std::string::npos);
  EXPECT_NE(text.find("\n    \"chi_square\": {\"value\": 5, \"p\": 0.23095703125, \"mid_p\": 0.154052734375},\n"),
            std::string::npos);
  EXPECT_EQ(text.back(), '\n');

  // Doubles in the shortest form that reads back, where a 17-digit form
  // would also read back.
  engine::MultinomialResult odd = Result1042();
  odd.orderings[0].value = 0.003659339637016587;
  odd.orderings[1].log10_p = -38.77453813353765;
  text = JsonReport(Problem1042(), {}, odd);
  EXPECT_NE(text.find("\"value\": 0.003659339637016587,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"log10_p\": -38.77453813353765"), std::string::npos) << text;

  // The network method says how many nodes it visited.
  engine::MultinomialResult network = Result1042();
  network.outcomes_visited = 40;
  network.nodes_visited = 12;
  report = Json::parse(JsonReport(Problem1042(), {}, network));
  EXPECT_EQ(report["outcomes_visited"], 40);
  EXPECT_EQ(report["nodes_visited"], 12);
}

TEST(ReportTest, JsonOfMonteCarloCarriesSamplesSeedAndStandardErrors) {
  engine::MultinomialOptions options;
  options.max_seconds = 2.5;
  Json report = Json::parse(JsonReport(Problem1042(), options, MonteCarloResult()));
  EXPECT_EQ(report["method"], "monte-carlo");
  EXPECT_EQ(report["samples"], 1000000);
  EXPECT_EQ(report["seed"], 20261207);
  EXPECT_EQ(report["fell_back"], true);
  EXPECT_EQ(report["max_seconds"], 2.5);
  EXPECT_EQ(report["outcomes"], 120);
  EXPECT_FALSE(report.contains("samples_requested"));
  EXPECT_EQ(report["statistics"]["probability"]["standard_error"], 0.00042);
  EXPECT_EQ(report["statistics"]["probability"]["draws_extreme"], 230957);

  // None as extreme: p stays (b + 1) / (m + 1), never 0; draws stopped by
  // the time allowed say how many were asked for.
  engine::MultinomialResult none = NoneAsExtreme();
  none.samples_requested = 5000000;
  report = Json::parse(JsonReport(Problem1042(), options, none));
  const Json& chi = report["statistics"]["chi_square"];
  EXPECT_EQ(chi["p"], 1 / 1000001.0);
  EXPECT_EQ(chi["mid_p"], 0.5 / 1000001.0);
  EXPECT_EQ(chi["draws_extreme"], 0);
  EXPECT_GT(chi["standard_error"].get<double>(), 0);
  EXPECT_EQ(chi["p_upper_bound"], engine::UpperBoundWhenNoneExtreme(1000000));
  EXPECT_EQ(report["statistics"]["likelihood_ratio"].count("p_upper_bound"), 0u);
  EXPECT_EQ(report["samples_requested"], 5000000);
}

TEST(ReportTest, OutcomesBeyondTheRangeOfDoublesAreInfinityInEveryForm) {
  engine::MultinomialResult result = MonteCarloResult();
  result.outcomes = kInf;
  EXPECT_EQ(Json::parse(JsonReport(Problem1042(), {}, result))["outcomes"], "inf");
  EXPECT_NE(TextReport(Problem1042(), {}, result).find("\noutcomes: inf\n"), std::string::npos);
  result.method = engine::Method::kExact;
  EXPECT_EQ(Json::parse(JsonReport(Problem1042(), {}, result))["outcomes"], "inf");
}

TEST(ReportTest, JsonOfTheFourfoldTestWritesInfinityAndUndefinedValues) {
  engine::FourfoldProblem problem{{47, 11, 10, 13}, engine::Alternative::kGreater, 0.9};
  Json report = Json::parse(JsonReport(problem, Fourfold(engine::Alternative::kGreater)));
  EXPECT_EQ(report["program"], "kestrin");
  EXPECT_EQ(report["test"], "exact test of a 2 x 2 table");
  EXPECT_EQ(report["table"], Json::parse("[47, 11, 10, 13]"));
  EXPECT_EQ(report["alternative"], "greater");
  EXPECT_EQ(report["outcomes"], 25);
  EXPECT_EQ(report["statistics"].size(), 1u);
  EXPECT_EQ(report["statistics"]["n11"]["p"], 0.0016);
  EXPECT_EQ(report["odds_ratio"]["conf_int"], Json::parse(R"([1.8, "inf"])"));
  EXPECT_EQ(report["odds_ratio"]["conf_level"], 0.9);

  engine::FourfoldResult degenerate = Fourfold(engine::Alternative::kTwoSided);
  degenerate.odds_ratio = {std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0.95};
  report = Json::parse(JsonReport({{0, 0, 3, 4}}, degenerate));
  EXPECT_EQ(report["alternative"], "two-sided");
  EXPECT_EQ(report["statistics"].size(), 3u);
  EXPECT_TRUE(report["odds_ratio"]["estimate"].is_null());
  EXPECT_TRUE(report["odds_ratio"]["sample"].is_null());
  EXPECT_EQ(report["odds_ratio"]["conf_int"], Json::parse("[null, null]"));
}

TEST(ReportTest, CsvHasAHeaderAndALinePerOrdering) {
  EXPECT_EQ(CsvReport(Result1042().orderings, false),
            "statistic,value,p,mid_p\n"
            "chi_square,5,0.23095703125,0.154052734375\n"
            "likelihood_ratio,6.028322580102989,0.23095703125,0.154052734375\n"
            "probability,0.00640869140625,0.23095703125,0.154052734375\n");
  EXPECT_EQ(CsvReport(Fourfold(engine::Alternative::kLess).orderings, false),
            "statistic,value,p,mid_p\nn11,47,0.0016,0.0011\n");
  std::string monte_carlo = CsvReport(MonteCarloResult().orderings, true);
  EXPECT_TRUE(monte_carlo.starts_with("statistic,value,p,mid_p,standard_error,draws_extreme\nchi_square,5,"));
  EXPECT_NE(monte_carlo.find(",0.00042,230957\n"), std::string::npos);
  // No draw as extreme: the valid p in full, not 0, and the count.
  EXPECT_NE(CsvReport(NoneAsExtreme().orderings, true)
                .find("\nchi_square,66,9.99999000001e-07,4.999995000005e-07,9.99998500001875e-07,0\n"),
            std::string::npos);
}

TEST(ReportTest, TextOfTheMultinomialTest) {
  EXPECT_EQ(TextReport(Problem1042(), {}, Result1042()),
            "\n"
            "\tExact multinomial goodness-of-fit test\n"
            "\n"
            "data:  1 0 4 2 (4 categories, total 7)\n"
            "null hypothesis: equal probabilities, 1/4 each\n"
            "outcomes: 120 (exact)\n"
            "\n"
            "statistic                   value        p    mid-p\n"
            "chi-square (X2)                 5  0.23096  0.15405\n"
            "likelihood ratio (G2)     6.02832  0.23096  0.15405\n"
            "probability            0.00640869  0.23096  0.15405\n"
            "\n");
}

TEST(ReportTest, TextSaysWhenMonteCarloStoodInAndWhatTheNullIs) {
  engine::MultinomialProblem problem{{315, 108, 101, 32}, {"9", "3", "3", "1"}};
  engine::MultinomialResult result = MonteCarloResult();
  result.total = 556;
  result.outcomes = 28956759;
  result.probabilities = {0.5625, 0.1875, 0.1875, 0.0625};
  std::string text = TextReport(problem, {}, result);
  EXPECT_NE(text.find("null hypothesis: probabilities proportional to 9, 3, 3, 1 (0.5625, 0.1875, 0.1875, 0.0625)\n"),
            std::string::npos);
  EXPECT_NE(text.find("outcomes: 28956759\nmethod: Monte Carlo estimate from 1000000 samples (seed 20261207)\n"
                      "note: the exact test would take more than 10 seconds (--max-seconds); "
                      "these p-values are Monte Carlo estimates\n"),
            std::string::npos);
  EXPECT_NE(text.find("statistic                   value        p    mid-p  std. error  draws as extreme\n"
                      "chi-square (X2)                 5  0.23096  0.15405     0.00042            230957\n"),
            std::string::npos);
  EXPECT_NE(text.find("\np = (draws as extreme + 1) / (samples + 1)"), std::string::npos);
  EXPECT_EQ(text.find("no draw was as extreme"), std::string::npos);
  EXPECT_EQ(FallbackNotice({}, result),
            "the exact test would take more than 10 seconds (--max-seconds); the p-values are Monte Carlo "
            "estimates from 1000000 samples (seed 20261207)");
  result.samples = 4000;
  EXPECT_NE(TextReport(problem, {}, result)
                .find("method: Monte Carlo estimate from 4000 samples (seed 20261207), stopped by the time allowed "
                      "before the 1000000 asked for\n"),
            std::string::npos);
  EXPECT_EQ(FallbackNotice({}, result),
            "the exact test would take more than 10 seconds (--max-seconds); the p-values are Monte Carlo "
            "estimates from 4000 samples (seed 20261207), as many as the time allowed of the 1000000 asked for");
  result.fell_back = false;
  EXPECT_EQ(FallbackNotice({}, result), "");
}

TEST(ReportTest, NoDrawAsExtremeShowsTheUpperBoundNeverZero) {
  engine::MultinomialResult result = NoneAsExtreme();
  std::string text = TextReport(Problem1042(), {}, result);
  EXPECT_NE(text.find("\nchi-square (X2)                66  < 3.0e-06  < 3.0e-06  9.99999e-07                 0\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n< 3.0e-06: no draw was as extreme; with 95 percent confidence the exact p is below that.\n"),
            std::string::npos);
  EXPECT_EQ(text.find("4.9e-324"), std::string::npos);
  EXPECT_EQ(PlotCaption(result.orderings[0], false, engine::Alternative::kTwoSided, result.samples),
            "chi-square (X2) = 66: p < 3.0e-06, mid-p < 3.0e-06 (Monte Carlo: 0 of 1000000 draws as extreme)");
  EXPECT_EQ(PlotCaption(result.orderings[1], false, engine::Alternative::kTwoSided, result.samples),
            "likelihood ratio (G2) = 6.02832: p = 0.23096, mid-p = 0.15405 (Monte Carlo: 230957 of 1000000 draws as "
            "extreme)");
  // Fewer draws, a wider bound; a draw as extreme, the estimate itself.
  EXPECT_EQ(ReportedP(engine::MonteCarloOrdering(Ordering::kChiSquare, 1, 0, 0, 1000), false, 1000), "< 3.0e-03");
  EXPECT_EQ(ReportedP(engine::MonteCarloOrdering(Ordering::kChiSquare, 1, 0, 1, 1000), false, 1000), "0.001998");
  EXPECT_EQ(ReportedP(engine::MonteCarloOrdering(Ordering::kChiSquare, 1, 0, 1, 1000), true, 1000), "0.000999");
  EXPECT_EQ(ReportedP(engine::MonteCarloOrdering(Ordering::kChiSquare, 1, 0, 0, 1000), false), "0.000999");
}

TEST(ReportTest, TextOfTheFourfoldTest) {
  engine::FourfoldProblem problem{{47, 11, 10, 13}};
  EXPECT_EQ(TextReport(problem, Fourfold(engine::Alternative::kTwoSided)),
            "\n"
            "\tExact test of a 2 x 2 table\n"
            "\n"
            "data:  47 11 / 10 13 (row sums 58 and 23, column sums 57 and 24, total 81)\n"
            "null hypothesis: rows and columns are independent (odds ratio 1)\n"
            "outcomes: 25 tables with these row and column sums\n"
            "\n"
            "statistic               value         p   mid-p\n"
            "chi-square (X2)          10.2  0.001395  0.0009\n"
            "likelihood ratio (G2)     9.5     0.002  0.0015\n"
            "probability (Fisher)   0.0011  0.002273  0.0017\n"
            "\n"
            "alternative hypothesis: true odds ratio is not equal to 1\n"
            "90 percent confidence interval:\n"
            " 1.8  inf\n"
            "sample estimates:\n"
            " odds ratio (conditional MLE)  5.3\n"
            " sample odds ratio             5.55455\n"
            "\n");
  problem.alternative = engine::Alternative::kLess;
  engine::FourfoldResult one_sided = Fourfold(engine::Alternative::kLess);
  one_sided.odds_ratio.estimate = std::nullopt;
  one_sided.odds_ratio.sample = std::nullopt;
  std::string text = TextReport(problem, one_sided);
  EXPECT_NE(text.find("\nn11           47  0.0016  0.0011\n"), std::string::npos);
  EXPECT_NE(text.find("alternative hypothesis: true odds ratio is less than 1\nsample estimates:\n"
                      " odds ratio (conditional MLE)  undefined (a row or column sum is 0)\n"
                      " sample odds ratio             undefined\n"),
            std::string::npos);
}

TEST(ReportTest, PictureTitleAndCaption) {
  EXPECT_EQ(PlotTitle(engine::MultinomialProblem{{315, 108, 101, 32}, {"9", "3", "3", "1"}}),
            "Exact multinomial goodness-of-fit test: 315 108 101 32 against 9:3:3:1");
  engine::MultinomialProblem wide;
  wide.counts.assign(20, 1);
  EXPECT_EQ(PlotTitle(wide), "Exact multinomial goodness-of-fit test: 1 1 1 1 1 1 1 1 1 1 1 1 ... (20 categories)");
  EXPECT_EQ(PlotTitle(engine::FourfoldProblem{{1, 1, 1, 5}}), "Exact test of a 2 x 2 table: 1 1 / 1 5");
  EXPECT_EQ(PlotCaption({Ordering::kProbability, 0.0011, 0.46428571428571425, 0.2}, true),
            "probability (Fisher) = 0.0011: p = 0.46429, mid-p = 0.2");
  EXPECT_EQ(PlotCaption({Ordering::kN11, 47, 0.99979, 0.99923}, true, engine::Alternative::kLess),
            "n11 = 47, alternative less: p = 0.99979, mid-p = 0.99923");
}

engine::TableResult TableResultOf(const engine::TableProblem& problem) {
  engine::TableResult result;
  result.rows = problem.rows;
  result.columns = problem.columns;
  result.row_sums.assign(problem.rows, 0);
  result.column_sums.assign(problem.columns, 0);
  for (std::uint32_t i = 0; i < problem.rows; ++i) {
    for (std::uint32_t j = 0; j < problem.columns; ++j) {
      result.row_sums[i] += problem.cells[i * problem.columns + j];
      result.column_sums[j] += problem.cells[i * problem.columns + j];
      result.total += problem.cells[i * problem.columns + j];
    }
  }
  result.outcomes = {true, "1234", 1234};
  result.orderings = {{{Ordering::kChiSquare, 5.96, 0.7705, 0.7705},
                       {Ordering::kLikelihoodRatio, 6.76, 0.7737, 0.7736},
                       {Ordering::kProbability, 2.7e-06, 0.7827, 0.7822}}};
  return result;
}

TEST(ReportTest, TextOfAnRByCTableShowsItRowByRowOrSummarisesIt) {
  const engine::TableProblem small{3, 2, {1, 10, 0, 2, 7, 3}};
  std::string text = TextReport(small, {}, TableResultOf(small));
  EXPECT_EQ(text.substr(0, text.find("null hypothesis")),
            "\n\tExact test of a 3 x 2 table\n\n"
            "data:  a 3 x 2 table, total 23\n"
            "        1  10 | 11\n"
            "        0   2 |  2\n"
            "        7   3 | 10\n"
            "       -------+---\n"
            "        8  15 | 23\n");
  EXPECT_NE(text.find("outcomes: 1234 tables with these row and column sums\n"), std::string::npos);
  EXPECT_NE(text.find("probability (Fisher)"), std::string::npos);
  // Too wide to show: its sums instead, a long list cut short.
  engine::TableProblem wide{2, 25, std::vector<std::uint32_t>(50, 1000)};
  engine::TableResult result = TableResultOf(wide);
  result.outcomes = {false, "", 1.5e30};
  text = TextReport(wide, {}, result);
  EXPECT_NE(text.find("data:  a 2 x 25 table, total 50000\nrow sums: 25000 25000\ncolumn sums: 2000 2000"),
            std::string::npos);
  EXPECT_NE(text.find(" ... (25 in all)\n"), std::string::npos);
  EXPECT_NE(text.find("outcomes: about 1.5e+30 tables with these row and column sums (estimated)\n"),
            std::string::npos);
  EXPECT_EQ(TableName(8, 3), "an 8 x 3 table");
  EXPECT_EQ(TableName(11, 3), "an 11 x 3 table");
  EXPECT_EQ(TableName(18000, 2), "an 18000 x 2 table");
  EXPECT_EQ(TableName(180, 2), "a 180 x 2 table");
  EXPECT_EQ(TableName(3, 8), "a 3 x 8 table");
}

TEST(ReportTest, TextOfMonteCarloWithNoDrawAsExtremeShowsTheBound) {
  const engine::TableProblem problem{2, 3, {1, 2, 3, 4, 5, 6}};
  engine::TableResult result = TableResultOf(problem);
  result.method = engine::Method::kMonteCarlo;
  result.fell_back = true;
  result.samples = 1000000;
  result.seed = 20261207;
  for (auto& o : result.orderings) o.standard_error = 1e-3;
  result.orderings[0].draws_extreme = 0;
  result.orderings[0].p = 1 / 1000001.0;
  result.orderings[1].draws_extreme = 5;
  result.orderings[2].draws_extreme = 7;
  engine::TableOptions options;
  const std::string text = TextReport(problem, options, result);
  EXPECT_NE(text.find("method: Monte Carlo estimate from 1000000 samples (seed 20261207)\n"), std::string::npos);
  EXPECT_NE(text.find("note: the exact test would take more than 10 seconds (--max-seconds)"), std::string::npos);
  EXPECT_NE(text.find("< 3.0e-06  < 3.0e-06"), std::string::npos);
  // Only the ordering none of whose draws was as extreme, and the note.
  const std::size_t notes = text.find("p = (draws as extreme + 1) / (samples + 1)");
  ASSERT_NE(notes, std::string::npos);
  EXPECT_GT(text.find("< 3.0e-06", text.find("likelihood ratio")), notes);
  EXPECT_NE(text.find("\n< 3.0e-06: no draw was as extreme", notes), std::string::npos);
  EXPECT_NE(FallbackNotice(options, result).find("Monte Carlo estimates from 1000000 samples"), std::string::npos);
  EXPECT_EQ(Json::parse(JsonReport(problem, options, result)).count("samples_requested"), 0u);

  // Stopped by the time allowed: every report says how many were asked for.
  result.samples_requested = 1000000;
  result.samples = 400000;
  EXPECT_NE(TextReport(problem, options, result)
                .find("method: Monte Carlo estimate from 400000 samples (seed 20261207), stopped by the time "
                      "allowed before the 1000000 asked for\n"),
            std::string::npos);
  EXPECT_EQ(FallbackNotice(options, result),
            "the exact test would take more than 10 seconds (--max-seconds); the p-values are Monte Carlo "
            "estimates from 400000 samples (seed 20261207), as many as the time allowed of the 1000000 asked for");
  const Json report = Json::parse(JsonReport(problem, options, result));
  EXPECT_EQ(report["samples"], 400000);
  EXPECT_EQ(report["samples_requested"], 1000000);
}

TEST(ReportTest, JsonOfAnRByCTable) {
  const engine::TableProblem problem{2, 3, {1, 2, 3, 4, 5, 6}};
  engine::TableResult result = TableResultOf(problem);
  std::string text = JsonReport(problem, {}, result);
  EXPECT_NE(text.find("  \"table\": [\n    [1, 2, 3],\n    [4, 5, 6]\n  ],\n  \"rows\": 2,\n  \"columns\": 3,\n"),
            std::string::npos);
  Json report = Json::parse(text);
  EXPECT_EQ(report["test"], "exact test of an r x c table");
  EXPECT_EQ(report["total"], 21);
  EXPECT_EQ(report["outcomes"], 1234);
  EXPECT_EQ(report["statistics"]["probability"]["p"], 0.7827);
  result.outcomes = {true, "123456789012345678901234", 1.2e23};
  EXPECT_EQ(Json::parse(JsonReport(problem, {}, result))["outcomes"], "123456789012345678901234");
  result.outcomes = {true, "18446744073709551615", 1.8e19};
  EXPECT_EQ(Json::parse(JsonReport(problem, {}, result))["outcomes"], 18446744073709551615u);
  result.outcomes = {false, "", 3e40};
  EXPECT_EQ(Json::parse(JsonReport(problem, {}, result))["outcomes"]["estimate"], 3e40);
  result.method = engine::Method::kMonteCarlo;
  result.samples = 1000;
  result.seed = 9;
  result.orderings[2].draws_extreme = 17;
  report = Json::parse(JsonReport(problem, {}, result));
  EXPECT_FALSE(report.contains("outcomes"));
  EXPECT_EQ(report["samples"], 1000);
  EXPECT_EQ(report["statistics"]["probability"]["draws_extreme"], 17);
  EXPECT_FALSE(report["statistics"]["probability"].contains("p_upper_bound"));
  result.orderings[0].draws_extreme = 0;  // none as extreme: the bound beside the estimate
  report = Json::parse(JsonReport(problem, {}, result));
  EXPECT_EQ(report["statistics"]["chi_square"]["p_upper_bound"], engine::UpperBoundWhenNoneExtreme(1000));
  EXPECT_EQ(PlotTitle(problem), "Exact test of a 2 x 3 table: 1 2 3 / 4 5 6");
}

}  // namespace
}  // namespace cli
