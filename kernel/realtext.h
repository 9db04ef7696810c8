// Text forms of extended reals: the fixed form (width, decimals) and the
// scientific form, which is also the default form of a value written alone.
//
// Both start from an 18-digit decimal expansion of |x|: x is scaled by exact
// powers of ten into [1, 16), y = v x 10^17 is rounded to an integer, and the
// digits of y (19 when y >= 10^18) are then rounded half up on the decimal
// digits to what the form shows.
//
// Values are taken by reference: the procedures read the bits of a value,
// and reading them from where the value has long been stored is much
// cheaper than from a copy the x87 unit has just written.
#ifndef KERNEL_REALTEXT_H_
#define KERNEL_REALTEXT_H_

#include <cstddef>
#include <cstdint>

#include "kernel/expansion.h"

/// Room for the longest text (a width of 255, or a fixed form of 216
/// decimals and 36 integer digits with its sign) and for the blocks of
/// digits copied past the end of a shorter one.
inline constexpr std::size_t kMaxRealText = 300;

/// The text of x in a field of width characters (capped at 255) with
/// decimals places (capped at 216), into out; returns its length.
/// The fixed form serves decimals >= 0 and x = 0 or 2^-116 <= |x| <=
/// 6.64613997892457936e35; otherwise the scientific form of width
/// characters (at least 10) with width - 8 significant digits.
/// A text longer than the width is never cut: 100000 with width 8 and 2
/// decimals is "100000.00". 12.25 with width 8 and 1 decimal is "    12.3";
/// -0.0009765625 with width 8 and 2 decimals is "   -0.00".
std::size_t FormatReal(const long double& x, std::int32_t width, std::int32_t decimals, char* out);

/// The decimal expansion both forms start from: |x| is scaled by powers of
/// ten (each the correctly rounded extended value, every product rounded)
/// into v in [1, 16), and y = v x 10^17 rounded to an extended real, then to
/// an integer; |x| ~ y x 10^(scale - 17). y is below 1.6 x 10^18. Normal
/// values take ScaleNormalToDecimal (kernel/expansion.h), zero and denormals
/// the x87 unit itself.
ScaledDecimal ScaleToDecimal(const long double& x);

/// The text of a finite value from its expansion (the steps of FormatReal
/// after ScaleToDecimal), in the fixed form or the scientific form as chosen
/// by the caller.
std::size_t FormatExpansion(ScaledDecimal expansion, bool negative, bool fixed, std::int32_t width,
                            std::int32_t decimals, char* out);

/// The default form: scientific, 23 characters, 15 significant digits.
/// 0.03125 is " 3.12500000000000E-0002".
std::size_t FormatReal(const long double& x, char* out);

#endif  // KERNEL_REALTEXT_H_
