// The pieces of the report that both programs write alike: the progress
// banner, the count line, the tail of an outcome row with its marks, and the
// summary in the result file and on the console.
#ifndef KERNEL_REPORT_H_
#define KERNEL_REPORT_H_

#include <cstdint>

#include "kernel/pvalue.h"

/// Console: an empty line, a rule, an empty line, the calculating line and
/// an empty line.
void WriteProgressBanner();

/// Result file: an empty line, "# of solutions,," with the count in a field
/// of 32, and an empty line.
void WriteCountLine(std::int32_t solution_count);

/// Result file, after the outcome's own cells: the empty column, the
/// probability, the chi-square, the two marks ("*" beyond, "=" tied) and the
/// likelihood ratio, then the line end.
void WriteOutcomeTail(long double probability, long double chi2, Extremeness chi2_class,
                      Extremeness lr_class, long double lr);

/// The four results in the result file (between empty lines), then the
/// count and the results on the console.
void WriteSummary(std::int32_t solution_count, const PValues& results);

#endif  // KERNEL_REPORT_H_
