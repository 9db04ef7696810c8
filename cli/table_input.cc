#include "cli/table_input.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "cli/numbers.h"
#include "cli/options.h"

namespace cli {
namespace {

constexpr std::uint64_t kLargestTotal = 2147483647;

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Gathers the rows, checking each cell and that every row has as many.
struct Rows {
  explicit Rows(std::string where_prefix) : prefix(std::move(where_prefix)) {}

  // "row 2, column 3", or in a file "'t.txt', line 4 (row 2, column 3)".
  std::string Where(std::size_t row, std::size_t column, std::string_view line) const {
    const std::string place = "row " + std::to_string(row) + ", column " + std::to_string(column);
    return line.empty() ? place : prefix + std::string(line) + place + ")";
  }

  void Add(const std::vector<std::string_view>& cells, std::string_view line) {
    const std::size_t row = rows + 1;
    for (std::size_t j = 0; j < cells.size(); ++j) {
      const std::string_view cell = cells[j];
      if (cell.empty()) throw UsageError(Where(row, j + 1, line) + ": an empty cell");
      if (auto problem = CountProblem(cell)) {
        throw UsageError(Where(row, j + 1, line) + ": invalid cell " + Quoted(cell) + ": " + *problem);
      }
      if (rows > 0 && j >= columns) {
        throw UsageError(Where(row, j + 1, line) + ": a cell too many: every row needs " + std::to_string(columns) +
                         (columns == 1 ? " cell" : " cells") + ", as row 1 has");
      }
      const std::uint32_t value = CountValue(cell);
      total += value;
      cells_out.push_back(value);
    }
    if (rows == 0) {
      columns = cells.size();
    } else if (cells.size() < columns) {
      throw UsageError(Where(row, cells.size() + 1, line) + ": a cell missing: every row needs " +
                       std::to_string(columns) + (columns == 1 ? " cell" : " cells") + ", as row 1 has");
    }
    ++rows;
  }

  engine::TableProblem Finish(std::string_view empty_message) const {
    if (rows == 0) throw UsageError(std::string(empty_message));
    if (total > kLargestTotal) {
      throw UsageError("the cells add up to " + std::to_string(total) + ", more than 2147483647");
    }
    return {static_cast<std::uint32_t>(rows), static_cast<std::uint32_t>(columns), cells_out};
  }

  std::string prefix;
  std::size_t rows = 0;
  std::size_t columns = 0;
  std::uint64_t total = 0;
  std::vector<std::uint32_t> cells_out;
};

// The cells of a piece of text: split at commas, each piece at runs of
// blanks; a piece that holds nothing is an empty cell (two commas in a row,
// a comma at an end).
std::vector<std::string_view> SplitCells(std::string_view text, bool blanks_separate) {
  std::vector<std::string_view> cells;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    std::string_view piece = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
    std::size_t before = cells.size();
    if (blanks_separate) {
      for (std::size_t i = 0; i < piece.size();) {
        while (i < piece.size() && IsBlank(piece[i])) ++i;
        std::size_t j = i;
        while (j < piece.size() && !IsBlank(piece[j])) ++j;
        if (j > i) cells.push_back(piece.substr(i, j - i));
        i = j;
      }
    } else if (!piece.empty()) {
      cells.push_back(piece);
    }
    if (cells.size() == before) cells.push_back(std::string_view());
    if (comma == std::string_view::npos) return cells;
    start = comma + 1;
  }
}

}  // namespace

bool IsRowOperand(std::string_view operand) { return operand.find(',') != std::string_view::npos; }

engine::TableProblem TableFromOperands(std::span<char* const> operands) {
  Rows rows("");
  for (const char* operand : operands) rows.Add(SplitCells(operand, false), "");
  return rows.Finish("no table given: its rows are the operands, such as 1,3,10,6 2,3,10,7");
}

engine::TableProblem TableFromText(std::string_view text, std::string_view source) {
  const std::string name = source == "standard input" ? std::string(source) : Quoted(source);
  Rows rows(name + ", ");
  std::size_t line_number = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    ++line_number;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    bool blank = true;
    for (char c : line) blank = blank && IsBlank(c);
    if (!blank) rows.Add(SplitCells(line, true), "line " + std::to_string(line_number) + " (");
    start = end + 1;
  }
  return rows.Finish(name + " holds no table: no line with counts");
}

engine::TableProblem ReadTableFile(const std::string& name) {
  const bool standard_input = name == "-";
  const std::string source = standard_input ? std::string("standard input") : name;
  int fd = standard_input ? STDIN_FILENO : open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw UsageError("cannot read " + Quoted(source) + ": " + std::strerror(errno));
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      const int error = errno;
      if (!standard_input) close(fd);
      throw UsageError("cannot read " + Quoted(source) + ": " + std::strerror(error));
    }
  }
  if (!standard_input) close(fd);
  return TableFromText(text, source);
}

}  // namespace cli
