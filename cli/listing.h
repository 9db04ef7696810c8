// The listing of every outcome as CSV: a header, then one line per outcome
// in the engine's order. Counts ("x1,...,xk", or "n11,n12,n21,n22"), the
// outcome's probability, X^2 and G^2 in their shortest exact form, then one
// mark per ordering: ">" beyond the observed outcome, "=" tied with it,
// empty otherwise. LF line ends.
#ifndef CLI_LISTING_H_
#define CLI_LISTING_H_

#include <cstddef>
#include <cstdint>

#include "cli/output.h"
#include "engine/common/exact_test.h"

namespace cli {

struct ListingShape {
  bool fourfold = false;     // n11,n12,n21,n22 instead of x1,...,xk
  std::size_t k = 0;         // the number of counts
  bool n11_mark = false;     // a one-sided fourfold test: an n11_mark column
  // An r x c table: its cells row by row, n11,n12,...,nrc (n1_1,...,
  // when r or c is above 9).
  std::uint32_t rows = 0, columns = 0;
};

void WriteListingHeader(BufferedWriter& out, const ListingShape& shape);

/// One line per outcome the row stands for (its multiplicity is 1 in a
/// listing).
void WriteListingRow(BufferedWriter& out, const ListingShape& shape, const engine::OutcomeRow& row);

}  // namespace cli

#endif  // CLI_LISTING_H_
