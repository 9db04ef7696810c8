// The JSON report: one object, its keys in a fixed order.
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/numbers.h"
#include "cli/report.h"
#include "engine/common/monte_carlo_p.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// Integral values below 2^53 as integers ("value": 5, "p": 1), infinity as
// "inf", an undefined value (NaN) as null, the rest in the shortest form
// that reads back as the same double.
Json Number(double value) {
  if (std::isnan(value)) return nullptr;
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  if (std::fabs(value) < 0x1p53 && value == std::trunc(value)) return static_cast<std::int64_t>(value);
  return value;
}

Json Number(const std::optional<double>& value) { return value ? Number(*value) : Json(nullptr); }

// Under Monte Carlo, samples > 0: with no draw as extreme, the 95 percent
// upper bound the text report shows stands beside the estimate.
Json Statistics(std::span<const engine::OrderingResult> orderings, bool monte_carlo, std::uint64_t samples = 0) {
  Json statistics = Json::object();
  for (const auto& ordering : orderings) {
    Json entry = {{"value", Number(ordering.value)}};
    if (!std::isnan(ordering.log10_value)) entry["log10_value"] = Number(ordering.log10_value);
    entry["p"] = Number(ordering.p);
    entry["mid_p"] = Number(ordering.mid_p);
    if (!std::isnan(ordering.log10_p)) entry["log10_p"] = Number(ordering.log10_p);
    if (!std::isnan(ordering.log10_mid_p)) entry["log10_mid_p"] = Number(ordering.log10_mid_p);
    if (monte_carlo) {
      entry["standard_error"] = Number(ordering.standard_error);
      entry["draws_extreme"] = ordering.draws_extreme;
      if (ordering.draws_extreme == 0 && samples > 0)
        entry["p_upper_bound"] = Number(engine::UpperBoundWhenNoneExtreme(samples));
    }
    statistics[std::string(OrderingKey(ordering.ordering))] = std::move(entry);
  }
  return statistics;
}

bool IsFlat(const Json& value) {
  for (const auto& element : value) {
    if (element.is_structured()) return false;
  }
  return true;
}

// Laid out as the contract shows it: a container of plain values on one
// line ("observed": [1, 0, 4, 2]), any other expanded with two blanks of
// indent per level. Every string is ours, but invalid UTF-8 would be
// replaced rather than thrown on.
void Write(std::string& out, const Json& value, int depth) {
  auto scalar = [](const Json& plain) { return plain.dump(-1, ' ', false, Json::error_handler_t::replace); };
  // The library's own form of a double is short but not always the
  // shortest that reads back: write it as the CSV report does.
  if (value.is_number_float()) {
    AppendShortest(out, value.get<double>());
    return;
  }
  if (!value.is_structured()) {
    out += scalar(value);
    return;
  }
  const bool object = value.is_object();
  const bool flat = IsFlat(value);
  const std::string inner(2 * (depth + 1), ' ');
  out += object ? '{' : '[';
  bool first = true;
  for (auto it = value.begin(); it != value.end(); ++it) {
    out += first ? "" : ",";
    out += flat ? (first ? "" : " ") : "\n" + inner;
    first = false;
    if (object) out += scalar(it.key()) + ": ";
    Write(out, *it, depth + 1);
  }
  if (!flat && !value.empty()) out += "\n" + std::string(2 * depth, ' ');
  out += object ? '}' : ']';
}

std::string Dump(const Json& report) {
  std::string out;
  Write(out, report, 0);
  return out + '\n';
}

std::string_view AlternativeKey(engine::Alternative alternative) {
  switch (alternative) {
    case engine::Alternative::kLess:
      return "less";
    case engine::Alternative::kGreater:
      return "greater";
    case engine::Alternative::kTwoSided:
      break;
  }
  return "two-sided";
}

}  // namespace

std::string JsonReport(const engine::MultinomialProblem& problem, const engine::MultinomialOptions& options,
                       const engine::MultinomialResult& result) {
  const bool monte_carlo = result.method == engine::Method::kMonteCarlo;
  Json report;
  report["program"] = "orvane";
  report["test"] = "exact multinomial goodness of fit";
  report["observed"] = problem.counts;
  Json probabilities = Json::array();
  for (double p : result.probabilities) probabilities.push_back(Number(p));
  report["probabilities"] = std::move(probabilities);
  report["total"] = result.total;
  report["method"] = monte_carlo ? "monte-carlo" : "exact";
  // Also under Monte Carlo, as the text report gives it: "inf" when the
  // count is beyond the range of doubles.
  report["outcomes"] = Number(result.outcomes);
  if (monte_carlo) {
    report["samples"] = result.samples;
    if (result.samples < result.samples_requested) report["samples_requested"] = result.samples_requested;
    report["seed"] = result.seed;
    if (result.fell_back) {
      report["fell_back"] = true;
      report["max_seconds"] = Number(options.max_seconds);
    }
  } else {
    report["outcomes_visited"] = result.outcomes_visited;
    if (result.nodes_visited > 0) report["nodes_visited"] = result.nodes_visited;
  }
  report["statistics"] = Statistics(result.orderings, monte_carlo, monte_carlo ? result.samples : 0);
  return Dump(report);
}

std::string JsonReport(const engine::FourfoldProblem& problem, const engine::FourfoldResult& result) {
  Json report;
  report["program"] = "kestrin";
  report["test"] = "exact test of a 2 x 2 table";
  report["table"] = problem.cells;
  report["total"] = result.total;
  report["alternative"] = AlternativeKey(result.alternative);
  report["method"] = "exact";
  report["outcomes"] = result.outcomes;
  report["statistics"] = Statistics(result.orderings, false);
  const engine::OddsRatio& odds = result.odds_ratio;
  report["odds_ratio"] = {{"estimate", Number(odds.estimate)},
                          {"sample", Number(odds.sample)},
                          {"conf_int", Json::array({Number(odds.lower), Number(odds.upper)})},
                          {"conf_level", Number(odds.conf_level)}};
  return Dump(report);
}

std::string JsonReport(const engine::TableProblem& problem, const engine::TableOptions& options,
                       const engine::TableResult& result) {
  const bool monte_carlo = result.method == engine::Method::kMonteCarlo;
  Json report;
  report["program"] = "kestrin";
  report["test"] = "exact test of an r x c table";
  Json rows = Json::array();
  for (std::uint32_t i = 0; i < problem.rows; ++i) {
    const auto begin = problem.cells.begin() + static_cast<std::ptrdiff_t>(std::size_t{i} * problem.columns);
    rows.push_back(Json(std::vector<std::uint32_t>(begin, begin + problem.columns)));
  }
  report["table"] = std::move(rows);
  report["rows"] = problem.rows;
  report["columns"] = problem.columns;
  report["total"] = result.total;
  report["method"] = monte_carlo ? "monte-carlo" : "exact";
  if (monte_carlo) {
    report["samples"] = result.samples;
    if (result.samples < result.samples_requested) report["samples_requested"] = result.samples_requested;
    report["seed"] = result.seed;
    if (result.fell_back) {
      report["fell_back"] = true;
      report["max_seconds"] = Number(options.max_seconds);
    }
  } else if (!result.outcomes.exact) {
    report["outcomes"] = {{"estimate", Number(result.outcomes.value)}};
  } else if (result.outcomes.digits.size() < 20 ||
             (result.outcomes.digits.size() == 20 && result.outcomes.digits <= "18446744073709551615")) {
    report["outcomes"] = std::stoull(result.outcomes.digits);
  } else {
    report["outcomes"] = result.outcomes.digits;
  }
  report["statistics"] = Statistics(result.orderings, monte_carlo, monte_carlo ? result.samples : 0);
  return Dump(report);
}

}  // namespace cli
