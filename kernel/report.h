// The pieces of the report that both programs write alike: the statistics
// line, the progress banner, the count line, and the summary in the result
// file and on the console. The outcome listing is kernel/listing.
#ifndef KERNEL_REPORT_H_
#define KERNEL_REPORT_H_

#include <cstdint>

#include "kernel/pvalue.h"
#include "kernel/textstream.h"

/// Ends the current line (an empty line when nothing precedes it) and checks
/// the stream.
void EndLine(TextStream& stream);

/// Result file: the observed statistics, "Chi2_0," with 5 decimals,
/// ",LR_0," with 10 and ",-2Log(LR_0)," with 5, and the line end.
void WriteStatisticsLine(long double chi2_0, long double lr_0, long double minus_two_log_lr_0);

/// Console: an empty line, a rule, an empty line, the calculating line and
/// an empty line.
void WriteProgressBanner();

/// Result file: an empty line, "# of solutions,," with the count in a field
/// of 32, and an empty line.
void WriteCountLine(std::int32_t solution_count);

/// The four results in the result file (between empty lines), then the
/// count and the results on the console.
void WriteSummary(std::int32_t solution_count, const PValues& results);

#endif  // KERNEL_REPORT_H_
