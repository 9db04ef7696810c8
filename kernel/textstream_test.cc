#include "kernel/textstream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <string_view>

#include "kernel/codeset.h"
#include "tests/program_run.h"

namespace {

namespace fs = std::filesystem;

std::u16string Utf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// ---------------------------------------------------------------------------
// Parsing of one token

struct Token {
  const char* text;
  std::int32_t value;
};

TEST(TextStreamTest, ParseIntegerAcceptsDecimalAndHexForms) {
  const Token tokens[] = {
      {"0", 0},
      {"7", 7},
      {"+7", 7},
      {"-7", -7},
      {"007", 7},
      {"-0", 0},
      {"$1F", 31},
      {"x1F", 31},
      {"X1f", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-$1", -1},
      {"+x10", 16},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"0000000000002147483647", 2147483647},
      {"$7FFFFFFF", 2147483647},
      {"$80000000", INT32_MIN},
      {"-$80000000", INT32_MIN},
      {"$FFFFFFFF", -1},
      {"-$FFFFFFFF", 1},
      {"$00000000FF", 255},        // leading zeros are not significant
      {"0x000000000000ABCDEF12", static_cast<std::int32_t>(0xABCDEF12u)},
  };
  for (const Token& token : tokens) {
    std::int32_t value = 12345;
    EXPECT_TRUE(ParseInteger(token.text, value)) << token.text;
    EXPECT_EQ(value, token.value) << token.text;
  }
}

TEST(TextStreamTest, ParseIntegerRefusesMalformedTokens) {
  const char* const tokens[] = {
      "2147483648",  "-2147483649", "4294967296", "99999999999", "12abc", "1.5",  "1,2",
      "-",           "+",           "$",          "0x",          "x",     "-$",   "+-1",
      "--1",         "1-",          "$1G",        "0x-1",        "$100000000",    // 9 digits
      "\xEF\xBC\x93",                                                            // full-width 3
      "1\xEF\xBC\x92",                                                           // 1 and full-width 2
      "",
  };
  for (const char* token : tokens) {
    std::int32_t value = 0;
    EXPECT_FALSE(ParseInteger(token, value)) << token;
  }
}

// ---------------------------------------------------------------------------
// Reading from an input file, writing to an output file

class TextStreamFileTest : public testing::Test {
 protected:
  void SetUp() override {
    SelectCodesetByName("UTF-8");
    char pattern[] = "/tmp/textstream-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    output_ = open((dir_ / "output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(output_, 0);
    Feed("");
  }

  void TearDown() override {
    if (ResultFile.mode == StreamMode::kOutput) CloseTextFile(ResultFile);
    if (input_ >= 0) close(input_);
    close(output_);
    ResetTextStreams(STDIN_FILENO, STDOUT_FILENO);
    fs::remove_all(dir_);
  }

  // Puts the streams back to their start, the console input reading bytes.
  void Feed(std::string_view bytes) {
    fs::path path = dir_ / "input";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
    if (input_ >= 0) close(input_);
    input_ = open(path.c_str(), O_RDONLY);
    ASSERT_GE(input_, 0);
    ASSERT_EQ(ftruncate(output_, 0), 0);
    ASSERT_EQ(lseek(output_, 0, SEEK_SET), 0);
    ResetTextStreams(input_, output_);
  }

  // What the console output has handed to the system so far.
  std::string HandedOver() { return ReadWholeFile(dir_ / "output"); }

  std::string Written() {
    FinishConsoleOutput();
    return HandedOver();
  }

  fs::path dir_;
  int input_ = -1;
  int output_ = -1;
};

TEST_F(TextStreamFileTest, ReadIntegerSkipsBlanksAndEmptyLines) {
  Feed("\r\n\n   \t 42\r\n");
  EXPECT_EQ(ReadInteger(ConsoleInput), 42);
  Feed("\x01\x1F 5");  // every byte up to 32 separates
  EXPECT_EQ(ReadInteger(ConsoleInput), 5);
  Feed("3\t-4\n\n 5\n");
  EXPECT_EQ(ReadInteger(ConsoleInput), 3);
  EXPECT_EQ(ReadInteger(ConsoleInput), -4);
  EXPECT_EQ(ReadInteger(ConsoleInput), 5);
  EXPECT_EQ(PendingIoCode(), 0);
}

TEST_F(TextStreamFileTest, SkipLineDiscardsTheRestOfTheAnswer) {
  Feed("3 4\r\n5\r\n");
  EXPECT_EQ(ReadInteger(ConsoleInput), 3);
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadInteger(ConsoleInput), 5);
  EXPECT_EQ(PendingIoCode(), 0);
}

TEST_F(TextStreamFileTest, MalformedTokenStoresCode106AfterTakingTheToken) {
  Feed("1,2 7\n");
  ReadInteger(ConsoleInput);
  EXPECT_EQ(PendingIoCode(), 106);
  // The token ended at the blank; the next read goes on from there.
  EXPECT_EQ(ReadInteger(ConsoleInput), 7);
  EXPECT_EQ(PendingIoCode(), 106);  // nothing clears it
}

TEST_F(TextStreamFileTest, TokenIsAtMost32Bytes) {
  const std::string zeros31(31, '0');
  Feed(zeros31 + "7" + "8\n");  // 33 bytes without a blank
  EXPECT_EQ(ReadInteger(ConsoleInput), 7);
  EXPECT_EQ(ReadInteger(ConsoleInput), 8);
  EXPECT_EQ(PendingIoCode(), 0);

  Feed(zeros31 + "12\n");  // the first 32 bytes are 0...01, then 2
  EXPECT_EQ(ReadInteger(ConsoleInput), 1);
  EXPECT_EQ(ReadInteger(ConsoleInput), 2);
  EXPECT_EQ(PendingIoCode(), 0);
}

TEST_F(TextStreamFileTest, EndOfInputReadsAsZeroAndEmpty) {
  Feed("");
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"");
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  Feed("   \n\n");
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  EXPECT_EQ(PendingIoCode(), 0);
}

// A terminal reports Ctrl-D as one read of no bytes and then reads on; a
// file that grows after its end was met does the same. The end, once met,
// answers every later read, whatever arrives afterwards.
TEST_F(TextStreamFileTest, EndOfInputOnceMetStaysMet) {
  Feed("4\n");
  EXPECT_EQ(ReadInteger(ConsoleInput), 4);
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  std::ofstream(dir_ / "input", std::ios::binary | std::ios::app) << "5\nname\n";
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"");
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  EXPECT_EQ(PendingIoCode(), 0);

  // Met by SkipLine or ReadLineText just the same; a byte 26 is not the end.
  for (int reader = 0; reader < 3; ++reader) {
    Feed(reader == 2 ? "\x1A" : "");
    if (reader == 1) {
      EXPECT_EQ(ReadLineText(ConsoleInput), u"");
    } else {
      SkipLine(ConsoleInput);
    }
    std::ofstream(dir_ / "input", std::ios::binary | std::ios::app) << "6\n";
    EXPECT_EQ(ReadInteger(ConsoleInput), reader == 2 ? 6 : 0) << "reader " << reader;
  }
}

TEST_F(TextStreamFileTest, PipeWithoutWriterIsTheEnd) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], "9", 1), 1);
  close(ends[1]);
  ResetTextStreams(ends[0], output_);
  EXPECT_EQ(ReadInteger(ConsoleInput), 9);
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"");
  EXPECT_EQ(PendingIoCode(), 0);
  close(ends[0]);
}

// Input left non-blocking by the caller is waited for, as a blocking one
// would be: whether the answer arrives before or after the first read, it
// is read, without a failure.
TEST_F(TextStreamFileTest, NonBlockingInputIsWaitedFor) {
  for (int round = 0; round < 20; ++round) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
    ResetTextStreams(ends[0], output_);
    std::thread writer([&] {
      EXPECT_EQ(write(ends[1], "42\n", 3), 3);
      close(ends[1]);
    });
    EXPECT_EQ(ReadInteger(ConsoleInput), 42);
    writer.join();
    EXPECT_EQ(PendingIoCode(), 0);
    close(ends[0]);
  }
}

TEST_F(TextStreamFileTest, FailedReadStoresItsCode) {
  ResetTextStreams(output_, output_);  // a descriptor open for writing only
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  EXPECT_EQ(PendingIoCode(), IoCodeOf(EBADF));
}

TEST_F(TextStreamFileTest, Byte26EndsOneAnswer) {
  // ReadInteger and ReadLineText stop at the mark and leave it; SkipLine
  // takes it, and the bytes after it answer the next prompt.
  Feed("12\x1A" "34\n\x1A" "ab\x1A" "cd\n");
  EXPECT_EQ(ReadInteger(ConsoleInput), 12);
  EXPECT_EQ(ReadInteger(ConsoleInput), 0);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"");
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadInteger(ConsoleInput), 34);
  SkipLine(ConsoleInput);
  SkipLine(ConsoleInput);  // the lone mark
  EXPECT_EQ(ReadLineText(ConsoleInput), u"ab");
  EXPECT_EQ(ReadLineText(ConsoleInput), u"");
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"cd");
  EXPECT_EQ(PendingIoCode(), 0);
}

TEST_F(TextStreamFileTest, ReadLineTextLeavesTheLineEnd) {
  Feed("  two blanks  \r\nnext\nlone\rcr\n\r\nlast\r");
  EXPECT_EQ(ReadLineText(ConsoleInput), u"  two blanks  ");
  EXPECT_EQ(ReadLineText(ConsoleInput), u"");  // still at the line end
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"next");
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"lonecr");
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"");
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"last");
  EXPECT_EQ(PendingIoCode(), 0);
}

TEST_F(TextStreamFileTest, ReadLineTextHasNoLengthLimit) {
  std::string line;
  for (int i = 0; i < 5000; ++i) line += static_cast<char>('a' + i % 26);
  Feed(line + "\r\nafter\r\n");
  EXPECT_EQ(ReadLineText(ConsoleInput), Utf16(line));
  SkipLine(ConsoleInput);
  EXPECT_EQ(ReadLineText(ConsoleInput), u"after");
}

TEST_F(TextStreamFileTest, ReadLineTextDecodesTheCodeset) {
  Feed("\xE7\xB5\x90\xE6\x9E\x9C \xF0\x9F\x98\x80\n");
  EXPECT_EQ(ReadLineText(ConsoleInput), u"結果 😀");
  SkipLine(ConsoleInput);
  Feed("a\xFF" "b\xC0\x80" "c\xE3\x81");
  EXPECT_EQ(ReadLineText(ConsoleInput), u"a\uFFFDb\uFFFD\uFFFDc\uFFFD");
}

// ---------------------------------------------------------------------------
// Writing

TEST_F(TextStreamFileTest, WriteIntegerRightAlignsInTheWidth) {
  struct Case {
    std::int32_t value, width;
    const char* text;
  } cases[] = {
      {7, 0, "7"},
      {7, 1, "7"},
      {-7, 1, "-7"},
      {5, 8, "       5"},
      {-12, 8, "     -12"},
      {123456789, 6, "123456789"},
      {0, 12, "           0"},
      {5, 32, "                               5"},
      {INT32_MIN, 0, "-2147483648"},
      {INT32_MIN, 12, " -2147483648"},
      {INT32_MAX, 8, "2147483647"},
      {3, -4, "3"},
  };
  for (const Case& c : cases) {
    Feed("");
    WriteInteger(ConsoleOutput, c.value, c.width);
    EXPECT_EQ(Written(), c.text) << c.value << " in " << c.width;
  }
  Feed("");
  WriteInteger(ConsoleOutput, 1, 1000);  // the width is capped at 255
  EXPECT_EQ(Written(), std::string(254, ' ') + "1");
  for (std::int32_t width : {255, 256}) {
    Feed("");
    WriteInteger(ConsoleOutput, -7, width);
    EXPECT_EQ(Written(), std::string(253, ' ') + "-7") << width;
  }
}

TEST_F(TextStreamFileTest, LineEndIsCrLf) {
  WriteText(ConsoleOutput, u"a");
  WriteLineEnd(ConsoleOutput);
  WriteLineEnd(ConsoleOutput);
  WriteText(ConsoleOutput, u"　カテゴリ");
  WriteLineEnd(ConsoleOutput);
  EXPECT_EQ(Written(), "a\r\n\r\n\xE3\x80\x80\xE3\x82\xAB\xE3\x83\x86\xE3\x82\xB4\xE3\x83\xAA\r\n");
}

TEST_F(TextStreamFileTest, SurrogatePairsAreJoinedAcrossWriteChar) {
  WriteChar(ConsoleOutput, u'\xD83D');
  WriteChar(ConsoleOutput, u'\xDE00');
  WriteChar(ConsoleOutput, u'\xD83D');  // a high half without its low half
  WriteChar(ConsoleOutput, u'A');
  WriteText(ConsoleOutput, u"\xDE00");  // a low half alone
  EXPECT_EQ(Written(), "\xF0\x9F\x98\x80?A?");
}

TEST_F(TextStreamFileTest, ConsoleOutputToAFileLeavesInWhole128ByteBlocks) {
  WriteText(ConsoleOutput, Utf16(std::string(100, 'a')));
  WriteLineEnd(ConsoleOutput);  // nothing is written through
  EndWrite(ConsoleOutput);
  WriteText(ConsoleOutput, Utf16(std::string(26, 'b')));
  EXPECT_EQ(HandedOver(), "");  // exactly 128 bytes held
  WriteText(ConsoleOutput, u"c");
  EXPECT_EQ(HandedOver().size(), 128u);
  WriteText(ConsoleOutput, Utf16(std::string(300, 'd')));
  EXPECT_EQ(HandedOver().size(), 384u);
  EXPECT_EQ(Written(), std::string(100, 'a') + "\r\n" + std::string(26, 'b') + "c" +
                           std::string(300, 'd'));
}

TEST_F(TextStreamFileTest, ConsoleOutputToATerminalIsWrittenThrough) {
  // /dev/null is a character device, as a terminal is.
  int device = open("/dev/null", O_WRONLY);
  ASSERT_GE(device, 0);
  ResetTextStreams(input_, device);
  WriteText(ConsoleOutput, u"prompt: ");
  EndWrite(ConsoleOutput);
  EXPECT_TRUE(ConsoleOutput.write_through);
  EXPECT_EQ(ConsoleOutput.position, 0u);
  WriteText(ConsoleOutput, u"held until EndWrite");
  EXPECT_EQ(ConsoleOutput.position, 19u);
  close(device);
}

TEST_F(TextStreamFileTest, FailedWriteStoresItsCode) {
  ResetTextStreams(input_, input_);  // a descriptor open for reading only
  WriteText(ConsoleOutput, Utf16(std::string(200, 'x')));
  EXPECT_EQ(PendingIoCode(), IoCodeOf(EBADF));
}

TEST_F(TextStreamFileTest, WriteToAClosedResultFileStoresCode105) {
  WriteText(ResultFile, u"x");
  EXPECT_EQ(PendingIoCode(), 105);
}

// ---------------------------------------------------------------------------
// The result file

TEST_F(TextStreamFileTest, CreateTextFileCreatesOrEmpties) {
  fs::path name = dir_ / "r.csv";
  std::ofstream(name) << "old contents";
  CreateTextFile(Utf16(name.string()));
  ASSERT_EQ(PendingIoCode(), 0);
  EXPECT_EQ(fs::file_size(name), 0u);
  WriteText(ResultFile, u"row");
  WriteLineEnd(ResultFile);  // a disk file is not written through
  EXPECT_EQ(fs::file_size(name), 0u);
  CloseTextFile(ResultFile);
  EXPECT_EQ(ReadWholeFile(name), "row\r\n");
  EXPECT_EQ(PendingIoCode(), 0);
  CloseTextFile(ResultFile);
  EXPECT_EQ(PendingIoCode(), 103);
}

TEST_F(TextStreamFileTest, CreateTextFileCountsUtf16Units) {
  // The folder's path, a slash and the rest of the name, 259 units in all.
  const std::string folder = dir_.string() + "/";
  const std::size_t rest = 259 - folder.size();
  fs::path fits = folder + std::string(rest - 4, 'n') + ".csv";
  CreateTextFile(Utf16(fits.string()));
  EXPECT_EQ(PendingIoCode(), 0);
  EXPECT_TRUE(fs::exists(fits));
  CloseTextFile(ResultFile);

  // 260 units: refused without trying, though the system would take it.
  fs::path too_long = folder + std::string(rest - 3, 'n') + ".csv";
  CreateTextFile(Utf16(too_long.string()));
  EXPECT_EQ(PendingIoCode(), 3);
  EXPECT_FALSE(fs::exists(too_long));

  // A character beyond U+FFFF takes two units: 259 characters, 260 units.
  Feed("");
  std::u16string pair_name = Utf16(folder) + u"😀" + Utf16(std::string(rest - 5, 'n')) + u".csv";
  ASSERT_EQ(pair_name.size(), 260u);
  CreateTextFile(pair_name);
  EXPECT_EQ(PendingIoCode(), 3);
}

TEST_F(TextStreamFileTest, CreateTextFileRefusesNamesInvalidOnTheDesktop) {
  const std::u16string bad[] = {u"a<b", u"a>b", u"a:b", u"a\"b", u"a|b", u"a?b",
                                u"a*b", u"a\tb", u"a\x01" u"b", u"a\x1F" u"b"};
  for (const std::u16string& middle : bad) {
    Feed("");
    fs::path name = dir_ / std::string(middle.begin(), middle.end());
    CreateTextFile(Utf16(name.string() + ".csv"));
    EXPECT_EQ(PendingIoCode(), 123) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
  }
}

TEST_F(TextStreamFileTest, CreateTextFileStoresTheCodeOfTheSystemsRefusal) {
  CreateTextFile(Utf16((dir_ / "missing" / "r.csv").string()));
  EXPECT_EQ(PendingIoCode(), 3);
  EXPECT_EQ(ResultFile.mode, StreamMode::kClosed);

  Feed("");
  CreateTextFile(Utf16((dir_ / "input" / "r.csv").string()));  // a file as a folder
  EXPECT_EQ(PendingIoCode(), 3);

  Feed("");
  fs::create_directory(dir_ / "folder.csv");
  CreateTextFile(Utf16((dir_ / "folder.csv").string()));
  EXPECT_EQ(PendingIoCode(), 5);

  // sysfs refuses to create files, to root as well.
  Feed("");
  CreateTextFile(u"/sys/r.csv");
  EXPECT_EQ(PendingIoCode(), 5);
  EXPECT_EQ(ResultFile.mode, StreamMode::kClosed);
}

TEST_F(TextStreamFileTest, CreateNewTextFileMakesOnlyWhatIsNotThere) {
  auto create_new = [&](const fs::path& name) {
    Feed("");
    return CreateNewTextFile(Utf16(name.string()));
  };
  EXPECT_TRUE(create_new(dir_ / "r.csv"));
  EXPECT_EQ(PendingIoCode(), 0);
  WriteText(ResultFile, u"row");
  CloseTextFile(ResultFile);
  EXPECT_EQ(ReadWholeFile(dir_ / "r.csv"), "row");

  // Whatever has the name is left as it is, and nothing is opened.
  fs::create_symlink("target.csv", dir_ / "dangling.csv");
  fs::create_symlink("r.csv", dir_ / "to_file.csv");
  fs::create_symlink("missing/r.csv", dir_ / "astray.csv");
  for (const char* name : {"r.csv", "dangling.csv", "to_file.csv", "astray.csv"}) {
    EXPECT_FALSE(create_new(dir_ / name)) << name;
    EXPECT_EQ(PendingIoCode(), 0) << name;
    EXPECT_EQ(ResultFile.mode, StreamMode::kClosed) << name;
  }
  EXPECT_EQ(ReadWholeFile(dir_ / "r.csv"), "row");
  EXPECT_FALSE(fs::exists(dir_ / "target.csv"));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));

  // A folder, or a link to one, fails as opening it for writing fails; so
  // do the names the desktop refuses, and a missing folder on the way.
  fs::create_directory(dir_ / "folder.csv");
  fs::create_symlink("folder.csv", dir_ / "to_folder.csv");
  EXPECT_TRUE(create_new(dir_ / "folder.csv"));
  EXPECT_EQ(PendingIoCode(), 5);
  EXPECT_TRUE(create_new(dir_ / "to_folder.csv"));
  EXPECT_EQ(PendingIoCode(), 5);
  EXPECT_TRUE(create_new(dir_ / "a?b.csv"));
  EXPECT_EQ(PendingIoCode(), 123);
  EXPECT_TRUE(create_new(dir_ / "missing" / "r.csv"));
  EXPECT_EQ(PendingIoCode(), 3);
  EXPECT_EQ(ResultFile.mode, StreamMode::kClosed);
}

TEST_F(TextStreamFileTest, IsExistingFileFollowsLinks) {
  auto exists = [&](const char* name) { return IsExistingFile(Utf16((dir_ / name).string())); };
  std::ofstream(dir_ / "file.csv") << "x";
  fs::create_directory(dir_ / "folder");
  fs::create_symlink(dir_ / "file.csv", dir_ / "to_file");
  fs::create_symlink(dir_ / "folder", dir_ / "to_folder");
  fs::create_symlink(dir_ / "nothing", dir_ / "dangling");
  fs::create_symlink(dir_ / "loop_b", dir_ / "loop_a");
  fs::create_symlink(dir_ / "loop_a", dir_ / "loop_b");

  EXPECT_TRUE(exists("file.csv"));
  EXPECT_TRUE(exists("to_file"));
  EXPECT_FALSE(exists("folder"));
  EXPECT_FALSE(exists("to_folder"));
  EXPECT_FALSE(exists("dangling"));
  EXPECT_FALSE(exists("nothing"));
  EXPECT_FALSE(exists("file.csv/x"));
  EXPECT_FALSE(exists("missing/x"));
  EXPECT_FALSE(IsExistingFile(Utf16(dir_.string() + "/" + std::string(300, 'n'))));
  // A loop fails with ELOOP, not one of the "no such entry" errors: the
  // entry itself is there and is not a folder.
  EXPECT_TRUE(exists("loop_a"));
}

TEST(TextStreamTest, IoCodeOfMapsErrno) {
  struct Case {
    int error;
    std::int32_t code;
  } cases[] = {
      {ENOENT, 3},   {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {ELOOP, 3},   {EACCES, 5},
      {EPERM, 5},    {EROFS, 5},   {EISDIR, 5},       {ENOSPC, 112}, {EDQUOT, 112},
      {EMFILE, 4},   {ENFILE, 4},  {EBUSY, 32},       {ETXTBSY, 32}, {EPIPE, 1032},
      {EIO, 1005},   {EBADF, 1009}, {EFBIG, 1027},
  };
  for (const Case& c : cases) EXPECT_EQ(IoCodeOf(c.error), c.code) << c.error;
}

// ---------------------------------------------------------------------------
// The codeset

std::string Encoded(char32_t c) {
  char bytes[kMaxEncodedBytes];
  return std::string(bytes, EncodeCodePoint(c, bytes));
}

TEST(CodesetTest, Utf8) {
  SelectCodesetByName("UTF-8");
  EXPECT_EQ(Encoded(U'A'), "A");
  EXPECT_EQ(Encoded(U'\u00E9'), "\xC3\xA9");
  EXPECT_EQ(Encoded(U'\u3000'), "\xE3\x80\x80");
  EXPECT_EQ(Encoded(U'\U0001F600'), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Encoded(0xD800), "?");
  EXPECT_EQ(Encoded(0x110000), "?");

  EXPECT_EQ(DecodeBytes("\xE3\x80\x80x\xF0\x9F\x98\x80"), u"\u3000x😀");
  EXPECT_EQ(DecodeBytes("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(DecodeBytes("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(DecodeBytes("\xE3\x80" "A"), u"\uFFFDA");  // one replacement per broken sequence
  EXPECT_EQ(DecodeBytes("\x80\xBF"), u"\uFFFD\uFFFD");
}

// The C locale's ASCII reads and writes as UTF-8.
TEST(CodesetTest, AsciiNamesMeanUtf8) {
  SelectCodesetByName("ANSI_X3.4-1968");
  EXPECT_EQ(Encoded(U'\u3000'), "\xE3\x80\x80");
  SelectCodesetByName("UTF-8");
}

TEST(CodesetTest, OtherCodesetsGoThroughIconv) {
  SelectCodesetByName("EUC-JP");
  if (Encoded(U'\u3042') == "\xE3\x81\x82") {
    SelectCodesetByName("UTF-8");
    GTEST_SKIP() << "iconv has no EUC-JP here";
  }
  EXPECT_EQ(Encoded(U'\u3042'), "\xA4\xA2");  // hiragana a
  EXPECT_EQ(Encoded(U'\u3000'), "\xA1\xA1");
  EXPECT_EQ(Encoded(U'\uAC00'), "?");  // hangul: not in the codeset
  EXPECT_EQ(Encoded(U'\U0001F600'), "?");
  EXPECT_EQ(Encoded(0xDC00), "?");
  EXPECT_EQ(DecodeBytes("\xA4\xA2" "a\xA4"), u"\u3042a\uFFFD");
  EXPECT_EQ(DecodeBytes("\xFF" "b"), u"\uFFFDb");
  SelectCodesetByName("UTF-8");
}

TEST_F(TextStreamFileTest, StreamsUseTheSelectedCodeset) {
  SelectCodesetByName("EUC-JP");
  if (Encoded(U'\u3042') != "\xA4\xA2") {
    SelectCodesetByName("UTF-8");
    GTEST_SKIP() << "iconv has no EUC-JP here";
  }
  Feed("\xA4\xA2\xB7\xEB\xB2\xCC\n");
  std::u16string line = ReadLineText(ConsoleInput);
  WriteText(ConsoleOutput, u"結果 한");
  std::string written = Written();
  SelectCodesetByName("UTF-8");
  EXPECT_EQ(line, u"あ結果");
  EXPECT_EQ(written, "\xB7\xEB\xB2\xCC ?");
}

}  // namespace
