#include "kernel/failure.h"

#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "kernel/codeset.h"
#include "kernel/numeric.h"
#include "kernel/textstream.h"

extern "C" char __executable_start;  // load address of the executable image
extern "C" char etext;               // end of its code

namespace {

char module_name[PATH_MAX];
std::size_t module_length;

// Writes all of bytes to standard error; a failure here has nowhere to go.
void WriteError(const char* bytes, std::size_t length) {
  while (length > 0) {
    ssize_t n = write(STDERR_FILENO, bytes, length);
    if (n <= 0) return;
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
}

// Encodes text in the stream codeset through a small buffer: no allocation,
// so that the report can be written from the signal handler.
void WriteErrorText(std::u16string_view text) {
  char chunk[256];
  std::size_t used = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (used + kMaxEncodedBytes > sizeof chunk) {
      WriteError(chunk, used);
      used = 0;
    }
    used += EncodeCodePoint(c, chunk + used);
  }
  WriteError(chunk, used);
}

[[noreturn]] void Report(std::u16string_view class_name, std::u16string_view message,
                         std::uintptr_t address) {
  SetFloatingPointEnvironment();
  FlushConsoleOutputForFailure();

  auto offset = static_cast<std::uint32_t>(address - reinterpret_cast<std::uintptr_t>(&__executable_start));
  char16_t location[8];
  for (int i = 7; i >= 0; --i) {
    location[i] = u"0123456789ABCDEF"[offset & 0xF];
    offset >>= 4;
  }
  WriteErrorText(class_name);
  WriteErrorText(u" がモジュール ");
  WriteError(module_name, module_length);
  WriteErrorText(u" の ");
  WriteErrorText(std::u16string_view(location, 8));
  WriteErrorText(u" で発生しました。\r\n");
  WriteErrorText(message);
  if (!message.empty() && message.back() != u'.') WriteErrorText(u".");
  WriteErrorText(u"\r\n\r\n");

  FlushResultFileForFailure();
  _exit(1);
}

// The x87 unit reports an unmasked exception at the next floating-point
// instruction; its last-instruction pointer names the one that faulted.
std::uintptr_t FaultAddress(const siginfo_t* info, const void* context) {
  auto fallback = reinterpret_cast<std::uintptr_t>(info->si_addr);
  if (context == nullptr) return fallback;
  const auto* uc = static_cast<const ucontext_t*>(context);
  if (uc->uc_mcontext.fpregs == nullptr) return fallback;
  std::uintptr_t fip = uc->uc_mcontext.fpregs->rip;
  if (fip >= reinterpret_cast<std::uintptr_t>(&__executable_start) &&
      fip < reinterpret_cast<std::uintptr_t>(&etext)) {
    return fip;
  }
  return fallback;
}

void OnFloatingPointFault(int, siginfo_t* info, void* context) {
  std::uintptr_t address = FaultAddress(info, context);
  switch (info->si_code) {
    case FPE_FLTDIV:
      RaiseArithmeticFailure(ArithmeticFailure::kDivisionByZero, address);
    case FPE_FLTOVF:
      RaiseArithmeticFailure(ArithmeticFailure::kOverflow, address);
    default:
      RaiseArithmeticFailure(ArithmeticFailure::kInvalidOperation, address);
  }
}

// Only a line of input can grow without bound (the file-name answer); when
// no memory is left for it, the read has failed with ENOMEM. The message is
// a literal: there may be no memory to form one.
[[noreturn]] void OnOutOfMemory() {
  static_assert(ENOMEM == 12, "the message below spells out 1000 + ENOMEM");
  Report(u"EInOutError", u"I/O エラー 1012", reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
}

}  // namespace

void InstallFailureHandling() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n < 0) n = 0;
  path[n] = '\0';
  const char* slash = std::strrchr(path, '/');
  const char* base = slash == nullptr ? path : slash + 1;
  module_length = std::strlen(base);
  std::memcpy(module_name, base, module_length);

  struct sigaction action {};
  action.sa_sigaction = OnFloatingPointFault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGFPE, &action, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  // Likewise a write past the file-size limit fails with EFBIG instead of
  // ending the process without a report.
  sigaction(SIGXFSZ, &ignore, nullptr);

  std::set_new_handler(OnOutOfMemory);
}

std::u16string IoMessage(std::int32_t code, std::u16string_view file_name) {
  switch (code) {
    case 2:
      return u"指定されたファイルが見つかりません";
    case 3:
      return u"不正なファイル名 - " + std::u16string(file_name);
    case 4:
      return u"開かれたファイルが多すぎます。";
    case 5:
      return u"ファイルへのアクセスが拒否されました";
    case 100:
      return u"ファイルの末尾以降を読み取りました";
    case 101:
      return u"ディスクがいっぱいです";
    case 106:
      return u"入力値が数値ではありません";
    default: {
      std::u16string text = u"I/O エラー ";
      std::string digits = std::to_string(code);
      text.append(digits.begin(), digits.end());
      return text;
    }
  }
}

void RaiseArithmeticFailure(ArithmeticFailure kind, std::uintptr_t address) {
  switch (kind) {
    case ArithmeticFailure::kDivisionByZero:
      Report(u"EZeroDivide", u"0 による浮動小数点数除算", address);
    case ArithmeticFailure::kOverflow:
      Report(u"EOverflow", u"浮動小数点数のオーバーフロー", address);
    case ArithmeticFailure::kInvalidOperation:
      break;
  }
  Report(u"EInvalidOp", u"不正な浮動小数点数演算命令", address);
}

void RaiseIoFailure(std::int32_t code, std::u16string_view file_name, std::uintptr_t address) {
  std::u16string message = IoMessage(code, file_name);
  Report(u"EInOutError", message, address);
}
