#include "cli/options.h"

#include <getopt.h>

#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "cli/numbers.h"
#include "cli/table_input.h"

#ifndef EXACT_TESTS_VERSION
#error "EXACT_TESTS_VERSION is set by the build"
#endif

namespace cli {
namespace {

// Values of the options without a short form.
enum LongOnly : int {
  kMethod = 256,
  kSamples,
  kSeed,
  kMaxSeconds,
  kPlot,
  kStatistic,
  kPlotScale,
  kMaxMemory,
  kTable,
  kBatch,
  kLabels,
  kLog10,
  kOddsRatio,
  kJobs,
};

// The longest --jobs a run may ask for.
constexpr std::uint64_t kMostJobs = 1024;

const option kOrvaneOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"format", required_argument, nullptr, 'f'},
    {"output", required_argument, nullptr, 'o'},
    {"probabilities", required_argument, nullptr, 'p'},
    {"method", required_argument, nullptr, kMethod},
    {"samples", required_argument, nullptr, kSamples},
    {"seed", required_argument, nullptr, kSeed},
    {"max-seconds", required_argument, nullptr, kMaxSeconds},
    {"plot", required_argument, nullptr, kPlot},
    {"statistic", required_argument, nullptr, kStatistic},
    {"plot-scale", required_argument, nullptr, kPlotScale},
    {"batch", required_argument, nullptr, kBatch},
    {"labels", no_argument, nullptr, kLabels},
    {"log10", no_argument, nullptr, kLog10},
    {"jobs", required_argument, nullptr, kJobs},
    {nullptr, 0, nullptr, 0},
};

const option kKestrinOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"format", required_argument, nullptr, 'f'},
    {"output", required_argument, nullptr, 'o'},
    {"alternative", required_argument, nullptr, 'a'},
    {"conf-level", required_argument, nullptr, 'c'},
    {"table", required_argument, nullptr, kTable},
    {"method", required_argument, nullptr, kMethod},
    {"samples", required_argument, nullptr, kSamples},
    {"seed", required_argument, nullptr, kSeed},
    {"max-seconds", required_argument, nullptr, kMaxSeconds},
    {"max-memory", required_argument, nullptr, kMaxMemory},
    {"plot", required_argument, nullptr, kPlot},
    {"statistic", required_argument, nullptr, kStatistic},
    {"plot-scale", required_argument, nullptr, kPlotScale},
    {"batch", required_argument, nullptr, kBatch},
    {"labels", no_argument, nullptr, kLabels},
    {"log10", no_argument, nullptr, kLog10},
    {"odds-ratio", no_argument, nullptr, kOddsRatio},
    {"jobs", required_argument, nullptr, kJobs},
    {nullptr, 0, nullptr, 0},
};

// The leading ':' makes getopt_long tell a missing argument (':') from an
// unknown option ('?'); opterr = 0 keeps its own messages off: ours name the
// program without the path it was started by.
constexpr const char* kOrvaneShort = ":hVf:o:p:";
constexpr const char* kKestrinShort = ":hVf:o:a:c:";

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

const option* FindByValue(const option* options, int value) {
  for (const option* o = options; o->name != nullptr; ++o) {
    if (o->val == value) return o;
  }
  return nullptr;
}

// The message for a long option getopt_long could not take: unknown, or an
// abbreviation of several.
std::string UnknownLongOption(const option* options, std::string_view token) {
  std::string_view name = token.substr(2);
  name = name.substr(0, name.find('='));
  std::string possibilities;
  int matches = 0;
  for (const option* o = options; o->name != nullptr; ++o) {
    if (std::string_view(o->name).starts_with(name)) {
      possibilities += " '--" + std::string(o->name) + "'";
      ++matches;
    }
  }
  if (matches > 1) {
    return "option '--" + std::string(name) + "' is ambiguous; possibilities:" + possibilities;
  }
  return "unrecognized option " + Quoted(token.substr(0, token.find('=')));
}

// getopt_long met `-c` with c a digit or a point: the token is a negative
// number given as an operand. It is argv[optind - 1] when c ended it ("-3"),
// else argv[optind] ("-35").
std::string NegativeNumberToken(int argc, char** argv, char c) {
  if (optind >= 2 && optind - 1 < argc) {
    std::string_view token = argv[optind - 1];
    if (token.size() == 2 && token[0] == '-' && token[1] == c) return std::string(token);
  }
  if (optind < argc && argv[optind][0] == '-' && argv[optind][1] == c) return argv[optind];
  return std::string("-") + c;
}

template <typename T, std::size_t N>
std::optional<T> Choose(std::string_view text, const std::array<std::pair<std::string_view, T>, N>& choices) {
  for (const auto& [name, value] : choices) {
    if (text == name) return value;
  }
  return std::nullopt;
}

template <typename T, std::size_t N>
T ChoiceOrThrow(std::string_view option_name, std::string_view text,
                const std::array<std::pair<std::string_view, T>, N>& choices) {
  if (auto value = Choose(text, choices)) return *value;
  std::string names;
  for (std::size_t i = 0; i < N; ++i) {
    names += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(choices[i].first);
  }
  throw UsageError("invalid argument " + Quoted(text) + " for '--" + std::string(option_name) +
                   "': choose " + names);
}

[[noreturn]] void InvalidArgument(std::string_view option_name, std::string_view text, std::string_view why) {
  throw UsageError("invalid argument " + Quoted(text) + " for '--" + std::string(option_name) + "': " +
                   std::string(why));
}

constexpr std::array<std::pair<std::string_view, Format>, 3> kFormats{{
    {"text", Format::kText}, {"json", Format::kJson}, {"csv", Format::kCsv}}};
constexpr std::array<std::pair<std::string_view, engine::Method>, 3> kMethods{{
    {"auto", engine::Method::kAuto},
    {"exact", engine::Method::kExact},
    {"monte-carlo", engine::Method::kMonteCarlo}}};
constexpr std::array<std::pair<std::string_view, engine::Ordering>, 3> kStatistics{{
    {"chi_square", engine::Ordering::kChiSquare},
    {"likelihood_ratio", engine::Ordering::kLikelihoodRatio},
    {"probability", engine::Ordering::kProbability}}};
constexpr std::array<std::pair<std::string_view, plot::Scale>, 3> kScales{{
    {"auto", plot::Scale::kAuto}, {"linear", plot::Scale::kLinear}, {"log", plot::Scale::kLog}}};
constexpr std::array<std::pair<std::string_view, engine::Alternative>, 3> kAlternatives{{
    {"two-sided", engine::Alternative::kTwoSided},
    {"less", engine::Alternative::kLess},
    {"greater", engine::Alternative::kGreater}}};

std::string FileName(std::string_view option_name, const char* text) {
  if (*text == '\0') InvalidArgument(option_name, text, "an empty file name");
  return text;
}

// A size in bytes, with an optional suffix K, M, G or T (powers of 1024):
// "512M", "2G", "1048576".
std::optional<std::uint64_t> ParseSize(std::string_view text) {
  std::uint64_t scale = 1;
  if (!text.empty()) {
    const char unit = text.back();
    const std::string_view units = "KMGT";
    if (const std::size_t at = units.find(unit); at != std::string_view::npos) {
      scale = std::uint64_t{1} << (10 * (at + 1));
      text.remove_suffix(1);
    }
  }
  const auto value = ParseUnsigned(text);
  if (!value || *value == 0 || *value > UINT64_MAX / scale) return std::nullopt;
  return *value * scale;
}

std::vector<std::string> Proportions(std::string_view list) {
  std::vector<std::string> values;
  for (std::size_t start = 0;;) {
    std::size_t comma = list.find(',', start);
    std::string_view item = list.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (!engine::IsProportion(item)) {
      throw UsageError("invalid probability " + Quoted(item) + " in '--probabilities': " +
                       "each is a positive decimal number, such as 9, 0.25 or 1e-3");
    }
    values.emplace_back(item);
    if (comma == std::string_view::npos) return values;
    start = comma + 1;
  }
}

// Which options were given, for the checks of what applies.
struct Given {
  bool alternative = false;
  bool conf_level = false;
  bool max_memory = false;
  bool samples = false;
  bool seed = false;
  bool max_seconds = false;
  bool statistic = false;
  bool plot_scale = false;
  bool format = false;
  bool jobs = false;
};

// The methods of an r x c table, and what a 2 x 2 table, always tested
// exactly (as are those of --batch), or a larger one, does not take.
void CheckKestrin(const Options& options, const Given& given) {
  const engine::Method method = options.table_options.method;
  if (options.batch || IsFourfold(options)) {
    if (options.fourfold.alternative != engine::Alternative::kTwoSided && given.statistic) {
      throw UsageError("'--statistic' does not apply to a one-sided test, which is ordered by n11");
    }
    if (method == engine::Method::kMonteCarlo) {
      throw UsageError("'--method=monte-carlo' applies to tables larger than 2 x 2: a 2 x 2 table is always tested "
                       "exactly");
    }
    if (given.samples || given.seed) {
      throw UsageError(std::string(given.samples ? "'--samples'" : "'--seed'") +
                       " applies to Monte Carlo, which a 2 x 2 table, always tested exactly, never needs");
    }
  } else {
    if (given.alternative) throw UsageError("'--alternative' applies to a 2 x 2 table only");
    if (given.conf_level) throw UsageError("'--conf-level' applies to the odds ratio of a 2 x 2 table only");
  }
  if (method == engine::Method::kExact) {
    if (given.samples) throw UsageError("'--samples' applies to Monte Carlo, not to '--method=exact'");
    if (given.seed) throw UsageError("'--seed' applies to Monte Carlo, not to '--method=exact'");
  }
  if (method != engine::Method::kAuto && given.max_seconds) {
    throw UsageError("'--max-seconds' applies to '--method=auto' only");
  }
  if (method == engine::Method::kMonteCarlo) {
    if (options.output) {
      throw UsageError("'--output' lists every table, which '--method=monte-carlo' does not visit");
    }
    if (options.plot) {
      throw UsageError("'--plot' draws every table, which '--method=monte-carlo' does not visit");
    }
    if (given.max_memory) throw UsageError("'--max-memory' bounds the exact test, not '--method=monte-carlo'");
  }
}

// The batch mode's own options need it, and it rules out what writes the
// results of a single test.
void CheckBatch(const Options& options, const Given& given) {
  if (!options.batch) {
    if (options.labels) throw UsageError("'--labels' applies to '--batch': give '--batch' too");
    if (options.log10) throw UsageError("'--log10' applies to '--batch': give '--batch' too");
    if (options.odds_ratio) throw UsageError("'--odds-ratio' applies to '--batch': give '--batch' too");
    if (given.jobs) throw UsageError("'--jobs' applies to '--batch': give '--batch' too");
    return;
  }
  if (options.format == Format::kText) {
    throw UsageError("'--batch' writes a line per test, as csv or json: '--format=text' does not apply");
  }
  if (options.output) throw UsageError("'--output' lists the outcomes of a single test, not of '--batch'");
  if (options.plot) throw UsageError("'--plot' draws the distribution of a single test, not of '--batch'");
  if (given.conf_level && !options.odds_ratio) {
    throw UsageError("'--conf-level' sets the interval of '--odds-ratio': give '--odds-ratio' too");
  }
}

void CheckWhatApplies(const Options& options, const Given& given) {
  CheckBatch(options, given);
  if (!options.plot) {
    if (given.statistic) throw UsageError("'--statistic' chooses what '--plot' draws: give '--plot' too");
    if (given.plot_scale) throw UsageError("'--plot-scale' applies to '--plot': give '--plot' too");
  } else if (*options.plot == "-") {
    throw UsageError("'--plot' writes a file: '-' (standard output) is not supported");
  } else if (options.output && *options.output == *options.plot) {
    throw UsageError("'--output' and '--plot' name the same file " + Quoted(*options.plot));
  }
  if (options.program == Program::kKestrin) {
    CheckKestrin(options, given);
    return;
  }
  engine::Method method = options.multinomial_options.method;
  if (method == engine::Method::kExact) {
    if (given.samples) throw UsageError("'--samples' applies to Monte Carlo, not to '--method=exact'");
    if (given.seed) throw UsageError("'--seed' applies to Monte Carlo, not to '--method=exact'");
  }
  if (method != engine::Method::kAuto && given.max_seconds) {
    throw UsageError("'--max-seconds' applies to '--method=auto' only");
  }
  if (method == engine::Method::kAuto && options.output) {
    // A listing needs every outcome: auto then stays exact, however long.
    const char* name = given.max_seconds ? "--max-seconds" : given.samples ? "--samples" : given.seed ? "--seed" : nullptr;
    if (name != nullptr) {
      throw UsageError("'" + std::string(name) + "' cannot take effect with '--output', which keeps the test exact");
    }
  }
  if (method == engine::Method::kMonteCarlo) {
    if (options.output) {
      throw UsageError("'--output' lists every outcome, which '--method=monte-carlo' does not visit");
    }
    if (options.plot) {
      throw UsageError("'--plot' draws every outcome, which '--method=monte-carlo' does not visit");
    }
  }
}

void ReadKestrinTable(Options& options, std::span<char* const> operands, const std::optional<std::string>& file) {
  bool rows = false;
  for (const char* operand : operands) rows = rows || IsRowOperand(operand);
  if (options.batch) {
    // The batch mode tests a 2 x 2 table a line, read from its file.
    if (file) throw UsageError("'--batch' reads its 2 x 2 tables from its file: '--table' does not apply");
    if (!operands.empty()) {
      throw UsageError("'--batch' reads the data from its file: " + std::string(rows ? "row " : "cell ") +
                       Quoted(operands[0]) + " does not apply");
    }
    return;
  }
  if (file) {
    if (!operands.empty()) {
      throw UsageError("the table is given by '--table' or by the operands, not by both");
    }
    options.table = ReadTableFile(*file);
  } else if (rows) {
    options.table = TableFromOperands(operands);
  } else {
    std::vector<std::uint32_t> cells;
    std::uint64_t total = 0;
    for (const char* operand : operands) {
      if (auto problem = CountProblem(operand)) {
        throw UsageError("invalid cell " + Quoted(operand) + ": " + *problem);
      }
      cells.push_back(CountValue(operand));
      total += cells.back();
    }
    if (cells.size() != 4) {
      throw UsageError(std::to_string(cells.size()) + (cells.size() == 1 ? " cell" : " cells") +
                       " given: a 2 x 2 table needs 4, N11 N12 N21 N22");
    }
    if (total > 2147483647) {
      throw UsageError("the cells add up to " + std::to_string(total) + ", more than 2147483647");
    }
    options.table = {2, 2, cells};
  }
  if (IsFourfold(options)) {
    for (int i = 0; i < 4; ++i) options.fourfold.cells[i] = options.table.cells[static_cast<std::size_t>(i)];
  }
}

void ReadOperands(Options& options, std::span<char* const> operands) {
  if (options.batch) {
    if (!operands.empty()) {
      throw UsageError("'--batch' reads the data from its file: count " + Quoted(operands[0]) + " does not apply");
    }
    return;
  }
  std::vector<std::uint32_t> counts;
  std::uint64_t total = 0;
  for (const char* operand : operands) {
    if (auto problem = CountProblem(operand)) {
      throw UsageError("invalid count " + Quoted(operand) + ": " + *problem);
    }
    counts.push_back(CountValue(operand));
    total += counts.back();
  }
  if (counts.empty()) throw UsageError("no counts given: at least one is needed");
  if (total > 2147483647) {
    throw UsageError("the counts add up to " + std::to_string(total) + ", more than 2147483647");
  }
  options.multinomial.counts = std::move(counts);
  const auto& proportions = options.multinomial.proportions;
  if (!proportions.empty() && proportions.size() != options.multinomial.counts.size()) {
    throw UsageError("'--probabilities' gives " + std::to_string(proportions.size()) +
                     (proportions.size() == 1 ? " value" : " values") + " for " +
                     std::to_string(options.multinomial.counts.size()) +
                     (options.multinomial.counts.size() == 1 ? " count" : " counts"));
  }
}

}  // namespace

std::string_view NameOf(Program program) {
  return program == Program::kOrvane ? "orvane" : "kestrin";
}

Action ParseArguments(Program program, int argc, char** argv, Options& options) {
  options.program = program;
  const bool orvane = program == Program::kOrvane;
  const option* long_options = orvane ? kOrvaneOptions : kKestrinOptions;
  const char* short_options = orvane ? kOrvaneShort : kKestrinShort;
  Given given;
  std::optional<std::string> table_file;

  optind = 0;  // glibc: start afresh, as if never called
  opterr = 0;
  for (;;) {
    int c = getopt_long(argc, argv, short_options, long_options, nullptr);
    if (c == -1) break;
    const option* found = FindByValue(long_options, c);
    std::string_view name = found != nullptr ? found->name : "";
    switch (c) {
      case 'h':
        return Action::kHelp;
      case 'V':
        return Action::kVersion;
      case 'f':
        options.format = ChoiceOrThrow(name, optarg, kFormats);
        given.format = true;
        break;
      case 'o':
        options.output = FileName(name, optarg);
        break;
      case 'p':
        options.multinomial.proportions = Proportions(optarg);
        break;
      case 'a':
        options.fourfold.alternative = ChoiceOrThrow(name, optarg, kAlternatives);
        given.alternative = true;
        break;
      case 'c': {
        auto level = ParseDecimal(optarg);
        if (!level || !(*level > 0 && *level < 1)) {
          InvalidArgument(name, optarg, "a level between 0 and 1, such as 0.95");
        }
        options.fourfold.conf_level = *level;
        given.conf_level = true;
        break;
      }
      case kMethod:
        options.multinomial_options.method = ChoiceOrThrow(name, optarg, kMethods);
        options.table_options.method = options.multinomial_options.method;
        break;
      case kSamples: {
        auto samples = ParseUnsigned(optarg);
        if (!samples || *samples == 0 || *samples > engine::kMaxSamples) {
          InvalidArgument(name, optarg, "a whole number of draws from 1 to " + std::to_string(engine::kMaxSamples));
        }
        options.multinomial_options.samples = *samples;
        options.table_options.samples = *samples;
        given.samples = true;
        break;
      }
      case kSeed: {
        auto seed = ParseUnsigned(optarg);
        if (!seed) InvalidArgument(name, optarg, "a whole number from 0 to 18446744073709551615");
        options.multinomial_options.seed = *seed;
        options.table_options.seed = *seed;
        given.seed = true;
        break;
      }
      case kMaxSeconds: {
        auto seconds = ParseDecimal(optarg);
        if (!seconds || !(*seconds > 0)) InvalidArgument(name, optarg, "a positive number of seconds");
        options.multinomial_options.max_seconds = *seconds;
        options.table_options.max_seconds = *seconds;
        given.max_seconds = true;
        break;
      }
      case kMaxMemory: {
        auto size = ParseSize(optarg);
        if (!size) InvalidArgument(name, optarg, "a positive number of bytes, with K, M, G or T for powers of 1024");
        options.table_options.max_memory = *size;
        given.max_memory = true;
        break;
      }
      case kTable:
        table_file = FileName(name, optarg);
        break;
      case kPlot:
        options.plot = FileName(name, optarg);
        break;
      case kStatistic:
        options.statistic = ChoiceOrThrow(name, optarg, kStatistics);
        given.statistic = true;
        break;
      case kPlotScale:
        options.plot_scale = ChoiceOrThrow(name, optarg, kScales);
        given.plot_scale = true;
        break;
      case kBatch:
        options.batch = FileName(name, optarg);
        break;
      case kLabels:
        options.labels = true;
        break;
      case kLog10:
        options.log10 = true;
        break;
      case kOddsRatio:
        options.odds_ratio = true;
        break;
      case kJobs: {
        auto jobs = ParseUnsigned(optarg);
        if (!jobs || *jobs > kMostJobs) {
          InvalidArgument(name, optarg, "a number of jobs from 1 to 1024, or 0 for one per processor");
        }
        options.jobs = static_cast<unsigned>(*jobs);
        given.jobs = true;
        break;
      }
      case ':': {
        const option* missing = FindByValue(long_options, optopt);
        std::string_view token = argv[optind - 1];
        if (missing != nullptr && token.starts_with("--")) {
          throw UsageError("option '--" + std::string(missing->name) + "' requires an argument");
        }
        throw UsageError("option requires an argument -- '" + std::string(1, static_cast<char>(optopt)) + "'");
      }
      default: {  // '?'
        if (const option* plain = FindByValue(long_options, optopt);
            optopt != 0 && plain != nullptr && plain->has_arg == no_argument) {
          std::string_view token = argv[optind - 1];
          throw UsageError("option " + Quoted(token.substr(0, token.find('='))) + " doesn't allow an argument");
        }
        if (optopt == 0) throw UsageError(UnknownLongOption(long_options, argv[optind - 1]));
        char letter = static_cast<char>(optopt);
        if ((letter >= '0' && letter <= '9') || letter == '.') {
          std::string token = NegativeNumberToken(argc, argv, letter);
          auto problem = CountProblem(token);
          throw UsageError("invalid " + std::string(orvane ? "count " : "cell ") + Quoted(token) + ": " +
                           problem.value_or("not a count"));
        }
        throw UsageError("invalid option -- '" + std::string(1, letter) + "'");
      }
    }
  }
  if (options.batch && !given.format) options.format = Format::kCsv;
  const std::span<char* const> operands(argv + optind, argv + argc);
  if (orvane) {
    ReadOperands(options, operands);
  } else {
    ReadKestrinTable(options, operands, table_file);
  }
  options.table_options.every_outcome = options.output.has_value() || options.plot.has_value();
  options.multinomial_options.every_outcome = options.output.has_value();
  options.multinomial_options.whole_distribution = options.plot.has_value();
  CheckWhatApplies(options, given);
  return Action::kRun;
}

std::string VersionText(Program program) {
  return std::string(NameOf(program)) + " " EXACT_TESTS_VERSION "\n";
}

}  // namespace cli
