#include "cli/run.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "cli/batch_run.h"
#include "cli/failure.h"
#include "cli/interrupt.h"
#include "cli/listing.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "engine/contingency/table.h"
#include "plot/plot.h"

namespace cli {
namespace {

// Standard output was closed when the program started.
bool g_stdout_closed = false;

// A closed standard stream gets /dev/null in its place, so that no file the
// program opens takes its number; a closed standard output is remembered
// and fails the run before any work.
void FillClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (fd == STDOUT_FILENO) g_stdout_closed = true;
      open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // takes the lowest free number, fd
    }
  }
}

void Say(Program program, std::string_view line) {
  WriteAll(STDERR_FILENO, std::string(NameOf(program)) + ": " + std::string(line) + "\n");
}

void WriteStandardOutput(std::string_view text) {
  if (g_stdout_closed) ThrowCannotWrite("standard output", EBADF);
  if (!WriteAll(STDOUT_FILENO, text)) {
    if (errno == EPIPE) throw StandardOutputGone{};
    ThrowCannotWrite("standard output", errno);
  }
  // A file system may report a failed write only when the file is closed.
  if (close(STDOUT_FILENO) != 0 && errno != EINTR) ThrowCannotWrite("standard output", errno);
}

// Two outputs that would write one file, however they are named (a path
// spelled otherwise, a link, a hard link, the file standard output goes
// to): the one written last would silently replace the other.
void CheckOutputsApart(const Options& options) {
  if (options.output && options.plot && WriteTheSameFile(*options.output, *options.plot)) {
    throw UsageError("'--output' and '--plot' name the same file '" + *options.plot + "'");
  }
  for (const auto* name : {&options.output, &options.plot}) {
    if (*name && **name != "-" && WriteTheSameFile("-", **name)) {
      throw UsageError("'" + std::string(name == &options.output ? "--output" : "--plot") +
                       "' names the file standard output goes to, '" + **name + "'");
    }
  }
}

std::string DestinationName(const std::string& path) {
  return path == "-" ? std::string("standard output") : "'" + path + "'";
}

// text with every from replaced by to.
std::string Renamed(std::string text, const std::string& from, const std::string& to) {
  if (from.empty() || from == to) return text;
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The listing and the picture a run writes besides its report.
class SideOutputs {
 public:
  SideOutputs(const Options& options, ListingShape shape) : shape_(shape), statistic_(options.statistic) {
    if (options.output) {
      listing_file_.emplace(*options.output);
      listing_.emplace(listing_file_->fd(), DestinationName(*options.output));
      WriteListingHeader(*listing_, shape_);
    }
    if (options.plot) {
      plot_file_.emplace(*options.plot, false);
      collector_.emplace(options.statistic);
    }
  }

  // Feeds every row the engine hands over to the listing and the picture.
  engine::OutcomeSink Sink() {
    if (listing_ && collector_) {
      return [this](const engine::OutcomeRow& row) {
        WriteListingRow(*listing_, shape_, row);
        collector_->Add(row);
      };
    }
    if (listing_) return [this](const engine::OutcomeRow& row) { WriteListingRow(*listing_, shape_, row); };
    if (collector_) return [this](const engine::OutcomeRow& row) { collector_->Add(row); };
    return {};
  }

  // The rows handed over so far no longer count (the engine turned to
  // Monte Carlo): the picture starts again.
  void Restart() {
    if (collector_) collector_.emplace(statistic_);
  }

  // Writes out the listing and draws the picture, then puts both in place.
  // shares_scale: a factor for the picture's masses (Monte Carlo stopped
  // before the draws its shares assumed).
  void Finish(const plot::PlotRequest& request_without_path, double shares_scale = 1) {
    if (listing_) listing_->Flush();
    if (collector_) {
      if (shares_scale != 1) collector_->ScaleMasses(shares_scale);
      plot::PlotRequest request = request_without_path;
      request.path = plot_file_->write_path();
      try {
        plot::WritePlot(request, *collector_);
      } catch (const Failure&) {
        throw;
      } catch (const std::runtime_error& error) {
        // The writer names the file it was given ("FILE: reason"): name the
        // user's instead, in the words of the other failures to write.
        std::string what = error.what();
        std::string prefix = request.path + ": ";
        if (what.starts_with(prefix)) {
          throw Failure("cannot write '" + plot_file_->path() + "': " + what.substr(prefix.size()));
        }
        throw Failure(Renamed(what, request.path, plot_file_->path()));
      }
    }
    // Everything that can fail first; then, no longer interrupted, the
    // files are put in place together and the run goes on to its end.
    if (listing_file_) listing_file_->Finish();
    if (plot_file_) plot_file_->Finish();
    if (listing_file_ || plot_file_) HoldInterruptsToTheEnd();
    if (listing_file_) listing_file_->Commit();
    if (plot_file_) plot_file_->Commit();
  }

 private:
  ListingShape shape_;
  engine::Ordering statistic_;
  std::optional<OutputFile> listing_file_;
  std::optional<BufferedWriter> listing_;
  std::optional<OutputFile> plot_file_;
  std::optional<plot::DistributionCollector> collector_;
};

const engine::OrderingResult& Find(std::span<const engine::OrderingResult> orderings, engine::Ordering ordering) {
  for (const auto& result : orderings) {
    if (result.ordering == ordering) return result;
  }
  throw Failure("the engine gave no result for " + std::string(OrderingKey(ordering)));
}

// draws: the Monte Carlo draws the picture holds, 0 for an exact test.
plot::PlotRequest Picture(const Options& options, std::string title,
                          std::span<const engine::OrderingResult> orderings, engine::Ordering drawn,
                          std::uint64_t draws = 0) {
  const engine::OrderingResult& result = Find(orderings, drawn);
  plot::PlotRequest request;
  request.title = std::move(title);
  request.caption = PlotCaption(result, options.program == Program::kKestrin,
                                options.program == Program::kKestrin ? options.fourfold.alternative
                                                                     : engine::Alternative::kTwoSided,
                                draws);
  request.observed = result.value;
  request.scale = options.plot_scale;
  request.draws = draws;
  return request;
}

std::string RunOrvane(const Options& options) {
  const auto& problem = options.multinomial;
  SideOutputs outputs(options, {false, problem.counts.size(), false});
  ProgressBar bar(NameOf(options.program));
  engine::MultinomialResult result = engine::TestMultinomial(
      problem, options.multinomial_options, outputs.Sink(), [&bar](double share) { bar.Show(share); },
      [&outputs] { outputs.Restart(); });
  bar.Clear();
  const bool monte_carlo = result.method == engine::Method::kMonteCarlo;
  // Each draw was handed over as 1 / (the draws asked for) of the picture.
  const double shares_scale =
      monte_carlo && result.samples > 0
          ? static_cast<double>(result.samples_requested) / static_cast<double>(result.samples)
          : 1;
  outputs.Finish(options.plot ? Picture(options, PlotTitle(problem), result.orderings, options.statistic,
                                        monte_carlo ? result.samples : 0)
                              : plot::PlotRequest{},
                 shares_scale);
  if (std::string notice = FallbackNotice(options.multinomial_options, result); !notice.empty()) {
    Say(options.program, notice);
  }
  switch (options.format) {
    case Format::kJson:
      return JsonReport(problem, options.multinomial_options, result);
    case Format::kCsv:
      return CsvReport(result.orderings, monte_carlo);
    case Format::kText:
      break;
  }
  return TextReport(problem, options.multinomial_options, result);
}

std::string RunTable(const Options& options) {
  const auto& problem = options.table;
  SideOutputs outputs(options, {false, problem.cells.size(), false, problem.rows, problem.columns});
  ProgressBar bar(NameOf(options.program));
  engine::TableResult result = engine::TestTable(problem, options.table_options, outputs.Sink(),
                                                 [&bar](double share) { bar.Show(share); });
  bar.Clear();
  outputs.Finish(options.plot ? Picture(options, PlotTitle(problem), result.orderings, options.statistic)
                              : plot::PlotRequest{});
  if (std::string notice = FallbackNotice(options.table_options, result); !notice.empty()) {
    Say(options.program, notice);
  }
  const bool monte_carlo = result.method == engine::Method::kMonteCarlo;
  switch (options.format) {
    case Format::kJson:
      return JsonReport(problem, options.table_options, result);
    case Format::kCsv:
      return CsvReport(result.orderings, monte_carlo);
    case Format::kText:
      break;
  }
  return TextReport(problem, options.table_options, result);
}

std::string RunKestrin(Options options) {
  if (!IsFourfold(options)) return RunTable(options);
  const auto& problem = options.fourfold;
  const bool one_sided = problem.alternative != engine::Alternative::kTwoSided;
  if (one_sided) options.statistic = engine::Ordering::kN11;
  SideOutputs outputs(options, {true, 4, one_sided});

  // The engine hands over the tables in increasing n11: their share of the
  // support is the share done.
  const auto& n = problem.cells;
  std::uint64_t row1 = std::uint64_t{n[0]} + n[1];
  std::uint64_t column1 = std::uint64_t{n[0]} + n[2];
  std::uint64_t total = row1 + n[2] + n[3];
  std::uint64_t lowest = row1 + column1 > total ? row1 + column1 - total : 0;
  double tables = static_cast<double>(std::min(row1, column1) - lowest + 1);
  ProgressBar bar(NameOf(options.program));
  engine::OutcomeSink sink = outputs.Sink();
  if (sink) {
    sink = [&bar, &tables, inner = std::move(sink), seen = std::uint64_t{0}](const engine::OutcomeRow& row) mutable {
      inner(row);
      if (++seen % 65536 == 0) bar.Show(static_cast<double>(seen) / tables);
    };
  }
  engine::FourfoldResult result = engine::TestFourfold(problem, sink);
  bar.Clear();
  outputs.Finish(options.plot ? Picture(options, PlotTitle(problem), result.orderings, options.statistic)
                              : plot::PlotRequest{});
  switch (options.format) {
    case Format::kJson:
      return JsonReport(problem, result);
    case Format::kCsv:
      return CsvReport(result.orderings, false, &result.odds_ratio);
    case Format::kText:
      break;
  }
  return TextReport(problem, result);
}

}  // namespace

int Run(Program program, int argc, char** argv) {
  FillClosedStandardStreams();
  Options options;
  Action action;
  try {
    action = ParseArguments(program, argc, argv, options);
    if (action == Action::kRun) CheckOutputsApart(options);
  } catch (const UsageError& error) {
    std::string name(NameOf(program));
    WriteAll(STDERR_FILENO, name + ": " + error.what() + "\nTry '" + name + " --help'.\n");
    return 2;
  }
  InstallInterruptHandlers();
  if (action == Action::kRun && options.batch) {
    if (g_stdout_closed) {
      Say(program, "cannot write standard output: " + std::string(std::strerror(EBADF)));
      return 1;
    }
    return RunBatch(options);
  }
  try {
    std::string text;
    if (action == Action::kHelp) {
      text = HelpText(program);
    } else if (action == Action::kVersion) {
      text = VersionText(program);
    } else {
      if (g_stdout_closed) ThrowCannotWrite("standard output", EBADF);
      text = program == Program::kOrvane ? RunOrvane(options) : RunKestrin(options);
    }
    WriteStandardOutput(text);
    return 0;
  } catch (const StandardOutputGone&) {
    EndAsBrokenPipe();
  } catch (const std::bad_alloc&) {
    Say(program, "out of memory");
  } catch (const std::exception& error) {  // Failure, engine::TestFailure and the like
    Say(program, error.what());
  }
  return 1;
}

}  // namespace cli
