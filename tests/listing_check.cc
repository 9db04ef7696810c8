#include "tests/listing_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace {

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + separator.size();
  }
}

std::string Trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? "" : text.substr(first);
}

// "  0.625000" with 6 decimals gives 625000; -1 for anything else.
std::int64_t ParseScaled(const std::string& field, std::size_t decimals) {
  std::string text = Trimmed(field);
  std::size_t point = text.find('.');
  if (point == std::string::npos || text.size() - point != decimals + 1) return -1;
  std::int64_t value = 0;
  for (char c : text.substr(0, point) + text.substr(point + 1)) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The mark that an exact comparison gives: "*" beyond, "=" tied, "" neither.
std::string Mark(int order) { return order > 0 ? "*" : order == 0 ? "=" : ""; }

// Expects field to show exact with the given decimals, rounded half up. The
// programs' sums and statistics carry rounding noise far below 1e-12: only
// a value that close to a rounding boundary may come out on its other side.
void ExpectRounded(const std::string& field, std::size_t decimals, const Fraction& exact) {
  std::int64_t scale = 1;
  for (std::size_t i = 0; i < decimals; ++i) scale *= 10;
  std::int64_t printed = ParseScaled(field, decimals);
  if (printed == ScaledHalfUp(exact, scale)) return;
  Fraction noise = MakeFraction(1, 1000000000000);
  bool borderline = printed == ScaledHalfUp(exact - noise, scale) || printed == ScaledHalfUp(exact + noise, scale);
  EXPECT_TRUE(borderline) << "\"" << field << "\" for the exact value " << ToString(exact);
}

void ExpectPrintedResult(const std::string& label, const std::string& line, const Fraction& exact) {
  std::string prefix = label + ",";
  ASSERT_EQ(line.substr(0, prefix.size()), prefix);
  SCOPED_TRACE(label);
  ExpectRounded(line.substr(prefix.size()), 6, exact);
}

}  // namespace

void ExpectListingMatchesExact(const std::string& result_file, const std::vector<ExactOutcome>& exact,
                               const ExactOutcome& observed) {
  std::vector<std::string> lines = Split(result_file, "\r\n");
  std::size_t at = 0;
  while (at < lines.size() && lines[at].rfind("# of solutions,,", 0) != 0) ++at;
  ASSERT_LT(at + 3, lines.size()) << "no count line";
  EXPECT_EQ(Trimmed(lines[at].substr(16)), std::to_string(exact.size()));
  at += 3;  // count line, empty line, column header

  Fraction zero = MakeFraction(0, 1);
  Fraction chi2_excess = zero, chi2_tie = zero, lr_excess = zero, lr_tie = zero;
  const std::size_t cell_count = observed.cells.size();
  for (const ExactOutcome& outcome : exact) {
    ASSERT_LT(at, lines.size());
    std::vector<std::string> fields = Split(lines[at++], ",");
    ASSERT_EQ(fields.size(), cell_count + 6) << lines[at - 1];
    std::ostringstream cells;
    for (std::size_t i = 0; i < cell_count; ++i) cells << (i ? " " : "") << Trimmed(fields[i]);
    std::ostringstream expected_cells;
    for (std::size_t i = 0; i < cell_count; ++i) expected_cells << (i ? " " : "") << outcome.cells[i];
    ASSERT_EQ(cells.str(), expected_cells.str());

    SCOPED_TRACE("outcome " + cells.str());
    long double probability = std::strtold(fields[cell_count + 1].c_str(), nullptr);
    EXPECT_NEAR(probability / Approximately(outcome.probability), 1, 1e-14) << fields[cell_count + 1];
    if (fields[cell_count + 2].find('E') == std::string::npos) {
      ExpectRounded(fields[cell_count + 2], 4, outcome.chi2);
    } else {
      // Below 2^-116 the fixed form gives way to the scientific one: a
      // chi-square that is 0 in exact arithmetic may come out as rounding
      // noise of that size (cells in proportion, inexact expected values).
      EXPECT_EQ(outcome.chi2.numerator, 0) << fields[cell_count + 2];
      EXPECT_LT(std::strtold(fields[cell_count + 2].c_str(), nullptr), 0x1p-116L);
    }

    int chi2_order = Compare(outcome.chi2, observed.chi2);
    int lr_order = Compare(outcome.self_powers, observed.self_powers);
    EXPECT_EQ(fields[cell_count + 3], Mark(chi2_order)) << "chi-square mark";
    EXPECT_EQ(fields[cell_count + 4], Mark(lr_order)) << "likelihood-ratio mark";
    if (chi2_order > 0) chi2_excess = chi2_excess + outcome.probability;
    if (chi2_order == 0) chi2_tie = chi2_tie + outcome.probability;
    if (lr_order > 0) lr_excess = lr_excess + outcome.probability;
    if (lr_order == 0) lr_tie = lr_tie + outcome.probability;
  }
  ASSERT_LT(at + 4, lines.size());
  EXPECT_EQ(lines[at], "") << "a row more than the exact outcomes";
  auto mid = [](const Fraction& excess, const Fraction& tie) {
    return excess + MakeFraction(tie.numerator, 2 * tie.denominator);
  };
  ExpectPrintedResult("p (chi2)", lines[at + 1], chi2_excess + chi2_tie);
  ExpectPrintedResult("mid-p (chi2)", lines[at + 2], mid(chi2_excess, chi2_tie));
  ExpectPrintedResult("p (LR)", lines[at + 3], lr_excess + lr_tie);
  ExpectPrintedResult("mid-p (LR)", lines[at + 4], mid(lr_excess, lr_tie));
}
