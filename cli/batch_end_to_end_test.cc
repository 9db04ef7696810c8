// The batch mode of the built programs: the same bytes as the one-table
// reports, whatever the number of jobs; streaming; where it stops and with
// which status.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Ran {
  int status = -1;
  std::string out;
  std::string err;
};

// A folder of the test's own, removed at its end.
class BatchEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cli-batch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  // Runs program with args, standard input from input_file (or
  // /dev/null), standard output to out_file when given.
  Ran Run(const char* program, std::vector<std::string> args, const std::string& input_file = "/dev/null",
          const std::string& out_file = "") {
    const std::string out_path = (dir_ / "stdout").string(), err_path = (dir_ / "stderr").string();
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(open(input_file.c_str(), O_RDONLY), STDIN_FILENO);
      dup2(open(out_file.empty() ? out_path.c_str() : out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
           STDOUT_FILENO);
      dup2(open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(program)};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program, argv.data());
      _exit(127);
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    Ran ran;
    ran.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    ran.out = Read(out_path);
    ran.err = Read(err_path);
    return ran;
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  fs::path dir_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
    fields.push_back(line.substr(start, comma - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

// The tables of a test: near and far from independence, empty margins,
// large totals, ties across the mode.
std::vector<std::array<std::uint32_t, 4>> SomeTables(int count) {
  std::mt19937_64 random(99);
  std::vector<std::array<std::uint32_t, 4>> tables{
      {47, 11, 10, 13}, {1, 1, 1, 5}, {0, 0, 3, 4}, {2000, 0, 0, 2000}, {1, 2, 0, 5}, {1900, 3100, 100, 4900},
      {0, 0, 0, 0}, {400, 477, 500, 377}, {5000000, 5010000, 4990000, 5003000}};
  while (static_cast<int>(tables.size()) < count) {
    std::array<std::uint32_t, 4> t{};
    const int kind = static_cast<int>(random() % 3);
    for (auto& n : t) n = static_cast<std::uint32_t>(random() % (kind == 0 ? 20 : kind == 1 ? 600 : 20000));
    tables.push_back(t);
  }
  return tables;
}

std::string TableLine(const std::array<std::uint32_t, 4>& t) {
  return std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + " " + std::to_string(t[3]);
}

TEST_F(BatchEndToEnd, EachRowCarriesTheNumbersOfTheOneTableReport) {
  const auto tables = SomeTables(40);
  std::string input;
  for (const auto& t : tables) input += TableLine(t) + "\n";
  const std::string file = Write("tables.txt", input);
  for (const std::vector<std::string>& side : {std::vector<std::string>{},
                                               std::vector<std::string>{"-a", "less", "-c", "0.9"},
                                               std::vector<std::string>{"-a", "greater"}}) {
    std::vector<std::string> args = {"--batch=" + file, "--odds-ratio"};
    args.insert(args.end(), side.begin(), side.end());
    const Ran batch = Run(KESTRIN_PATH, args);
    ASSERT_EQ(batch.status, 0) << batch.err;
    const std::vector<std::string> rows = Lines(batch.out);
    ASSERT_EQ(rows.size(), tables.size() + 1);
    for (std::size_t i = 0; i < tables.size(); ++i) {
      std::vector<std::string> one_args = {"-f", "csv"};
      one_args.insert(one_args.end(), side.begin(), side.end());
      for (std::uint32_t n : tables[i]) one_args.push_back(std::to_string(n));
      const Ran one = Run(KESTRIN_PATH, one_args);
      ASSERT_EQ(one.status, 0) << one.err;
      // The row as the one-table report's lines give it: cells, each
      // ordering's value (two-sided), p and mid-p, then the odds ratio.
      std::string expected = std::to_string(tables[i][0]);
      for (int c = 1; c < 4; ++c) expected += "," + std::to_string(tables[i][c]);
      for (const std::string& line : Lines(one.out)) {
        const std::vector<std::string> f = Fields(line);
        if (f[0] == "statistic" || f[0] == "conf_level" || f[0] == "sample_odds_ratio") continue;
        if (f[0] == "odds_ratio" || f[0] == "conf_low" || f[0] == "conf_high") {
          expected += "," + f[1];
        } else {
          expected += (f[0] == "n11" ? "" : "," + f[1]) + "," + f[2] + "," + f[3];
        }
      }
      EXPECT_EQ(rows[i + 1], expected) << TableLine(tables[i]);
    }
  }
}

TEST_F(BatchEndToEnd, TheSameBytesWhateverTheJobs) {
  // Enough bytes for several chunks of input, with comments, blank lines,
  // CR LF ends and commas among them.
  std::mt19937_64 random(5);
  std::string input = "# label n11 n12 n21 n22\n";
  const std::string term(80, 'g');
  for (int i = 0; i < 12000; ++i) {
    const std::uint32_t r1 = 5 + random() % 496, c1 = 20 + random() % 1981, x = random() % 30;
    const std::uint32_t n11 = std::min({x, r1, c1});
    input += "t" + std::to_string(i) + term + (i % 7 == 0 ? "," : " ") + std::to_string(n11) + " " + std::to_string(r1 - n11) +
             "\t" + std::to_string(c1 - n11) + " " + std::to_string(20000 - r1 - c1 + n11) + (i % 5 == 0 ? "\r\n" : "\n");
    if (i % 1000 == 0) input += "\n#\n";
  }
  const std::string file = Write("lines.txt", input);
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, std::vector<std::string>{"-f", "json", "--log10", "--odds-ratio"}}) {
    std::vector<std::string> args = {"--batch=" + file, "--labels"};
    args.insert(args.end(), extra.begin(), extra.end());
    const Ran alone = Run(KESTRIN_PATH, args);
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(Lines(alone.out).size(), 12000u + (extra.empty() ? 1 : 0));
    for (const char* jobs : {"--jobs=2", "--jobs=3", "--jobs=0"}) {
      args.push_back(jobs);
      const Ran parallel = Run(KESTRIN_PATH, args);
      args.pop_back();
      EXPECT_EQ(parallel.status, 0) << parallel.err;
      EXPECT_TRUE(parallel.out == alone.out) << jobs;
      EXPECT_EQ(parallel.err, "");
    }
  }
  // JSON Lines: an object per line, its keys the CSV's columns.
  const Ran json = Run(KESTRIN_PATH, {"--batch=" + file, "--labels", "-f", "json", "--log10"});
  const std::vector<std::string> lines = Lines(json.out);
  const nlohmann::json first = nlohmann::json::parse(lines.at(0));
  EXPECT_EQ(first["label"], "t0" + term);
  EXPECT_TRUE(first.contains("probability_log10_p"));
  EXPECT_EQ(first.size(), 17u);
}

TEST_F(BatchEndToEnd, AMalformedLineStopsTheRunAfterEveryLineBeforeIt) {
  std::string input;
  for (int i = 1; i <= 30000; ++i) input += i == 21000 ? "3 1 x 3\n" : "3 1 1 3\n";
  const std::string file = Write("bad.txt", input);
  for (const char* jobs : {"--jobs=1", "--jobs=3"}) {
    const Ran ran = Run(KESTRIN_PATH, {"--batch=" + file, jobs});
    EXPECT_EQ(ran.status, 2) << jobs;
    EXPECT_EQ(Lines(ran.out).size(), 21000u) << jobs;  // the header and the 20,999 lines before
    EXPECT_EQ(ran.out.back(), '\n');
    EXPECT_EQ(ran.err,
              "kestrin: line 21000: invalid cell 'x': a count is a whole number from 0 to 2147483647 in decimal "
              "digits\n");
  }
  // orvane: every line holds as many counts as the first; a later chunk
  // that breaks the rule is found whatever the jobs.
  input.clear();
  for (int i = 1; i <= 30000; ++i) input += i == 25000 ? "1 2\n" : "1 2 3\n";
  const std::string counts = Write("counts.txt", input);
  for (const char* jobs : {"--jobs=1", "--jobs=4"}) {
    const Ran ran = Run(ORVANE_PATH, {"--batch=" + counts, jobs});
    EXPECT_EQ(ran.status, 2) << jobs;
    EXPECT_EQ(Lines(ran.out).size(), 25000u) << jobs;
    EXPECT_EQ(ran.err, "orvane: line 25000: 2 counts given: the lines before have 3\n") << jobs;
  }
  const Ran proportions = Run(ORVANE_PATH, {"--batch=" + counts, "-p", "1,1"});
  EXPECT_EQ(proportions.status, 2);
  EXPECT_EQ(proportions.err, "orvane: line 1: 3 counts given: '--probabilities' gives 2\n");
  EXPECT_EQ(Lines(proportions.out).size(), 1u);  // the header, k known from -p
  const Ran cells = Run(KESTRIN_PATH, {"--batch=" + Write("three.txt", "1 2 3 4\n# 5\n1 2 3\n")});
  EXPECT_EQ(cells.status, 2);
  EXPECT_EQ(cells.err, "kestrin: line 3: 3 cells given: a 2 x 2 table needs 4, N11 N12 N21 N22\n");
}

TEST_F(BatchEndToEnd, OrvaneRowsCarryTheNumbersOfItsOneTestReport) {
  const std::string file = Write("vectors.txt", "1 0 4 2\n3 1 2 0\n0 0 0 7\n");
  const Ran batch = Run(ORVANE_PATH, {"--batch=" + file});
  ASSERT_EQ(batch.status, 0) << batch.err;
  const std::vector<std::string> rows = Lines(batch.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].substr(0, 36), "x1,x2,x3,x4,chi_square,chi_square_p,");
  const char* vectors[3][4] = {{"1", "0", "4", "2"}, {"3", "1", "2", "0"}, {"0", "0", "0", "7"}};
  for (int i = 0; i < 3; ++i) {
    const Ran one = Run(ORVANE_PATH, {"-f", "csv", vectors[i][0], vectors[i][1], vectors[i][2], vectors[i][3]});
    std::string expected = std::string(vectors[i][0]) + "," + vectors[i][1] + "," + vectors[i][2] + "," + vectors[i][3];
    for (const std::string& line : Lines(one.out)) {
      const std::vector<std::string> f = Fields(line);
      if (f[0] != "statistic") expected += "," + f[1] + "," + f[2] + "," + f[3];
    }
    EXPECT_EQ(rows[i + 1], expected);
  }
}

TEST_F(BatchEndToEnd, FailuresToReadAndToWrite) {
  Ran ran = Run(KESTRIN_PATH, {"--batch=" + (dir_ / "missing.txt").string()});
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.err, "kestrin: cannot read '" + (dir_ / "missing.txt").string() + "': No such file or directory\n");
  EXPECT_EQ(ran.out, "");
  ran = Run(KESTRIN_PATH, {"--batch=" + dir_.string()});
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.err, "kestrin: cannot read '" + dir_.string() + "': Is a directory\n");
  const std::string file = Write("t.txt", "1 2 3 4\n");
  for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
    ran = Run(KESTRIN_PATH, {"--batch=" + file, jobs}, "/dev/null", "/dev/full");
    EXPECT_EQ(ran.status, 1) << jobs;
    EXPECT_EQ(ran.err, "kestrin: cannot write standard output: No space left on device\n") << jobs;
  }
  // Standard input as the file, and an empty input: the header alone.
  ran = Run(KESTRIN_PATH, {"--batch=-"}, file);
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(Lines(ran.out).size(), 2u);
  ran = Run(KESTRIN_PATH, {"--batch=-", "--labels"});
  EXPECT_EQ(ran.status, 0);
  EXPECT_TRUE(ran.out.starts_with("label,n11,")) << ran.out;
  EXPECT_EQ(Lines(ran.out).size(), 1u);
}

// A run fed by a pipe that the test keeps open: its results come before
// the input ends, and Ctrl-C ends it with 130.
TEST_F(BatchEndToEnd, ResultsStreamBeforeTheInputEndsAndCtrlCEndsTheRun) {
  for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      execl(KESTRIN_PATH, KESTRIN_PATH, "--batch=-", jobs, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    ASSERT_EQ(write(in[1], "47 11 10 13\n", 12), 12);
    // The header and the row, while the input is still open.
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::count(got.begin(), got.end(), '\n') < 2 && std::chrono::steady_clock::now() < deadline) {
      pollfd ready{out[0], POLLIN, 0};
      if (poll(&ready, 1, 1000) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 2) << jobs << ": " << got;
    EXPECT_NE(got.find("\n47,11,10,13,11.140855559062574,"), std::string::npos) << got;
    kill(pid, SIGINT);
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 130) << jobs;
    close(in[1]);
    close(out[0]);
  }
}

}  // namespace
