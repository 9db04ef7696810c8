// The programs at a terminal: a pseudo-terminal stands in for the console,
// and the test types only once the prompt it answers is on the screen. The
// terminal neither echoes what is typed nor rewrites line ends, so the
// screen holds exactly the bytes that the program wrote (standard error
// included).
//
// Whether the program waits for a line is read from /proc: it has taken
// what was typed when its count of bytes read has grown (its count of reads,
// for a Ctrl-D, which a terminal reports as a read of no bytes), and it
// waits when it sits in a read of its standard input.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/program_run.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Generous: the steps take milliseconds, but the machine is shared.
constexpr std::chrono::seconds kPatience{60};

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

std::string GoldenFile(std::string_view program, std::string_view name, std::string_view file) {
  return ReadWholeFile(fs::path(SOURCE_DIR) / program / "testdata" / name / file);
}

class TerminalSession : public testing::Test {
 protected:
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    master_ = -1;
    if (!dir_.empty()) fs::remove_all(dir_);
    dir_.clear();
  }

  // Starts a program (orvane unless named) on a new terminal in a folder of
  // its own.
  void Start(const char* locale, const char* program = ORVANE_PATH) {
    char pattern[] = "/tmp/pty-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    struct termios mode {};
    mode.c_iflag = ICRNL;  // Enter sends CR; the program reads LF
    mode.c_oflag = 0;
    mode.c_cflag = CS8 | CREAD;
    mode.c_lflag = ICANON | ISIG;
    mode.c_cc[VINTR] = 3;
    mode.c_cc[VEOF] = 4;
    mode.c_cc[VERASE] = 127;
    mode.c_cc[VKILL] = 21;
    mode.c_cc[VMIN] = 1;
    cfsetspeed(&mode, B38400);
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 80;
    pid_ = forkpty(&master_, nullptr, &mode, &size);
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(126);
      setenv("LC_ALL", locale, 1);
      execl(program, fs::path(program).filename().c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }

  // Reads the screen until it ends with text; false at the deadline or when
  // the program has closed the terminal.
  bool ReadUntilScreenEndsWith(std::string_view text) {
    const auto deadline = Clock::now() + kPatience;
    while (!screen_.ends_with(text)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      struct pollfd ready {master_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
      char bytes[4096];
      ssize_t n = read(master_, bytes, sizeof bytes);
      if (n <= 0) return false;
      screen_.append(bytes, static_cast<std::size_t>(n));
    }
    return true;
  }

  // After the end: whatever the program wrote that is not read yet, up to
  // the terminal's closing.
  void ReadRest() {
    const auto deadline = Clock::now() + kPatience;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      struct pollfd ready {master_, POLLIN, 0};
      if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return;
      char bytes[4096];
      ssize_t n = read(master_, bytes, sizeof bytes);
      if (n <= 0) return;
      screen_.append(bytes, static_cast<std::size_t>(n));
    }
  }

  // Types Ctrl-D at the start of a line and returns once the program has
  // made the read that gives the end of the input.
  void TypeEndOfInput() {
    const long before = ReadsMade();
    ASSERT_EQ(write(master_, "\x04", 1), 1);
    const auto deadline = Clock::now() + kPatience;
    while (ReadsMade() == before && !HasEnded()) {
      ASSERT_LT(Clock::now(), deadline) << "the program did not read the end of the input";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Types text and returns once the program has read some of it.
  void Type(std::string_view text) {
    const long before = BytesRead();
    ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    const auto deadline = Clock::now() + kPatience;
    while (BytesRead() == before && !HasEnded()) {
      ASSERT_LT(Clock::now(), deadline) << "the program did not read what was typed";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Lets the program run until it waits for a line (true) or has ended
  // (false).
  bool WaitsForALine() {
    const auto deadline = Clock::now() + kPatience;
    for (;;) {
      if (HasEnded()) return false;
      std::string call = ReadWholeFile("/proc/" + std::to_string(pid_) + "/syscall");
      if (call.starts_with("0 0x0 ")) return true;  // read(0, ...)
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // The exit status once the program has ended; -1 if it does not.
  int ExitStatus() {
    const auto deadline = Clock::now() + kPatience;
    while (!HasEnded()) {
      if (Clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  bool HasEnded() {
    std::string stat = ReadWholeFile("/proc/" + std::to_string(pid_) + "/stat");
    std::size_t name_end = stat.rfind(')');
    return name_end == std::string::npos || stat.compare(name_end + 2, 1, "Z") == 0;
  }

  long BytesRead() { return IoCount("rchar: "); }
  long ReadsMade() { return IoCount("syscr: "); }

  long IoCount(const std::string& label) {
    std::string io = ReadWholeFile("/proc/" + std::to_string(pid_) + "/io");
    std::size_t at = io.find(label);
    return at == std::string::npos ? -1 : std::atol(io.c_str() + at + label.size());
  }

  pid_t pid_ = -1;
  int master_ = -1;
  fs::path dir_;
  std::string screen_;
};

const std::string kCategoryPrompt = Utf8(u8"　　カテゴリ数を半角数字で入力して下さい： ");

class TerminalRunTest : public TerminalSession, public testing::WithParamInterface<const char*> {};

// The whole road of k = 2 with 3 and 1, typed at the terminal: the screen
// shows what the same run shows with redirected streams, the Japanese texts
// in UTF-8 under either locale.
TEST_P(TerminalRunTest, PromptsShowBeforeEachAnswer) {
  Start(GetParam());
  const fs::path road = fs::path(SOURCE_DIR) / "orvane" / "testdata" / "road_k2_3_1";
  const std::string expected = ReadWholeFile(road / "stdout");
  ASSERT_FALSE(expected.empty());

  ASSERT_TRUE(ReadUntilScreenEndsWith(kCategoryPrompt)) << screen_;
  EXPECT_EQ(screen_,
            Utf8(u8"　このプログラムは適合度の一様性の正確検定を行います。\r\n\r\n"
                 u8"　　制限事項：カテゴリ数の上限       10 個\r\n"
                 u8"　　　　　　　可能解の個数　　　500,000 個\r\n\r\n") +
                kCategoryPrompt);
  ASSERT_TRUE(WaitsForALine());
  Type("\r");  // Enter alone does not answer: the prompt stays
  ASSERT_TRUE(WaitsForALine());
  Type("   2\r");
  ASSERT_TRUE(ReadUntilScreenEndsWith(Utf8(u8"　　1番目の度数 =>  "))) << screen_;
  Type("3\r");
  ASSERT_TRUE(ReadUntilScreenEndsWith(Utf8(u8"　　2番目の度数 =>  "))) << screen_;
  Type("1\r");
  ASSERT_TRUE(ReadUntilScreenEndsWith(Utf8(u8"ファイル名を入力して下さい:　"))) << screen_;
  Type("r\r");
  ASSERT_TRUE(ReadUntilScreenEndsWith("mid-p (LR):    0.375000\r\n")) << screen_;
  EXPECT_EQ(screen_, expected);

  // The program waits for Enter, with the result file complete and closed
  // (which happens after the console summary).
  ASSERT_TRUE(WaitsForALine());
  EXPECT_EQ(ReadWholeFile(dir_ / "r.csv"), ReadWholeFile(road / "after" / "r.csv"));
  Type("\r");
  EXPECT_EQ(ExitStatus(), 0);
  ReadRest();
  EXPECT_EQ(screen_, expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, TerminalRunTest, testing::Values("C.UTF-8", "C"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return info.index == 0 ? std::string("Utf8") : std::string("C");
                         });

// A refused count: the error pause takes one Enter and the final wait
// another; only then does the run end.
TEST_F(TerminalSession, RefusedCountWaitsForEnterTwice) {
  Start("C.UTF-8");
  ASSERT_TRUE(ReadUntilScreenEndsWith(kCategoryPrompt)) << screen_;
  ASSERT_TRUE(WaitsForALine());
  Type("11\r");
  ASSERT_TRUE(ReadUntilScreenEndsWith(Utf8(u8"Error!:   　カテゴリ数が制限を超えています\r\n")))
      << screen_;
  ASSERT_TRUE(WaitsForALine());
  Type("\r");
  ASSERT_TRUE(WaitsForALine()) << "ended after the first Enter";
  Type("\r");
  EXPECT_EQ(ExitStatus(), 0);
  const std::size_t shown = screen_.size();
  ReadRest();
  EXPECT_EQ(screen_.size(), shown) << "written after the pause: " << screen_.substr(shown);
  EXPECT_TRUE(fs::is_empty(dir_));
}

const std::string kKestrinDataPrompt = Utf8(u8"をスペース区切りで入れて下さい -->> ");

// The four cells are read, across lines if need be, before a malformed one
// is reported: the program still waits for the lines that complete the
// four, whichever of them is malformed, and reports only then.
TEST_F(TerminalSession, KestrinReadsAllFourCellsBeforeReporting) {
  const std::vector<std::vector<std::string>> typings = {
      {"3 x 2\r", "7 9\r"},        // the second malformed
      {"x\r", "3 2\r", "7\r"},    // the first malformed, the rest on two lines
  };
  for (const std::vector<std::string>& lines : typings) {
    SCOPED_TRACE(lines.front());
    TearDown();
    screen_.clear();
    Start("C.UTF-8", KESTRIN_PATH);
    ASSERT_TRUE(ReadUntilScreenEndsWith(kKestrinDataPrompt)) << screen_;
    const std::size_t shown = screen_.size();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      ASSERT_TRUE(WaitsForALine()) << "ended before the fourth cell: " << screen_;
      Type(lines[i]);
    }
    ASSERT_TRUE(WaitsForALine()) << "ended before the fourth cell: " << screen_;
    Type(lines.back());
    EXPECT_EQ(ExitStatus(), 1);
    ReadRest();
    EXPECT_EQ(MaskLocation(screen_.substr(shown)),
              Utf8(u8"EInOutError がモジュール kestrin の XXXXXXXX で発生しました。\r\n"
                   u8"入力値が数値ではありません.\r\n\r\n"));
    EXPECT_TRUE(fs::is_empty(dir_));
  }
}

// After a complete run kestrin shows its summary, has closed the result
// file, and waits for Enter before it ends.
TEST_F(TerminalSession, KestrinWaitsForEnterAfterACompleteRun) {
  Start("C.UTF-8", KESTRIN_PATH);
  const std::string expected = GoldenFile("kestrin", "road_named", "stdout");
  ASSERT_FALSE(expected.empty());
  ASSERT_TRUE(ReadUntilScreenEndsWith(kKestrinDataPrompt)) << screen_;
  ASSERT_TRUE(WaitsForALine());
  Type("3 5 2 7\r");
  ASSERT_TRUE(ReadUntilScreenEndsWith(Utf8(u8"ファイル名を入れて下さい =>  "))) << screen_;
  ASSERT_TRUE(WaitsForALine());
  Type("abc\r");
  ASSERT_TRUE(ReadUntilScreenEndsWith("mid-p (LR):    0.457014\r\n")) << screen_;
  ASSERT_TRUE(WaitsForALine()) << "ended without waiting for Enter";
  EXPECT_EQ(screen_, expected);
  EXPECT_EQ(ReadWholeFile(dir_ / "abc.csv"), GoldenFile("kestrin", "road_named", "after/abc.csv"));
  Type("\r");
  EXPECT_EQ(ExitStatus(), 0);
  ReadRest();
  EXPECT_EQ(screen_, expected);
}

// One Ctrl-D at a prompt or a wait ends the input for the rest of the run:
// it answers that prompt and every later one at once, so the run goes on
// exactly as with its input redirected from a file that ends there.
struct EndOfInputCase {
  const char* name;
  const char* program;
  std::vector<std::string> typed;   // the lines typed before the Ctrl-D
  std::vector<std::string> before;  // files present at the start
};

void PrintTo(const EndOfInputCase& c, std::ostream* out) { *out << c.name; }

class EndOfInputTest : public TerminalSession, public testing::WithParamInterface<EndOfInputCase> {};

TEST_P(EndOfInputTest, OneCtrlDAnswersEveryLaterPrompt) {
  const EndOfInputCase& c = GetParam();
  std::string input;
  for (const std::string& line : c.typed) input += line + "\n";
  const ProgramRun redirected = RunProgram(c.program, input, c.before);
  ASSERT_NE(redirected.status, -1);

  Start("C.UTF-8", c.program);
  for (const std::string& name : c.before) std::ofstream(dir_ / name) << "earlier\n";
  for (const std::string& line : c.typed) {
    ASSERT_TRUE(WaitsForALine()) << screen_;
    Type(line + "\r");
  }
  ASSERT_TRUE(WaitsForALine()) << screen_;
  TypeEndOfInput();
  ASSERT_FALSE(WaitsForALine()) << "still waits after one Ctrl-D: " << screen_;
  EXPECT_EQ(ExitStatus(), redirected.status);
  ReadRest();
  EXPECT_EQ(MaskLocation(screen_), MaskLocation(redirected.screen));
  EXPECT_EQ(FilesIn(dir_), redirected.files);
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, EndOfInputTest,
    testing::Values(
        EndOfInputCase{"OrvaneCategoryCount", ORVANE_PATH, {}, {}},
        EndOfInputCase{"OrvaneCountRefusedPause", ORVANE_PATH, {"11"}, {}},
        EndOfInputCase{"OrvaneFirstFrequency", ORVANE_PATH, {"3"}, {}},
        EndOfInputCase{"OrvaneThirdFrequency", ORVANE_PATH, {"3", "4", "2"}, {}},
        EndOfInputCase{"OrvaneNegativeFrequencyPause", ORVANE_PATH, {"2", "-1"}, {}},
        EndOfInputCase{"OrvaneFileName", ORVANE_PATH, {"2", "3", "1"}, {}},
        EndOfInputCase{"OrvaneFinalWait", ORVANE_PATH, {"2", "3", "1", "r"}, {}},
        EndOfInputCase{"OrvaneExistingFileFinalWait", ORVANE_PATH, {"2", "3", "1", "r"}, {"r.csv"}},
        // The outcome limit pauses once while enumerating, then as the final
        // wait: the second pause returns at once.
        EndOfInputCase{"OrvaneOutcomeLimitPause", ORVANE_PATH,
                       {"10", "1", "1", "1", "1", "1", "2", "2", "2", "1", "2", "r"}, {}},
        // Four cells of 0 after a Ctrl-D: log.csv is created, then 0 / 0.
        EndOfInputCase{"KestrinCells", KESTRIN_PATH, {}, {}},
        EndOfInputCase{"KestrinThirdCell", KESTRIN_PATH, {"3 5"}, {}},
        EndOfInputCase{"KestrinNegativeCellPause", KESTRIN_PATH, {"3 -5 2 7"}, {}},
        EndOfInputCase{"KestrinFileName", KESTRIN_PATH, {"3 5 2 7"}, {}},
        EndOfInputCase{"KestrinFinalWait", KESTRIN_PATH, {"3 5 2 7", "r"}, {}},
        EndOfInputCase{"KestrinExistingFileFinalWait", KESTRIN_PATH, {"3 5 2 7", "r"}, {"r.csv"}}),
    [](const testing::TestParamInfo<EndOfInputCase>& info) { return std::string(info.param.name); });

}  // namespace
