#include "cli/output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/failure.h"
#include "cli/interrupt.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Write(const fs::path& path, std::string_view text) { std::ofstream(path, std::ios::binary) << text; }

std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "";
}

class OutputTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cli-output-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(OutputTest, TheFileAppearsWholeOnlyWhenCommitted) {
  Write(dir_ / "l.csv", "old\n");
  std::string path = dir_ / "l.csv";
  {
    OutputFile file(path);
    EXPECT_NE(file.write_path(), path);
    EXPECT_EQ(fs::path(file.write_path()).parent_path(), dir_);
    ASSERT_TRUE(WriteAll(file.fd(), "new\n"));
    EXPECT_EQ(Read(path), "old\n");
    EXPECT_EQ(Names().size(), 2u);
    file.Commit();
  }
  EXPECT_EQ(Read(path), "new\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"});
  mode_t mask = umask(0);
  umask(mask);
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
}

TEST_F(OutputTest, AFileNotCommittedLeavesNothingAndKeepsTheOldOne) {
  Write(dir_ / "l.csv", "old\n");
  {
    OutputFile file(dir_ / "l.csv");
    ASSERT_TRUE(WriteAll(file.fd(), "partial"));
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"});
  EXPECT_EQ(Read(dir_ / "l.csv"), "old\n");
  {
    OutputFile picture(dir_ / "p.svg", false);  // opened by name by its writer
    EXPECT_EQ(picture.fd(), -1);
    EXPECT_TRUE(fs::exists(picture.write_path()));
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"});
}

TEST_F(OutputTest, FailuresNameTheFileAndTheReason) {
  std::string missing = dir_ / "nowhere" / "l.csv";
  EXPECT_EQ(FailureOf([&] { OutputFile file(missing); }),
            "cannot write '" + missing + "': No such file or directory");
  EXPECT_EQ(FailureOf([&] { OutputFile file(dir_.string()); }),
            "cannot write '" + dir_.string() + "': Is a directory");
  EXPECT_EQ(FailureOf([&] {
              OutputFile file("/dev/full");
              BufferedWriter out(file.fd(), "'/dev/full'");
              out.Append("x");
              out.Flush();
            }),
            "cannot write '/dev/full': No space left on device");
  if (geteuid() != 0) {
    fs::create_directory(dir_ / "locked");
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(FailureOf([&] { OutputFile file(dir_ / "locked" / "l.csv"); }),
              "cannot write '" + (dir_ / "locked" / "l.csv").string() + "': Permission denied");
    fs::permissions(dir_ / "locked", fs::perms::owner_all);
  }
}

TEST_F(OutputTest, DevicesAreWrittenInPlaceAndLinksFollowed) {
  {
    OutputFile file("/dev/null");
    EXPECT_EQ(file.write_path(), "/dev/null");
    EXPECT_TRUE(WriteAll(file.fd(), "gone"));
    file.Commit();
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  Write(dir_ / "target.csv", "old\n");
  fs::create_symlink("target.csv", dir_ / "link.csv");
  {
    OutputFile file(dir_ / "link.csv");
    ASSERT_TRUE(WriteAll(file.fd(), "new\n"));
    file.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.csv"));
  EXPECT_EQ(Read(dir_ / "target.csv"), "new\n");

  OutputFile standard_output("-");
  EXPECT_EQ(standard_output.fd(), STDOUT_FILENO);
}

TEST_F(OutputTest, BufferedWriterKeepsLongTextWhole) {
  std::string text;
  for (int i = 0; text.size() < 3 * BufferedWriter::kCapacity; ++i) text += std::to_string(i) + '\n';
  {
    OutputFile file(dir_ / "long.txt");
    BufferedWriter out(file.fd(), "long");
    out.Append(text.substr(0, 10));
    out.Append(text.substr(10));
    out.Flush();
    file.Commit();
  }
  EXPECT_EQ(Read(dir_ / "long.txt"), text);
}

TEST_F(OutputTest, AnInterruptRemovesTheTemporaryFilesAndEndsWith130) {
  InstallInterruptHandlers();
  Write(dir_ / "l.csv", "old\n");
  EXPECT_EXIT(
      {
        OutputFile listing(dir_ / "l.csv");
        OutputFile picture(dir_ / "p.svg", false);
        WriteAll(listing.fd(), "partial");
        raise(SIGINT);
      },
      testing::ExitedWithCode(130), "");
  EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"});
  EXPECT_EQ(Read(dir_ / "l.csv"), "old\n");
  EXPECT_EXIT(raise(SIGTERM), testing::ExitedWithCode(143), "");
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
}

}  // namespace
}  // namespace cli
