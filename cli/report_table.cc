// The reports of an r x c table larger than 2 x 2: text, with the table
// row by row when it is small and summarised when it is large; JSON; the
// picture's title and the notice of the Monte Carlo fallback.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/numbers.h"
#include "cli/report.h"
#include "engine/common/monte_carlo_p.h"

namespace cli {
namespace {

// Tables up to this many rows, and whose lines fit this width, are shown
// row by row.
constexpr std::size_t kShownRows = 20;
constexpr std::size_t kShownWidth = 79;
// Sums listed in a summary before it is cut short.
constexpr std::size_t kListedSums = 20;

std::string Padded(std::uint64_t value, std::size_t width) {
  std::string text = std::to_string(value);
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

std::string List(const std::vector<std::uint64_t>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size() && i < kListedSums; ++i) text += (i > 0 ? " " : "") + std::to_string(values[i]);
  if (values.size() > kListedSums) text += " ... (" + std::to_string(values.size()) + " in all)";
  return text;
}

// The table and its sums under "data:", each line indented to the data:
//        1   3  10   6 |  20
//        ...
//       ---------------+----
//        4  13  43  36 |  96
std::string TableLines(const engine::TableProblem& problem, const engine::TableResult& result) {
  const std::size_t width = std::to_string(result.total).size();
  const std::string indent(7, ' ');
  const std::uint32_t c = problem.columns;
  std::string text;
  for (std::uint32_t i = 0; i < problem.rows; ++i) {
    std::string line = indent;
    for (std::uint32_t j = 0; j < c; ++j) line += (j > 0 ? "  " : "") + Padded(problem.cells[std::size_t{i} * c + j], width);
    text += line + " | " + Padded(result.row_sums[i], width) + '\n';
  }
  const std::size_t cells_width = c * width + 2 * (c - 1);
  text += indent + std::string(cells_width, '-') + "-+-" + std::string(width, '-') + '\n';
  std::string line = indent;
  for (std::uint32_t j = 0; j < c; ++j) line += (j > 0 ? "  " : "") + Padded(result.column_sums[j], width);
  return text + line + " | " + Padded(result.total, width) + '\n';
}

bool Shown(const engine::TableProblem& problem, const engine::TableResult& result) {
  const std::size_t width = std::to_string(result.total).size();
  const std::size_t line = 7 + problem.columns * width + 2 * (problem.columns - 1) + 3 + width;
  return problem.rows <= kShownRows && line <= kShownWidth;
}

std::string CountText(const engine::TableCount& count) {
  if (count.exact) return count.digits;
  char text[32];
  std::snprintf(text, sizeof text, "about %.2g", count.value);
  return text;
}

}  // namespace

std::string TableName(std::uint32_t rows, std::uint32_t columns) {
  // "an" before the numbers read with a vowel first: 8, 11, 18, 80-89,
  // 800-899, 11000-11999, and so on.
  const std::string digits = std::to_string(rows);
  const bool vowel = digits[0] == '8' ||
                     (digits.size() % 3 == 2 && (digits.starts_with("11") || digits.starts_with("18")));
  return std::string(vowel ? "an " : "a ") + digits + " x " + std::to_string(columns) + " table";
}

std::string TextReport(const engine::TableProblem& problem, const engine::TableOptions& options,
                       const engine::TableResult& result) {
  const bool monte_carlo = result.method == engine::Method::kMonteCarlo;
  std::string text = "\n\tExact test of " + TableName(problem.rows, problem.columns) + "\n\n";
  text += "data:  " + TableName(problem.rows, problem.columns) + ", total " + std::to_string(result.total) + '\n';
  if (Shown(problem, result)) {
    text += TableLines(problem, result);
  } else {
    text += "row sums: " + List(result.row_sums) + '\n';
    text += "column sums: " + List(result.column_sums) + '\n';
  }
  text += "null hypothesis: rows and columns are independent\n";
  text += "outcomes: " + CountText(result.outcomes) + (result.outcomes.value == 1 && result.outcomes.exact ? " table" : " tables") +
          " with these row and column sums" + (result.outcomes.exact ? "" : " (estimated)") + '\n';
  if (monte_carlo) {
    text += "method: Monte Carlo estimate from " + std::to_string(result.samples) + " samples (seed " +
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
  }
  text += '\n' + OrderingTable(result.orderings, true, monte_carlo ? result.samples : 0) + '\n';
  if (monte_carlo) {
    text += "p = (draws as extreme + 1) / (samples + 1): the observed table counts as one more draw;\n"
            "draws as extreme include the ties, which mid-p counts by half.\n";
    bool none = false;
    for (const auto& ordering : result.orderings) none = none || ordering.draws_extreme == 0;
    if (none) {
      char bound[32];
      std::snprintf(bound, sizeof bound, "%.1e", engine::UpperBoundWhenNoneExtreme(result.samples));
      text += "< " + std::string(bound) + ": no draw was as extreme; with 95 percent confidence the exact p is below "
              "that.\n";
    }
    text += '\n';
  }
  return text;
}

std::string PlotTitle(const engine::TableProblem& problem) {
  // Cut short: the title is one line of a picture.
  constexpr std::size_t kShown = 24;
  std::string title = "Exact test of " + TableName(problem.rows, problem.columns) + ":";
  std::size_t shown = 0;
  for (std::uint32_t i = 0; i < problem.rows && shown < kShown; ++i) {
    if (i > 0) title += " /";
    for (std::uint32_t j = 0; j < problem.columns && shown < kShown; ++j, ++shown) {
      title += " " + std::to_string(problem.cells[std::size_t{i} * problem.columns + j]);
    }
  }
  if (shown < problem.cells.size()) title += " ...";
  return title;
}

std::string FallbackNotice(const engine::TableOptions& options, const engine::TableResult& result) {
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
