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

mode_t ModeOf(const fs::path& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

void Replace(const fs::path& path, std::string_view text) {
  OutputFile file(path);
  ASSERT_TRUE(WriteAll(file.fd(), text));
  file.Commit();
}

TEST_F(OutputTest, AReplacedFileKeepsItsModeAndItsOtherLinksTheOldContents) {
  for (mode_t mode : {0600, 0640, 0604, 0444 | 0200}) {
    Write(dir_ / "l.csv", "old\n");
    ASSERT_EQ(chmod((dir_ / "l.csv").c_str(), mode), 0);
    Replace(dir_ / "l.csv", "new\n");
    EXPECT_EQ(Read(dir_ / "l.csv"), "new\n");
    EXPECT_EQ(ModeOf(dir_ / "l.csv"), mode) << std::oct << mode;
  }
  // The picture's file, opened by its writer by name, keeps it too.
  ASSERT_EQ(chmod((dir_ / "l.csv").c_str(), 0620), 0);
  {
    OutputFile picture(dir_ / "l.csv", false);
    Write(picture.write_path(), "picture\n");
    picture.Commit();
  }
  EXPECT_EQ(ModeOf(dir_ / "l.csv"), 0620u);
  EXPECT_EQ(Read(dir_ / "l.csv"), "picture\n");

  // Replaced by rename: a hard link to the old file keeps the old bytes.
  fs::create_hard_link(dir_ / "l.csv", dir_ / "hard.csv");
  Replace(dir_ / "l.csv", "newer\n");
  EXPECT_EQ(Read(dir_ / "l.csv"), "newer\n");
  EXPECT_EQ(Read(dir_ / "hard.csv"), "picture\n");
}

TEST_F(OutputTest, FinishedButNotCommittedLeavesTheOldFile) {
  Write(dir_ / "l.csv", "old\n");
  {
    OutputFile file(dir_ / "l.csv");
    ASSERT_TRUE(WriteAll(file.fd(), "new\n"));
    file.Finish();
    EXPECT_EQ(Read(dir_ / "l.csv"), "old\n");
    EXPECT_EQ(Read(file.write_path()), "new\n");
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"});
  EXPECT_EQ(Read(dir_ / "l.csv"), "old\n");
}

TEST_F(OutputTest, LinksAreFollowedToTheFileTheyNameWhichIsMadeWhenMissing) {
  // A link to nothing: the file it names is made, the link stays.
  fs::create_symlink("made.csv", dir_ / "dangling.csv");
  Replace(dir_ / "dangling.csv", "new\n");
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.csv"));
  EXPECT_EQ(Read(dir_ / "made.csv"), "new\n");
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(dir_ / "made.csv"), 0666 & ~mask);

  // A relative link is read from its own folder, through a chain of links.
  fs::create_directories(dir_ / "a" / "b");
  fs::create_symlink("../c.csv", dir_ / "a" / "b" / "link.csv");
  fs::create_symlink("a/b/link.csv", dir_ / "first.csv");
  Replace(dir_ / "first.csv", "chained\n");
  EXPECT_EQ(Read(dir_ / "a" / "c.csv"), "chained\n");
  EXPECT_TRUE(fs::is_symlink(dir_ / "first.csv"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "a" / "b" / "link.csv"));

  // A loop fails, as the shell's '>' does; so does a link into a missing
  // folder. Neither leaves a file.
  fs::create_symlink("loop2", dir_ / "loop1");
  fs::create_symlink("loop1", dir_ / "loop2");
  std::string loop = dir_ / "loop1";
  EXPECT_EQ(FailureOf([&] { OutputFile file(loop); }), "cannot write '" + loop + "': Too many levels of symbolic links");
  fs::create_symlink("nowhere/x.csv", dir_ / "astray.csv");
  std::string astray = dir_ / "astray.csv";
  EXPECT_EQ(FailureOf([&] { OutputFile file(astray); }), "cannot write '" + astray + "': No such file or directory");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "astray.csv", "dangling.csv", "first.csv", "loop1", "loop2",
                                               "made.csv"}));

  std::string target;
  EXPECT_EQ(FollowLinks(dir_ / "first.csv", target), 0);
  EXPECT_EQ(fs::canonical(target), fs::canonical(dir_ / "a" / "c.csv"));
  EXPECT_EQ(FollowLinks(loop, target), ELOOP);
}

TEST_F(OutputTest, OneFileIsRecognisedHoweverItIsNamed) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  Write("l.csv", "old\n");
  fs::create_symlink("l.csv", "soft.csv");
  fs::create_hard_link("l.csv", "hard.csv");
  fs::create_symlink("new.csv", "to-new.csv");
  fs::create_directory("sub");
  const std::string absolute = (dir_ / "l.csv").string();
  const std::vector<std::pair<std::string, std::string>> same = {
      {"l.csv", "./l.csv"}, {"l.csv", absolute}, {"soft.csv", "l.csv"}, {"hard.csv", "l.csv"},
      {"hard.csv", "soft.csv"}, {"new.csv", "./new.csv"}, {"sub/../new.csv", "new.csv"},
      {"to-new.csv", "new.csv"}, {(dir_ / "sub" / ".." / "x").string(), "x"}};
  for (const auto& [a, b] : same) EXPECT_TRUE(WriteTheSameFile(a, b)) << a << " and " << b;
  const std::vector<std::pair<std::string, std::string>> apart = {
      {"l.csv", "new.csv"}, {"new.csv", "sub/new.csv"}, {"l.csv", "sub"}, {"/dev/null", "/dev/null"},
      {"nowhere/x", "nowhere/x"}, {"to-new.csv", "l.csv"}};
  for (const auto& [a, b] : apart) EXPECT_FALSE(WriteTheSameFile(a, b)) << a << " and " << b;
  fs::current_path(previous);
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
  EXPECT_EXIT(raise(SIGHUP), testing::ExitedWithCode(129), "");
  // Once the files are being put in place, the run is no longer
  // interrupted: it goes on to its own end.
  EXPECT_EXIT(
      {
        OutputFile listing(dir_ / "l.csv");
        WriteAll(listing.fd(), "new\n");
        listing.Finish();
        HoldInterruptsToTheEnd();
        raise(SIGINT);
        raise(SIGTERM);
        listing.Commit();
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(Read(dir_ / "l.csv"), "new\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"l.csv"});
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
}

TEST_F(OutputTest, AReaderThatHasGoneIsABrokenPipeOnStandardOutputAndAFailureElsewhere) {
  signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  EXPECT_EQ(FailureOf([&] {
              BufferedWriter out(ends[1], "'fifo'");
              out.Append("x");
              out.Flush();
            }),
            "cannot write 'fifo': Broken pipe");
  EXPECT_EXIT(
      {
        dup2(ends[1], STDOUT_FILENO);
        try {
          BufferedWriter out(STDOUT_FILENO, "standard output");
          out.Append("x");
          out.Flush();
        } catch (const StandardOutputGone&) {
          EndAsBrokenPipe();
        }
        std::exit(0);
      },
      testing::KilledBySignal(SIGPIPE), "");
  close(ends[1]);
  signal(SIGPIPE, SIG_DFL);
}

}  // namespace
}  // namespace cli
