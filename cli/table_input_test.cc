#include "cli/table_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace cli {
namespace {

std::string ErrorOf(std::string_view text) {
  try {
    TableFromText(text, "t.txt");
  } catch (const UsageError& error) {
    return error.what();
  }
  return "";
}

TEST(TableInputTest, AFileHoldsARowPerLine) {
  const engine::TableProblem table =
      TableFromText("# job satisfaction\n1 3 10 6\n\n2,3,10,7\r\n1\t6,  14 12   # a comment\n  0 1 9 11", "t.txt");
  EXPECT_EQ(table.rows, 4u);
  EXPECT_EQ(table.columns, 4u);
  EXPECT_EQ(table.cells, (std::vector<std::uint32_t>{1, 3, 10, 6, 2, 3, 10, 7, 1, 6, 14, 12, 0, 1, 9, 11}));
  EXPECT_EQ(TableFromText("7\n", "t.txt").cells, std::vector<std::uint32_t>{7});
}

TEST(TableInputTest, FileErrorsNameTheLineRowAndColumn) {
  EXPECT_EQ(ErrorOf("# only a comment\n\n"), "'t.txt' holds no table: no line with counts");
  EXPECT_EQ(ErrorOf(""), "'t.txt' holds no table: no line with counts");
  EXPECT_EQ(ErrorOf("1 2\n# two\n3\n"),
            "'t.txt', line 3 (row 2, column 2): a cell missing: every row needs 2 cells, as row 1 has");
  EXPECT_EQ(ErrorOf("1 2\n3 4 5\n"),
            "'t.txt', line 2 (row 2, column 3): a cell too many: every row needs 2 cells, as row 1 has");
  EXPECT_EQ(ErrorOf("1 2\n3 -4\n"), "'t.txt', line 2 (row 2, column 2): invalid cell '-4': a count cannot be negative");
  EXPECT_EQ(ErrorOf("1,,2\n"), "'t.txt', line 1 (row 1, column 2): an empty cell");
  EXPECT_EQ(ErrorOf("1,2,\n"), "'t.txt', line 1 (row 1, column 3): an empty cell");
  EXPECT_EQ(ErrorOf("1 2.5\n"), "'t.txt', line 1 (row 1, column 2): invalid cell '2.5': a count is a whole number");
  EXPECT_EQ(ErrorOf("2147483647 1\n"), "the cells add up to 2147483648, more than 2147483647");
  EXPECT_EQ(ErrorOf("1 2147483648\n"),
            "'t.txt', line 1 (row 1, column 2): invalid cell '2147483648': a count is at most 2147483647");
}

TEST(TableInputTest, OperandsAreRows) {
  std::vector<std::string> words = {"1,3,10", "2,3,10"};
  std::vector<char*> operands;
  for (auto& word : words) operands.push_back(word.data());
  const engine::TableProblem table = TableFromOperands(operands);
  EXPECT_EQ(table.rows, 2u);
  EXPECT_EQ(table.columns, 3u);
  EXPECT_TRUE(IsRowOperand("1,2"));
  EXPECT_FALSE(IsRowOperand("12"));
  words = {"1,x"};
  operands = {words[0].data()};
  try {
    TableFromOperands(operands);
    ADD_FAILURE() << "no error";
  } catch (const UsageError& error) {
    EXPECT_STREQ(error.what(),
                 "row 1, column 2: invalid cell 'x': a count is a whole number from 0 to 2147483647 in decimal digits");
  }
}

}  // namespace
}  // namespace cli
