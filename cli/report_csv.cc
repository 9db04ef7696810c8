// The CSV report: a header and one line per ordering.
#include <string>

#include "cli/numbers.h"
#include "cli/report.h"

namespace cli {

std::string CsvReport(std::span<const engine::OrderingResult> orderings, bool monte_carlo) {
  std::string text =
      monte_carlo ? "statistic,value,p,mid_p,standard_error,draws_extreme\n" : "statistic,value,p,mid_p\n";
  for (const auto& ordering : orderings) {
    text += OrderingKey(ordering.ordering);
    for (double number : {ordering.value, ordering.p, ordering.mid_p}) {
      text += ',';
      AppendShortest(text, number);
    }
    if (monte_carlo) {
      text += ',';
      AppendShortest(text, ordering.standard_error);
      text += ',' + std::to_string(ordering.draws_extreme);
    }
    text += '\n';
  }
  return text;
}

}  // namespace cli
