// The text report, for a person: the test, the data, the null hypothesis,
// the number of outcomes, a table of the orderings, and for a 2 x 2 table
// the alternative and the odds ratio with its interval.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <cstdio>

#include "cli/numbers.h"
#include "cli/report.h"
#include "engine/common/monte_carlo_p.h"

namespace cli {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// The first column aligned left, the others right (or left), two blanks
// between.
std::string Table(const Rows& rows, std::string_view indent = "", bool numbers_right = true) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line(indent);
    for (std::size_t i = 0; i < row.size(); ++i) {
      std::string pad(widths[i] - row[i].size(), ' ');
      line += i == 0 ? row[i] + pad : numbers_right ? "  " + pad + row[i] : "  " + row[i] + pad;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + '\n';
  }
  return text;
}

}  // namespace

std::string OrderingTable(std::span<const engine::OrderingResult> orderings, bool fourfold, std::uint64_t samples) {
  Rows rows;
  rows.push_back({"statistic", "value", "p", "mid-p"});
  if (samples > 0) {
    rows.back().push_back("std. error");
    rows.back().push_back("draws as extreme");
  }
  for (const auto& ordering : orderings) {
    rows.push_back({OrderingLabel(ordering.ordering, fourfold), ValueText(ordering.value, ordering.log10_value),
                    ReportedP(ordering, false, samples), ReportedP(ordering, true, samples)});
    if (samples > 0) {
      rows.back().push_back(ValueText(ordering.standard_error));
      rows.back().push_back(std::to_string(ordering.draws_extreme));
    }
  }
  return Table(rows);
}

namespace {

// The upper bound shown when no draw was as extreme: two digits.
std::string UpperBoundText(std::uint64_t samples) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1e", engine::UpperBoundWhenNoneExtreme(samples));
  return text;
}

std::string Joined(std::span<const std::uint32_t> counts, std::string_view separator = " ") {
  std::string text;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (i > 0) text += separator;
    text += std::to_string(counts[i]);
  }
  return text;
}

std::string Title(std::string_view name) { return "\n\t" + std::string(name) + "\n\n"; }

std::string OptionalValue(const std::optional<double>& value) {
  return value ? ValueText(*value) : std::string("undefined");
}

}  // namespace

std::string_view OrderingKey(engine::Ordering ordering) {
  switch (ordering) {
    case engine::Ordering::kChiSquare:
      return "chi_square";
    case engine::Ordering::kLikelihoodRatio:
      return "likelihood_ratio";
    case engine::Ordering::kProbability:
      return "probability";
    case engine::Ordering::kN11:
      return "n11";
  }
  return "";
}

std::string OrderingLabel(engine::Ordering ordering, bool fourfold) {
  switch (ordering) {
    case engine::Ordering::kChiSquare:
      return "chi-square (X2)";
    case engine::Ordering::kLikelihoodRatio:
      return "likelihood ratio (G2)";
    case engine::Ordering::kProbability:
      return fourfold ? "probability (Fisher)" : "probability";
    case engine::Ordering::kN11:
      return "n11";
  }
  return "";
}

std::string TextReport(const engine::MultinomialProblem& problem, const engine::MultinomialOptions& options,
                       const engine::MultinomialResult& result) {
  const std::size_t k = problem.counts.size();
  std::string text = Title("Exact multinomial goodness-of-fit test");
  text += "data:  " + Joined(problem.counts) + " (" + std::to_string(k) +
          (k == 1 ? " category" : " categories") + ", total " + std::to_string(result.total) + ")\n";
  if (problem.proportions.empty()) {
    text += "null hypothesis: equal probabilities, 1/" + std::to_string(k) + " each\n";
  } else {
    text += "null hypothesis: probabilities proportional to ";
    for (std::size_t i = 0; i < k; ++i) text += (i > 0 ? ", " : "") + problem.proportions[i];
    text += " (";
    for (std::size_t i = 0; i < result.probabilities.size(); ++i) {
      text += (i > 0 ? ", " : "") + ValueText(result.probabilities[i]);
    }
    text += ")\n";
  }
  const bool monte_carlo = result.method == engine::Method::kMonteCarlo;
  text += "outcomes: " + OutcomeCountText(result.outcomes);
  if (monte_carlo) {
    text += "\nmethod: Monte Carlo estimate from " + std::to_string(result.samples) + " samples (seed " +
            std::to_string(result.seed) + ")";
    if (result.samples < result.samples_requested) {
      text += ", stopped by the time allowed before the " + std::to_string(result.samples_requested) +
              " asked for";
    }
    text += '\n';
    if (result.fell_back) {
      text += "note: the exact test would take more than " + ValueText(options.max_seconds) +
              " seconds (--max-seconds); these p-values are Monte Carlo estimates\n";
    }
  } else {
    // How many the method visited is in the JSON report: it says how the
    // work was done, not what was found.
    text += " (exact)\n";
  }
  text += '\n' + OrderingTable(result.orderings, false, monte_carlo ? result.samples : 0) + '\n';
  if (monte_carlo) {
    text += "p = (draws as extreme + 1) / (samples + 1): the observed counts count as one more draw;\n"
            "draws as extreme include the ties, which mid-p counts by half.\n";
    bool none = false;
    for (const auto& ordering : result.orderings) none = none || ordering.draws_extreme == 0;
    if (none) {
      text += "< " + UpperBoundText(result.samples) + ": no draw was as extreme; with 95 percent confidence the exact "
              "p is below that.\n";
    }
    text += '\n';
  }
  return text;
}

std::string TextReport(const engine::FourfoldProblem& problem, const engine::FourfoldResult& result) {
  const auto& n = problem.cells;
  std::string text = Title("Exact test of a 2 x 2 table");
  auto sum = [](std::uint32_t a, std::uint32_t b) { return std::to_string(std::uint64_t{a} + b); };
  text += "data:  " + std::to_string(n[0]) + " " + std::to_string(n[1]) + " / " + std::to_string(n[2]) + " " +
          std::to_string(n[3]) + " (row sums " + sum(n[0], n[1]) + " and " + sum(n[2], n[3]) +
          ", column sums " + sum(n[0], n[2]) + " and " + sum(n[1], n[3]) + ", total " +
          std::to_string(result.total) + ")\n";
  text += "null hypothesis: rows and columns are independent (odds ratio 1)\n";
  text += "outcomes: " + std::to_string(result.outcomes) +
          (result.outcomes == 1 ? " table" : " tables") + " with these row and column sums\n";
  text += '\n' + OrderingTable(result.orderings, true) + '\n';

  const char* side = result.alternative == engine::Alternative::kLess      ? "less than"
                     : result.alternative == engine::Alternative::kGreater ? "greater than"
                                                                           : "not equal to";
  text += "alternative hypothesis: true odds ratio is " + std::string(side) + " 1\n";
  const engine::OddsRatio& odds = result.odds_ratio;
  if (odds.estimate) {
    text += ValueText(odds.conf_level * 100) + " percent confidence interval:\n";
    text += Table({{OptionalValue(odds.lower), OptionalValue(odds.upper)}}, " ");
  }
  text += "sample estimates:\n";
  Rows estimates;
  estimates.push_back({"odds ratio (conditional MLE)", odds.estimate ? ValueText(*odds.estimate)
                                                                      : "undefined (a row or column sum is 0)"});
  estimates.push_back({"sample odds ratio", OptionalValue(odds.sample)});
  text += Table(estimates, " ", false) + '\n';
  return text;
}

std::string PlotTitle(const engine::MultinomialProblem& problem) {
  // A long list of counts is cut short: the title is one line of a picture.
  constexpr std::size_t kShown = 12;
  std::span<const std::uint32_t> counts = problem.counts;
  std::string title = "Exact multinomial goodness-of-fit test: " + Joined(counts.first(std::min(kShown, counts.size())));
  if (counts.size() > kShown) title += " ... (" + std::to_string(counts.size()) + " categories)";
  if (!problem.proportions.empty()) {
    std::string ratio;
    for (std::size_t i = 0; i < problem.proportions.size() && i < kShown; ++i) {
      ratio += (i > 0 ? ":" : "") + problem.proportions[i];
    }
    if (problem.proportions.size() > kShown) ratio += ":...";
    title += " against " + ratio;
  }
  return title;
}

std::string PlotTitle(const engine::FourfoldProblem& problem) {
  const auto& n = problem.cells;
  return "Exact test of a 2 x 2 table: " + std::to_string(n[0]) + " " + std::to_string(n[1]) + " / " +
         std::to_string(n[2]) + " " + std::to_string(n[3]);
}

std::string ReportedP(const engine::OrderingResult& ordering, bool mid, std::uint64_t samples) {
  if (samples > 0 && ordering.draws_extreme == 0) return "< " + UpperBoundText(samples);
  return mid ? PValueText(ordering.mid_p, ordering.log10_mid_p) : PValueText(ordering.p, ordering.log10_p);
}

std::string PlotCaption(const engine::OrderingResult& ordering, bool fourfold, engine::Alternative alternative,
                        std::uint64_t samples) {
  std::string caption =
      OrderingLabel(ordering.ordering, fourfold) + " = " + ValueText(ordering.value, ordering.log10_value);
  if (alternative == engine::Alternative::kLess) caption += ", alternative less";
  if (alternative == engine::Alternative::kGreater) caption += ", alternative greater";
  // "p = 0.23096", or "p < 3.0e-06" when no draw was as extreme.
  auto shown = [&](bool mid) {
    std::string text = ReportedP(ordering, mid, samples);
    return text.starts_with("< ") ? text : "= " + text;
  };
  caption += ": p " + shown(false) + ", mid-p " + shown(true);
  if (samples > 0) {
    caption += " (Monte Carlo: " + std::to_string(ordering.draws_extreme) + " of " + std::to_string(samples) +
               " draws as extreme)";
  }
  return caption;
}

std::string FallbackNotice(const engine::MultinomialOptions& options, const engine::MultinomialResult& result) {
  if (!result.fell_back) return "";
  std::string notice = "the exact test would take more than " + ValueText(options.max_seconds) +
                       " seconds (--max-seconds); the p-values are Monte Carlo estimates from " +
                       std::to_string(result.samples) + " samples (seed " + std::to_string(result.seed) + ")";
  if (result.samples < result.samples_requested) {
    notice += ", as many as the time allowed of the " + std::to_string(result.samples_requested) + " asked for";
  }
  return notice;
}

}  // namespace cli
