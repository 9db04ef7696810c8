#include "kernel/failure.h"

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "kernel/codeset.h"
#include "kernel/textstream.h"
#include "tests/program_run.h"

extern "C" char __executable_start;
extern "C" char etext;

namespace {

namespace fs = std::filesystem;
using testing::ExitedWithCode;

TEST(FailureTest, IoMessages) {
  EXPECT_EQ(IoMessage(2, u"r.csv"), u"指定されたファイルが見つかりません");
  EXPECT_EQ(IoMessage(3, u"missing/r.csv"), u"不正なファイル名 - missing/r.csv");
  EXPECT_EQ(IoMessage(3, u""), u"不正なファイル名 - ");
  EXPECT_EQ(IoMessage(4, u""), u"開かれたファイルが多すぎます。");
  EXPECT_EQ(IoMessage(5, u"r.csv"), u"ファイルへのアクセスが拒否されました");
  EXPECT_EQ(IoMessage(100, u""), u"ファイルの末尾以降を読み取りました");
  EXPECT_EQ(IoMessage(101, u""), u"ディスクがいっぱいです");
  EXPECT_EQ(IoMessage(106, u""), u"入力値が数値ではありません");
  EXPECT_EQ(IoMessage(123, u"a?.csv"), u"I/O エラー 123");
  EXPECT_EQ(IoMessage(112, u""), u"I/O エラー 112");
  EXPECT_EQ(IoMessage(1032, u""), u"I/O エラー 1032");
  EXPECT_EQ(IoMessage(-7, u""), u"I/O エラー -7");
}

std::string Report(const std::string& message) {
  return "EInOutError がモジュール kernel_test の XXXXXXXX で発生しました。\r\n" + message +
         ".\r\n\r\n";
}

// Each test gets its own folder, and console input from a file in it; the
// console output goes to standard error, so that what the report is
// compared with shows the console text before it.
class FailureReportTest : public testing::Test {
 protected:
  void SetUp() override {
    SelectCodesetByName("UTF-8");
    char pattern[] = "/tmp/failure-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }

  void TearDown() override {
    ResetTextStreams(STDIN_FILENO, STDOUT_FILENO);
    fs::remove_all(dir_);
  }

  void Feed(const std::string& bytes) {
    fs::path path = dir_ / "input";
    std::ofstream(path, std::ios::binary) << bytes;
    int input = open(path.c_str(), O_RDONLY);
    ASSERT_GE(input, 0);
    ResetTextStreams(input, STDERR_FILENO);
  }

  std::u16string Name(const char* relative) {
    std::string path = (dir_ / relative).string();
    return std::u16string(path.begin(), path.end());
  }

  fs::path dir_;
};

TEST_F(FailureReportTest, MalformedAnswerEndsTheRunWithTheReport) {
  // The console text held in the buffer is written out before the report;
  // the result file's buffered bytes reach the file; nothing else does.
  Feed("12abc 4\n");
  EXPECT_EXIT(
      {
        CreateTextFile(Name("r.csv"));
        WriteText(ResultFile, u"opening");
        WriteLineEnd(ResultFile);
        WriteText(ConsoleOutput, u"　　カテゴリ数： ");
        EndWrite(ConsoleOutput);
        IoCheck();
        ReadInteger(ConsoleInput);
        SkipLine(ConsoleInput);
        IoCheck();
        WriteText(ConsoleOutput, u"after");
        std::exit(0);
      },
      ExitedWithCode(1),
      testing::ResultOf(MaskLocation, "　　カテゴリ数： " + Report("入力値が数値ではありません")));
  EXPECT_EQ(ReadWholeFile(dir_ / "r.csv"), "opening\r\n");
}

TEST_F(FailureReportTest, CreationFailuresNameTheirCause) {
  Feed("");
  std::u16string missing = Name("missing/r.csv");
  EXPECT_EXIT(
      {
        CreateTextFile(missing);
        IoCheck();
      },
      ExitedWithCode(1),
      testing::ResultOf(MaskLocation,
                        Report("不正なファイル名 - " + (dir_ / "missing/r.csv").string())));
  EXPECT_EXIT(
      {
        CreateTextFile(u"a?b.csv");
        IoCheck();
      },
      ExitedWithCode(1), testing::ResultOf(MaskLocation, Report("I/O エラー 123")));
  EXPECT_EXIT(
      {
        CreateTextFile(u"/sys/r.csv");
        IoCheck();
      },
      ExitedWithCode(1),
      testing::ResultOf(MaskLocation, Report("ファイルへのアクセスが拒否されました")));
}

TEST_F(FailureReportTest, FullStopFollowsEveryMessage) {
  Feed("");
  EXPECT_EXIT(
      {
        textstream_internal::pending_io_code = 4;
        IoCheck();
      },
      ExitedWithCode(1), testing::ResultOf(MaskLocation, Report("開かれたファイルが多すぎます。")));
}

TEST_F(FailureReportTest, LocationLiesInTheProgramsCode) {
  Feed("x\n");
  const auto code_size = static_cast<unsigned long>(&etext - &__executable_start);
  EXPECT_EXIT(
      {
        ReadInteger(ConsoleInput);
        IoCheck();
      },
      ExitedWithCode(1), testing::Truly([code_size](const std::string& report) {
        std::smatch found;
        if (!std::regex_search(report, found, std::regex(" の ([0-9A-F]{8}) で"))) return false;
        unsigned long offset = std::stoul(found[1].str(), nullptr, 16);
        return offset > 0 && offset < code_size;
      }));
}

TEST_F(FailureReportTest, NoCodeNoFailure) {
  Feed("");
  ReadInteger(ConsoleInput);  // the end of the input is not a failure
  IoCheck();
  SUCCEED();
}

}  // namespace
