// The one codeset of every stream and of the failure report: the locale's
// (LC_CTYPE from the environment), with the C/POSIX locale taken as UTF-8.
// Program texts are UTF-16 and are converted here, at the stream.
#ifndef KERNEL_CODESET_H_
#define KERNEL_CODESET_H_

#include <cstddef>
#include <string>
#include <string_view>

/// Reads the locale from the environment and picks the codeset; falls back
/// to UTF-8 when the codeset is the C locale's ASCII or iconv lacks it.
void SelectCodeset();

/// Selects a codeset by name ("UTF-8", "EUC-JP", ...) directly; for tests.
void SelectCodesetByName(const char* name);

/// The bytes of one code point in the codeset, at most kMaxEncodedBytes;
/// "?" for a code point the codeset cannot represent (a lone surrogate too).
inline constexpr std::size_t kMaxEncodedBytes = 8;
std::size_t EncodeCodePoint(char32_t code_point, char* out);

/// Bytes in the codeset to UTF-16; each invalid or truncated sequence
/// becomes U+FFFD.
std::u16string DecodeBytes(std::string_view bytes);

#endif  // KERNEL_CODESET_H_
