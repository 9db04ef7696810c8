#include "cli/batch_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cli {
namespace {

struct Read {
  LineKind kind;
  std::string label;
  std::vector<std::uint32_t> counts;
  std::string why;
};

Read ReadOne(std::string_view line, bool labels = false) {
  Read r;
  std::string_view label;
  r.kind = ReadBatchLine(line, labels, "cell", label, r.counts, r.why);
  r.label = label;
  return r;
}

using Counts = std::vector<std::uint32_t>;

TEST(BatchLinesTest, BlanksTabsAndCommasSeparate) {
  for (std::string_view line : {"3 1 1 3", "3,1,1,3", "3, 1,\t1 , 3", "  3\t\t1 1,3  ", "3 1 1 3\r"}) {
    const Read r = ReadOne(line);
    EXPECT_EQ(r.kind, LineKind::kData) << line;
    EXPECT_EQ(r.counts, (Counts{3, 1, 1, 3})) << line;
  }
  // Counts as on the command line: leading zeros, the largest count, and
  // a long run of zeros before a small one.
  EXPECT_EQ(ReadOne("007 2147483647 0 000000000000001").counts, (Counts{7, 2147483647, 0, 1}));
  // The fields are not checked for their number here: any count of them.
  EXPECT_EQ(ReadOne("5").counts, (Counts{5}));
}

TEST(BatchLinesTest, BlankAndCommentLinesAreSkipped) {
  for (std::string_view line : {"", "   ", "\t", "\r", "# n11 n12 n21 n22", "   # 1 2 3 4"}) {
    EXPECT_EQ(ReadOne(line).kind, LineKind::kSkipped) << line;
    EXPECT_EQ(ReadOne(line, true).kind, LineKind::kSkipped) << line;
  }
  // A '#' after the first field is a malformed count, not a comment.
  EXPECT_EQ(ReadOne("1 2 # 3").kind, LineKind::kMalformed);
}

TEST(BatchLinesTest, TheLabelIsTheFirstField) {
  Read r = ReadOne("GO:0006915 12,488 1391 18109", true);
  EXPECT_EQ(r.kind, LineKind::kData);
  EXPECT_EQ(r.label, "GO:0006915");
  EXPECT_EQ(r.counts, (Counts{12, 488, 1391, 18109}));
  // Any text without a separator, digits and quotes included; the rest of
  // the line may be empty (the caller counts the cells).
  r = ReadOne("2024\"x\" 1 2 3 4", true);
  EXPECT_EQ(r.label, "2024\"x\"");
  EXPECT_EQ(r.counts.size(), 4u);
  r = ReadOne("alone", true);
  EXPECT_EQ(r.kind, LineKind::kData);
  EXPECT_TRUE(r.counts.empty());
  // Without --labels a label is a malformed cell.
  EXPECT_EQ(ReadOne("GO:1 1 2 3 4").why,
            "invalid cell 'GO:1': a count is a whole number from 0 to 2147483647 in decimal digits");
}

TEST(BatchLinesTest, MalformedFieldsSayWhatIsWrong) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"1 2 -3 4", "invalid cell '-3': a count cannot be negative"},
      {"1 2 +3 4", "invalid cell '+3': a count is written without a sign"},
      {"1 2 3.5 4", "invalid cell '3.5': a count is a whole number"},
      {"1 2 1e3 4", "invalid cell '1e3': a count is written in plain decimal digits"},
      {"1 2 2147483648 4", "invalid cell '2147483648': a count is at most 2147483647"},
      {"1 2 99999999999999999999 4", "invalid cell '99999999999999999999': a count is at most 2147483647"},
      {"1,,2,3", "an empty field before a comma"},
      {",1,2,3,4", "an empty field before a comma"},
      {"1,2,3,4,", "an empty field after the last comma"},
      {"1 2 3 4 ,", "an empty field after the last comma"},
  };
  for (const auto& [line, why] : cases) {
    const Read r = ReadOne(line);
    EXPECT_EQ(r.kind, LineKind::kMalformed) << line;
    EXPECT_EQ(r.why, why) << line;
  }
  // A long field is shown cut short.
  const Read r = ReadOne(std::string(100, 'x'));
  EXPECT_TRUE(r.why.starts_with("invalid cell '" + std::string(40, 'x') + "...': ")) << r.why;
}

TEST(BatchLinesTest, TotalsBeyondTheLimit) {
  EXPECT_EQ(TotalProblem({2147483647, 0, 0, 0}, "cell"), "");
  EXPECT_EQ(TotalProblem({2147483647, 1}, "count"), "the counts add up to 2147483648, more than 2147483647");
  EXPECT_EQ(TotalProblem({2147483647, 2147483647, 2147483647, 2147483647}, "cell"),
            "the cells add up to 8589934588, more than 2147483647");
}

}  // namespace
}  // namespace cli
