// The CSV report: a header and one line per ordering, and for a 2 x 2
// table the odds ratio in lines of the same four columns.
#include <string>

#include "cli/numbers.h"
#include "cli/report.h"

namespace cli {
namespace {

void AppendOptional(std::string& text, const std::optional<double>& value) {
  if (value) AppendShortest(text, *value);
}

}  // namespace

std::string CsvReport(std::span<const engine::OrderingResult> orderings, bool monte_carlo,
                      const engine::OddsRatio* odds_ratio) {
  std::string text =
      monte_carlo ? "statistic,value,p,mid_p,standard_error,draws_extreme\n" : "statistic,value,p,mid_p\n";
  for (const auto& ordering : orderings) {
    text += OrderingKey(ordering.ordering);
    text += ',';
    AppendReportNumber(text, ordering.value, ordering.log10_value);
    text += ',';
    AppendReportNumber(text, ordering.p, ordering.log10_p);
    text += ',';
    AppendReportNumber(text, ordering.mid_p, ordering.log10_mid_p);
    if (monte_carlo) {
      text += ',';
      AppendShortest(text, ordering.standard_error);
      text += ',' + std::to_string(ordering.draws_extreme);
    }
    text += '\n';
  }
  if (odds_ratio != nullptr) {
    const std::string empty_columns = monte_carlo ? ",,,,\n" : ",,\n";
    const auto line = [&](const char* key, const std::optional<double>& value) {
      text += key;
      text += ',';
      AppendOptional(text, value);
      text += empty_columns;
    };
    line("odds_ratio", odds_ratio->estimate);
    line("conf_low", odds_ratio->lower);
    line("conf_high", odds_ratio->upper);
    line("conf_level", odds_ratio->conf_level);
    line("sample_odds_ratio", odds_ratio->sample);
  }
  return text;
}

}  // namespace cli
