// The three text streams of a run (console input, console output, result
// file) and every operation on them.
//
// Operations never report a failure themselves: a failing one stores an I/O
// code (an errno mapped to the codes of the failure report, 106 for a
// malformed integer) and returns; IoCheck, called after each group of
// operations, raises the stored code. Lines end with CR LF; on input, byte
// 26 is an end mark, and the end of the input (a read of no bytes, as a
// terminal gives for Ctrl-D) is final: the stream is not read again.
// Console streams buffer 128 bytes and open at first use; console output
// written to a terminal is handed over at every EndWrite.
#ifndef KERNEL_TEXTSTREAM_H_
#define KERNEL_TEXTSTREAM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class StreamMode { kClosed, kInput, kOutput };

struct TextStream {
  int handle;
  StreamMode mode;
  bool opened;         // a console stream opens once, at its first use
  bool write_through;  // a terminal: EndWrite hands the buffer over
  char* buffer;
  std::size_t capacity;
  std::size_t position;  // fill position of output, read position of input
  std::size_t end;       // end of the bytes read
  char16_t held_surrogate;
  bool ended;  // input: a read found the end; the stream is not read again
};

extern TextStream ConsoleInput;
extern TextStream ConsoleOutput;
extern TextStream ResultFile;

/// The next integer token (blanks, tabs and line ends before it skipped):
/// decimal within 32 bits, or hexadecimal after "$", "x" or "0x" (8 digits,
/// the bit pattern taken as is), with an optional sign. 0 at the end of the
/// input; a malformed token stores code 106.
std::int32_t ReadInteger(TextStream& stream);

/// The rest of the line without its line end, which stays unread; a CR not
/// followed by LF is dropped. Empty at the end of the input.
std::u16string ReadLineText(TextStream& stream);

/// Discards the rest of the line and its line end; at an end mark (byte 26)
/// consumes it and stops.
void SkipLine(TextStream& stream);

/// WriteText for any text: converted to the stream's codeset and appended,
/// with the buffer's hand-over and the opening of the console at its first
/// use.
void WriteTextConverted(TextStream& stream, std::u16string_view text);

/// Text converted to the stream's codeset and appended. Short ASCII text
/// (the labels and separators of every row of a listing) goes straight into
/// an open buffer with room.
inline void WriteText(TextStream& stream, std::u16string_view text) {
  if (stream.mode == StreamMode::kOutput && stream.held_surrogate == 0 && text.size() <= 8 &&
      text.size() <= stream.capacity - stream.position) {
    bool ascii = true;
    for (char16_t unit : text) ascii &= unit < 0x80;
    if (ascii) {
      char* out = stream.buffer + stream.position;
      for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
      stream.position += text.size();
      return;
    }
  }
  WriteTextConverted(stream, text);
}

void WriteChar(TextStream& stream, char16_t c);
/// Decimal digits right-aligned in width (capped at 255): 5 in 8 is
/// "       5"; a longer text is written whole.
void WriteInteger(TextStream& stream, std::int32_t value, std::int32_t width);
/// The fixed form (scientific outside its range) of kernel/realtext.
void WriteReal(TextStream& stream, const long double& value, std::int32_t width, std::int32_t decimals);
/// The default real form of kernel/realtext.
void WriteReal(TextStream& stream, const long double& value);
/// CR LF, then EndWrite.
void WriteLineEnd(TextStream& stream);
/// Ends a group of writes: a terminal gets the buffered bytes now.
void EndWrite(TextStream& stream);

/// Opens ResultFile for writing, creating or emptying the file. A name of
/// more than 259 UTF-16 units stores code 3, one holding a control character
/// or one of < > : " | ? * stores 123, both without trying.
void CreateTextFile(std::u16string_view name);
/// CreateTextFile for a file that must not exist yet: created only when
/// nothing has its name (O_EXCL), so that neither a link to nothing nor a
/// file made since the existence test is written through. False when
/// something of that name is there and is not a folder (nothing created,
/// no code stored); a folder stores the code of opening one for writing.
bool CreateNewTextFile(std::u16string_view name);
/// Hands over the buffered bytes and closes; 103 when not open.
void CloseTextFile(TextStream& stream);
/// True when name exists and is not a directory (links followed; a link to
/// nothing does not exist).
bool IsExistingFile(std::u16string_view name);

namespace textstream_internal {
extern std::int32_t pending_io_code;
}  // namespace textstream_internal


/// Raises the I/O failure with the stored code, reported at the caller.
[[noreturn]] void RaisePendingIoFailure();

/// Raises the I/O failure when an operation has stored a code.
inline void IoCheck() {
  if (textstream_internal::pending_io_code != 0) [[unlikely]] RaisePendingIoFailure();
}

/// The errno of a failed system call as an I/O code.
std::int32_t IoCodeOf(int error_number);

/// Parses a whole token as ReadInteger does; false when malformed.
bool ParseInteger(std::string_view token, std::int32_t& value);

/// Appends bytes to an output stream as the write operations do (the
/// buffer filled to its end before it is handed over), but a failed
/// hand-over returns its I/O code instead of storing it: for a caller that
/// holds the failure back (the listing). 0 when all went well.
std::int32_t AppendHoldingFailure(TextStream& stream, const char* bytes, std::size_t length);
/// Stores an I/O code held back by such a caller, for IoCheck to raise.
void StoreIoCode(std::int32_t code);

/// Remembers what the result file holds now (all of it still in its
/// buffer) as the point a failure takes it back to: until the point is
/// cleared, the failure report leaves the file with exactly those bytes,
/// whatever was written after them, and a signal that ends the process
/// (SIGINT, SIGQUIT, SIGHUP, SIGTERM, unless ignored) leaves it as it stood
/// on disk at the point.
void SetResultFileRestorePoint();
void ClearResultFileRestorePoint();
/// Takes the result file back to its restore point now, when one is set:
/// the file cut back to its length then and the buffer holding what it
/// held. False when the file cannot be cut (a pipe).
bool TakeResultFileBack();

/// Hands over what the console output still holds, at the end of a run.
void FinishConsoleOutput();

/// Writes out buffered bytes for the failure report, ignoring errors;
/// safe in a signal handler.
void FlushConsoleOutputForFailure();
/// Takes the result file back to its restore point first, when one is set.
void FlushResultFileForFailure();

/// Puts the streams back to their state at start, with the console on the
/// given descriptors; for tests.
void ResetTextStreams(int input_handle, int output_handle);
std::int32_t PendingIoCode();

#endif  // KERNEL_TEXTSTREAM_H_
