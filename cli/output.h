// Files the command-line mode writes, and a large buffer in front of them.
// A file named by the user is never left looking complete after a failure:
// it is written under a temporary name in its own folder and renamed over
// the name given only when the run has succeeded.
#ifndef CLI_OUTPUT_H_
#define CLI_OUTPUT_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace cli {

/// Writes all of data to fd, through short writes, EINTR and a non-blocking
/// descriptor; false with errno set on failure.
bool WriteAll(int fd, std::string_view data);

/// A file to be written. "-" is standard output. An existing file that is
/// not a regular file (a terminal, a pipe, /dev/null) is written in place.
/// Anything else is created under a temporary name in the same folder,
/// removed if the object goes away uncommitted or the run is interrupted,
/// and renamed over the name given by Commit, replacing any file there;
/// a symbolic link to a regular file is followed and its target replaced.
class OutputFile {
 public:
  /// Throws Failure naming path when it cannot be written. When open_file
  /// is false the temporary file is created and closed again, for a writer
  /// that opens it by name (write_path()).
  explicit OutputFile(std::string path, bool open_file = true);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  int fd() const { return fd_; }
  /// The name given, for messages.
  const std::string& path() const { return path_; }
  /// Where the bytes go: the temporary file, or the name given.
  const std::string& write_path() const { return write_path_; }
  /// Closes the file and puts it in place. Throws Failure.
  void Commit();

 private:
  // Removes the temporary file and throws Failure for error.
  [[noreturn]] void Abandon(int error);

  std::string path_;
  std::string write_path_;
  std::string target_;  // what the temporary file replaces
  int fd_ = -1;
  int slot_ = -1;        // the interrupt handler's slot of the temporary file
  bool temporary_ = false;
  bool committed_ = false;
};

/// A megabyte of buffer in front of a file descriptor. Room(n) makes room
/// for n bytes and returns where they go; Advance(end) keeps what was
/// written up to end. Errors throw Failure naming the destination.
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
