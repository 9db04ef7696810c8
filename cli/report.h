// The report of a test on standard output, in three forms: text for a
// person (in the manner of R's print of a test), JSON, and CSV. Also the
// texts that name a test and its result elsewhere: the picture's title and
// caption, and the notice that Monte Carlo stood in for the exact test.
#ifndef CLI_REPORT_H_
#define CLI_REPORT_H_

#include <span>
#include <string>

#include "engine/common/exact_test.h"
#include "engine/contingency/fourfold.h"
#include "engine/contingency/table_types.h"
#include "engine/multinomial/multinomial.h"

namespace cli {

std::string TextReport(const engine::MultinomialProblem& problem, const engine::MultinomialOptions& options,
                       const engine::MultinomialResult& result);
std::string TextReport(const engine::FourfoldProblem& problem, const engine::FourfoldResult& result);
std::string TextReport(const engine::TableProblem& problem, const engine::TableOptions& options,
                       const engine::TableResult& result);

/// One JSON object and a line end; numbers in the shortest form that reads
/// back as the same double, infinity as "inf", an undefined value as null.
std::string JsonReport(const engine::MultinomialProblem& problem, const engine::MultinomialOptions& options,
                       const engine::MultinomialResult& result);
std::string JsonReport(const engine::FourfoldProblem& problem, const engine::FourfoldResult& result);
std::string JsonReport(const engine::TableProblem& problem, const engine::TableOptions& options,
                       const engine::TableResult& result);

/// "statistic,value,p,mid_p" and a line per ordering; Monte Carlo adds the
/// standard_error and draws_extreme columns. With odds_ratio (a 2 x 2
/// table), further lines whose value column carries odds_ratio (the
/// conditional MLE), conf_low, conf_high, conf_level and sample_odds_ratio,
/// the other columns empty; an undefined value is empty too, infinity "inf".
std::string CsvReport(std::span<const engine::OrderingResult> orderings, bool monte_carlo,
                      const engine::OddsRatio* odds_ratio = nullptr);

/// p (or mid-p, when mid) of an ordering for a person: PValueText of the
/// value; but from samples > 0 Monte Carlo draws of which none was as
/// extreme as the observed outcome, "< 3.0e-06": the one-sided 95 percent
/// upper bound on the exact p, 1 - 0.05^(1 / samples), to two digits.
std::string ReportedP(const engine::OrderingResult& ordering, bool mid, std::uint64_t samples = 0);

/// The key of an ordering in the JSON and CSV reports: "chi_square",
/// "likelihood_ratio", "probability", "n11".
std::string_view OrderingKey(engine::Ordering ordering);

/// The label of an ordering in the text report: "chi-square (X2)".
std::string OrderingLabel(engine::Ordering ordering, bool fourfold);

/// The picture's title: the test and the data.
std::string PlotTitle(const engine::MultinomialProblem& problem);
std::string PlotTitle(const engine::FourfoldProblem& problem);
std::string PlotTitle(const engine::TableProblem& problem);

/// The picture's caption: "chi-square (X2) = 5: p = 0.23096, mid-p = 0.15405";
/// a one-sided test names its alternative: "n11 = 47, alternative less: ...".
/// From samples > 0 Monte Carlo draws it says so and how many were as
/// extreme: "...: p < 3.0e-06, mid-p < 3.0e-06 (Monte Carlo: 0 of 1000000
/// draws as extreme)".
std::string PlotCaption(const engine::OrderingResult& ordering, bool fourfold,
                        engine::Alternative alternative = engine::Alternative::kTwoSided,
                        std::uint64_t samples = 0);

/// The line for standard error when auto chose Monte Carlo (without the
/// program's name), empty otherwise.
std::string FallbackNotice(const engine::MultinomialOptions& options, const engine::MultinomialResult& result);
std::string FallbackNotice(const engine::TableOptions& options, const engine::TableResult& result);

/// "a 4 x 4 table", "an 8 x 3 table".
std::string TableName(std::uint32_t rows, std::uint32_t columns);

/// The table of the orderings in a text report: statistic, value, p and
/// mid-p; from samples > 0 Monte Carlo draws also the standard error and
/// the draws as extreme, and a p-value none of whose draws was as extreme
/// shows as the 95 percent upper bound (ReportedP).
std::string OrderingTable(std::span<const engine::OrderingResult> orderings, bool fourfold,
                          std::uint64_t samples = 0);

}  // namespace cli

#endif  // CLI_REPORT_H_
