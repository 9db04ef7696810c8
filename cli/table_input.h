// The r x c table of kestrin's command line, read from operands (one per
// row, the counts separated by commas: 1,3,10,6 2,3,10,7) or from a file
// (--table=FILE: a row per line, the counts separated by blanks, tabs or
// commas, '#' to the end of a line a comment, blank lines ignored). What is
// malformed is a UsageError naming the row and the column.
#ifndef CLI_TABLE_INPUT_H_
#define CLI_TABLE_INPUT_H_

#include <span>
#include <string>
#include <string_view>

#include "engine/contingency/table_types.h"

namespace cli {

/// True when an operand holds a comma: the operands are then rows.
bool IsRowOperand(std::string_view operand);

/// The table whose rows are the operands.
engine::TableProblem TableFromOperands(std::span<char* const> operands);

/// The table in text read from `source` (a file's name, or "standard
/// input"), for the messages.
engine::TableProblem TableFromText(std::string_view text, std::string_view source);

/// Reads the table from the file `name`, "-" being standard input.
engine::TableProblem ReadTableFile(const std::string& name);

}  // namespace cli

#endif  // CLI_TABLE_INPUT_H_
