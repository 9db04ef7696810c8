#include "cli/options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace cli {
namespace {

// Parses a command line given as words (the program's name first).
class Line {
 public:
  Line(std::initializer_list<std::string> words) : words_(words) {
    for (auto& word : words_) pointers_.push_back(word.data());
    pointers_.push_back(nullptr);
  }
  Action Parse(Program program, Options& options) {
    return ParseArguments(program, static_cast<int>(words_.size()), pointers_.data(), options);
  }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

Options Orvane(std::initializer_list<std::string> words) {
  Options options;
  EXPECT_EQ(Line(words).Parse(Program::kOrvane, options), Action::kRun);
  return options;
}

Options Kestrin(std::initializer_list<std::string> words) {
  Options options;
  EXPECT_EQ(Line(words).Parse(Program::kKestrin, options), Action::kRun);
  return options;
}

// The usage error's message, or "" when the line parses.
std::string ErrorOf(Program program, std::initializer_list<std::string> words) {
  Options options;
  try {
    Line(words).Parse(program, options);
  } catch (const UsageError& error) {
    return error.what();
  }
  return "";
}

TEST(OptionsTest, OperandsAndOptionsInAnyOrder) {
  Options options = Orvane({"orvane", "1", "--format=json", "0", "-o", "out.csv", "4", "2"});
  EXPECT_EQ(options.multinomial.counts, (std::vector<std::uint32_t>{1, 0, 4, 2}));
  EXPECT_EQ(options.format, Format::kJson);
  EXPECT_EQ(options.output, "out.csv");
  EXPECT_TRUE(options.multinomial_options.every_outcome);
  EXPECT_FALSE(options.multinomial_options.whole_distribution);

  options = Kestrin({"kestrin", "-a", "less", "47", "11", "--conf-level", "0.9", "10", "13", "-fcsv"});
  EXPECT_EQ(options.fourfold.cells, (std::array<std::uint32_t, 4>{47, 11, 10, 13}));
  EXPECT_EQ(options.fourfold.alternative, engine::Alternative::kLess);
  EXPECT_EQ(options.fourfold.conf_level, 0.9);
  EXPECT_EQ(options.format, Format::kCsv);
}

TEST(OptionsTest, DefaultsAndTheLastOfARepeatedOption) {
  Options options = Orvane({"orvane", "3"});
  EXPECT_EQ(options.format, Format::kText);
  EXPECT_FALSE(options.output);
  EXPECT_TRUE(options.multinomial.proportions.empty());
  EXPECT_EQ(options.multinomial_options.method, engine::Method::kAuto);
  EXPECT_EQ(options.multinomial_options.samples, engine::kDefaultSamples);
  EXPECT_EQ(options.multinomial_options.seed, engine::kDefaultSeed);
  EXPECT_EQ(options.multinomial_options.max_seconds, 10);
  EXPECT_EQ(Kestrin({"kestrin", "1", "2", "3", "4"}).fourfold.conf_level, 0.95);
  EXPECT_EQ(Orvane({"orvane", "-f", "csv", "--format", "json", "3"}).format, Format::kJson);
}

TEST(OptionsTest, DoubleDashEndsTheOptionsAndAbbreviationsWork) {
  EXPECT_EQ(ErrorOf(Program::kOrvane, {"orvane", "--", "-f"}),
            "invalid count '-f': a count is a whole number from 0 to 2147483647 in decimal digits");
  Options options = Orvane({"orvane", "--form=csv", "--meth", "exact", "--max", "2", "--method=auto", "5"});
  EXPECT_EQ(options.format, Format::kCsv);
  EXPECT_EQ(options.multinomial_options.max_seconds, 2);
}

TEST(OptionsTest, MonteCarloSettingsAndThePicture) {
  Options options = Orvane({"orvane", "--method=monte-carlo", "--samples=5000", "--seed=0", "1", "2"});
  EXPECT_EQ(options.multinomial_options.method, engine::Method::kMonteCarlo);
  EXPECT_EQ(options.multinomial_options.samples, 5000u);
  EXPECT_EQ(options.multinomial_options.seed, 0u);

  options = Orvane({"orvane", "--plot=d.svg", "--statistic=probability", "--plot-scale=log", "1", "2"});
  EXPECT_EQ(options.plot, "d.svg");
  EXPECT_EQ(options.statistic, engine::Ordering::kProbability);
  EXPECT_EQ(options.plot_scale, plot::Scale::kLog);
  EXPECT_TRUE(options.multinomial_options.whole_distribution);
  EXPECT_FALSE(options.multinomial_options.every_outcome);
}

TEST(OptionsTest, HelpAndVersionActWhereTheyStand) {
  Options options;
  EXPECT_EQ(Line({"orvane", "--help", "--bogus"}).Parse(Program::kOrvane, options), Action::kHelp);
  EXPECT_EQ(Line({"kestrin", "-V", "1"}).Parse(Program::kKestrin, options), Action::kVersion);
  EXPECT_EQ(Line({"kestrin", "--vers"}).Parse(Program::kKestrin, options), Action::kVersion);
  EXPECT_EQ(ErrorOf(Program::kOrvane, {"orvane", "--bogus", "--help"}), "unrecognized option '--bogus'");
  EXPECT_EQ(VersionText(Program::kKestrin), "kestrin " EXACT_TESTS_VERSION_FOR_TEST "\n");
}

TEST(OptionsTest, OperandErrorsNameTheArgument) {
  const Program o = Program::kOrvane;
  const Program k = Program::kKestrin;
  EXPECT_EQ(ErrorOf(o, {"orvane", "5", "-3", "4"}), "invalid count '-3': a count cannot be negative");
  EXPECT_EQ(ErrorOf(o, {"orvane", "-35"}), "invalid count '-35': a count cannot be negative");
  EXPECT_EQ(ErrorOf(o, {"orvane", "-0.5"}), "invalid count '-0.5': a count cannot be negative");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "1", "2", "3", "-4"}), "invalid cell '-4': a count cannot be negative");
  EXPECT_EQ(ErrorOf(o, {"orvane", "+3"}), "invalid count '+3': a count is written without a sign");
  EXPECT_EQ(ErrorOf(o, {"orvane", "2.5"}), "invalid count '2.5': a count is a whole number");
  EXPECT_EQ(ErrorOf(o, {"orvane", ""}), "invalid count '': an empty argument is not a count");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "1", "2", "3", "\xEF\xBC\x94"}),
            "invalid cell '\xEF\xBC\x94': a count is a whole number from 0 to 2147483647 in decimal digits");
  EXPECT_EQ(ErrorOf(o, {"orvane", "2147483648"}), "invalid count '2147483648': a count is at most 2147483647");
  EXPECT_EQ(ErrorOf(o, {"orvane", "2147483647", "1"}), "the counts add up to 2147483648, more than 2147483647");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "2147483647", "2147483647", "2147483647", "2147483647"}),
            "the cells add up to 8589934588, more than 2147483647");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--format=json"}), "no counts given: at least one is needed");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "1", "2", "3"}), "3 cells given: a 2 x 2 table needs 4, N11 N12 N21 N22");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "1", "2", "3", "4", "5"}),
            "5 cells given: a 2 x 2 table needs 4, N11 N12 N21 N22");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "-f", "json", "7"}), "1 cell given: a 2 x 2 table needs 4, N11 N12 N21 N22");
  EXPECT_EQ(ErrorOf(o, {"orvane", "2147483647"}), "");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "0", "0", "0", "0"}), "");
}

TEST(OptionsTest, OptionErrorsInTheGnuWording) {
  const Program o = Program::kOrvane;
  const Program k = Program::kKestrin;
  EXPECT_EQ(ErrorOf(o, {"orvane", "--bogus=1", "3"}), "unrecognized option '--bogus'");
  EXPECT_EQ(ErrorOf(o, {"orvane", "-x", "3"}), "invalid option -- 'x'");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "-p", "1,1", "1", "2", "3", "4"}), "invalid option -- 'p'");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--probabilities=1,1", "1", "2", "3", "4"}),
            "unrecognized option '--probabilities'");
  EXPECT_EQ(ErrorOf(o, {"orvane", "3", "--format"}), "option '--format' requires an argument");
  EXPECT_EQ(ErrorOf(o, {"orvane", "3", "-f"}), "option requires an argument -- 'f'");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--help=yes"}), "option '--help' doesn't allow an argument");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--p=1", "3"}),
            "option '--p' is ambiguous; possibilities: '--probabilities' '--plot' '--plot-scale'");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--pl=x", "1", "2", "3", "4"}),
            "option '--pl' is ambiguous; possibilities: '--plot' '--plot-scale'");
}

TEST(OptionsTest, OptionValuesAreChecked) {
  const Program o = Program::kOrvane;
  const Program k = Program::kKestrin;
  EXPECT_EQ(ErrorOf(o, {"orvane", "--format=xml", "3"}),
            "invalid argument 'xml' for '--format': choose text, json or csv");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--method=fast", "3"}),
            "invalid argument 'fast' for '--method': choose auto, exact or monte-carlo");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "-a", "two.sided", "1", "2", "3", "4"}),
            "invalid argument 'two.sided' for '--alternative': choose two-sided, less or greater");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--plot=p.svg", "--statistic=chi2", "3"}),
            "invalid argument 'chi2' for '--statistic': choose chi_square, likelihood_ratio or probability");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--plot=p.svg", "--plot-scale=lin", "3"}),
            "invalid argument 'lin' for '--plot-scale': choose auto, linear or log");
  for (const char* level : {"0", "1", "95", "-0.5", "0.95x", "nan"}) {
    EXPECT_EQ(ErrorOf(k, {"kestrin", "-c", level, "1", "2", "3", "4"}),
              "invalid argument '" + std::string(level) + "' for '--conf-level': a level between 0 and 1, such as 0.95");
  }
  for (const char* samples : {"0", "1e6", "1000000001", "18446744073709551615"}) {
    EXPECT_EQ(ErrorOf(o, {"orvane", std::string("--samples=") + samples, "3"}),
              "invalid argument '" + std::string(samples) + "' for '--samples': a whole number of draws from 1 to "
              "1000000000");
  }
  EXPECT_EQ(ErrorOf(o, {"orvane", "--samples=1000000000", "3"}), "");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--samples=1", "3"}), "");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--seed=-1", "3"}),
            "invalid argument '-1' for '--seed': a whole number from 0 to 18446744073709551615");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--max-seconds=0", "3"}),
            "invalid argument '0' for '--max-seconds': a positive number of seconds");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--output=", "3"}), "invalid argument '' for '--output': an empty file name");
}

TEST(OptionsTest, OptionsThatCannotTakeEffectAreRefused) {
  const Program o = Program::kOrvane;
  const Program k = Program::kKestrin;
  EXPECT_EQ(ErrorOf(o, {"orvane", "--method=exact", "--samples=10", "3"}),
            "'--samples' applies to Monte Carlo, not to '--method=exact'");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--method=exact", "--seed=1", "3"}),
            "'--seed' applies to Monte Carlo, not to '--method=exact'");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--method=monte-carlo", "--max-seconds=1", "3"}),
            "'--max-seconds' applies to '--method=auto' only");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--method=monte-carlo", "-o", "l.csv", "3"}),
            "'--output' lists every outcome, which '--method=monte-carlo' does not visit");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--method=monte-carlo", "--plot=p.svg", "3"}),
            "'--plot' draws every outcome, which '--method=monte-carlo' does not visit");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--statistic=probability", "3"}),
            "'--statistic' chooses what '--plot' draws: give '--plot' too");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--plot-scale=log", "1", "2", "3", "4"}),
            "'--plot-scale' applies to '--plot': give '--plot' too");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "-a", "less", "--plot=p.svg", "--statistic=probability", "1", "2", "3", "4"}),
            "'--statistic' does not apply to a one-sided test, which is ordered by n11");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--plot=-", "3"}), "'--plot' writes a file: '-' (standard output) is not supported");
  EXPECT_EQ(ErrorOf(o, {"orvane", "-o", "x", "--plot=x", "3"}), "'--output' and '--plot' name the same file 'x'");
  // A listing keeps auto exact: the Monte Carlo options cannot take effect.
  EXPECT_EQ(ErrorOf(o, {"orvane", "--max-seconds=1", "-o", "l.csv", "3"}),
            "'--max-seconds' cannot take effect with '--output', which keeps the test exact");
  EXPECT_EQ(ErrorOf(o, {"orvane", "-o", "l.csv", "--samples=3000", "3"}),
            "'--samples' cannot take effect with '--output', which keeps the test exact");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--seed=4", "-o", "-", "--plot=p.svg", "3"}),
            "'--seed' cannot take effect with '--output', which keeps the test exact");
  // What auto may need stays allowed, a picture included (drawn from the
  // draws when Monte Carlo stands in).
  EXPECT_EQ(ErrorOf(o, {"orvane", "--samples=10", "--seed=1", "--max-seconds=0.5", "3"}), "");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--plot=p.svg", "--samples=10", "--seed=1", "--max-seconds=0.5", "3"}), "");
  EXPECT_EQ(ErrorOf(o, {"orvane", "--method=exact", "-o", "l.csv", "3"}), "");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "-a", "greater", "--plot=p.svg", "1", "2", "3", "4"}), "");
}

TEST(OptionsTest, KestrinTakesATableRowByRow) {
  Options options = Kestrin({"kestrin", "1,3,10", "-f", "json", "2,3,10"});
  EXPECT_EQ(options.table.rows, 2u);
  EXPECT_EQ(options.table.columns, 3u);
  EXPECT_EQ(options.table.cells, (std::vector<std::uint32_t>{1, 3, 10, 2, 3, 10}));
  EXPECT_FALSE(IsFourfold(options));
  // A 2 x 2 table given as rows is the four cells, for the 2 x 2 test.
  options = Kestrin({"kestrin", "47,11", "10,13"});
  EXPECT_TRUE(IsFourfold(options));
  EXPECT_EQ(options.fourfold.cells, (std::array<std::uint32_t, 4>{47, 11, 10, 13}));
  EXPECT_TRUE(IsFourfold(Kestrin({"kestrin", "47", "11", "10", "13"})));
  // One row is a table too (with a single table of its margins).
  EXPECT_EQ(Kestrin({"kestrin", "4,5,6"}).table.rows, 1u);
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "1,2", "3,4,5"}),
            "row 2, column 3: a cell too many: every row needs 2 cells, as row 1 has");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "1,2,3", "4,5"}),
            "row 2, column 3: a cell missing: every row needs 3 cells, as row 1 has");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "1,2", "3,,4"}), "row 2, column 2: an empty cell");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "1,2", "3,4", "--table=t.txt"}),
            "the table is given by '--table' or by the operands, not by both");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "2000000000,1", "200000000,0"}),
            "the cells add up to 2200000001, more than 2147483647");
}

TEST(OptionsTest, KestrinMethodsAndWhatAppliesToATableOfItsSize) {
  const Program k = Program::kKestrin;
  Options options = Kestrin({"kestrin", "--method=monte-carlo", "--samples=500", "--seed=3", "1,2,3", "4,5,6"});
  EXPECT_EQ(options.table_options.method, engine::Method::kMonteCarlo);
  EXPECT_EQ(options.table_options.samples, 500u);
  EXPECT_EQ(options.table_options.seed, 3u);
  options = Kestrin({"kestrin", "--max-memory=512M", "--max-seconds=2.5", "-o", "l.csv", "1,2,3", "4,5,6"});
  EXPECT_EQ(options.table_options.max_memory, std::uint64_t{512} << 20);
  EXPECT_EQ(options.table_options.max_seconds, 2.5);
  EXPECT_TRUE(options.table_options.every_outcome);
  EXPECT_EQ(Kestrin({"kestrin", "--max-memory=3", "1,2,3", "4,5,6"}).table_options.max_memory, 3u);
  EXPECT_EQ(Kestrin({"kestrin", "--max-memory=1T", "1,2,3", "4,5,6"}).table_options.max_memory, std::uint64_t{1} << 40);
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--max-memory=0", "1,2,3", "4,5,6"}),
            "invalid argument '0' for '--max-memory': a positive number of bytes, with K, M, G or T for powers of 1024");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--max-memory=1.5G", "1,2,3", "4,5,6"}),
            "invalid argument '1.5G' for '--max-memory': a positive number of bytes, with K, M, G or T for powers of "
            "1024");
  // The odds ratio's options are for a 2 x 2 table, Monte Carlo for larger.
  EXPECT_EQ(ErrorOf(k, {"kestrin", "-a", "less", "1,2,3", "4,5,6"}), "'--alternative' applies to a 2 x 2 table only");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "-c", "0.9", "1,2,3", "4,5,6"}),
            "'--conf-level' applies to the odds ratio of a 2 x 2 table only");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--method=monte-carlo", "1,2", "3,4"}),
            "'--method=monte-carlo' applies to tables larger than 2 x 2: a 2 x 2 table is always tested exactly");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--seed=4", "1", "2", "3", "4"}),
            "'--seed' applies to Monte Carlo, which a 2 x 2 table, always tested exactly, never needs");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--method=exact", "1", "2", "3", "4"}), "");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--max-seconds=1", "1", "2", "3", "4"}), "");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--method=exact", "--samples=9", "1,2,3", "4,5,6"}),
            "'--samples' applies to Monte Carlo, not to '--method=exact'");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--method=exact", "--max-seconds=9", "1,2,3", "4,5,6"}),
            "'--max-seconds' applies to '--method=auto' only");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--method=monte-carlo", "--plot=p.svg", "1,2,3", "4,5,6"}),
            "'--plot' draws every table, which '--method=monte-carlo' does not visit");
  EXPECT_EQ(ErrorOf(k, {"kestrin", "--method=monte-carlo", "--max-memory=1G", "1,2,3", "4,5,6"}),
            "'--max-memory' bounds the exact test, not '--method=monte-carlo'");
}

TEST(OptionsTest, BatchTakesItsDataFromAFileAndRefusesWhatWritesOneTest) {
  Options options = Kestrin({"kestrin", "--batch=tables.txt", "--labels", "--log10", "--odds-ratio", "-c", "0.9",
                             "--jobs", "0", "-a", "less"});
  EXPECT_EQ(options.batch, "tables.txt");
  EXPECT_TRUE(options.labels && options.log10 && options.odds_ratio);
  EXPECT_EQ(options.jobs, 0u);
  EXPECT_EQ(options.format, Format::kCsv);  // the batch mode's default
  EXPECT_EQ(Kestrin({"kestrin", "--batch", "-", "-f", "json"}).format, Format::kJson);
  options = Orvane({"orvane", "--batch=-", "-p", "1,2,3", "--jobs=3"});
  EXPECT_EQ(options.multinomial.proportions.size(), 3u);
  EXPECT_EQ(options.jobs, 3u);

  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "1", "2", "3", "4"}),
            "'--batch' reads the data from its file: cell '1' does not apply");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "-f", "text"}),
            "'--batch' writes a line per test, as csv or json: '--format=text' does not apply");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "-o", "x.csv"}),
            "'--output' lists the outcomes of a single test, not of '--batch'");
  EXPECT_EQ(ErrorOf(Program::kOrvane, {"orvane", "--batch=t", "--plot=x.svg"}),
            "'--plot' draws the distribution of a single test, not of '--batch'");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "-c", "0.9"}),
            "'--conf-level' sets the interval of '--odds-ratio': give '--odds-ratio' too");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch="}),
            "invalid argument '' for '--batch': an empty file name");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "--jobs=1025"}),
            "invalid argument '1025' for '--jobs': a number of jobs from 1 to 1024, or 0 for one per processor");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "--labels=yes"}),
            "option '--labels' doesn't allow an argument");
  // Without --batch, its own options take no effect, and are refused.
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--labels", "1", "2", "3", "4"}),
            "'--labels' applies to '--batch': give '--batch' too");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--log10", "1", "2", "3", "4"}),
            "'--log10' applies to '--batch': give '--batch' too");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--odds-ratio", "1", "2", "3", "4"}),
            "'--odds-ratio' applies to '--batch': give '--batch' too");
  EXPECT_EQ(ErrorOf(Program::kOrvane, {"orvane", "--jobs=2", "1", "2"}),
            "'--jobs' applies to '--batch': give '--batch' too");
  EXPECT_EQ(ErrorOf(Program::kOrvane, {"orvane", "--batch=t", "--odds-ratio"}), "unrecognized option '--odds-ratio'");
  // The batch mode's tables are 2 x 2, each tested exactly.
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "1,2,3", "4,5,6"}),
            "'--batch' reads the data from its file: row '1,2,3' does not apply");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "--table=u"}),
            "'--batch' reads its 2 x 2 tables from its file: '--table' does not apply");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "--method=monte-carlo"}),
            "'--method=monte-carlo' applies to tables larger than 2 x 2: a 2 x 2 table is always tested exactly");
  EXPECT_EQ(ErrorOf(Program::kKestrin, {"kestrin", "--batch=t", "-a", "less", "-c", "0.9", "--odds-ratio"}), "");
}

}  // namespace
}  // namespace cli
