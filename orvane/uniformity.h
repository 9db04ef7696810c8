// The static storage of one run of the uniformity test, and its phases.
//
// Under the null hypothesis the T0 observations fall into k equally likely
// categories: every vector of k non-negative frequencies summing to T0 is an
// outcome, with multinomial probability T0! (1/k)^T0 / (x_1! ... x_k!).
#ifndef ORVANE_UNIFORMITY_H_
#define ORVANE_UNIFORMITY_H_

#include <cstddef>
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

// The solution table: four parallel arrays, entries 1 .. SolutionCount.
// Each array is padded to whole huge pages (2 MiB), which the enumeration
// asks the system for: the table is tens of megabytes touched once.
inline constexpr std::size_t kHugePage = 2 << 20;
template <typename T>
inline constexpr std::size_t kTableEntries =
    ((kOutcomeLimit + 1) * sizeof(T) + kHugePage - 1) / kHugePage * kHugePage / sizeof(T);
extern std::int32_t SolutionCount;
extern long double SolutionChi2[kTableEntries<long double>];
extern long double SolutionLR[kTableEntries<long double>];
extern long double SolutionProbability[kTableEntries<long double>];
// The frequencies of entry c are the k values from c x k on. An enumerated
// frequency is at most 1754 (a larger total overflows before the first
// outcome), so two bytes hold it.
extern std::int16_t SolutionFrequencies[kTableEntries<std::int16_t[kMaxCategories]> * kMaxCategories];
inline std::int16_t* FrequenciesOf(std::int32_t entry) { return &SolutionFrequencies[entry * k]; }

/// Dialogue: the banner, then k; false when k is refused (after the pause).
bool AskCategoryCount();
/// Dialogue: the frequency of each category into x; false when one is
/// negative (refused after the pause, the rest not asked).
bool AskFrequencies();

/// T0, the expected values T0 / k (as doubles) and their sum.
void Prepare();
/// Chi2_0, LR_0 and -2 ln LR_0 of the observed vector.
void ComputeObservedStatistics();

/// Every outcome in lexicographic order into the solution table, with a
/// progress line per value of x_1; stops at the outcome limit.
void EnumerateAll();
void EnumerateOutcomes(std::int32_t level, std::int32_t k);
bool ExceedsTotal(std::int32_t j, std::int32_t c);
bool MatchesTotal();
void RecordOutcome();

/// The opening blocks of the result file and the echo on the console.
void WriteOpeningBlocks();
/// Count line, header, rows (when WriteOutcomeRows) and the summary.
void WriteListingAndSummary();

#endif  // ORVANE_UNIFORMITY_H_
