#include "kernel/textstream.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include "kernel/codeset.h"
#include "kernel/failure.h"
#include "kernel/realtext.h"

std::int32_t textstream_internal::pending_io_code = 0;

namespace {

using textstream_internal::pending_io_code;

constexpr std::size_t kConsoleBuffer = 128;
// The result file is written in large blocks; a failure still writes out
// what the buffer holds.
constexpr std::size_t kResultFileBuffer = 1 << 16;

char input_bytes[kConsoleBuffer];
char output_bytes[kConsoleBuffer];
char result_bytes[kResultFileBuffer];

std::u16string last_file_name;  // the name the code 3 message shows

constexpr int kEndOfInput = -1;
constexpr unsigned char kEndMark = 26;

void Fail(std::int32_t code) { pending_io_code = code; }

// A stream left non-blocking by whoever started the program: wait for it as
// a blocking one would, rather than fail.
bool WaitUntilReady(int handle, short events) {
  pollfd request{handle, events, 0};
  while (poll(&request, 1, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// --- input ---------------------------------------------------------------

bool OpenInput(TextStream& s) {
  if (s.mode == StreamMode::kInput) return true;
  if (s.opened) return false;
  s.opened = true;
  s.mode = StreamMode::kInput;
  s.position = s.end = 0;
  return true;
}

// The next byte without taking it, or kEndOfInput. A failed read stores its
// code and reads as the end. The end itself is kept: a terminal reports
// Ctrl-D as one read of no bytes, and a later read would wait for more.
int PeekByte(TextStream& s) {
  if (!OpenInput(s)) return kEndOfInput;
  while (s.position == s.end) {
    if (s.ended) return kEndOfInput;
    ssize_t n = read(s.handle, s.buffer, s.capacity);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitUntilReady(s.handle, POLLIN)) continue;
    if (n > 0) {
      s.position = 0;
      s.end = static_cast<std::size_t>(n);
    } else if (n == 0 || errno == EPIPE) {
      s.ended = true;
      return kEndOfInput;
    } else if (errno != EINTR) {
      Fail(IoCodeOf(errno));
      return kEndOfInput;
    }
  }
  return static_cast<unsigned char>(s.buffer[s.position]);
}

void TakeByte(TextStream& s) { ++s.position; }

// --- output --------------------------------------------------------------

bool OpenOutput(TextStream& s) {
  if (s.mode == StreamMode::kOutput) return true;
  if (s.opened || &s != &ConsoleOutput) return false;
  s.opened = true;
  struct stat info;
  if (fstat(s.handle, &info) != 0) return false;
  s.mode = StreamMode::kOutput;
  s.write_through = S_ISCHR(info.st_mode);
  s.position = 0;
  return true;
}

// Writes bytes whole; 0, or the I/O code when the system refuses.
std::int32_t WriteWhole(int handle, const char* bytes, std::size_t length) {
  while (length > 0) {
    ssize_t n = write(handle, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitUntilReady(handle, POLLOUT)) continue;
      return IoCodeOf(errno);
    }
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return 0;
}

// The result file's restore point: the bytes it held (all still in its
// buffer) and the file's offset when the point was set, and whether bytes
// have been handed to the system since.
struct RestorePoint {
  volatile std::sig_atomic_t set;  // read by the signal handler below
  volatile std::sig_atomic_t handed_over_since;
  off_t offset;
  std::size_t length;
  char bytes[kResultFileBuffer];
};
RestorePoint restore_point;

// Hands the buffer to the system; 0 or the failure's code. On failure the
// bytes are dropped.
std::int32_t HandOverBuffer(TextStream& s) {
  std::size_t length = s.position;
  s.position = 0;
  if (length == 0) return 0;
  if (&s == &ResultFile) restore_point.handed_over_since = true;
  return WriteWhole(s.handle, s.buffer, length);
}

// Hands the buffer to the system; on failure the code is stored.
bool HandOver(TextStream& s) {
  std::int32_t code = HandOverBuffer(s);
  if (code != 0) Fail(code);
  return code == 0;
}

void Append(TextStream& s, const char* bytes, std::size_t length) {
  StoreIoCode(AppendHoldingFailure(s, bytes, length));
}

// Converts UTF-16 text to the codeset and appends it; a high surrogate at
// the end waits for its low half.
void AppendText(TextStream& s, std::u16string_view text) {
  char bytes[256];
  std::size_t used = 0;
  for (char16_t unit : text) {
    if (used + kMaxEncodedBytes > sizeof bytes) {
      Append(s, bytes, used);
      used = 0;
    }
    if (unit < 0x80 && s.held_surrogate == 0) {
      bytes[used++] = static_cast<char>(unit);
      continue;
    }
    char32_t c = unit;
    if (s.held_surrogate != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        c = 0x10000 + ((s.held_surrogate - 0xD800) << 10) + (unit - 0xDC00);
        s.held_surrogate = 0;
      } else {
        used += EncodeCodePoint(s.held_surrogate, bytes + used);
        s.held_surrogate = 0;
      }
    }
    if (c >= 0xD800 && c <= 0xDBFF) {
      s.held_surrogate = static_cast<char16_t>(c);
      continue;
    }
    used += EncodeCodePoint(c, bytes + used);
  }
  if (used > 0) Append(s, bytes, used);
}

std::string EncodeName(std::u16string_view name) {
  std::string bytes;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char32_t c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
        name[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
      ++i;
    }
    char encoded[kMaxEncodedBytes];
    bytes.append(encoded, EncodeCodePoint(c, encoded));
  }
  return bytes;
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TextStream ConsoleInput{STDIN_FILENO, StreamMode::kClosed, false, false, input_bytes,
                        kConsoleBuffer, 0, 0, 0, false};
TextStream ConsoleOutput{STDOUT_FILENO, StreamMode::kClosed, false, false, output_bytes,
                         kConsoleBuffer, 0, 0, 0, false};
TextStream ResultFile{-1, StreamMode::kClosed, false, false, result_bytes,
                      kResultFileBuffer, 0, 0, 0, false};

std::int32_t IoCodeOf(int error_number) {
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return 3;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return 5;
    case ENOSPC:
    case EDQUOT:
      return 112;
    case EMFILE:
    case ENFILE:
      return 4;
    case EBUSY:
    case ETXTBSY:
      return 32;
    default:
      return 1000 + error_number;
  }
}

bool ParseInteger(std::string_view token, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  bool hex = false;
  if (i < token.size() && (token[i] == '$' || token[i] == 'x' || token[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < token.size() && token[i] == '0' && (token[i + 1] == 'x' || token[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == token.size()) return false;
  std::uint32_t magnitude = 0;
  if (hex) {
    int significant = 0;
    for (; i < token.size(); ++i) {
      int digit = HexDigit(token[i]);
      if (digit < 0) return false;
      if (significant > 0 || digit != 0) ++significant;
      if (significant > 8) return false;
      magnitude = magnitude * 16 + static_cast<std::uint32_t>(digit);
    }
  } else {
    const std::uint32_t limit = negative ? 2147483648u : 2147483647u;
    for (; i < token.size(); ++i) {
      if (token[i] < '0' || token[i] > '9') return false;
      auto digit = static_cast<std::uint32_t>(token[i] - '0');
      if (magnitude > (limit - digit) / 10) return false;
      magnitude = magnitude * 10 + digit;
    }
  }
  // The bit pattern as a signed value; "-" negates it, wrapping for 2^31.
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  return true;
}

std::int32_t ReadInteger(TextStream& s) {
  int c = PeekByte(s);
  while (c != kEndOfInput && c != kEndMark && c <= ' ') {
    TakeByte(s);
    c = PeekByte(s);
  }
  if (c == kEndOfInput || c == kEndMark) return 0;
  char token[32];
  std::size_t length = 0;
  while (length < sizeof token && c != kEndOfInput && c > ' ') {
    token[length++] = static_cast<char>(c);
    TakeByte(s);
    if (length < sizeof token) c = PeekByte(s);
  }
  std::int32_t value = 0;
  if (!ParseInteger(std::string_view(token, length), value)) Fail(106);
  return value;
}

std::u16string ReadLineText(TextStream& s) {
  std::string bytes;
  for (;;) {
    int c = PeekByte(s);
    if (c == kEndOfInput || c == kEndMark || c == '\n') break;
    TakeByte(s);
    if (c == '\r') {
      // CR LF ends the line (the LF stays unread); a lone CR is dropped.
      continue;
    }
    bytes.push_back(static_cast<char>(c));
  }
  return DecodeBytes(bytes);
}

void SkipLine(TextStream& s) {
  for (;;) {
    int c = PeekByte(s);
    if (c == kEndOfInput) return;
    TakeByte(s);
    if (c == '\n' || c == kEndMark) return;
  }
}

void WriteTextConverted(TextStream& s, std::u16string_view text) { AppendText(s, text); }

void WriteChar(TextStream& s, char16_t c) { WriteText(s, std::u16string_view(&c, 1)); }

namespace {

int DecimalDigits(std::uint32_t value) {
  int count = 1;
  while (value >= 10) {
    value /= 10;
    ++count;
  }
  return count;
}

// Writes the digits of value backwards, two at a time, ending just before end.
void WriteDigitsBefore(char* end, std::uint32_t value) {
  while (value >= 100) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(end - 2, kDigitPairs + 2 * value, 2);
  } else {
    end[-1] = static_cast<char>('0' + value);
  }
}

}  // namespace

void WriteInteger(TextStream& s, std::int32_t value, std::int32_t width) {
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                      : static_cast<std::uint32_t>(value);
  auto body = static_cast<std::size_t>(DecimalDigits(magnitude) + (value < 0 ? 1 : 0));
  if (width > 255) width = 255;
  std::size_t length = width > static_cast<std::int32_t>(body) ? static_cast<std::size_t>(width) : body;
  // Formed in place in the buffer when it has room: the blanks of a field
  // of up to 16 as one block, then the digits over its end.
  constexpr std::size_t kBlock = 16;
  char staged[255 + 16];
  bool direct = OpenOutput(s) && length <= kBlock && kBlock <= s.capacity - s.position;
  char* out = direct ? s.buffer + s.position : staged;
  if (direct) {
    std::memset(out, ' ', kBlock);
  } else {
    std::memset(out, ' ', length - body);
  }
  WriteDigitsBefore(out + length, magnitude);
  if (value < 0) out[length - body] = '-';
  if (direct) {
    s.position += length;
  } else {
    Append(s, staged, length);
  }
}

void WriteReal(TextStream& s, const long double& value, std::int32_t width, std::int32_t decimals) {
  if (OpenOutput(s) && s.capacity - s.position >= kMaxRealText) {
    s.position += FormatReal(value, width, decimals, s.buffer + s.position);
    return;
  }
  char text[kMaxRealText];
  Append(s, text, FormatReal(value, width, decimals, text));
}

void WriteReal(TextStream& s, const long double& value) { WriteReal(s, value, 23, -1); }

void WriteLineEnd(TextStream& s) {
  Append(s, "\r\n", 2);
  EndWrite(s);
}

void EndWrite(TextStream& s) {
  if (s.mode == StreamMode::kOutput && s.write_through) HandOver(s);
}

namespace {

// The checks of a name made before it is tried, then open() for writing
// with O_CREAT and the further flags; on success ResultFile is ready for
// output. Returns 0, the errno of a failed open(), or -1 when a check has
// stored its code.
int OpenResultFile(std::u16string_view name, int flags) {
  last_file_name = name;
  if (name.size() > 259) {
    Fail(3);
    return -1;
  }
  for (char16_t c : name) {
    if (c < 32 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) {
      Fail(123);
      return -1;
    }
  }
  int handle = open(EncodeName(name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
  if (handle < 0) return errno;
  ResultFile.handle = handle;
  ResultFile.mode = StreamMode::kOutput;
  ResultFile.opened = true;
  ResultFile.write_through = false;
  ResultFile.position = 0;
  return 0;
}

}  // namespace

void CreateTextFile(std::u16string_view name) {
  if (int error = OpenResultFile(name, O_TRUNC); error > 0) Fail(IoCodeOf(error));
}

bool CreateNewTextFile(std::u16string_view name) {
  int error = OpenResultFile(name, O_EXCL);
  if (error == EEXIST) {
    // A folder (or a link to one) fails as opening it for writing does;
    // anything else of that name is a file already there.
    struct stat info;
    if (stat(EncodeName(name).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    error = EISDIR;
  }
  if (error > 0) Fail(IoCodeOf(error));
  return true;
}

void CloseTextFile(TextStream& s) {
  if (s.mode != StreamMode::kOutput && s.mode != StreamMode::kInput) {
    Fail(103);
    return;
  }
  if (s.mode == StreamMode::kOutput) HandOver(s);
  if (close(s.handle) != 0) Fail(IoCodeOf(errno));
  s.mode = StreamMode::kClosed;
  s.handle = -1;
}

bool IsExistingFile(std::u16string_view name) {
  std::string path = EncodeName(name);
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return !S_ISDIR(info.st_mode);
  if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return false;
  return lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

[[gnu::noinline]] void RaisePendingIoFailure() {
  RaiseIoFailure(pending_io_code, last_file_name,
                 reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
}

std::int32_t AppendHoldingFailure(TextStream& s, const char* bytes, std::size_t length) {
  if (!OpenOutput(s)) return 105;
  while (length > s.capacity - s.position) {
    std::size_t room = s.capacity - s.position;
    std::memcpy(s.buffer + s.position, bytes, room);
    s.position = s.capacity;
    bytes += room;
    length -= room;
    if (std::int32_t code = HandOverBuffer(s); code != 0) return code;
  }
  std::memcpy(s.buffer + s.position, bytes, length);
  s.position += length;
  return 0;
}

void StoreIoCode(std::int32_t code) {
  if (code != 0) Fail(code);
}

namespace {

// The signals that end a run from outside (the terminal's interrupt and
// quit, a hang-up, a termination request), with what they did before a
// restore point was set.
constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
struct sigaction earlier_actions[sizeof kEndingSignals / sizeof kEndingSignals[0]];
bool ending_signals_caught = false;

// A run ended this way loses what its buffers hold; the result file is cut
// back to what it held on disk at the restore point, as if nothing had been
// handed over since. Then the signal ends the process as it would have.
void OnEndingSignal(int signal_number) {
  if (restore_point.set && restore_point.handed_over_since && restore_point.offset >= 0) {
    // Nothing to be done should the file not be cut.
    [[maybe_unused]] int ignored = ftruncate(ResultFile.handle, restore_point.offset);
  }
  std::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

void SetResultFileRestorePoint() {
  TextStream& s = ResultFile;
  if (s.mode != StreamMode::kOutput) return;
  restore_point.offset = lseek(s.handle, 0, SEEK_CUR);
  restore_point.length = s.position;
  std::memcpy(restore_point.bytes, s.buffer, s.position);
  restore_point.handed_over_since = false;
  restore_point.set = true;
  // A signal that is ignored stays ignored.
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    sigaction(kEndingSignals[i], nullptr, &earlier_actions[i]);
    if (earlier_actions[i].sa_handler == SIG_DFL) sigaction(kEndingSignals[i], &action, nullptr);
  }
  ending_signals_caught = true;
}

void ClearResultFileRestorePoint() {
  restore_point.set = false;
  if (!ending_signals_caught) return;
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    sigaction(kEndingSignals[i], &earlier_actions[i], nullptr);
  }
  ending_signals_caught = false;
}

void FinishConsoleOutput() {
  if (ConsoleOutput.mode == StreamMode::kOutput) HandOver(ConsoleOutput);
}

namespace {

// Writes the buffered bytes with nothing but write(2), ignoring failures.
void FlushForFailure(TextStream& s) {
  if (s.mode != StreamMode::kOutput) return;
  std::size_t length = s.position;
  s.position = 0;
  const char* bytes = s.buffer;
  while (length > 0) {
    ssize_t n = write(s.handle, bytes, length);
    if (n <= 0 && errno != EINTR) return;
    if (n > 0) {
      bytes += n;
      length -= static_cast<std::size_t>(n);
    }
  }
}

}  // namespace

void FlushConsoleOutputForFailure() { FlushForFailure(ConsoleOutput); }

bool TakeResultFileBack() {
  TextStream& s = ResultFile;
  if (!restore_point.set || s.mode != StreamMode::kOutput) return true;
  if (!restore_point.handed_over_since) {
    // Everything since the point is still in the buffer.
    s.position = restore_point.length;
    return true;
  }
  // The file is cut back to where it stood, and the bytes the buffer held
  // then go back into it; a file that cannot be cut (a pipe) keeps what it
  // has received.
  s.position = 0;
  if (restore_point.offset < 0 || ftruncate(s.handle, restore_point.offset) != 0 ||
      lseek(s.handle, restore_point.offset, SEEK_SET) < 0) {
    return false;
  }
  std::memcpy(s.buffer, restore_point.bytes, restore_point.length);
  s.position = restore_point.length;
  restore_point.handed_over_since = false;
  return true;
}

void FlushResultFileForFailure() {
  bool taken_back = TakeResultFileBack();
  restore_point.set = false;
  if (taken_back) FlushForFailure(ResultFile);
}

void ResetTextStreams(int input_handle, int output_handle) {
  ConsoleInput = {input_handle, StreamMode::kClosed, false, false, input_bytes,
                  kConsoleBuffer, 0, 0, 0, false};
  ConsoleOutput = {output_handle, StreamMode::kClosed, false, false, output_bytes,
                   kConsoleBuffer, 0, 0, 0, false};
  ResultFile = {-1, StreamMode::kClosed, false, false, result_bytes, kResultFileBuffer, 0, 0, 0, false};
  restore_point.set = false;
  pending_io_code = 0;
  last_file_name.clear();
}

std::int32_t PendingIoCode() { return pending_io_code; }
