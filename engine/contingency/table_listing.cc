#include "engine/contingency/table_listing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "engine/contingency/excess_entropy.h"
#include "engine/contingency/table_shape.h"
#include "engine/contingency/table_statistics.h"

namespace engine::table {
namespace {

constexpr std::uint32_t kCheckInterval = 1 << 12;

}  // namespace

void ListTables(const TableProblem& problem, Judge& judge, double tables, const OutcomeSink& sink, Pace& pace) {
  const Shape& shape = judge.shape;
  const std::uint32_t r = problem.rows, c = problem.columns;
  std::vector<std::uint64_t> R, C;
  SumsOf(problem, R, C);
  const long double N = static_cast<long double>(shape.N);
  std::vector<long double> expected(std::size_t{r} * c);
  long double log_constant = -std::lgamma(N + 1);
  for (std::uint64_t v : R) log_constant += std::lgamma(static_cast<long double>(v) + 1);
  for (std::uint64_t v : C) log_constant += std::lgamma(static_cast<long double>(v) + 1);
  for (std::uint32_t i = 0; i < r; ++i) {
    for (std::uint32_t j = 0; j < c; ++j) expected[std::size_t{i} * c + j] = static_cast<long double>(R[i]) * C[j] / N;
  }
  // The cells, filled row by row: cell k's count ranges over what its row
  // and column have left, such that the later columns can take the rest of
  // its row and the later rows the rest of its column.
  const std::size_t size = std::size_t{r} * c;
  std::vector<std::uint32_t> cells(size, 0), in_shape(std::size_t{shape.r} * shape.c, 0);
  std::vector<std::int64_t> row_left(R.begin(), R.end()), column_left(C.begin(), C.end());
  std::vector<std::int64_t> rows_below(r + 1, 0);
  for (std::uint32_t i = r; i-- > 0;) rows_below[i] = rows_below[i + 1] + static_cast<std::int64_t>(R[i]);
  // later[i * (c + 1) + b]: what the columns from b on held when row i began.
  std::vector<std::int64_t> hi(size), later(std::size_t{r} * (c + 1), 0);
  std::array<int, kKeyCount> sign{};
  std::uint64_t listed = 0;
  std::size_t k = 0;
  bool descend = true;  // k is entered afresh (else its count goes one up)
  for (;;) {
    const std::uint32_t i = static_cast<std::uint32_t>(k / c), j = static_cast<std::uint32_t>(k % c);
    if (descend) {
      std::int64_t* later_columns = &later[std::size_t{i} * (c + 1)];
      if (j == 0) {
        later_columns[c] = 0;
        for (std::uint32_t b = c; b-- > 0;) later_columns[b] = later_columns[b + 1] + column_left[b];
      }
      std::int64_t lo = std::max({std::int64_t{0}, row_left[i] - later_columns[j + 1],
                                  column_left[j] - rows_below[i + 1]});
      std::int64_t top = std::min(row_left[i], column_left[j]);
      if (j + 1 == c || i + 1 == r) lo = top = j + 1 == c ? row_left[i] : column_left[j];
      if (lo > top || top > std::min(row_left[i], column_left[j])) {
        descend = false;  // no count fits: back to the cell before
        if (k == 0) return;
        --k;
        continue;
      }
      cells[k] = static_cast<std::uint32_t>(lo);
      hi[k] = top;
    } else {
      row_left[i] += cells[k];
      column_left[j] += cells[k];
      if (static_cast<std::int64_t>(cells[k]) >= hi[k]) {
        if (k == 0) return;
        --k;
        continue;
      }
      ++cells[k];
    }
    row_left[i] -= cells[k];
    column_left[j] -= cells[k];
    if (k + 1 < size) {
      ++k;
      descend = true;
      continue;
    }
    // A whole table.
    long double chi = 0, deviance = 0, log_p = log_constant;
    for (std::size_t a = 0; a < size; ++a) {
      const long double e = expected[a], n = cells[a];
      log_p -= n < 2 ? 0 : (cells[a] <= judge.tabled ? judge.log_factorial[cells[a]] : std::lgamma(n + 1));
      if (e == 0) continue;
      chi += (n - e) * (n - e) / e;
      deviance += e * ExcessEntropy((n - e) / e);
    }
    for (std::uint32_t a = 0; a < shape.r; ++a) {
      for (std::uint32_t b = 0; b < shape.c; ++b) {
        const std::uint32_t row = shape.transposed ? shape.column_index[b] : shape.row_index[a];
        const std::uint32_t column = shape.transposed ? shape.row_index[a] : shape.column_index[b];
        in_shape[std::size_t{a} * shape.c + b] = cells[std::size_t{row} * c + column];
      }
    }
    judge.Compare(in_shape.data(), sign);
    auto mark = [](int s) { return s > 0 ? Mark::kBeyond : s == 0 ? Mark::kTied : Mark::kNotExtreme; };
    sink(OutcomeRow{cells, 1, static_cast<double>(std::exp(log_p)), static_cast<double>(chi),
                    static_cast<double>(2 * deviance),
                    {mark(sign[kChi]), mark(sign[kDeviance]), mark(sign[kFactorial]), Mark::kNotExtreme}});
    if (++listed % kCheckInterval == 0) CheckPace(pace, static_cast<double>(listed) / tables);
    descend = false;
  }
}

}  // namespace engine::table
