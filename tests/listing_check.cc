#include "tests/listing_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

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

mpq_class TenTo(long exponent) {
  mpz_class power;
  mpz_ui_pow_ui(power.get_mpz_t(), 10, static_cast<unsigned long>(exponent < 0 ? -exponent : exponent));
  return exponent < 0 ? mpq_class(1, power) : mpq_class(power);
}

// The value a number field shows, exactly, and the unit of its last digit:
// "  0.625000" is 5/8 in units of 10^-6, " 4.1E-0144" is 41 x 10^-145 in
// units of 10^-145. False for anything else.
bool ParseShown(const std::string& field, mpq_class& value, mpq_class& unit) {
  std::string text = Trimmed(field);
  std::size_t at = 0;
  bool negative = at < text.size() && text[at] == '-';
  if (negative) ++at;
  mpz_class digits = 0;
  long decimals = 0;
  bool point = false, any = false;
  for (; at < text.size() && text[at] != 'E'; ++at) {
    if (text[at] == '.' && !point) {
      point = true;
    } else if (text[at] >= '0' && text[at] <= '9') {
      digits = digits * 10 + (text[at] - '0');
      decimals += point ? 1 : 0;
      any = true;
    } else {
      return false;
    }
  }
  long exponent = 0;
  if (at < text.size()) {
    if (text.size() - at != 6 || (text[at + 1] != '+' && text[at + 1] != '-')) return false;
    exponent = std::atol(text.c_str() + at + 2) * (text[at + 1] == '-' ? -1 : 1);
  }
  if (!any) return false;
  unit = TenTo(exponent - decimals);
  value = mpq_class(digits) * unit;
  if (negative) value = -value;
  return true;
}

mpq_class Magnitude(const mpq_class& v) { return v < 0 ? mpq_class(-v) : v; }

// Expects field to show exact rounded half up to its last digit, or, within
// relative_noise of the middle between two texts, either of them.
void ExpectShows(const std::string& field, const mpq_class& exact, double relative_noise) {
  mpq_class shown, unit;
  ASSERT_TRUE(ParseShown(field, shown, unit)) << "\"" << field << "\"";
  mpq_class allowed = unit / 2 + Magnitude(exact) * mpq_class(relative_noise);
  EXPECT_LE(Magnitude(shown - exact), allowed) << "\"" << field << "\" for the exact value " << exact
                                                << " (" << exact.get_d() << ")";
}

// A chi-square as ExpectShows, except that one which is 0 in exact
// arithmetic may come out as rounding noise (cells in proportion, inexact
// expected values), which shows in the scientific form below 2^-116.
void ExpectShowsChiSquare(const std::string& field, const mpz_class& numerator, const mpz_class& denominator) {
  if (numerator == 0 && field.find('E') != std::string::npos) {
    EXPECT_LT(std::strtold(field.c_str(), nullptr), 0x1p-116L) << field;
  } else {
    ExpectShows(field, mpq_class(numerator, denominator), 1e-12);
  }
}

}  // namespace

void ExpectResultFileMatchesExact(const std::string& result_file, const ExactTest& test) {
  std::vector<std::string> lines = Split(result_file, "\r\n");
  std::size_t at = 0;
  while (at < lines.size() && lines[at].rfind("Chi2_0,", 0) != 0) ++at;
  ASSERT_LT(at, lines.size()) << "no statistics line";
  {
    SCOPED_TRACE("Chi2_0");
    ExpectShowsChiSquare(Split(lines[at], ",")[1], test.observed.chi2, test.chi2_denominator);
  }
  while (at < lines.size() && lines[at].rfind("# of solutions,,", 0) != 0) ++at;
  ASSERT_LT(at + 3, lines.size()) << "no count line";
  const ExactResults results = Results(test);
  EXPECT_EQ(Trimmed(lines[at].substr(16)), std::to_string(results.count));
  at += 3;  // count line, empty line, column header

  const std::size_t cell_count = test.observed.cells.size();
  if (!lines[at].empty()) {
    bool lost = false;  // the rows no longer follow the outcomes
    test.for_each([&](const ExactOutcome& outcome) {
      if (lost) return;
      std::vector<std::string> fields = Split(at < lines.size() ? lines[at++] : "", ",");
      std::string cells, expected_cells;
      for (std::size_t i = 0; i < cell_count; ++i) {
        cells += (i ? " " : "") + (i < fields.size() ? Trimmed(fields[i]) : "");
        expected_cells += (i ? " " : "") + std::to_string(outcome.cells[i]);
      }
      if (fields.size() != cell_count + 6 || cells != expected_cells) {
        ADD_FAILURE() << "row \"" << lines[at - 1] << "\" where the outcome " << expected_cells
                      << " belongs";
        lost = true;
        return;
      }

      SCOPED_TRACE("outcome " + cells);
      ExpectShows(fields[cell_count + 1], mpq_class(outcome.weight, test.probability_denominator), 1e-15);
      ExpectShowsChiSquare(fields[cell_count + 2], outcome.chi2, test.chi2_denominator);
      EXPECT_EQ(fields[cell_count + 3], ChiSquareMark(outcome, test.observed)) << "chi-square mark";
      EXPECT_EQ(fields[cell_count + 4], LikelihoodRatioMark(outcome, test.observed))
          << "likelihood-ratio mark";
    });
  }
  ASSERT_LT(at + 4, lines.size());
  ASSERT_EQ(lines[at], "") << "a row more than the exact outcomes";
  const char* const labels[4] = {"p (chi2),", "mid-p (chi2),", "p (LR),", "mid-p (LR),"};
  for (int i = 0; i < 4; ++i) {
    const std::string& line = lines[at + 1 + static_cast<std::size_t>(i)];
    ASSERT_EQ(line.rfind(labels[i], 0), 0u) << line;
    SCOPED_TRACE(labels[i]);
    ExpectShows(line.substr(std::string(labels[i]).size()), results.values[i], 1e-12);
  }
}
