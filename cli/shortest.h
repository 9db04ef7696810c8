// Numbers written straight into a character buffer, for the reports that
// print many of them: counts in decimal digits, doubles in the shortest
// form that reads back as the same double. The text is that of
// std::to_chars byte for byte, found in about a third of its time: the
// shortest digits by Dragonbox (the {fmt} library's, from Debian's
// libfmt-dev), then the fixed or the exponent form, whichever is shorter.
#ifndef CLI_SHORTEST_H_
#define CLI_SHORTEST_H_

#include <cstddef>
#include <cstdint>

namespace cli {

/// The room a number written here can take: "-2.2250738585072014e-308"
/// is 24 bytes.
inline constexpr std::size_t kShortestRoom = 32;

/// Writes value at `at` exactly as std::to_chars(at, at + kShortestRoom,
/// value) does ("0.0625", "2.1996e-06", "1e+300", "5e-324", "-0", "inf",
/// "nan") and returns the end of the text.
char* WriteShortest(char* at, double value);

/// Writes n in decimal digits ("0", "2147483647") and returns the end.
char* WriteCount(char* at, std::uint32_t n);

}  // namespace cli

#endif  // CLI_SHORTEST_H_
