#include "kernel/listing.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "kernel/codeset.h"
#include "kernel/numeric.h"
#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "tests/program_run.h"

namespace {

namespace fs = std::filesystem;
using testing::ExitedWithCode;

// --- the classification by margins ----------------------------------------

struct Random {
  std::uint64_t state = 0x2545F4914F6CDD1Du;
  std::uint64_t Next() {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return state;
  }
};

long double FromFields(int biased_exponent, std::uint64_t significand) {
  long double x = 0;
  auto top = static_cast<std::uint16_t>(biased_exponent);
  std::memcpy(&x, &significand, 8);
  std::memcpy(reinterpret_cast<char*>(&x) + 8, &top, 2);
  return x;
}

// A value for messages (a conversion to double could overflow).
std::string Shown(long double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%.21Lg", x);
  return text;
}

void ExpectSameOrder(long double s, long double observed, const StatisticBounds& bounds) {
  ASSERT_EQ(CompareWithBounds(s, observed, bounds), CompareStatistic(s, observed))
      << Shown(s) << " against " << Shown(observed);
}

// Every value within a few thousand steps of each bound and of each edge of
// the tie, and values far off, decide as the tie test does.
void ExpectMarginsAgreeAround(long double observed) {
  StatisticBounds bounds = BoundsAround(observed);
  constexpr long double kTie = 1e-12L;
  for (long double centre : {bounds.below, bounds.above, observed, observed * (1 - kTie), observed * (1 + kTie),
                             observed / (1 + kTie), observed / (1 - kTie)}) {
    if (!std::isfinite(centre)) continue;
    long double down = centre;
    long double up = centre;
    for (int step = 0; step < 3000 && !testing::Test::HasFailure(); ++step) {
      ExpectSameOrder(down, observed, bounds);
      ExpectSameOrder(up, observed, bounds);
      down = std::nextafter(down, -std::numeric_limits<long double>::infinity());
      up = std::nextafter(up, std::numeric_limits<long double>::infinity());
    }
  }
  for (long double s : {0.0L, -0.0L, observed * 2, observed / 2, observed * 1e-30L, -observed, 1e300L, -1.0L}) {
    ExpectSameOrder(s, observed, bounds);
  }
}

TEST(ListingClassificationTest, MarginsDecideAsTheTieTest) {
  for (long double observed : {0.0L, 1.0L, 0.5925925925925925926L, 4.0L, 1e-12L, 1e-300L, 6e-1755L, 1.5e4000L,
                               1234.5678L, 0x1p-16000L, 0x1p16000L}) {
    SCOPED_TRACE(Shown(observed));
    ExpectMarginsAgreeAround(observed);
  }
  Random random;
  for (int i = 0; i < 300 && !HasFailure(); ++i) {
    // Statistics of the programs' range: 2^-6000 to 2^20.
    int exponent = 16383 - 6000 + static_cast<int>(random.Next() % 6020);
    long double observed = FromFields(exponent, random.Next() | (std::uint64_t{1} << 63));
    SCOPED_TRACE(Shown(observed));
    ExpectMarginsAgreeAround(observed);
  }
}

// Where the margins would not be safe, every value goes to the tie test.
TEST(ListingClassificationTest, ObservedValuesOutsideTheSafeRangeUseTheTieTestAlone) {
  for (long double observed : {-1.0L, 0x1p-16001L, 0x1p-16440L, 0x1p16001L, std::numeric_limits<long double>::max()}) {
    StatisticBounds bounds = BoundsAround(observed);
    EXPECT_EQ(bounds.below, -std::numeric_limits<long double>::infinity());
    EXPECT_EQ(bounds.above, std::numeric_limits<long double>::infinity());
  }
}

// --- the result file while the listing is written ---------------------------

std::string Report(const std::string& kind, const std::string& message) {
  return kind + " がモジュール kernel_test の XXXXXXXX で発生しました。\r\n" + message + ".\r\n\r\n";
}

constexpr char kOpening[] = "\r\n       3,       1,       4\r\n\r\nChi2_0,   1.00000\r\n\r\n";

// Each test runs in its own folder, the console output on standard error.
class ListingFileTest : public testing::Test {
 protected:
  void SetUp() override {
    SelectCodesetByName("UTF-8");
    char pattern[] = "/tmp/listing-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ResetTextStreams(STDIN_FILENO, STDERR_FILENO);
    WriteOutcomeRows = true;
  }

  void TearDown() override {
    ResetTextStreams(STDIN_FILENO, STDOUT_FILENO);
    fs::remove_all(dir_);
  }

  // Creates the result file (path, or the named device) and writes the
  // opening blocks.
  void Open(const std::string& path) {
    CreateTextFile(std::u16string(path.begin(), path.end()));
    IoCheck();
    WriteText(ResultFile, u"\r\n       3,       1,       4");
    WriteLineEnd(ResultFile);
    WriteLineEnd(ResultFile);
    WriteText(ResultFile, u"Chi2_0,   1.00000");
    WriteLineEnd(ResultFile);
    WriteLineEnd(ResultFile);
    IoCheck();
  }

  fs::path dir_;
};

// Lists `rows` outcomes of about 90 bytes each.
void ListRows(int rows) {
  static long double probability[kMaxRun], chi2[kMaxRun], lr[kMaxRun];
  for (int i = 0; i < kMaxRun; ++i) {
    probability[i] = 1.0L / (i + 3);
    chi2[i] = i * 0.25L;
    lr[i] = 1.0L / (i + 1);
  }
  while (rows > 0) {
    int count = rows < kMaxRun ? rows : kMaxRun;
    ListRun(count, probability, chi2, lr, [](int i, char* out) { return AppendCellField(i, out); });
    rows -= count;
  }
}

// The listing written again after the enumeration, for EndListing.
void Relist() {
  WriteText(ResultFile, u"x1,,p,chi2,chi2>chi2_0,LR<LR_0,LR");
  WriteLineEnd(ResultFile);
  ListRows(3000);
}

TEST_F(ListingFileTest, RowsFormTheSameBytesAsTheirPieces) {
  Open((dir_ / "r.csv").string());
  BeginListing(2, 0.5L, 0.25L);
  WriteText(ResultFile, u"n,,p,chi2,chi2>Chi2_0,LR<LR_0,LR");
  WriteLineEnd(ResultFile);
  long double probability[2] = {0.03125L, 1.0L / 3};
  long double chi2[2] = {0.5L, 12.25L};
  long double lr[2] = {0.25L, 0x1p-117L};
  ListRun(2, probability, chi2, lr, [](int i, char* out) { return AppendCellField(i == 0 ? 7 : -123456789, out); });
  PValues results = EndListing(Relist);
  CloseTextFile(ResultFile);
  IoCheck();
  EXPECT_EQ(ReadWholeFile(dir_ / "r.csv"),
            std::string(kOpening) + "\r\n# of solutions,,                               2\r\n\r\n" +
                "n,,p,chi2,chi2>Chi2_0,LR<LR_0,LR\r\n" +
                "       7,, 3.12500000000000E-0002,    0.5000,=,=, 0.25000000000000000\r\n" +
                "-123456789,, 3.33333333333333E-0001,   12.2500,*,*, 6.01853107621E-0036\r\n");
  EXPECT_EQ(results.p_chi2, 0.03125L + 1.0L / 3);
  EXPECT_EQ(results.mid_p_chi2, 0.03125L / 2 + 1.0L / 3);
}

// A failure while the outcomes are listed (here the console's) leaves the
// file with its opening blocks, whether or not rows had reached the file.
TEST_F(ListingFileTest, AFailureDuringTheListingLeavesTheOpeningBlocks) {
  for (int rows : {10, 3000}) {
    SCOPED_TRACE(rows);
    std::string path = (dir_ / ("r" + std::to_string(rows) + ".csv")).string();
    EXPECT_EXIT(
        {
          Open(path);
          BeginListing(rows, 1.0L, 0.5L);
          WriteText(ResultFile, u"x1,,p,chi2,chi2>chi2_0,LR<LR_0,LR");
          WriteLineEnd(ResultFile);
          ListRows(rows);
          textstream_internal::pending_io_code = 1032;
          IoCheck();
        },
        ExitedWithCode(1), testing::ResultOf(MaskLocation, Report("EInOutError", "I/O エラー 1032")));
    EXPECT_EQ(ReadWholeFile(path), kOpening);
  }
  // An arithmetic fault likewise.
  std::string path = (dir_ / "fault.csv").string();
  EXPECT_EXIT(
      {
        Open(path);
        BeginListing(3000, 1.0L, 0.5L);
        ListRows(3000);
        Factorial(1755);
      },
      ExitedWithCode(1), testing::ResultOf(MaskLocation, Report("EOverflow", "浮動小数点数のオーバーフロー")));
  EXPECT_EQ(ReadWholeFile(path), kOpening);
}

// A row that cannot be written is reported when the listing ends, not
// before; the rows after it are dropped. A failure of something else
// before the end still leaves the opening blocks.
TEST_F(ListingFileTest, AFailedRowIsHeldUntilTheListingEnds) {
  EXPECT_EXIT(
      {
        Open("/dev/full");
        BeginListing(3000, 1.0L, 0.5L);
        ListRows(3000);
        if (PendingIoCode() != 0 || ResultFile.position != 0) std::exit(3);
        WriteText(ConsoleOutput, u"still running");
        WriteLineEnd(ConsoleOutput);
        IoCheck();
        EndListing(Relist);
        std::exit(4);
      },
      ExitedWithCode(1), testing::ResultOf(MaskLocation, "still running\r\n" + Report("EInOutError", "I/O エラー 112")));

  std::string path = (dir_ / "limited.csv").string();
  EXPECT_EXIT(
      {
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 100000;
        setrlimit(RLIMIT_FSIZE, &limit);
        Open(path);
        BeginListing(3000, 1.0L, 0.5L);
        ListRows(3000);
        if (PendingIoCode() != 0) std::exit(3);
        textstream_internal::pending_io_code = 1032;
        IoCheck();
      },
      ExitedWithCode(1), testing::ResultOf(MaskLocation, Report("EInOutError", "I/O エラー 1032")));
  EXPECT_EQ(ReadWholeFile(path), kOpening);
}

// A row that cannot be written takes the file back to its opening blocks
// at once; after the enumeration the listing is written again and fails
// where the listing written then fails, here at the file-size limit: the
// file holds the limit's worth of the listing, as if it had been written
// only then.
TEST_F(ListingFileTest, AfterAFailedRowTheListingIsWrittenAgain) {
  std::string whole = (dir_ / "whole.csv").string();
  Open(whole);
  BeginListing(3000, 1.0L, 0.5L);
  Relist();
  EndListing(Relist);
  CloseTextFile(ResultFile);
  IoCheck();

  std::string path = (dir_ / "limited.csv").string();
  EXPECT_EXIT(
      {
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 100000;
        setrlimit(RLIMIT_FSIZE, &limit);
        Open(path);
        BeginListing(3000, 1.0L, 0.5L);
        Relist();
        // Back at the opening blocks, nothing of the rows on disk.
        if (PendingIoCode() != 0 || ResultFile.position != sizeof kOpening - 1) std::exit(3);
        struct stat info;
        if (fstat(ResultFile.handle, &info) != 0 || info.st_size != 0) std::exit(4);
        EndListing(Relist);
        std::exit(5);
      },
      ExitedWithCode(1), testing::ResultOf(MaskLocation, Report("EInOutError", "I/O エラー 1027")));
  EXPECT_EQ(ReadWholeFile(path), ReadWholeFile(whole).substr(0, 100000));
}

// Interrupted while the outcomes are listed, a run leaves the file as it
// would have been without the rows: the opening blocks were still in the
// buffer, so nothing. Afterwards an interruption keeps the rows written.
TEST_F(ListingFileTest, AnInterruptionDuringTheListingLeavesNoRows) {
  std::string path = (dir_ / "r.csv").string();
  EXPECT_EXIT(
      {
        Open(path);
        BeginListing(3000, 1.0L, 0.5L);
        ListRows(3000);
        raise(SIGTERM);
      },
      testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(ReadWholeFile(path), "");
  EXPECT_EXIT(
      {
        Open(path);
        BeginListing(3000, 1.0L, 0.5L);
        ListRows(3000);
        EndListing(Relist);
        raise(SIGINT);
      },
      testing::KilledBySignal(SIGINT), "");
  // The whole blocks handed over; the buffer's rest is lost.
  EXPECT_EQ(ReadWholeFile(path).size(), 3u * 65536);
}

// Once the listing has ended, a failure keeps what the file has received.
TEST_F(ListingFileTest, AfterTheListingAFailureKeepsTheRows) {
  std::string path = (dir_ / "r.csv").string();
  EXPECT_EXIT(
      {
        Open(path);
        BeginListing(3000, 1.0L, 0.5L);
        ListRows(3000);
        EndListing(Relist);
        WriteText(ResultFile, u"tail");
        textstream_internal::pending_io_code = 1032;
        IoCheck();
      },
      ExitedWithCode(1), testing::ResultOf(MaskLocation, Report("EInOutError", "I/O エラー 1032")));
  std::string file = ReadWholeFile(path);
  EXPECT_EQ(file.substr(0, sizeof kOpening - 1), kOpening);
  EXPECT_GT(file.size(), 200000u);
  EXPECT_EQ(file.substr(file.size() - 4), "tail");
}

}  // namespace
