// The built programs run as a user or a script runs them: exit status,
// standard output and standard error, the files left behind.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

// Generous: the steps take milliseconds, but the machine is shared.
constexpr std::chrono::seconds kPatience{120};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Ran {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
  int signal = 0;  // the signal that ended it, if one did
};

// kReaderGone: a pipe whose reading end was closed before the start.
enum class Stdout { kPipe, kClosed, kDevFull, kReaderGone };

struct RunSetup {
  std::string folder{};                    // the working folder; the test's own when empty
  Stdout stdout_kind = Stdout::kPipe;
  std::string stdin_text{};                // fed through a pipe
  std::vector<std::string> environment{};  // NAME=value, added
};

int StatusOf(int wait_status) {
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

// Runs argv[0] (a path) with the rest as arguments and collects what it
// writes, reading both streams as they come so that neither pipe fills.
Ran RunProgram(const std::vector<std::string>& argv, const RunSetup& setup = {}) {
  int out[2], err[2], in[2];
  if (pipe(out) != 0 || pipe(err) != 0 || pipe(in) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    if (!setup.folder.empty() && chdir(setup.folder.c_str()) != 0) _exit(126);
    dup2(in[0], STDIN_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (setup.stdout_kind == Stdout::kPipe) dup2(out[1], STDOUT_FILENO);
    if (setup.stdout_kind == Stdout::kClosed) close(STDOUT_FILENO);
    if (setup.stdout_kind == Stdout::kDevFull) dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
    if (setup.stdout_kind == Stdout::kReaderGone) {
      int gone[2];
      if (pipe(gone) != 0) _exit(126);
      close(gone[0]);
      dup2(gone[1], STDOUT_FILENO);
      close(gone[1]);
      // As a shell leaves it for the programs it starts.
      signal(SIGPIPE, SIG_DFL);
    }
    for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]}) close(fd);
    for (const auto& entry : setup.environment) putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> args;
    for (const auto& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  close(in[0]);
  ssize_t ignored = write(in[1], setup.stdin_text.data(), setup.stdin_text.size());
  (void)ignored;
  close(in[1]);
  Ran ran;
  pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&ran.out, &ran.err};
  for (int open_streams = 2; open_streams > 0;) {
    if (poll(streams, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || streams[i].revents == 0) continue;
      char buffer[65536];
      ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(streams[i].fd);
        streams[i].fd = -1;
        --open_streams;
      }
    }
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  ran.status = StatusOf(wait_status);
  if (WIFSIGNALED(wait_status)) ran.signal = WTERMSIG(wait_status);
  return ran;
}

class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cli-end-to-end-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  Ran Orvane(std::vector<std::string> args, RunSetup setup = {}) { return Run(ORVANE_PATH, std::move(args), setup); }
  Ran Kestrin(std::vector<std::string> args, RunSetup setup = {}) { return Run(KESTRIN_PATH, std::move(args), setup); }
  Ran Run(const char* program, std::vector<std::string> args, RunSetup setup) {
    args.insert(args.begin(), program);
    if (setup.folder.empty()) setup.folder = dir_;
    return RunProgram(args, setup);
  }

  // The names in the working folder, sorted (hidden ones included).
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

// A usage error: status 2, nothing on standard output, the message and the
// pointer to --help on standard error.
void ExpectUsageError(const Ran& ran, const std::string& program, const std::string& message) {
  EXPECT_EQ(ran.status, 2) << message;
  EXPECT_EQ(ran.out, "") << message;
  EXPECT_EQ(ran.err, program + ": " + message + "\nTry '" + program + " --help'.\n");
}

// A failure: status 1, nothing on standard output, one line on standard error.
void ExpectFailure(const Ran& ran, const std::string& program, const std::string& message) {
  EXPECT_EQ(ran.status, 1) << message;
  EXPECT_EQ(ran.out, "") << message;
  EXPECT_EQ(ran.err, program + ": " + message + "\n");
}

void ExpectNear(double actual, double expected, double relative, const std::string& what) {
  EXPECT_LE(std::fabs(actual - expected), relative * std::fabs(expected))
      << what << ": " << actual << " against " << expected;
}

TEST_F(EndToEnd, UsageErrorsOfOrvane) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"5", "-3", "4"}, "invalid count '-3': a count cannot be negative"},
      {{"+3"}, "invalid count '+3': a count is written without a sign"},
      {{"2.5", "1"}, "invalid count '2.5': a count is a whole number"},
      {{"\xEF\xBC\x93"}, "invalid count '\xEF\xBC\x93': a count is a whole number from 0 to 2147483647 in decimal digits"},
      {{"1", ""}, "invalid count '': an empty argument is not a count"},
      {{"2147483648"}, "invalid count '2147483648': a count is at most 2147483647"},
      {{"2147483647", "1"}, "the counts add up to 2147483648, more than 2147483647"},
      {{"--format=json"}, "no counts given: at least one is needed"},
      {{"--bogus", "3"}, "unrecognized option '--bogus'"},
      {{"-x", "3"}, "invalid option -- 'x'"},
      {{"3", "--format"}, "option '--format' requires an argument"},
      {{"--format=xml", "3"}, "invalid argument 'xml' for '--format': choose text, json or csv"},
      {{"--p=3", "3"}, "option '--p' is ambiguous; possibilities: '--probabilities' '--plot' '--plot-scale'"},
      {{"-p", "1,2,3", "4", "5"}, "'--probabilities' gives 3 values for 2 counts"},
      {{"-p", "1,0", "4", "5"},
       "invalid probability '0' in '--probabilities': each is a positive decimal number, such as 9, 0.25 or 1e-3"},
      {{"-p", "1,-2", "4", "5"},
       "invalid probability '-2' in '--probabilities': each is a positive decimal number, such as 9, 0.25 or 1e-3"},
      {{"-p", "1,inf", "4", "5"},
       "invalid probability 'inf' in '--probabilities': each is a positive decimal number, such as 9, 0.25 or 1e-3"},
      {{"--method=exact", "--samples=5", "3"}, "'--samples' applies to Monte Carlo, not to '--method=exact'"},
      {{"--method=monte-carlo", "-o", "l.csv", "3"},
       "'--output' lists every outcome, which '--method=monte-carlo' does not visit"},
      {{"--statistic=probability", "3"}, "'--statistic' chooses what '--plot' draws: give '--plot' too"},
      {{"--method=monte-carlo", "--samples=18446744073709551615", "1", "2", "3"},
       "invalid argument '18446744073709551615' for '--samples': a whole number of draws from 1 to 1000000000"},
      {{"--samples=3000", "--max-seconds=1", "-o", "out.csv", "-p", "1,1E2,1,1,9", "30", "100", "15", "50", "12"},
       "'--max-seconds' cannot take effect with '--output', which keeps the test exact"},
  };
  for (const auto& [args, message] : cases) ExpectUsageError(Orvane(args), "orvane", message);
  EXPECT_EQ(Names(), std::vector<std::string>{});
}

TEST_F(EndToEnd, UsageErrorsOfKestrin) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"1", "2", "3"}, "3 cells given: a 2 x 2 table needs 4, N11 N12 N21 N22"},
      {{"1", "2", "3", "4", "5"}, "5 cells given: a 2 x 2 table needs 4, N11 N12 N21 N22"},
      {{"1", "2", "-3", "4"}, "invalid cell '-3': a count cannot be negative"},
      {{"1", "2", "3", "4e0"}, "invalid cell '4e0': a count is written in plain decimal digits"},
      {{"2000000000", "200000000", "0", "0"}, "the cells add up to 2200000000, more than 2147483647"},
      {{"-a", "both", "1", "2", "3", "4"}, "invalid argument 'both' for '--alternative': choose two-sided, less or greater"},
      {{"-c", "95", "1", "2", "3", "4"}, "invalid argument '95' for '--conf-level': a level between 0 and 1, such as 0.95"},
      {{"--probabilities=1,1", "1", "2", "3", "4"}, "unrecognized option '--probabilities'"},
      {{"-a", "less", "--plot=p.svg", "--statistic=chi_square", "1", "2", "3", "4"},
       "'--statistic' does not apply to a one-sided test, which is ordered by n11"},
  };
  for (const auto& [args, message] : cases) ExpectUsageError(Kestrin(args), "kestrin", message);
}

TEST_F(EndToEnd, HelpVersionAndTheDialogue) {
  Ran help = Orvane({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: orvane [OPTION]... N1 [N2 ...]\n"));
  EXPECT_EQ(help.err, "");
  help = Kestrin({"-h"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: kestrin [OPTION]... N11 N12 N21 N22\n"));
  Ran version = Kestrin({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "kestrin " EXACT_TESTS_VERSION "\n");
  EXPECT_EQ(Orvane({"-V"}).out, "orvane " EXACT_TESTS_VERSION "\n");
  // The manual pages name the same version as the programs.
  for (const char* page : {"orvane.1", "kestrin.1"}) {
    std::string text = ReadFile(fs::path(SOURCE_DIR) / "man" / page);
    EXPECT_NE(text.find("\"exact-tests " EXACT_TESTS_VERSION "\""), std::string::npos) << page;
  }

  // No argument: the dialogue, which asks for the number of categories.
  Ran dialogue = Orvane({}, {.stdin_text = "2\n3\n1\nr\n\n"});
  EXPECT_EQ(dialogue.status, 0);
  EXPECT_NE(dialogue.out.find("カテゴリ数を半角数字で入力して下さい"), std::string::npos);
  EXPECT_NE(dialogue.out.find("p (chi2):      0.625000"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "r.csv"));
  dialogue = Kestrin({}, {.stdin_text = "3 5 2 7\n\n\n"});
  EXPECT_EQ(dialogue.status, 0);
  EXPECT_NE(dialogue.out.find("p (chi2):      0.619910"), std::string::npos);
}

TEST_F(EndToEnd, StandardOutputThatCannotBeWrittenFails) {
  ExpectFailure(Orvane({"--help"}, {.stdout_kind = Stdout::kClosed}), "orvane",
                "cannot write standard output: Bad file descriptor");
  ExpectFailure(Kestrin({"--version"}, {.stdout_kind = Stdout::kDevFull}), "kestrin",
                "cannot write standard output: No space left on device");
  ExpectFailure(Orvane({"1", "0", "4", "2"}, {.stdout_kind = Stdout::kClosed}), "orvane",
                "cannot write standard output: Bad file descriptor");
  ExpectFailure(Kestrin({"-o", "l.csv", "1", "1", "1", "5"}, {.stdout_kind = Stdout::kClosed}), "kestrin",
                "cannot write standard output: Bad file descriptor");
  ExpectFailure(Kestrin({"1", "1", "1", "5"}, {.stdout_kind = Stdout::kDevFull}), "kestrin",
                "cannot write standard output: No space left on device");
  ExpectFailure(Orvane({"-f", "json", "1", "0", "4", "2"}, {.stdout_kind = Stdout::kDevFull}), "orvane",
                "cannot write standard output: No space left on device");
  EXPECT_EQ(Names(), std::vector<std::string>{});
}

TEST_F(EndToEnd, FilesThatCannotBeWrittenFailAndLeaveNothing) {
  ExpectFailure(Orvane({"-o", "nowhere/l.csv", "1", "0", "4", "2"}), "orvane",
                "cannot write 'nowhere/l.csv': No such file or directory");
  ExpectFailure(Kestrin({"--plot=nowhere/p.svg", "1", "1", "1", "5"}), "kestrin",
                "cannot write 'nowhere/p.svg': No such file or directory");
  fs::create_directory(dir_ / "folder");
  ExpectFailure(Kestrin({"-o", "folder", "1", "1", "1", "5"}), "kestrin", "cannot write 'folder': Is a directory");
  ExpectFailure(Orvane({"-o", "/dev/full", "1", "0", "4", "2"}), "orvane",
                "cannot write '/dev/full': No space left on device");
  ExpectFailure(Kestrin({"-o", "/dev/full", "1", "1", "1", "5"}), "kestrin",
                "cannot write '/dev/full': No space left on device");
  // The picture's writer fails: its message, status 1, nothing left.
  for (const auto& args : {std::vector<std::string>{"--plot=/dev/full", "1", "1", "1", "5"},
                           std::vector<std::string>{"--plot=/dev/full", "-o", "l.csv", "1", "1", "1", "5"}}) {
    Ran ran = Kestrin(args);
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.out, "");
    EXPECT_TRUE(ran.err.starts_with("kestrin: ")) << ran.err;
    EXPECT_NE(ran.err.find("/dev/full"), std::string::npos) << ran.err;
    EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"folder"});
}

// What /bin/bash prints and the status it ends with, running script in
// the test's folder with the programs on the PATH.
Ran Shell(const fs::path& folder, const std::string& script) {
  const std::string programs = fs::path(ORVANE_PATH).parent_path();
  return RunProgram({"/bin/bash", "-c", script},
                    {.folder = folder, .environment = {"PATH=" + programs + ":/usr/bin:/bin"}});
}

TEST_F(EndToEnd, AReaderThatGoesAwayEndsTheRunQuietlyAsABrokenPipe) {
  // head reads one line and ends while the listing is still being written.
  Ran ran = Shell(dir_, "set -o pipefail; orvane -o - 20 20 20 20 | head -1");
  EXPECT_EQ(ran.status, 141);
  EXPECT_EQ(ran.out, "x1,x2,x3,x4,probability,chi_square,likelihood_ratio,chi_square_mark,likelihood_ratio_mark,"
                     "probability_mark\n");
  EXPECT_EQ(ran.err, "");
  // A reader gone before the first write: the report, the listing with a
  // picture being drawn (which is not left), the help.
  const std::vector<std::pair<const char*, std::vector<std::string>>> runs = {
      {ORVANE_PATH, {"1", "0", "4", "2"}},
      {KESTRIN_PATH, {"-o", "-", "--plot=p.svg", "400", "477", "500", "377"}},
      {ORVANE_PATH, {"-f", "json", "-o", "l.csv", "--plot=p.svg", "3", "1"}},
      {KESTRIN_PATH, {"--help"}},
  };
  for (const auto& [program, args] : runs) {
    ran = Run(program, args, {.stdout_kind = Stdout::kReaderGone});
    EXPECT_EQ(ran.signal, SIGPIPE) << args.back();
    EXPECT_EQ(ran.status, 141) << args.back();
    EXPECT_EQ(ran.err, "") << args.back();
  }
  // The listing and the picture of the last run were put in place before
  // its report found no reader; the one before left nothing.
  EXPECT_EQ(Names(), (std::vector<std::string>{"l.csv", "p.svg"}));
  // Any other failure to write stays a failure with its message.
  ExpectFailure(Orvane({"-o", "-", "20", "20", "20", "20"}, {.stdout_kind = Stdout::kDevFull}), "orvane",
                "cannot write standard output: No space left on device");
}

TEST_F(EndToEnd, OutputsThatWouldWriteOneFileAreRefused) {
  std::ofstream(dir_ / "l.csv") << "old\n";
  fs::create_symlink("l.csv", dir_ / "soft.csv");
  fs::create_hard_link(dir_ / "l.csv", dir_ / "hard.csv");
  fs::create_symlink("new.svg", dir_ / "to-new.svg");
  const std::string absolute = (dir_ / "new.svg").string();
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"./new.svg", "new.svg"}, {absolute, "new.svg"}, {"to-new.svg", "./new.svg"},
      {"soft.csv", "l.csv"},    {"hard.csv", "l.csv"}, {"l.csv", "./soft.csv"},
  };
  for (const auto& [output, plot] : pairs) {
    ExpectUsageError(Orvane({"-o", output, "--plot=" + plot, "3", "1"}), "orvane",
                     "'--output' and '--plot' name the same file '" + plot + "'");
    ExpectUsageError(Kestrin({"--plot", plot, "--output", output, "1", "1", "1", "5"}), "kestrin",
                     "'--output' and '--plot' name the same file '" + plot + "'");
  }
  // The file standard output goes to: the report would be lost with it.
  Ran ran = Shell(dir_, "orvane -o soft.csv 3 1 >> l.csv");
  EXPECT_EQ(ran.status, 2);
  EXPECT_EQ(ran.err, "orvane: '--output' names the file standard output goes to, 'soft.csv'\nTry 'orvane --help'.\n");
  ran = Shell(dir_, "kestrin --plot=hard.csv 1 1 1 5 >> l.csv");
  EXPECT_EQ(ran.status, 2);
  EXPECT_EQ(ran.err,
            "kestrin: '--plot' names the file standard output goes to, 'hard.csv'\nTry 'kestrin --help'.\n");
  EXPECT_EQ(ReadFile(dir_ / "l.csv"), "old\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"hard.csv", "l.csv", "soft.csv", "to-new.svg"}));

  // Files apart, and devices, are not refused.
  ran = Shell(dir_, "orvane -o /dev/null --plot=p.svg 3 1 > /dev/null && orvane -o - 3 1 > out.csv");
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(ReadFile(dir_ / "out.csv").starts_with("x1,x2,"));
}

TEST_F(EndToEnd, FilesAreReplacedAsTheShellWouldLetThemBe) {
  // A link to nothing: the file it names is made, as the shell's '>'
  // makes it; a loop of links fails.
  fs::create_symlink("made.csv", dir_ / "dangling.csv");
  Ran ran = Orvane({"-o", "dangling.csv", "3", "1"});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.csv"));
  EXPECT_TRUE(ReadFile(dir_ / "made.csv").starts_with("x1,x2,probability"));
  fs::create_symlink("loop2", dir_ / "loop1");
  fs::create_symlink("loop1", dir_ / "loop2");
  ExpectFailure(Kestrin({"--plot=loop1", "1", "1", "1", "5"}), "kestrin",
                "cannot write 'loop1': Too many levels of symbolic links");

  // A private listing stays private; a hard link keeps the old contents.
  std::ofstream(dir_ / "l.csv") << "old\n";
  fs::permissions(dir_ / "l.csv", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_hard_link(dir_ / "l.csv", dir_ / "hard.csv");
  ran = Kestrin({"-o", "l.csv", "1", "1", "1", "5"});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(ReadFile(dir_ / "l.csv").starts_with("n11,n12,n21,n22,"));
  EXPECT_EQ(fs::status(dir_ / "l.csv").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadFile(dir_ / "hard.csv"), "old\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"dangling.csv", "hard.csv", "l.csv", "loop1", "loop2", "made.csv"}));
}

TEST_F(EndToEnd, TheJsonReportsHoldTheKnownResults) {
  Ran ran = Orvane({"--format=json", "1", "0", "4", "2"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.err, "");
  Json report = Json::parse(ran.out);
  EXPECT_EQ(report["program"], "orvane");
  EXPECT_EQ(report["test"], "exact multinomial goodness of fit");
  EXPECT_EQ(report["observed"], Json::parse("[1, 0, 4, 2]"));
  EXPECT_EQ(report["probabilities"], Json::parse("[0.25, 0.25, 0.25, 0.25]"));
  EXPECT_EQ(report["total"], 7);
  EXPECT_EQ(report["method"], "exact");
  EXPECT_EQ(report["outcomes"], 120);
  const double values[] = {5, 6.028322580102989, 0.00640869140625};
  int i = 0;
  for (const char* key : {"chi_square", "likelihood_ratio", "probability"}) {
    ExpectNear(report["statistics"][key]["value"], values[i++], 1e-12, key);
    ExpectNear(report["statistics"][key]["p"], 0.23095703125, 1e-12, key);
    ExpectNear(report["statistics"][key]["mid_p"], 0.154052734375, 1e-12, key);
  }

  ran = Kestrin({"-f", "json", "47", "11", "10", "13"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  report = Json::parse(ran.out);
  EXPECT_EQ(report["program"], "kestrin");
  EXPECT_EQ(report["table"], Json::parse("[47, 11, 10, 13]"));
  EXPECT_EQ(report["total"], 81);
  EXPECT_EQ(report["alternative"], "two-sided");
  EXPECT_NEAR(report["statistics"]["probability"]["p"].get<double>(), 0.002273, 5e-7);
  EXPECT_NEAR(report["statistics"]["chi_square"]["p"].get<double>(), 0.001395, 5e-7);
  ExpectNear(report["odds_ratio"]["sample"], 47.0 * 13 / (11 * 10), 1e-12, "sample odds ratio");
  EXPECT_EQ(report["odds_ratio"]["conf_level"], 0.95);
  double estimate = report["odds_ratio"]["estimate"];
  EXPECT_LT(report["odds_ratio"]["conf_int"][0].get<double>(), estimate);
  EXPECT_GT(report["odds_ratio"]["conf_int"][1].get<double>(), estimate);

  // 1 1 1 5: Fisher's p is 13/28, the chi-square ordering's 1.
  report = Json::parse(Kestrin({"-f", "json", "1", "1", "1", "5"}).out);
  ExpectNear(report["statistics"]["probability"]["p"], 13.0 / 28, 1e-12, "Fisher");
  ExpectNear(report["statistics"]["chi_square"]["p"], 1, 1e-12, "chi-square");

  // A zero margin: one table, p = 1, no odds ratio.
  report = Json::parse(Kestrin({"-f", "json", "0", "0", "3", "4"}).out);
  EXPECT_EQ(report["outcomes"], 1);
  EXPECT_EQ(report["statistics"]["probability"]["p"], 1);
  EXPECT_TRUE(report["odds_ratio"]["estimate"].is_null());

  // One-sided: n11 alone, an interval open on one side.
  report = Json::parse(Kestrin({"-f", "json", "-a", "greater", "47", "11", "10", "13"}).out);
  EXPECT_EQ(report["alternative"], "greater");
  EXPECT_EQ(report["statistics"].size(), 1u);
  EXPECT_EQ(report["statistics"]["n11"]["value"], 47);
  EXPECT_EQ(report["odds_ratio"]["conf_int"][1], "inf");
}

TEST_F(EndToEnd, TheCsvAndTextReports) {
  Ran ran = Kestrin({"--format=csv", "1", "1", "1", "5"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  std::istringstream lines(ran.out);
  std::string line;
  std::vector<std::string> keys;
  std::getline(lines, line);
  EXPECT_EQ(line, "statistic,value,p,mid_p");
  while (std::getline(lines, line)) {
    keys.push_back(line.substr(0, line.find(',')));
    if (keys.back() == "probability") ExpectNear(std::stod(line.substr(line.rfind(',', line.rfind(',') - 1) + 1)), 13.0 / 28, 1e-12, line);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"chi_square", "likelihood_ratio", "probability", "odds_ratio",
                                            "conf_low", "conf_high", "conf_level", "sample_odds_ratio"}));
  EXPECT_EQ(ran.out.find('\r'), std::string::npos);
  // The odds ratio's lines keep the four columns, p and mid-p empty.
  EXPECT_NE(ran.out.find("\nconf_level,0.95,,\nsample_odds_ratio,5,,\n"), std::string::npos) << ran.out;

  ran = Orvane({"1", "0", "4", "2"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(ran.out.starts_with("\n\tExact multinomial goodness-of-fit test\n\ndata:  1 0 4 2 (4 categories, total 7)\n"));
  EXPECT_NE(ran.out.find("chi-square (X2)                 5  0.23096  0.15405\n"), std::string::npos);

  // A small p in exponent form, not rounded to zero.
  ran = Kestrin({"400", "477", "500", "377"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_NE(ran.out.find("2.1996e-06"), std::string::npos) << ran.out;
  EXPECT_NE(ran.out.find("95 percent confidence interval:\n"), std::string::npos);
}

// Reads a listing: the header's columns and each row's fields.
struct Listing {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
    fields.push_back(line.substr(start, comma - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

Listing ReadListing(const std::string& text) {
  Listing listing;
  std::istringstream lines(text);
  std::string line;
  if (std::getline(lines, line)) listing.header = Fields(line);
  while (std::getline(lines, line)) listing.rows.push_back(Fields(line));
  return listing;
}

// Sums the probability of the rows marked '>' and '=' in a mark column:
// they make up p and mid-p.
void ExpectMarksMakeUpP(const Listing& listing, const std::string& mark_column, const Json& statistic) {
  auto column = [&](const std::string& name) {
    return static_cast<std::size_t>(std::find(listing.header.begin(), listing.header.end(), name) -
                                    listing.header.begin());
  };
  std::size_t mark = column(mark_column);
  std::size_t probability = column("probability");
  ASSERT_LT(mark, listing.header.size());
  double beyond = 0, tied = 0;
  for (const auto& row : listing.rows) {
    ASSERT_EQ(row.size(), listing.header.size());
    double mass = std::stod(row[probability]);
    if (row[mark] == ">") beyond += mass;
    else if (row[mark] == "=") tied += mass;
    else EXPECT_EQ(row[mark], "");
  }
  EXPECT_GT(tied, 0) << mark_column << ": the observed outcome is tied with itself";
  ExpectNear(beyond + tied, statistic["p"], 1e-9, mark_column + " p");
  ExpectNear(beyond + tied / 2, statistic["mid_p"], 1e-9, mark_column + " mid-p");
}

TEST_F(EndToEnd, TheListingHoldsEveryOutcomeAndItsMarksMakeUpP) {
  std::ofstream(dir_ / "l.csv") << "an older file, to be replaced\n";
  Ran ran = Orvane({"-f", "json", "-o", "l.csv", "1", "0", "4", "2"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"});
  Json report = Json::parse(ran.out);
  Listing listing = ReadListing(ReadFile(dir_ / "l.csv"));
  EXPECT_EQ(listing.header, (std::vector<std::string>{"x1", "x2", "x3", "x4", "probability", "chi_square",
                                                      "likelihood_ratio", "chi_square_mark",
                                                      "likelihood_ratio_mark", "probability_mark"}));
  ASSERT_EQ(listing.rows.size(), 120u);
  EXPECT_EQ(listing.rows.front()[0] + listing.rows.front()[3], "07");  // first count slowest, from 0
  EXPECT_EQ(listing.rows.back()[0], "7");
  EXPECT_NE(std::find_if(listing.rows.begin(), listing.rows.end(),
                         [](const auto& row) { return row[0] == "1" && row[1] == "0" && row[2] == "4" && row[3] == "2"; }),
            listing.rows.end());
  for (const char* key : {"chi_square", "likelihood_ratio", "probability"}) {
    ExpectMarksMakeUpP(listing, std::string(key) + "_mark", report["statistics"][key]);
  }

  ran = Kestrin({"-f", "json", "-a", "less", "-o", "k.csv", "47", "11", "10", "13"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  report = Json::parse(ran.out);
  listing = ReadListing(ReadFile(dir_ / "k.csv"));
  EXPECT_EQ(listing.header.back(), "n11_mark");
  EXPECT_EQ(listing.rows.size(), report["outcomes"].get<std::size_t>());
  ExpectMarksMakeUpP(listing, "n11_mark", report["statistics"]["n11"]);

  ran = Kestrin({"-f", "json", "-o", "k.csv", "47", "11", "10", "13"});
  report = Json::parse(ran.out);
  listing = ReadListing(ReadFile(dir_ / "k.csv"));
  for (const char* key : {"chi_square", "likelihood_ratio", "probability"}) {
    ExpectMarksMakeUpP(listing, std::string(key) + "_mark", report["statistics"][key]);
  }
}

// What a picture states of its bars: the masses and the parts in p, summed,
// and the gathered ends.
struct PictureSums {
  long double mass = 0;
  long double in_p = 0;
  std::size_t bars = 0;
  std::vector<std::string> gathered;  // "below", "above"
};

PictureSums SumPicture(const std::string& svg) {
  static const std::regex bar(R"re(<g class="bar[^"]*"( data-gathered="([a-z]+)")?[^>]* data-mass="([^"]*)" data-mass-in-p="([^"]*)")re");
  PictureSums sums;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), bar); it != std::sregex_iterator(); ++it) {
    sums.mass += std::strtold((*it)[3].str().c_str(), nullptr);
    sums.in_p += std::strtold((*it)[4].str().c_str(), nullptr);
    ++sums.bars;
    if ((*it)[2].matched) sums.gathered.push_back((*it)[2]);
  }
  return sums;
}

TEST_F(EndToEnd, ThePictureOfAWideSupportIsFocusedAndStillReadsBackToP) {
  struct Case {
    bool kestrin;
    std::vector<std::string> args;
    const char* key;
    std::vector<std::string> gathered;
  };
  const std::vector<Case> cases = {
      {false, {"--statistic=likelihood_ratio", "151", "124", "112"}, "likelihood_ratio", {"above"}},
      {false, {"-p", "1,2,3", "--statistic=probability", "30", "50", "40"}, "probability", {"above"}},
      {true, {"400", "477", "500", "377"}, "chi_square", {"above"}},
      {true, {"-a", "less", "400", "477", "500", "377"}, "n11", {"below", "above"}},
      {false, {"1", "0", "4", "2"}, "chi_square", {}},  // small: drawn whole
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-f", "json", "--plot=p.svg"});
    const Ran ran = c.kestrin ? Kestrin(args) : Orvane(args);
    ASSERT_EQ(ran.status, 0) << ran.err;
    const Json statistic = Json::parse(ran.out)["statistics"][c.key];
    const std::string svg = ReadFile(dir_ / "p.svg");
    const PictureSums sums = SumPicture(svg);
    const std::string name = c.args.back();
    EXPECT_NEAR(sums.mass, 1, 1e-12) << name;
    EXPECT_NEAR(sums.in_p / statistic["p"].get<double>(), 1, 1e-9) << name;
    EXPECT_EQ(sums.gathered, c.gathered) << name;
    EXPECT_GE(sums.bars, c.gathered.empty() ? 5u : 25u) << name;
    EXPECT_NE(svg.find("<g class=\"observed\" data-value=\""), std::string::npos) << name;
  }
}

TEST_F(EndToEnd, TheListingOnStandardOutputComesBeforeTheReport) {
  Ran ran = Kestrin({"-o", "-", "-f", "csv", "1", "1", "1", "5"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  std::size_t report = ran.out.find("statistic,value,p,mid_p\n");
  ASSERT_NE(report, std::string::npos);
  Listing listing = ReadListing(ran.out.substr(0, report));
  EXPECT_EQ(listing.header[0], "n11");
  EXPECT_EQ(listing.rows.size(), 3u);  // n11 from 0 to 2
  EXPECT_EQ(ran.out.substr(report).find("statistic", 1), std::string::npos);
}

TEST_F(EndToEnd, MonteCarloReportsItsMethodAndAutoSaysWhenItFellBack) {
  Ran ran = Orvane({"-f", "json", "--method=monte-carlo", "--samples=200000", "--seed=7", "1", "0", "4", "2"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  Json report = Json::parse(ran.out);
  EXPECT_EQ(report["method"], "monte-carlo");
  EXPECT_EQ(report["samples"], 200000);
  EXPECT_EQ(report["seed"], 7);
  for (const char* key : {"chi_square", "likelihood_ratio", "probability"}) {
    double error = report["statistics"][key]["standard_error"];
    EXPECT_GT(error, 0) << key;
    EXPECT_LE(std::fabs(report["statistics"][key]["p"].get<double>() - 0.23095703125), 4 * error) << key;
  }
  // The same seed draws the same samples.
  EXPECT_EQ(Orvane({"-f", "json", "--method=monte-carlo", "--samples=200000", "--seed=7", "1", "0", "4", "2"}).out,
            ran.out);

  // Ten categories with a total of 100 cannot be enumerated in a millisecond.
  std::vector<std::string> args = {"--max-seconds=0.001", "--samples=1000", "-p", "1,2,3,4,5,6,7,8,9,10"};
  for (int count : {5, 7, 9, 10, 11, 12, 10, 11, 12, 13}) args.push_back(std::to_string(count));
  ran = Orvane(args);
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(ran.err.starts_with("orvane: the exact test would take more than 0.001 seconds (--max-seconds); "
                                  "the p-values are Monte Carlo estimates from 1000 samples (seed "));
  EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1);
  EXPECT_NE(ran.out.find("\nmethod: Monte Carlo estimate from 1000 samples"), std::string::npos);
  EXPECT_NE(ran.out.find("\nnote: the exact test would take more than 0.001 seconds"), std::string::npos);
}

// The zeros of k categories, then extra.
std::vector<std::string> Zeros(int k, std::vector<std::string> extra = {}) {
  std::vector<std::string> args(static_cast<std::size_t>(k), "0");
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST_F(EndToEnd, MonteCarloWithNoDrawAsExtremeGivesItsBoundNeverAnUnderflow) {
  // The exact p of these dice is about 1e-12; none of 200000 draws is as
  // extreme (so few that no loaded machine stops them).
  const std::vector<std::string> dice = {"--samples=200000", "170", "80", "100", "100", "80", "70"};
  Ran ran = Orvane(dice);
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_NE(ran.out.find("\nchi-square (X2)                66  < 1.5e-05  < 1.5e-05  4.99996e-06                 0\n"),
            std::string::npos)
      << ran.out;
  EXPECT_EQ(ran.out.find("4.9e-324"), std::string::npos);
  std::vector<std::string> args = dice;
  args.insert(args.begin(), "-f");
  args.insert(args.begin() + 1, "json");
  Json report = Json::parse(Orvane(args).out);
  for (const char* key : {"chi_square", "likelihood_ratio", "probability"}) {
    const Json& statistic = report["statistics"][key];
    EXPECT_EQ(statistic["p"], 1 / 200001.0) << key;
    EXPECT_EQ(statistic["draws_extreme"], 0) << key;
    EXPECT_GT(statistic["standard_error"].get<double>(), 0) << key;
  }
  EXPECT_EQ(report["outcomes"], 664353676371);
  args[1] = "csv";
  EXPECT_NE(Orvane(args).out.find("statistic,value,p,mid_p,standard_error,draws_extreme\nchi_square,66,4.9999750001249995e-06,"),
            std::string::npos);
  // A count of outcomes beyond the range of doubles is "inf" in JSON as in
  // the text.
  report = Json::parse(Orvane(Zeros(999, {"-f", "json", "--samples=1000", "2147483647"})).out);
  EXPECT_EQ(report["outcomes"], "inf");
  EXPECT_EQ(report["samples"], 1000);
}

TEST_F(EndToEnd, ManyCategoriesAndPValuesBelowTheDoublesAreExact) {
  // Thirty thousand categories ended the run with a segmentation fault
  // once: every outcome is a permutation of the observed one.
  Ran ran = Orvane(Zeros(29999, {"-f", "csv", "--max-seconds=600", "1"}));
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_NE(ran.out.find("\nchi_square,29999,1,0.5\n"), std::string::npos) << ran.out;
  // All of 1000 in one of four categories: p = 4^-999, in full.
  ran = Orvane({"--method=exact", "1000", "0", "0", "0"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_NE(ran.out.find("chi-square (X2)                3000  3.4839e-602  1.742e-602\n"), std::string::npos) << ran.out;
  EXPECT_NE(ran.out.find("probability            8.70981e-603  3.4839e-602"), std::string::npos) << ran.out;
  Json report = Json::parse(Orvane({"--method=exact", "-f", "json", "1000", "0", "0", "0"}).out);
  const long double log10_p = -999 * std::log10(4.0L);
  for (const char* key : {"chi_square", "likelihood_ratio", "probability"}) {
    EXPECT_EQ(report["statistics"][key]["p"], 0) << key;
    EXPECT_NEAR(report["statistics"][key]["log10_p"].get<double>(), static_cast<double>(log10_p), 1e-9) << key;
    EXPECT_NEAR(report["statistics"][key]["log10_mid_p"].get<double>(), static_cast<double>(log10_p - std::log10(2.0L)),
                1e-9)
        << key;
  }
  EXPECT_NEAR(report["statistics"]["probability"]["log10_value"].get<double>(),
              static_cast<double>(-1000 * std::log10(4.0L)), 1e-9);
}

TEST_F(EndToEnd, APictureUnderAutoDrawsTheMonteCarloDrawsWhenExactDoesNotFit) {
  // The classes of outcomes would take a minute and more.
  Ran ran = Orvane({"-f", "json", "--plot=d.svg", "--max-seconds=5", "--samples=100000", "95", "108", "92", "110",
                    "87", "108"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(ran.err.starts_with("orvane: the exact test would take more than 5 seconds (--max-seconds); ")) << ran.err;
  const Json report = Json::parse(ran.out);
  EXPECT_EQ(report["method"], "monte-carlo");
  const std::string svg = ReadFile(dir_ / "d.svg");
  EXPECT_NE(svg.find("Monte Carlo: the share of 100,000 draws at each value"), std::string::npos);
  EXPECT_NE(svg.find(">share of the draws (log scale)<"), std::string::npos);
  EXPECT_NE(svg.find("draws as extreme)"), std::string::npos);
  // The shares add up to 1, those counted in p to the draws as extreme.
  const PictureSums sums = SumPicture(svg);
  EXPECT_NEAR(sums.mass, 1, 1e-12);
  EXPECT_NEAR(sums.in_p, report["statistics"]["chi_square"]["draws_extreme"].get<double>() / 100000, 1e-12);
}

TEST_F(EndToEnd, WorkTooLargeForTheMethodFailsWithOneLine) {
  // 30 categories with a total of 1000 have about 1e50 outcomes.
  std::vector<std::string> args = {"--method=exact", "-p", "1"};
  for (int i = 2; i <= 30; ++i) args[2] += "," + std::to_string(i);
  for (int i = 0; i < 30; ++i) args.push_back(std::to_string(20 + 2 * i));
  args.insert(args.begin(), "-o");
  args.insert(args.begin() + 1, "l.csv");
  Ran ran = Orvane(args);
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.out, "");
  EXPECT_TRUE(ran.err.starts_with("orvane: ")) << ran.err;
  EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
  EXPECT_EQ(Names(), std::vector<std::string>{});
}

TEST_F(EndToEnd, KestrinTakesATableAsRowsOrFromAFile) {
  // A 2 x 2 table given as rows has the very report of its four cells.
  for (const char* format : {"text", "json", "csv"}) {
    Ran rows = Kestrin({"-f", format, "47,11", "10,13"});
    EXPECT_EQ(rows.status, 0) << rows.err;
    EXPECT_EQ(rows.out, Kestrin({"-f", format, "47", "11", "10", "13"}).out) << format;
  }
  ASSERT_EQ(Kestrin({"-o", "rows.csv", "-a", "less", "3,1", "1,3"}).status, 0);
  ASSERT_EQ(Kestrin({"-o", "cells.csv", "-a", "less", "3", "1", "1", "3"}).status, 0);
  EXPECT_EQ(ReadFile(dir_ / "rows.csv"), ReadFile(dir_ / "cells.csv"));

  // The job-satisfaction table: as operands, from a file, from standard input.
  const std::vector<std::string> rows = {"1,3,10,6", "2,3,10,7", "1,6,14,12", "0,1,9,11"};
  Ran operands = Kestrin({"-f", "json", rows[0], rows[1], rows[2], rows[3]});
  ASSERT_EQ(operands.status, 0) << operands.err;
  const std::string text = "# satisfaction by income\n1 3 10 6\n2\t3 10 7\n\n1, 6, 14, 12\n0 1 9 11  # the last\n";
  std::ofstream(dir_ / "t.txt") << text;
  EXPECT_EQ(Kestrin({"-f", "json", "--table=t.txt"}).out, operands.out);
  EXPECT_EQ(Kestrin({"-f", "json", "--table", "-"}, {.stdin_text = text}).out, operands.out);
  Json report = Json::parse(operands.out);
  EXPECT_EQ(report["rows"], 4);
  EXPECT_EQ(report["columns"], 4);
  EXPECT_EQ(report["total"], 96);
  EXPECT_EQ(report["outcomes"], 90208550);
  // Fisher's test of this table: p = 0.7827 as R's fisher.test gives it.
  ExpectNear(report["statistics"]["probability"]["p"], 0.78268493896639479, 1e-9, "probability p");
  ExpectNear(report["statistics"]["chi_square"]["value"], 5.965514588770403, 1e-15, "X2");
}

TEST_F(EndToEnd, UsageErrorsOfAnRByCTable) {
  std::ofstream(dir_ / "short.txt") << "1 2 3\n4 5\n";
  std::ofstream(dir_ / "empty.txt") << "# nothing\n\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"1,2,3", "4,5"}, "row 2, column 3: a cell missing: every row needs 3 cells, as row 1 has"},
      {{"1,2", "3,x"}, "row 2, column 2: invalid cell 'x': a count is a whole number from 0 to 2147483647 in decimal "
                       "digits"},
      {{"1,2,", "3,4,5"}, "row 1, column 3: an empty cell"},
      {{"--table=short.txt"}, "'short.txt', line 2 (row 2, column 3): a cell missing: every row needs 3 cells, as "
                              "row 1 has"},
      {{"--table=empty.txt"}, "'empty.txt' holds no table: no line with counts"},
      {{"--table=none.txt"}, "cannot read 'none.txt': No such file or directory"},
      {{"--table=short.txt", "1,2"}, "the table is given by '--table' or by the operands, not by both"},
      {{"-c", "0.9", "1,2,3", "4,5,6"}, "'--conf-level' applies to the odds ratio of a 2 x 2 table only"},
      {{"--method=monte-carlo", "47,11", "10,13"},
       "'--method=monte-carlo' applies to tables larger than 2 x 2: a 2 x 2 table is always tested exactly"},
  };
  for (const auto& [args, message] : cases) ExpectUsageError(Kestrin(args), "kestrin", message);
}

TEST_F(EndToEnd, MonteCarloStandsInForATableBeyondTheTime) {
  // A 6 x 6 table of a thousand counts: far beyond the exact method.
  std::vector<std::string> args = {"-f", "json", "--samples=2000"};
  for (int i = 0; i < 6; ++i) {
    std::string row;
    for (int j = 0; j < 6; ++j) row += (j > 0 ? "," : "") + std::to_string(20 + (i * 6 + j) % 11);
    args.push_back(row);
  }
  Ran ran = Kestrin(args);
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.err, "kestrin: the exact test would take more than 10 seconds (--max-seconds); the p-values are "
                     "Monte Carlo estimates from 2000 samples (seed 20261207)\n");
  Json report = Json::parse(ran.out);
  EXPECT_EQ(report["method"], "monte-carlo");
  EXPECT_EQ(report["fell_back"], true);
  for (const char* key : {"chi_square", "likelihood_ratio", "probability"}) {
    const auto& s = report["statistics"][key];
    EXPECT_EQ(s["p"].get<double>(), (s["draws_extreme"].get<double>() + 1) / 2001) << key;
  }
  EXPECT_EQ(Kestrin(args).out, ran.out);  // the default seed repeats
  args[2] = "--method=exact";
  ran = Kestrin(args);
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.out, "");
  EXPECT_EQ(ran.err, "kestrin: the exact test of this table would take far more than a day; Monte Carlo can "
                     "estimate the p-values\n");
}

TEST_F(EndToEnd, TheListingOfAnRByCTableHoldsEveryTable) {
  Ran ran = Kestrin({"-f", "json", "-o", "l.csv", "2,0,1", "1,2,0", "0,1,3"});
  ASSERT_EQ(ran.status, 0) << ran.err;
  Json report = Json::parse(ran.out);
  std::istringstream listing(ReadFile(dir_ / "l.csv"));
  std::string line;
  std::getline(listing, line);
  EXPECT_EQ(line, "n11,n12,n13,n21,n22,n23,n31,n32,n33,probability,chi_square,likelihood_ratio,chi_square_mark,"
                  "likelihood_ratio_mark,probability_mark");
  long tables = 0;
  double mass = 0, in_p[3] = {0, 0, 0};
  while (std::getline(listing, line)) {
    ++tables;
    std::vector<std::string> fields;
    std::stringstream row(line);
    for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
    while (fields.size() < 15) fields.push_back("");  // empty marks at the end
    const double probability = std::stod(fields[9]);
    mass += probability;
    for (int o = 0; o < 3; ++o) {
      if (!fields[12 + o].empty()) in_p[o] += probability;
    }
  }
  EXPECT_EQ(tables, report["outcomes"].get<long>());
  ExpectNear(mass, 1, 1e-14, "the probabilities");
  const char* keys[3] = {"chi_square", "likelihood_ratio", "probability"};
  for (int o = 0; o < 3; ++o) ExpectNear(in_p[o], report["statistics"][keys[o]]["p"], 1e-13, keys[o]);
}

// Waits until a file whose name starts with prefix is in folder.
bool AppearsIn(const fs::path& folder, const std::string& prefix) {
  for (auto deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().filename().string().starts_with(prefix)) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST_F(EndToEnd, CtrlCEndsAtOnceWith130AndLeavesNoPartialFile) {
  std::ofstream(dir_ / "l.csv") << "kept\n";
  // Each lists hundreds of millions of outcomes: far more than the test waits for.
  const std::vector<std::vector<std::string>> runs = {
      {ORVANE_PATH, "-o", "l.csv", "--plot=p.svg", "3", "3", "3", "3", "3", "3", "3", "3", "3", "3"},
      {KESTRIN_PATH, "-o", "l.csv", "1000000000", "1000000000", "50000000", "50000000"},
  };
  for (const auto& argv : runs) {
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(126);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      std::vector<char*> args;
      for (const auto& word : argv) args.push_back(const_cast<char*>(word.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    EXPECT_TRUE(AppearsIn(dir_, ".exact-tests-")) << argv[0];
    kill(pid, SIGINT);
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    EXPECT_EQ(StatusOf(wait_status), 130) << argv[0];
    EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"}) << argv[0];
    EXPECT_EQ(ReadFile(dir_ / "l.csv"), "kept\n");
  }
}

TEST_F(EndToEnd, ProgressShowsOnATerminalOnlyAndIsClearedAtTheEnd) {
  // A long run with standard error on a terminal: the bar comes after a
  // second; Ctrl-C clears it.
  int terminal = -1;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir_.c_str()) != 0) _exit(126);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execl(ORVANE_PATH, ORVANE_PATH, "-o", "l.csv", "3", "3", "3", "3", "3", "3", "3", "3", "3", "3",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  for (auto deadline = Clock::now() + kPatience;
       Clock::now() < deadline && screen.find("%") == std::string::npos;) {
    pollfd wait{terminal, POLLIN, 0};
    if (poll(&wait, 1, 100) > 0) {
      char buffer[4096];
      ssize_t got = read(terminal, buffer, sizeof buffer);
      if (got <= 0) break;
      screen.append(buffer, static_cast<std::size_t>(got));
    }
  }
  EXPECT_NE(screen.find("\rorvane ["), std::string::npos) << screen;
  kill(pid, SIGINT);
  for (;;) {
    pollfd wait{terminal, POLLIN, 0};
    if (poll(&wait, 1, 5000) <= 0) break;
    char buffer[4096];
    ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;
    screen.append(buffer, static_cast<std::size_t>(got));
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  close(terminal);
  EXPECT_EQ(StatusOf(wait_status), 130);
  EXPECT_TRUE(screen.ends_with("\r\033[K")) << screen;

  // Not a terminal: nothing, however long the run (ten million outcomes).
  Ran ran = Orvane({"-o", "/dev/null", "2", "2", "2", "2", "2", "2", "2", "2", "2", "2"});
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(ran.err, "");
}

// An example of the documentation: a command for the shell and what it
// writes on standard output.
struct Example {
  std::string where;
  std::string command;
  std::string output;
};

// The README's ```console blocks: "$ command" lines, each followed by its
// output.
std::vector<Example> ReadmeExamples(const fs::path& path) {
  std::vector<Example> examples;
  std::istringstream lines(ReadFile(path));
  bool inside = false;
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (!inside) {
      inside = line == "```console";
    } else if (line.starts_with("```")) {
      inside = false;
    } else if (line.starts_with("$ ")) {
      examples.push_back({path.filename().string() + ":" + std::to_string(number), line.substr(2), ""});
    } else if (!examples.empty()) {
      examples.back().output += line + "\n";
    }
  }
  return examples;
}

// Text of a manual page's example as the reader sees it.
std::string Unescaped(std::string text) {
  const std::pair<std::string_view, std::string_view> escapes[] = {
      {"\\-", "-"}, {"\\e", "\\"}, {"\\&", ""}, {"\\(aq", "'"}, {"\\(dq", "\""}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [from, to] : escapes) {
      if (std::string_view(text).substr(i).starts_with(from)) {
        out += to;
        i += from.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// A manual page's examples of the command-line mode: an .EX block opening
// with "$ \fBorvane ARGUMENTS\fP" (or kestrin), then the output. The
// dialogue's examples (the program alone, or fed by a pipe) are not taken.
std::vector<Example> ManualExamples(const fs::path& path) {
  std::vector<Example> examples;
  std::istringstream lines(ReadFile(path));
  const std::regex command(R"(^\$ \\fB((orvane|kestrin) .*)\\fP$)");
  bool inside = false;
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    std::smatch match;
    if (line == ".EE") {
      inside = false;
    } else if (!inside && std::regex_match(line, match, command)) {
      inside = true;
      examples.push_back({path.filename().string() + ":" + std::to_string(number), Unescaped(match[1]), ""});
    } else if (inside) {
      examples.back().output += Unescaped(line) + "\n";
    }
  }
  return examples;
}

TEST_F(EndToEnd, TheExamplesOfTheReadmeAndTheManualPagesRunAsShown) {
  std::vector<Example> examples = ReadmeExamples(fs::path(SOURCE_DIR) / "README.md");
  EXPECT_GE(examples.size(), 5u);
  for (const char* page : {"orvane.1", "kestrin.1"}) {
    std::vector<Example> more = ManualExamples(fs::path(SOURCE_DIR) / "man" / page);
    EXPECT_GE(more.size(), 3u) << page;
    examples.insert(examples.end(), more.begin(), more.end());
  }
  const std::string programs = fs::path(ORVANE_PATH).parent_path();
  for (const Example& example : examples) {
    Ran ran = RunProgram({"/bin/sh", "-c", example.command},
                         {.folder = dir_, .environment = {"PATH=" + programs + ":/usr/bin:/bin"}});
    EXPECT_EQ(ran.out, example.output) << example.where << ": " << example.command;
  }
}

}  // namespace
