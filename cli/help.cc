// The text of --help for both programs.
#include <string>

#include "cli/options.h"
#include "engine/multinomial/multinomial.h"

namespace cli {
namespace {

constexpr const char* kOrvaneHelp = R"(Usage: orvane [OPTION]... N1 [N2 ...]
  or:  orvane --batch=FILE [OPTION]...
Exact multinomial goodness-of-fit test of the counts N1 ... Nk of k
categories: p and mid-p of the chi-square, likelihood-ratio and probability
orderings of every outcome with the same total.
Without arguments, orvane holds its interactive dialogue instead.

  -f, --format=FORMAT      the report: text (default), json or csv
  -o, --output=FILE        also list every outcome in FILE as CSV; '-' is
                             standard output (the listing, then the report);
                             an existing FILE is replaced, keeping its mode
  -p, --probabilities=P1,...,Pk
                           the null: category i has probability Pi / (P1 +
                             ... + Pk), each Pi a positive decimal such as 9,
                             0.25 or 1e-3; default all equal
      --method=METHOD      auto (default), exact or monte-carlo
      --max-seconds=T      auto is exact when the work fits T seconds
                             (default 10), Monte Carlo otherwise, and says so;
                             T bounds the whole run, Monte Carlo included
      --samples=N          Monte Carlo draws, 1 to @MAX_SAMPLES@ (default
                             @SAMPLES@)
      --seed=S             Monte Carlo seed (default @SEED@)
      --plot=FILE.svg      also draw the null distribution of one statistic
                             (under auto, the Monte Carlo draws when the
                             whole distribution does not fit the time)
      --statistic=STAT     what --plot draws: chi_square (default),
                             likelihood_ratio or probability
      --plot-scale=SCALE   the mass axis of --plot: auto (default), linear
                             or log
      --batch=FILE         test a vector of counts per line of FILE ('-' is
                             standard input), a line of results per vector
                             on standard output: csv (default) or json lines
      --labels             with --batch: each line starts with a label
      --log10              with --batch: add each ordering's log10 of p
      --jobs=N             with --batch: N threads (default 1, 0 for one
                             per processor), the same output whatever N
  -h, --help               show this help and exit
  -V, --version            show the version and exit

An option that cannot take effect is refused: --samples and --seed with
--method=exact, --max-seconds with exact or monte-carlo, --max-seconds,
--samples and --seed with --output (a listing keeps auto exact), --output and
--plot with monte-carlo, --statistic and --plot-scale without --plot; with
--batch, counts on the command line, --format=text, --output and --plot;
without it, --labels, --log10 and --jobs.

Monte Carlo p-values are (draws as extreme + 1) / (samples + 1); when no draw
was as extreme the text shows the 95 percent upper bound, such as < 3.0e-06.

Exit status: 0 when the report was written; 1 when the test could not be
completed (too large for the method or for 1 GiB of memory, too few draws in
the time allowed, a file that cannot be read or written); 2 for a usage error
or a malformed line of --batch input; 130 when interrupted (128 + the signal:
143 for SIGTERM, 129 for SIGHUP); 141 when standard output is a pipe whose
reader has gone.

Examples:
  orvane 1 0 4 2                     four categories, equal probabilities
  orvane -p 9,3,3,1 315 108 101 32   does 315 108 101 32 fit 9:3:3:1?
  orvane -f json -o outcomes.csv 3 1 2
  orvane --batch=counts.txt -p 1,2,1 --jobs=0
)";

constexpr const char* kKestrinHelp = R"(Usage: kestrin [OPTION]... N11 N12 N21 N22
  or:  kestrin [OPTION]... ROW1 ROW2 ...
  or:  kestrin [OPTION]... --table=FILE
  or:  kestrin --batch=FILE [OPTION]...
Exact test of a contingency table, its row and column sums held: p and
mid-p of the chi-square, likelihood-ratio and probability orderings of every
table with those sums (the last is Fisher's exact test, in Freeman and
Halton's form beyond 2 x 2). A 2 x 2 table is given as its cells N11 N12 N21
N22, with the conditional maximum-likelihood odds ratio and its exact
confidence interval; any table row by row, each row one operand with its
counts separated by commas (1,3,10,6 2,3,10,7), or from a file.
Without arguments, kestrin holds its interactive dialogue instead.

  -f, --format=FORMAT      the report: text (default), json or csv
  -o, --output=FILE        also list every table in FILE as CSV; '-' is
                             standard output (the listing, then the report);
                             an existing FILE is replaced, keeping its mode
      --table=FILE         read the table from FILE ('-' is standard input):
                             a row per line, its counts separated by blanks,
                             tabs or commas; '#' starts a comment
  -a, --alternative=ALT    2 x 2 only: two-sided (default), less or greater;
                             the one-sided tests order the tables by N11 (a
                             smaller N11 means an odds ratio below 1)
  -c, --conf-level=L       2 x 2 only: the level of the odds ratio's
                             interval, between 0 and 1 (default 0.95)
      --method=METHOD      auto (default), exact or monte-carlo; a 2 x 2
                             table is always tested exactly
      --max-seconds=T      auto is exact when the work fits T seconds
                             (default 10), Monte Carlo otherwise, and says so
      --max-memory=SIZE    the memory the exact test holds at most (default
                             1G; K, M, G, T for powers of 1024); past it the
                             work goes on more slowly
      --samples=N          Monte Carlo draws, 1 to @MAX_SAMPLES@ (default
                             @SAMPLES@)
      --seed=S             Monte Carlo seed (default @SEED@)
      --plot=FILE.svg      also draw the null distribution of one statistic
      --statistic=STAT     what --plot draws when two-sided: chi_square
                             (default), likelihood_ratio or probability;
                             one-sided, N11 is drawn
      --plot-scale=SCALE   the mass axis of --plot: auto (default), linear
                             or log
      --batch=FILE         test a table per line of FILE ('-' is standard
                             input), a line of results per table on
                             standard output: csv (default) or json lines
      --labels             with --batch: each line starts with a label
      --log10              with --batch: add each ordering's log10 of p
      --odds-ratio         with --batch: add the odds ratio and its interval
      --jobs=N             with --batch: N threads (default 1, 0 for one
                             per processor), the same output whatever N
  -h, --help               show this help and exit
  -V, --version            show the version and exit

An option that cannot take effect is refused: --alternative and
--conf-level beyond 2 x 2; --method=monte-carlo, --samples and --seed for a
2 x 2 table; --samples and --seed with --method=exact, --max-seconds with
exact or monte-carlo, --output, --plot and --max-memory with monte-carlo;
--statistic with a one-sided test, --statistic and --plot-scale without
--plot; with --batch (whose tables are 2 x 2), cells or rows on the command
line, --table, --format=text, --output, --plot, and --conf-level without
--odds-ratio; without it, --labels, --log10, --odds-ratio and --jobs.

Exit status: 0 when the report was written; 1 when the test could not be
completed (too large for the method, a file that cannot be read or
written); 2 for a usage error or a malformed line of --batch input; 130 when
interrupted (128 + the signal: 143 for SIGTERM, 129 for SIGHUP); 141 when
standard output is a pipe whose reader has gone.

Examples:
  kestrin 47 11 10 13                Fisher's test and the odds ratio
  kestrin -a greater -c 0.9 47 11 10 13
  kestrin -f csv 1 1 1 5
  kestrin 1,3,10,6 2,3,10,7 1,6,14,12 0,1,9,11
                                     a 4 x 4 table
  kestrin --table=counts.txt --method=monte-carlo
  kestrin --batch=tables.txt --labels --log10 --jobs=0
)";

void Replace(std::string& text, std::string_view placeholder, const std::string& value) {
  text.replace(text.find(placeholder), placeholder.size(), value);
}

}  // namespace

std::string HelpText(Program program) {
  std::string text = program == Program::kKestrin ? kKestrinHelp : kOrvaneHelp;
  Replace(text, "@MAX_SAMPLES@", std::to_string(engine::kMaxSamples));
  Replace(text, "@SAMPLES@", std::to_string(engine::kDefaultSamples));
  Replace(text, "@SEED@", std::to_string(engine::kDefaultSeed));
  return text;
}

}  // namespace cli
