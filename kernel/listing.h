// The outcome listing of the result file, written while the outcomes are
// enumerated, so that no table of outcomes is kept: the count line first
// (the number of outcomes is known before the enumeration), then the
// program's column header, then each outcome as it is found, classified
// against the observed statistics, listed when WriteOutcomeRows is set, and
// its probability added to the sums that give p and mid-p.
//
// The result file ends up as if the listing had been written after the
// enumeration, on the failure paths too:
// - from BeginListing to EndListing the file can be taken back to the
//   opening blocks: any failure reported meanwhile (the console, an
//   arithmetic fault) leaves the file with them alone (kernel/textstream);
// - a failed write of a row takes the file back to its opening blocks and
//   stops the rows; after the enumeration (after every progress line)
//   EndListing writes the listing again, as it would have been written then,
//   failing where it would have failed.
#ifndef KERNEL_LISTING_H_
#define KERNEL_LISTING_H_

#include <cstddef>
#include <cstdint>

#include "kernel/pvalue.h"
#include "kernel/resultfile.h"

/// The most outcomes a run hands over at once.
inline constexpr int kMaxRun = 64;

/// The room in which one row is formed: its cells (at most 128 bytes) and
/// the tail, each text with the room of kernel/listingtext.
inline constexpr std::size_t kRowRoom = 1024;

/// Sets the restore point of the result file at the opening blocks, writes
/// the count line ("# of solutions,," and count in a field of 32, between
/// empty lines) and prepares the classification. The program's column
/// header follows.
void BeginListing(std::int32_t count, long double chi2_0, long double lr_0);

/// The next count outcomes (at most kMaxRun), in enumeration order: each is
/// classified against the observed statistics and its probability added to
/// the sums; when WriteOutcomeRows is set each is listed, its cells written
/// by cells(i, out), which returns their end (at most 128 bytes), then the
/// empty column, the probability, the chi-square, the two marks ("*"
/// beyond, "=" tied), the likelihood ratio and the line end. The values are
/// read long after they were formed: a run is formed whole before it is
/// handed over.
template <typename Cells>
void ListRun(int count, const long double probability[], const long double chi2[], const long double lr[],
             Cells cells);

/// After the last outcome: lets a later failure keep what the file holds,
/// and returns p and mid-p. When a row could not be written, the file went
/// back to its opening blocks then; now the listing is written again, the
/// count line here and the rest by relist (the column header, then the
/// rows of the enumeration run again without its progress lines), and a
/// failure of it is raised.
PValues EndListing(void (*relist)());

/// One cell of a row: value right-aligned in a field of 8 (a longer text
/// whole) and a comma, as WriteInteger with width 8 and then "," give it.
/// Returns its end.
char* AppendCellField(std::int32_t value, char* out);

/// When set, called with each outcome's values before it is classified:
/// for tests.
extern void (*ObserveOutcome)(const long double& probability, const long double& chi2, const long double& lr);

/// The order of a statistic against the observed one, as CompareStatistic
/// gives it: clear cases by a margin around the observed value, the tie
/// test only within it. For tests.
struct StatisticBounds {
  long double below;  // values below are smaller than the observed one
  long double above;  // values above are larger
};
StatisticBounds BoundsAround(long double observed);
int CompareWithBounds(const long double& s, long double observed, const StatisticBounds& bounds);

namespace listing_internal {

/// Classifies a run and adds its probabilities; marks[i] is 3 x the
/// chi-square class + the likelihood-ratio class (Extremeness).
void ClassifyRun(int count, const long double probability[], const long double chi2[], const long double lr[],
                 std::uint8_t marks[]);
/// Where the next row is formed: in the result file's buffer when it has
/// kRowRoom bytes of room, otherwise in a staging area.
char* RowStart();
/// Readies what the next row's numbers will need.
void Prefetch(const long double& probability, const long double& chi2, const long double& lr);
/// The rest of the row after its cells, then the row into the file.
void FinishRow(char* out, const long double& probability, const long double& chi2, const long double& lr,
               std::uint8_t marks);

}  // namespace listing_internal

template <typename Cells>
void ListRun(int count, const long double probability[], const long double chi2[], const long double lr[],
             Cells cells) {
  std::uint8_t marks[kMaxRun];
  listing_internal::ClassifyRun(count, probability, chi2, lr, marks);
  if (!WriteOutcomeRows) return;
  for (int i = 0; i < count; ++i) {
    if (i + 1 < count) listing_internal::Prefetch(probability[i + 1], chi2[i + 1], lr[i + 1]);
    char* out = cells(i, listing_internal::RowStart());
    listing_internal::FinishRow(out, probability[i], chi2[i], lr[i], marks[i]);
  }
}

#endif  // KERNEL_LISTING_H_
