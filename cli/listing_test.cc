#include "cli/listing.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace cli {
namespace {

using engine::Mark;

// What the listing functions write, read back from a temporary file.
class Capture {
 public:
  Capture() : file_(std::tmpfile()), out_(fileno(file_), "capture") {}
  ~Capture() { std::fclose(file_); }
  BufferedWriter& out() { return out_; }
  std::string Text() {
    out_.Flush();
    std::string text;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
    return text;
  }

 private:
  std::FILE* file_;
  BufferedWriter out_;
};

engine::OutcomeRow Row(const std::vector<std::uint32_t>& counts, double probability, double chi_square,
                       double likelihood_ratio, std::array<Mark, 4> marks) {
  engine::OutcomeRow row{counts, 1, probability, chi_square, likelihood_ratio, {}};
  for (int i = 0; i < 4; ++i) row.marks[i] = marks[i];
  return row;
}

TEST(ListingTest, HeaderNamesTheCountsAndTheMarks) {
  Capture capture;
  WriteListingHeader(capture.out(), {false, 3, false});
  WriteListingHeader(capture.out(), {true, 4, true});
  EXPECT_EQ(capture.Text(),
            "x1,x2,x3,probability,chi_square,likelihood_ratio,chi_square_mark,likelihood_ratio_mark,"
            "probability_mark\n"
            "n11,n12,n21,n22,probability,chi_square,likelihood_ratio,chi_square_mark,likelihood_ratio_mark,"
            "probability_mark,n11_mark\n");
}

TEST(ListingTest, RowsCarryTheShortestDigitsAndOneMarkPerOrdering) {
  Capture capture;
  std::vector<std::uint32_t> counts{1, 0, 4, 2};
  WriteListingRow(capture.out(), {false, 4, false},
                  Row(counts, 0.00640869140625, 5, 6.028322580102989,
                      {Mark::kTied, Mark::kTied, Mark::kTied, Mark::kNotExtreme}));
  std::vector<std::uint32_t> cells{2147483647, 0, 0, 0};
  WriteListingRow(capture.out(), {true, 4, true},
                  Row(cells, 1, 0.1, 1e-300, {Mark::kBeyond, Mark::kNotExtreme, Mark::kTied, Mark::kBeyond}));
  WriteListingRow(capture.out(), {true, 4, false},
                  Row(cells, 1, 0.1, 1e-300, {Mark::kBeyond, Mark::kNotExtreme, Mark::kTied, Mark::kBeyond}));
  EXPECT_EQ(capture.Text(),
            "1,0,4,2,0.00640869140625,5,6.028322580102989,=,=,=\n"
            "2147483647,0,0,0,1,0.1,1e-300,>,,=,>\n"
            "2147483647,0,0,0,1,0.1,1e-300,>,,=\n");
}

TEST(ListingTest, RowsWiderThanTheBufferStayWhole) {
  Capture capture;
  std::vector<std::uint32_t> counts(300000, 1234567);
  WriteListingRow(capture.out(), {false, counts.size(), false},
                  Row(counts, 0.5, 1, 2, {Mark::kBeyond, Mark::kBeyond, Mark::kBeyond, Mark::kNotExtreme}));
  std::string text = capture.Text();
  std::string expected;
  for (std::size_t i = 0; i < counts.size(); ++i) expected += i == 0 ? "1234567" : ",1234567";
  expected += ",0.5,1,2,>,>,>\n";
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace cli
