// A full or read-only file system without mounting one: loaded into a
// program with LD_PRELOAD, this takes over open(2) and write(2) for the
// files in one folder, which then behaves as a file system of its own.
//
//   FAULT_DIR=FOLDER     the folder (an absolute path without links)
//   FAULT_ROOM=BYTES     the room left in it: a write that does not fit
//                        writes what fits and returns that count; a write
//                        with no room left fails with ENOSPC, as the kernel
//                        does on a full file system
//   FAULT_OPEN_ERRNO=N   opening a file there for writing fails with errno
//                        N (28, ENOSPC: no inode left; 30, EROFS: mounted
//                        read-only)
//   FAULT_READ_AFTER=BYTES standard input gives that many bytes, and every
//                        read of it after them fails with EIO, as a disk or
//                        a line that has gone away does (no FAULT_DIR needed)
//   FAULT_MADE_MEANWHILE=PATH  another program makes PATH (as open(2) is
//                        given it) just before the program creates it: the
//                        file appears holding "made meanwhile\n" between the
//                        program's test for it and its open(2) with O_CREAT
//   FAULT_RENAME_DELAY_US=N    rename(2) waits N microseconds first, so
//                        that a signal sent at a random moment often falls
//                        among a run's renames
//
// Cutting a file there short with ftruncate(2) gives its bytes back to the
// room, as a file system frees the blocks of a shortened file.
//
// The programs write with write(2) only (no writev, no stdio), and open
// their result file with open(2). A file counts as in the folder by the
// path its descriptor names in /proc/self/fd, so a standard stream
// redirected into the folder counts too. Only this process's writes take
// room; the folder's earlier files take none.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace {

using ReadFunction = ssize_t (*)(int, void*, size_t);
using WriteFunction = ssize_t (*)(int, const void*, size_t);
using OpenFunction = int (*)(const char*, int, ...);
using TruncateFunction = int (*)(int, off_t);

// Room left in bytes; kUnlimited without FAULT_ROOM, kUnread before the
// first write. The programs are single-threaded.
constexpr long long kUnread = -2;
constexpr long long kUnlimited = -1;
long long room = kUnread;
WriteFunction next_write = nullptr;
// Bytes standard input still gives; the same two marks as the room.
long long input_left = kUnread;
ReadFunction next_read = nullptr;

// Whether path (absolute) lies in FAULT_DIR.
bool InFolder(const char* path) {
  const char* folder = getenv("FAULT_DIR");
  if (folder == nullptr || folder[0] != '/') return false;
  size_t length = strlen(folder);
  while (length > 1 && folder[length - 1] == '/') --length;
  return strncmp(path, folder, length) == 0 && (path[length] == '/' || path[length] == '\0');
}

bool DescriptorInFolder(int fd) {
  char link[40];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  ssize_t n = readlink(link, target, sizeof target - 1);
  if (n < 0) return false;
  target[n] = '\0';
  return InFolder(target);
}

// path made absolute against the working folder (no links resolved: the
// programs name their result file relative to it).
bool PathInFolder(const char* path) {
  if (path[0] == '/') return InFolder(path);
  char absolute[PATH_MAX];
  if (getcwd(absolute, sizeof absolute) == nullptr) return false;
  size_t used = strlen(absolute);
  int length = snprintf(absolute + used, sizeof absolute - used, "/%s", path);
  return length < static_cast<int>(sizeof absolute - used) && InFolder(absolute);
}

long long Room() {
  if (room == kUnread) {
    const char* text = getenv("FAULT_ROOM");
    room = text == nullptr ? kUnlimited : strtoll(text, nullptr, 10);
    if (room < 0) room = kUnlimited;
  }
  return room;
}

int RefusedOpen(const char* path, int flags) {
  const char* text = getenv("FAULT_OPEN_ERRNO");
  if (text == nullptr || (flags & (O_WRONLY | O_RDWR | O_CREAT)) == 0) return 0;
  return PathInFolder(path) ? atoi(text) : 0;
}

int Open(const char* name, const char* path, int flags, va_list arguments) {
  mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(arguments, mode_t) : 0;
  if (int code = RefusedOpen(path, flags); code != 0) {
    errno = code;
    return -1;
  }
  auto next = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, name));
  const char* made = getenv("FAULT_MADE_MEANWHILE");
  if (made != nullptr && (flags & O_CREAT) != 0 && strcmp(made, path) == 0) {
    int saved = errno;
    int other = next(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (other >= 0) {
      static const char kText[] = "made meanwhile\n";
      if (write(other, kText, sizeof kText - 1) < 0) abort();
      close(other);
    }
    errno = saved;
  }
  return next(path, flags, mode);
}

int Truncate(const char* name, int fd, off_t length) {
  auto next = reinterpret_cast<TruncateFunction>(dlsym(RTLD_NEXT, name));
  struct stat before;
  bool counted = Room() != kUnlimited && DescriptorInFolder(fd) && fstat(fd, &before) == 0;
  int result = next(fd, length);
  if (result == 0 && counted && length < before.st_size) room += before.st_size - length;
  return result;
}

}  // namespace

extern "C" {

int rename(const char* from, const char* to) {
  using RenameFunction = int (*)(const char*, const char*);
  auto next = reinterpret_cast<RenameFunction>(dlsym(RTLD_NEXT, "rename"));
  if (const char* delay = getenv("FAULT_RENAME_DELAY_US")) usleep(static_cast<useconds_t>(atoi(delay)));
  return next(from, to);
}

int ftruncate(int fd, off_t length) { return Truncate("ftruncate", fd, length); }

int ftruncate64(int fd, off_t length) { return Truncate("ftruncate64", fd, length); }

ssize_t write(int fd, const void* bytes, size_t count) {
  if (next_write == nullptr) next_write = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
  if (count == 0 || Room() == kUnlimited || !DescriptorInFolder(fd)) return next_write(fd, bytes, count);
  if (room == 0) {
    errno = ENOSPC;
    return -1;
  }
  if (static_cast<unsigned long long>(room) < count) count = static_cast<size_t>(room);
  ssize_t written = next_write(fd, bytes, count);
  if (written > 0) room -= written;
  return written;
}

ssize_t read(int fd, void* bytes, size_t count) {
  if (next_read == nullptr) next_read = reinterpret_cast<ReadFunction>(dlsym(RTLD_NEXT, "read"));
  if (input_left == kUnread) {
    const char* text = getenv("FAULT_READ_AFTER");
    input_left = text == nullptr ? kUnlimited : strtoll(text, nullptr, 10);
    if (input_left < 0) input_left = kUnlimited;
  }
  if (fd != STDIN_FILENO || count == 0 || input_left == kUnlimited) return next_read(fd, bytes, count);
  if (input_left == 0) {
    errno = EIO;
    return -1;
  }
  if (static_cast<unsigned long long>(input_left) < count) count = static_cast<size_t>(input_left);
  ssize_t got = next_read(fd, bytes, count);
  if (got > 0) input_left -= got;
  return got;
}

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  int fd = Open("open", path, flags, arguments);
  va_end(arguments);
  return fd;
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  int fd = Open("open64", path, flags, arguments);
  va_end(arguments);
  return fd;
}

}  // extern "C"
