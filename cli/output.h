// Files the command-line mode writes, and a large buffer in front of them.
// A file named by the user is never left looking complete after a failure:
// it is written under a temporary name in its own folder and renamed over
// the name given only when the run has succeeded.
#ifndef CLI_OUTPUT_H_
#define CLI_OUTPUT_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace cli {

/// Writes all of data to fd, through short writes, EINTR and a non-blocking
/// descriptor; false with errno set on failure.
bool WriteAll(int fd, std::string_view data);

/// Thrown when standard output is a pipe whose reader has gone (EPIPE): the
/// run then ends quietly, as a broken pipe ends it (EndAsBrokenPipe).
struct StandardOutputGone {};

/// The file a name writes to: the name with the symbolic links of its last
/// component followed, as open() follows them, so that a link to nothing
/// names the file to be created. Returns 0, or the errno that stops the
/// walk (ELOOP for a loop of links).
int FollowLinks(const std::string& path, std::string& target);

/// Whether two names given for output (or "-", standard output) would
/// write one regular file: the same device and inode where it exists, the
/// same folder (by its real path) and name where it is still to be made,
/// links followed.
bool WriteTheSameFile(const std::string& a, const std::string& b);

/// A file to be written. "-" is standard output. An existing file that is
/// not a regular file (a terminal, a pipe, /dev/null) is written in place.
/// Anything else is created under a temporary name in the same folder,
/// removed if the object goes away uncommitted or the run is interrupted,
/// and renamed over the name given by Commit. A symbolic link is followed:
/// the file it leads to is replaced, or created when there is none.
/// A file replaced keeps its permission bits, and its owner and group as
/// far as the user may set them; one the user may not write is refused,
/// as the shell's '>' refuses it. Links to the old file keep its contents.
class OutputFile {
 public:
  /// Throws Failure naming path when it cannot be written. When open_file
  /// is false the temporary file is created for a writer that opens it by
  /// name (write_path()); fd() is then -1.
  explicit OutputFile(std::string path, bool open_file = true);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  int fd() const { return open_file_ ? fd_ : -1; }
  /// The name given, for messages.
  const std::string& path() const { return path_; }
  /// Where the bytes go: the temporary file, or the name given.
  const std::string& write_path() const { return write_path_; }
  /// Closes the file and gives the temporary file the mode, owner and
  /// group it will keep: everything that can fail before it is put in
  /// place. Throws Failure.
  void Finish();
  /// Finish, if not done, then puts the file in place. Throws Failure.
  void Commit();

 private:
  // Removes the temporary file and throws Failure for error.
  [[noreturn]] void Abandon(int error);

  std::string path_;
  std::string write_path_;
  std::string target_;  // what the temporary file replaces
  int fd_ = -1;
  int slot_ = -1;  // the interrupt handler's slot of the temporary file
  bool open_file_ = true;
  bool temporary_ = false;
  bool finished_ = false;
  bool committed_ = false;
  // The file replaced, when there is one: what the new one keeps of it.
  bool replaces_ = false;
  mode_t old_mode_ = 0;
  uid_t old_owner_ = 0;
  gid_t old_group_ = 0;
};

/// A megabyte of buffer in front of a file descriptor. Room(n) makes room
/// for n bytes and returns where they go; Advance(end) keeps what was
/// written up to end. Errors throw Failure naming the destination, or
/// StandardOutputGone for standard output without a reader.
class BufferedWriter {
 public:
  BufferedWriter(int fd, std::string name);
  char* Room(std::size_t n) {
    if (kCapacity - used_ < n) Drain();
    return data_.get() + used_;
  }
  void Advance(char* end) { used_ = static_cast<std::size_t>(end - data_.get()); }
  void Append(std::string_view text);
  /// Writes out what is buffered.
  void Flush() { Drain(); }

  static constexpr std::size_t kCapacity = std::size_t{1} << 20;

 private:
  void Drain();
  int fd_;
  std::string name_;
  std::unique_ptr<char[]> data_;
  std::size_t used_ = 0;
};

}  // namespace cli

#endif  // CLI_OUTPUT_H_
