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

// Links followed before a name counts as a loop: the kernel's own limit.
constexpr int kMaxLinks = 40;

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

std::string LastComponent(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Joined(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

// What a name for output writes to, where that is one regular file: its
// device and inode when it exists, its folder's real path and its name
// when it is still to be made. Unknown for anything else (standard output
// that is not a file, a folder, a device, a name that cannot be followed).
struct FileIdentity {
  bool known = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string to_create;  // empty for an existing file
};

FileIdentity ExistingIdentity(const struct stat& status) {
  FileIdentity identity;
  if (S_ISREG(status.st_mode)) {
    identity.known = true;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
  }
  return identity;
}

FileIdentity IdentityOf(const std::string& path) {
  struct stat status {};
  if (path == "-") return fstat(STDOUT_FILENO, &status) == 0 ? ExistingIdentity(status) : FileIdentity{};
  std::string target;
  if (FollowLinks(path, target) != 0) return {};
  if (stat(target.c_str(), &status) == 0) return ExistingIdentity(status);
  char folder[PATH_MAX];
  if (errno != ENOENT || realpath(FolderOf(target).c_str(), folder) == nullptr) return {};
  FileIdentity identity;
  identity.known = true;
  identity.to_create = Joined(folder, LastComponent(target));
  return identity;
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

int FollowLinks(const std::string& path, std::string& target) {
  target = path;
  for (int links = 0;; ++links) {
    struct stat status {};
    if (lstat(target.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(status.st_mode)) return 0;
    if (links == kMaxLinks) return ELOOP;
    char next[PATH_MAX];
    ssize_t length = readlink(target.c_str(), next, sizeof next);
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) == sizeof next) return ENAMETOOLONG;
    std::string link(next, static_cast<std::size_t>(length));
    // A relative link is read from the folder that holds it.
    target = link.starts_with('/') ? link : Joined(FolderOf(target), link);
  }
}

bool WriteTheSameFile(const std::string& a, const std::string& b) {
  FileIdentity first = IdentityOf(a);
  FileIdentity second = IdentityOf(b);
  if (!first.known || !second.known || first.to_create.empty() != second.to_create.empty()) return false;
  if (!first.to_create.empty()) return first.to_create == second.to_create;
  return first.device == second.device && first.inode == second.inode;
}

OutputFile::OutputFile(std::string path, bool open_file) : path_(std::move(path)), open_file_(open_file) {
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
    write_path_ = "/dev/stdout";
    return;
  }
  std::string target;
  if (int error = FollowLinks(path_, target); error != 0) ThrowCannotWrite(Quoted(path_), error);
  struct stat status {};
  if (stat(target.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) ThrowCannotWrite(Quoted(path_), EISDIR);
    if (!S_ISREG(status.st_mode)) {
      write_path_ = path_;
      if (open_file) {
        fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) ThrowCannotWrite(Quoted(path_), errno);
      }
      return;
    }
    // What the shell's '>' refuses (a read-only file, a read-only file
    // system) is refused before anything is written.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) ThrowCannotWrite(Quoted(path_), errno);
    replaces_ = true;
    old_mode_ = status.st_mode & 0777;
    old_owner_ = status.st_uid;
    old_group_ = status.st_gid;
  } else if (errno != ENOENT) {
    ThrowCannotWrite(Quoted(path_), errno);
  }
  std::string name = Joined(FolderOf(target), ".exact-tests-XXXXXX");
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

void OutputFile::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!temporary_) {
    if (fd_ >= 0 && fd_ != STDOUT_FILENO) {
      int result = close(fd_);
      fd_ = -1;
      if (result != 0 && errno != EINTR) ThrowCannotWrite(Quoted(path_), errno);
    }
    return;
  }
  // The temporary file was made with mode 0600, by the user. The file it
  // replaces keeps its owner and group where the user may give them (root
  // may; others may give a group of their own), and otherwise becomes the
  // user's; its permission bits are kept either way.
  if (replaces_) {
    struct stat now {};
    if (fstat(fd_, &now) == 0 && (now.st_uid != old_owner_ || now.st_gid != old_group_) &&
        fchown(fd_, old_owner_, old_group_) != 0 && fchown(fd_, static_cast<uid_t>(-1), old_group_) != 0) {
      // Neither: the user's own owner and group stay.
    }
  }
  if (fchmod(fd_, replaces_ ? old_mode_ : CreationMode()) != 0) Abandon(errno);
  int result = close(fd_);
  fd_ = -1;
  if (result != 0 && errno != EINTR) Abandon(errno);
}

void OutputFile::Commit() {
  Finish();
  if (!temporary_ || committed_) return;
  // Put in place and forgotten by the handler as one step.
  InterruptsDeferred deferred;
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
  if (!WriteAll(fd_, std::string_view(data_.get(), used_))) {
    if (errno == EPIPE && fd_ == STDOUT_FILENO) throw StandardOutputGone{};
    ThrowCannotWrite(name_, errno);
  }
  used_ = 0;
}

}  // namespace cli
