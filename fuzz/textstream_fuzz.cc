// The console input readers over arbitrary bytes, held against the plain
// model of fuzz/reference.h.
//
// Input: one byte choosing the transport (a file, a pipe, or a packet
// socket that hands the bytes over in uneven chunks, so that reads come back
// short), one byte seeding the sequence of reads, then the bytes of the
// stream. The reads go on until the input is used up; each one must give
// what the model gives, and the stream must stand where the model stands.
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/reference.h"
#include "kernel/textstream.h"

namespace {

[[noreturn]] void Mismatch(const char* what, std::size_t operation, std::size_t at) {
  std::fprintf(stderr, "mismatch in %s: read %zu, model at byte %zu\n", what, operation, at);
  std::abort();
}

// A descriptor from which the stream's bytes can be read, or -1.
int Transport(unsigned char kind, std::string_view bytes, std::uint32_t seed) {
  if (kind % 3 == 1 && bytes.size() <= 16384) {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    bool whole = write(ends[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(ends[1]);
    if (whole) return ends[0];
    close(ends[0]);
    return -1;
  }
  if (kind % 3 == 2 && bytes.size() <= 8192) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends) != 0) return -1;
    int room = 4 << 20;
    setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      seed = seed * 1103515245u + 12345u;
      // A packet longer than a read would be cut short: at most 128 bytes,
      // the size of the stream's buffer.
      std::size_t chunk = 1 + (seed >> 16) % 128;
      if (chunk > bytes.size() - sent) chunk = bytes.size() - sent;
      if (send(ends[0], bytes.data() + sent, chunk, MSG_DONTWAIT) != static_cast<ssize_t>(chunk)) break;
      sent += chunk;
    }
    close(ends[0]);
    if (sent == bytes.size()) return ends[1];
    close(ends[1]);
    return -1;
  }
  int fd = memfd_create("stdin", 0);
  if (fd < 0) return -1;
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// ParseInteger on any bytes at all, control bytes included.
void CheckParse(std::string_view token) {
  std::int32_t value = 0;
  bool parsed = ParseInteger(token, value);
  std::optional<std::int32_t> expected = reference::ParseToken(token);
  if (parsed != expected.has_value()) Mismatch("ParseInteger (malformed or not)", 0, 0);
  if (parsed && value != *expected) Mismatch("ParseInteger (value)", 0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  CheckParse(bytes.substr(0, 40));

  int fd = Transport(data[0], bytes, data[1]);
  if (fd < 0) return 0;
  ResetTextStreams(fd, -1);
  reference::Input model{bytes};
  std::uint32_t script = data[1] * 2654435761u + 1;
  const std::size_t limit = 4 * bytes.size() + 16;
  // Past the end every read must keep giving the end: a few more rounds.
  std::size_t rounds_after_end = 0;
  for (std::size_t op = 0; op < limit && rounds_after_end < 4; ++op) {
    if (model.AtEnd()) ++rounds_after_end;
    script ^= script << 13, script ^= script >> 17, script ^= script << 5;
    switch (script % 4) {
      case 0: {
        std::int32_t value = ReadInteger(ConsoleInput);
        reference::IntegerRead expected = reference::ReadInteger(model);
        bool malformed = PendingIoCode() == 106;
        if (PendingIoCode() != 0 && !malformed) Mismatch("ReadInteger (code)", op, model.at);
        if (malformed != expected.malformed) Mismatch("ReadInteger (malformed or not)", op, model.at);
        if (!malformed && value != expected.value) Mismatch("ReadInteger (value)", op, model.at);
        break;
      }
      case 1:
        if (ReadLineText(ConsoleInput) != reference::ReadLineText(model)) {
          Mismatch("ReadLineText", op, model.at);
        }
        break;
      case 2:
        SkipLine(ConsoleInput);
        reference::SkipLine(model);
        break;
      default:
        // A whole answer of one prompt: a value, then the rest of its line.
        ReadInteger(ConsoleInput);
        reference::ReadInteger(model);
        SkipLine(ConsoleInput);
        reference::SkipLine(model);
        break;
    }
    if (PendingIoCode() != 0 && PendingIoCode() != 106) Mismatch("a read failed", op, model.at);
    textstream_internal::pending_io_code = 0;
  }
  // Where the stream stands: the rest, line by line, must be the model's.
  while (!model.AtEnd()) {
    if (ReadLineText(ConsoleInput) != reference::ReadLineText(model)) {
      Mismatch("the rest of the input", limit, model.at);
    }
    SkipLine(ConsoleInput);
    reference::SkipLine(model);
  }
  if (!ReadLineText(ConsoleInput).empty() || ReadInteger(ConsoleInput) != 0 || PendingIoCode() != 0) {
    Mismatch("the end of the input", limit, model.at);
  }
  close(fd);
  return 0;
}
