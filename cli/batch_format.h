// The output of the batch mode: a line per test, as CSV under a header or
// as JSON Lines (one object per test, its keys the CSV's columns). The
// columns: the label (with --labels); the counts (n11,n12,n21,n22 for a
// 2 x 2 table, x1..xk for orvane); for each ordering its statistic, p and
// mid-p (chi_square,chi_square_p,chi_square_mid_p, likelihood_ratio,...,
// probability,probability_p,probability_mid_p), with --log10 also
// ..._log10_p after them; a one-sided kestrin gives n11_p,n11_mid_p
// (n11_log10_p) instead; --odds-ratio adds odds_ratio,conf_low,conf_high.
// The numbers are those of the one-table CSV report, byte for byte.
#ifndef CLI_BATCH_FORMAT_H_
#define CLI_BATCH_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/common/exact_test.h"
#include "engine/contingency/types.h"

namespace cli {

struct BatchShape {
  bool kestrin = true;
  bool json = false;
  bool labels = false;
  bool log10 = false;
  bool odds_ratio = false;
  bool one_sided = false;
  std::size_t counts = 4;  // the count columns
};

/// The columns of a shape, in order.
std::vector<std::string> BatchColumns(const BatchShape& shape);

/// The header line of CSV (with its line end); empty for JSON Lines.
std::string BatchHeader(const BatchShape& shape);

/// Writes the rows of one shape (whatever its number of counts).
class BatchRowWriter {
 public:
  explicit BatchRowWriter(const BatchShape& shape);

  /// Appends one line: the label (ignored without labels), the counts, the
  /// orderings' results (three, or one when one-sided) and, with
  /// odds_ratio, the odds ratio. Appending allocates only when out grows.
  void Append(std::string& out, std::string_view label, std::span<const std::uint32_t> counts,
              std::span<const engine::OrderingResult> orderings, const engine::OddsRatio* odds) const;

 private:
  BatchShape shape_;
  // The name of each column but the counts as JSON writes it before its
  // value: "\"chi_square\":".
  std::vector<std::string> keys_;
};

/// A label as a CSV field: as it is, or in double quotes with its quotes
/// doubled when it holds a quote.
void AppendCsvLabel(std::string& out, std::string_view label);

/// A label as a JSON string: quotes, backslashes and control characters
/// escaped, bytes that are not UTF-8 replaced by U+FFFD.
void AppendJsonLabel(std::string& out, std::string_view label);

}  // namespace cli

#endif  // CLI_BATCH_FORMAT_H_
