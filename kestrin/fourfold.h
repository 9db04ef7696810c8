// The static storage of one run of the fourfold-table test, and its phases.
//
// With the row and column sums of the observed 2 x 2 table held fixed, every
// table of non-negative cells with those margins is an outcome; n11 alone
// fixes it, and its probability is hypergeometric:
// C(row1, n11) C(row2, n21) / C(N, col1).
#ifndef KESTRIN_FOURFOLD_H_
#define KESTRIN_FOURFOLD_H_

#include <cstdint>

extern std::int32_t n11, n12, n21, n22;
extern std::int32_t N, row1, row2, col1;
extern long double share;
extern long double e11, e12, e21, e22;
extern long double ExpectedSum;
extern std::int32_t lo, hi;

extern long double Chi2_0;
extern long double LR_0;
extern long double MinusTwoLogLR_0;

// The number of tables recorded so far. Below a total of 1755 there are at
// most 878, and from 1755 on the first one overflows.
extern std::int32_t SolutionCount;

/// Dialogue: the banner and the four cells, read on one line or several;
/// false when a cell is negative (refused after the pause).
bool AskTable();

/// N, the margins, the bounds of n11, the share, the expected values and
/// their sum.
void Prepare();
/// Chi2_0, LR_0 and -2 ln LR_0 of the observed table.
void ComputeObservedStatistics();

/// The chi-square and the likelihood ratio of a table, in the order of
/// operations shared by the observed table and every outcome.
long double TableChiSquare(const std::int32_t (&cells)[4]);
long double TableLikelihoodRatio(const std::int32_t (&cells)[4]);

/// The number of tables with the observed margins: hi - lo + 1, or 0.
std::int64_t TableCount();

/// Every table with the observed margins, in increasing n11, each counted
/// and listed (kernel/listing) as it is found.
void EnumerateTables();
void RecordTable(const std::int32_t (&table)[4]);

/// The opening blocks of the result file and the echo on the console.
void WriteOpeningBlocks();
/// Before the enumeration: the count line and the column header.
void BeginOutcomeListing();
/// After it: the p-values and the summary.
void EndOutcomeListing();

#endif  // KESTRIN_FOURFOLD_H_
