#include "cli/output.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "cli/failure.h"
#include "cli/interrupt.h"

namespace cli {
namespace {

// The mode of a file the program creates: what open() with 0666 would give.
mode_t CreationMode() {
  static const mode_t mode = [] {
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

void ThrowCannotWrite(std::string_view what, int error) {
  throw Failure("cannot write " + std::string(what) + ": " + std::strerror(error));
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t written = write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd wait{fd, POLLOUT, 0};
        poll(&wait, 1, -1);
        continue;
      }
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

OutputFile::OutputFile(std::string path, bool open_file) : path_(std::move(path)) {
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
    write_path_ = "/dev/stdout";
    return;
  }
  std::string target = path_;
  struct stat status {};
  if (stat(path_.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) ThrowCannotWrite(Quoted(path_), EISDIR);
    if (!S_ISREG(status.st_mode)) {
      write_path_ = path_;
      if (open_file) {
        fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) ThrowCannotWrite(Quoted(path_), errno);
      }
      return;
    }
    struct stat link {};
    if (lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      char resolved[PATH_MAX];
      if (realpath(path_.c_str(), resolved) != nullptr) target = resolved;
    }
  }
  std::string name = FolderOf(target) + "/.exact-tests-XXXXXX";
  {
    InterruptsDeferred deferred;  // until the handler knows of the file
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) ThrowCannotWrite(Quoted(path_), errno);
    temporary_ = true;
    write_path_ = name;
    target_ = target;
    slot_ = HoldTemporary(name.c_str());
  }
  if (slot_ < 0) Abandon(ENAMETOOLONG);
  if (!open_file) {
    close(fd_);
    fd_ = -1;
  }
}

void OutputFile::Abandon(int error) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  unlink(write_path_.c_str());
  ReleaseTemporary(slot_);
  temporary_ = false;
  ThrowCannotWrite(Quoted(path_), error);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0 && fd_ != STDOUT_FILENO) close(fd_);
  if (temporary_ && !committed_) {
    unlink(write_path_.c_str());
    ReleaseTemporary(slot_);
  }
}

void OutputFile::Commit() {
  if (fd_ >= 0 && fd_ != STDOUT_FILENO) {
    int result = close(fd_);
    fd_ = -1;
    if (result != 0 && errno != EINTR) ThrowCannotWrite(Quoted(path_), errno);
  }
  if (!temporary_) return;
  // Created by mkstemp with mode 0600, or by a writer that opened it by name.
  if (chmod(write_path_.c_str(), CreationMode()) != 0) Abandon(errno);
  if (rename(write_path_.c_str(), target_.c_str()) != 0) Abandon(errno);
  committed_ = true;
  ReleaseTemporary(slot_);
}

BufferedWriter::BufferedWriter(int fd, std::string name)
    : fd_(fd), name_(std::move(name)), data_(new char[kCapacity]) {}

void BufferedWriter::Append(std::string_view text) {
  while (!text.empty()) {
    std::size_t part = std::min(text.size(), kCapacity);
    char* at = Room(part);
    std::memcpy(at, text.data(), part);
    Advance(at + part);
    text.remove_prefix(part);
  }
}

void BufferedWriter::Drain() {
  if (used_ == 0) return;
  if (!WriteAll(fd_, std::string_view(data_.get(), used_))) ThrowCannotWrite(name_, errno);
  used_ = 0;
}

}  // namespace cli
