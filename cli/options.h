// The command line of both programs: GNU-style options (getopt_long) and
// the data as operands. A usage error is thrown as UsageError, whose what()
// is one line saying what is wrong with which argument.
#ifndef CLI_OPTIONS_H_
#define CLI_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/common/exact_test.h"
#include "engine/contingency/fourfold.h"
#include "engine/contingency/table_types.h"
#include "engine/multinomial/multinomial.h"
#include "plot/plot.h"

namespace cli {

enum class Program : std::uint8_t { kOrvane, kKestrin };

/// "orvane" or "kestrin": the prefix of every message.
std::string_view NameOf(Program program);

enum class Format : std::uint8_t { kText, kJson, kCsv };

struct Options {
  Program program = Program::kOrvane;
  Format format = Format::kText;
  std::optional<std::string> output;  // the listing; "-" is standard output
  std::optional<std::string> plot;    // the picture
  engine::Ordering statistic = engine::Ordering::kChiSquare;  // drawn by the picture
  plot::Scale plot_scale = plot::Scale::kAuto;

  // orvane: the counts, the proportions as written, the method.
  engine::MultinomialProblem multinomial;
  engine::MultinomialOptions multinomial_options;

  // kestrin: the table row by row, the method of an r x c table; a 2 x 2
  // table (given either way) also as cells, the alternative and the
  // confidence level, for its own test.
  engine::TableProblem table;
  engine::TableOptions table_options;
  engine::FourfoldProblem fourfold;

  // The batch mode: a test per line of this file ("-" is standard input),
  // the results streamed to standard output. Its options: a label first
  // on every line, log10 columns, kestrin's odds ratio, the number of
  // jobs (0: one per processor).
  std::optional<std::string> batch;
  bool labels = false;
  bool log10 = false;
  bool odds_ratio = false;
  unsigned jobs = 1;
};

/// kestrin: the table is 2 x 2 and has the test of its own (engine/contingency/fourfold.h).
inline bool IsFourfold(const Options& options) { return options.table.rows == 2 && options.table.columns == 2; }

/// What the command line asks for. --help and --version act as soon as they
/// are met, as in GNU programs: what follows them is not looked at.
enum class Action : std::uint8_t { kRun, kHelp, kVersion };

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads the command line into options (argv may be permuted, as
/// getopt_long does). Options that cannot take effect in the run asked for
/// are usage errors too: --samples or --seed with --method=exact,
/// --max-seconds with a method other than auto, --output, --plot or
/// --max-memory with --method=monte-carlo, --statistic or --plot-scale
/// without --plot, --statistic with a one-sided kestrin test (drawn by
/// n11); for kestrin --alternative and --conf-level with a table larger
/// than 2 x 2, and --method=monte-carlo, --samples or --seed with a 2 x 2
/// table, which is always tested exactly. With --batch: operands,
/// --table, --format=text, --output, --plot, and --conf-level without
/// --odds-ratio; without it, --labels, --log10, --odds-ratio and --jobs.
/// The format of --batch is csv unless given.
Action ParseArguments(Program program, int argc, char** argv, Options& options);

/// The text of --help, ending in a line end.
std::string HelpText(Program program);

/// The text of --version: the name and the version, one line.
std::string VersionText(Program program);

}  // namespace cli

#endif  // CLI_OPTIONS_H_
