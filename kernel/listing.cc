#include "kernel/listing.h"

#include <cstring>
#include <limits>

#include "kernel/listingtext.h"
#include "kernel/report.h"
#include "kernel/textstream.h"

namespace {

long double observed_chi2;
long double observed_lr;
StatisticBounds chi2_bounds;
StatisticBounds lr_bounds;
PValueSums sums;

std::int32_t listed_count;  // the count line's
// A failed write of a row: raised by EndListing. From then on rows are
// formed in the staging area and dropped.
std::int32_t held_code;
// The listing is written again after the enumeration (EndListing), unless
// the file could not be taken back when a row failed (a pipe).
bool relisting = false;
bool taken_back = true;
char staging[kRowRoom];
bool row_staged;  // the current row is formed in the staging area

// The two mark columns by chi-square class and likelihood-ratio class:
// ",*," / ",=," / ",," then "*," / "=," / ",".
struct Marks {
  char text[8];
  int length;
};
constexpr Marks kMarks[3][3] = {
    {{",*,*,", 5}, {",*,=,", 5}, {",*,,", 4}},
    {{",=,*,", 5}, {",=,=,", 5}, {",=,,", 4}},
    {{",,*,", 4}, {",,=,", 4}, {",,,", 3}},
};

}  // namespace

void (*ObserveOutcome)(const long double& probability, const long double& chi2, const long double& lr) = nullptr;

// 1e-12 relative is below 2^-39.8; the margin 2^-38 is wider by more than
// three times. Above s0 (1 + 2^-38) rounded, s - s0 exceeds 3.5e-12 s even
// after rounding while the tie bound 1e-12 x s stays below 1.01e-12 s: not
// tied, and larger. Below s0 (1 - 2^-38) rounded, a non-negative s is
// 3.5e-12 s0 below s0 against a bound of 1.01e-12 s0, and a negative one
// is farther from s0 than both magnitudes: smaller (where the tie test
// itself would overflow, for a negative s near the end of the range, no
// statistic ever lies). s0 is kept well inside
// the normal range (2^-16000 to 2^16000) so that no product or bound
// underflows or overflows; outside it, and for a negative s0, everything
// goes to the tie test. For s0 = 0 only s = 0 is tied, which the test
// decides; every other s is larger or smaller.
StatisticBounds BoundsAround(long double observed) {
  constexpr long double kInfinity = std::numeric_limits<long double>::infinity();
  if (observed == 0) return {0, 0};
  if (!(observed >= 0x1p-16000L && observed <= 0x1p16000L)) return {-kInfinity, kInfinity};
  return {observed * (1 - 0x1p-38L), observed * (1 + 0x1p-38L)};
}

int CompareWithBounds(const long double& s, long double observed, const StatisticBounds& bounds) {
  if (s < bounds.below) return -1;
  if (s > bounds.above) return 1;
  return CompareStatistic(s, observed);
}

void BeginListing(std::int32_t count, long double chi2_0, long double lr_0) {
  SetResultFileRestorePoint();
  listed_count = count;
  WriteCountLine(count);
  observed_chi2 = chi2_0;
  observed_lr = lr_0;
  chi2_bounds = BoundsAround(chi2_0);
  lr_bounds = BoundsAround(lr_0);
  sums = {};
  held_code = 0;
  taken_back = true;
}

// The sums stay in the unit's registers through the run: no call in the
// loop.
void listing_internal::ClassifyRun(int count, const long double probability[], const long double chi2[],
                                   const long double lr[], std::uint8_t marks[]) {
  if (ObserveOutcome != nullptr && !relisting) [[unlikely]] {
    for (int i = 0; i < count; ++i) ObserveOutcome(probability[i], chi2[i], lr[i]);
  }
  const long double chi2_0 = observed_chi2;
  const long double lr_0 = observed_lr;
  const StatisticBounds chi2_range = chi2_bounds;
  const StatisticBounds lr_range = lr_bounds;
  PValueSums run_sums = sums;
  for (int i = 0; i < count; ++i) {
    int chi2_order = CompareWithBounds(chi2[i], chi2_0, chi2_range);
    int lr_order = CompareWithBounds(lr[i], lr_0, lr_range);
    Extremeness chi2_class = ChiSquareClass(chi2_order);
    Extremeness lr_class = LikelihoodRatioClass(lr_order);
    marks[i] = static_cast<std::uint8_t>(3 * static_cast<int>(chi2_class) + static_cast<int>(lr_class));
    AddOutcome(run_sums, chi2_class, lr_class, probability[i]);
  }
  sums = run_sums;
}

char* listing_internal::RowStart() {
  TextStream& file = ResultFile;
  row_staged = held_code != 0 || file.mode != StreamMode::kOutput || file.capacity - file.position < kRowRoom;
  return row_staged ? staging : file.buffer + file.position;
}

void listing_internal::Prefetch(const long double& probability, const long double& chi2, const long double& lr) {
  PrefetchListingTexts(probability, chi2, lr);
}

void listing_internal::FinishRow(char* out, const long double& probability, const long double& chi2,
                                 const long double& lr, std::uint8_t marks) {
  *out++ = ',';
  out = AppendDefaultForm(probability, out);
  *out++ = ',';
  out = AppendFixedForm10x4(chi2, out);
  const Marks& text = kMarks[marks / 3][marks % 3];
  std::memcpy(out, text.text, 8);
  out += text.length;
  out = AppendFixedForm20x17(lr, out);
  out[0] = '\r';
  out[1] = '\n';
  out += 2;

  TextStream& file = ResultFile;
  if (row_staged) {
    // Formed apart: appended in pieces up to the buffer's end. When that
    // fails the file goes back to its opening blocks at once: what the rows
    // took on disk is free again, as it would be while the outcomes are
    // only enumerated.
    if (held_code == 0) {
      held_code = AppendHoldingFailure(file, staging, static_cast<std::size_t>(out - staging));
      if (held_code != 0) taken_back = TakeResultFileBack();
    }
  } else {
    file.position = static_cast<std::size_t>(out - file.buffer);
  }
}

char* AppendCellField(std::int32_t value, char* out) {
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char digits[12];
  char* first = digits + sizeof digits;
  do {
    *--first = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--first = '-';
  auto length = static_cast<std::size_t>(digits + sizeof digits - first);
  if (length < 8) {
    std::memset(out, ' ', 8 - length);
    out += 8 - length;
  }
  std::memcpy(out, first, length);
  out += length;
  *out++ = ',';
  return out;
}

PValues EndListing(void (*relist)()) {
  ClearResultFileRestorePoint();
  if (held_code != 0 && taken_back) {
    // The listing is written once more, now that the enumeration is over,
    // where it would have been written: it fails there as it would have,
    // with the console and the disk as they are then.
    PValueSums kept = sums;
    held_code = 0;
    relisting = true;
    WriteCountLine(listed_count);
    relist();
    relisting = false;
    sums = kept;
  }
  StoreIoCode(held_code);
  IoCheck();
  return FormPValues(sums);
}
