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

/// "statistic,value,p,mid_p" and a line per ordering; Monte Carlo adds a
/// standard_error column.
std::string CsvReport(std::span<const engine::OrderingResult> orderings, bool monte_carlo);

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
std::string PlotCaption(const engine::OrderingResult& ordering, bool fourfold,
                        engine::Alternative alternative = engine::Alternative::kTwoSided);

/// The line for standard error when auto chose Monte Carlo (without the
/// program's name), empty otherwise.
std::string FallbackNotice(const engine::MultinomialOptions& options, const engine::MultinomialResult& result);
std::string FallbackNotice(const engine::TableOptions& options, const engine::TableResult& result);

/// "a 4 x 4 table", "an 8 x 3 table".
std::string TableName(std::uint32_t rows, std::uint32_t columns);

/// The table of the orderings in a text report: statistic, value, p and
/// mid-p, and for Monte Carlo the standard error; with none_extreme_samples
/// (the draws) given, a p-value none of whose draws was as extreme shows as
/// the 95 percent upper bound ("< 3.0e-06").
std::string OrderingTable(std::span<const engine::OrderingResult> orderings, bool fourfold, bool monte_carlo,
                          std::uint64_t none_extreme_samples = 0);

}  // namespace cli

#endif  // CLI_REPORT_H_
