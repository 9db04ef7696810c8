#include "plot/write_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace plot {

namespace {

// The path as one line of a message: control characters shown as '?'.
std::string Printable(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

[[noreturn]] void Fail(const std::string& path, int error, bool remove) {
  if (remove) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) unlink(path.c_str());
  }
  throw std::runtime_error(Printable(path) + ": " + std::strerror(error));
}

}  // namespace

void WriteWholeFile(const std::string& path, std::string_view content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail(path, errno, false);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t written = write(fd, content.data() + done, content.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      Fail(path, error, true);
    }
    done += static_cast<std::size_t>(written);
  }
  if (close(fd) != 0 && errno != EINTR) Fail(path, errno, true);
}

}  // namespace plot
