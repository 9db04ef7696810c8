// The one way a run ends on a failure: the console output is written out,
// a two-line report goes to standard error, the result file's buffered
// bytes are written out, and the process exits with status 1.
//
//   EInOutError がモジュール orvane の 0001C491 で発生しました。<CR LF>
//   入力値が数値ではありません.<CR LF>
//   <CR LF>
//
// The location is the failing address relative to the executable's load
// address. Arithmetic failures arrive as SIGFPE from the x87 unit.
#ifndef KERNEL_FAILURE_H_
#define KERNEL_FAILURE_H_

#include <cstdint>
#include <string>
#include <string_view>

/// Installs the SIGFPE handler, ignores SIGPIPE and SIGXFSZ (a write to a
/// gone reader or past the file-size limit then fails with EPIPE or EFBIG
/// and is reported), reports running out of memory (an answer line too long
/// to hold) as the I/O failure of ENOMEM, and notes the module name.
void InstallFailureHandling();

enum class ArithmeticFailure { kInvalidOperation, kDivisionByZero, kOverflow };

/// The arithmetic failure of the given kind, reported at address. The x87
/// unit raises these itself (SIGFPE); this is for a caller that must not go
/// on should the unit not have trapped.
[[noreturn]] void RaiseArithmeticFailure(ArithmeticFailure kind, std::uintptr_t address);

/// The I/O failure with the given code; `file_name` is named by the message
/// of code 3. `address` is the place the failure is reported at.
[[noreturn]] void RaiseIoFailure(std::int32_t code, std::u16string_view file_name,
                                 std::uintptr_t address);

/// The message of an I/O code, without the full stop the report adds.
std::u16string IoMessage(std::int32_t code, std::u16string_view file_name);

#endif  // KERNEL_FAILURE_H_
