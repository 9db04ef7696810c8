// The static storage of one run of the uniformity test, and its phases.
//
// Under the null hypothesis the T0 observations fall into k equally likely
// categories: every vector of k non-negative frequencies summing to T0 is an
// outcome, with multinomial probability T0! (1/k)^T0 / (x_1! ... x_k!).
#ifndef ORVANE_UNIFORMITY_H_
#define ORVANE_UNIFORMITY_H_

#include <cstdint>

#include "kernel/pvalue.h"

inline constexpr std::int32_t kMaxCategories = 10;
/// The outcome that brings the count to this is not stored: the run stops.
inline constexpr std::int32_t kOutcomeLimit = 500000;

// Arrays indexed from 1, as the categories are numbered.
extern std::int32_t k;
extern std::int32_t x[kMaxCategories + 1];  // observed, then the working vector
extern std::int32_t T0;
extern double e[kMaxCategories + 1];
extern long double ExpectedSum;
extern std::int32_t LowerBound[kMaxCategories + 1];
extern std::int32_t UpperBound[kMaxCategories + 1];

extern long double Chi2_0;
extern long double LR_0;
extern long double MinusTwoLogLR_0;

// The number of outcomes found so far.
extern std::int32_t SolutionCount;

/// Dialogue: the banner, then k; false when k is refused (after the pause).
bool AskCategoryCount();
/// Dialogue: the frequency of each category into x; false when one is
/// negative (refused after the pause, the rest not asked).
bool AskFrequencies();

/// T0, the expected values T0 / k (as doubles) and their sum.
void Prepare();
/// Chi2_0, LR_0 and -2 ln LR_0 of the observed vector.
void ComputeObservedStatistics();

/// The number of outcomes, C(T0 + k - 1, k - 1), or kOutcomeLimit when it
/// is that or more; 0 for a negative total.
std::int32_t OutcomeCount();

/// Every outcome in lexicographic order, with a progress line per value of
/// x_1: each listed (kernel/listing) as it is found, unless their number
/// reaches the limit, where the enumeration stops.
void EnumerateAll();
/// The same once more, without the progress lines: the outcomes listed
/// again (kernel/listing, EndListing).
void EnumerateAgain();
void EnumerateOutcomes(std::int32_t level, std::int32_t k);
bool ExceedsTotal(std::int32_t j, std::int32_t c);
bool MatchesTotal();
void RecordOutcome();

/// The opening blocks of the result file and the echo on the console.
void WriteOpeningBlocks();
/// Before the enumeration, when the outcomes are listed: the count line and
/// the column header.
void BeginOutcomeListing();
/// After it: the p-values and the summary.
void EndOutcomeListing();

#endif  // ORVANE_UNIFORMITY_H_
