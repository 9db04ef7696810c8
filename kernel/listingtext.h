// The three real-number forms of an outcome row, formed in place: the
// default form of the probability, the fixed form with width 10 and 4
// decimals of the chi-square, and the fixed form with width 20 and 17
// decimals of the likelihood ratio (the scientific form of width 20 below
// 2^-116).
//
// Each gives exactly the text of FormatReal with the same width and
// decimals. For a positive normal value it rounds the 18-digit expansion
// (ScaleNormalToDecimal) in integer arithmetic and lays the digits down in
// words; other values (zero, negative, not normal, or a fixed form that
// would show more than 18 digits) go to FormatReal.
#ifndef KERNEL_LISTINGTEXT_H_
#define KERNEL_LISTINGTEXT_H_

#include <cstdint>

#include "kernel/realtext.h"

/// What a text needs at out: the longest text of FormatReal, which also
/// covers the words stored past the end of a shorter one.
inline constexpr std::size_t kListingTextRoom = kMaxRealText;

/// FormatReal(x, out): 23 characters, scientific. Returns the text's end.
char* AppendDefaultForm(const long double& x, char* out);
/// FormatReal(x, 10, 4, out).
char* AppendFixedForm10x4(const long double& x, char* out);
/// FormatReal(x, 20, 17, out).
char* AppendFixedForm20x17(const long double& x, char* out);

/// Asks the processor for what the three forms above will look up for these
/// values, ahead of time.
void PrefetchListingTexts(const long double& probability, const long double& chi2, const long double& lr);

/// The steps from the expansion to the text, for the proofs: the scientific
/// form of width 23 or 20 and the fixed forms above, of a positive value
/// whose expansion is y and scale (see ScaledDecimal); the fixed forms return
/// nullptr where they would show more than 18 digits.
char* ScientificText(std::int64_t y, int scale, int width, char* out);
char* FixedText10x4(std::int64_t y, int scale, char* out);
char* FixedText20x17(std::int64_t y, int scale, char* out);

/// The units a fixed form with 4 or 17 decimals shows (x x 10^decimals
/// rounded half up) formed exactly from the fields of a positive normal
/// value, below 2^33 (4 decimals) or 2^-4 (17), without its expansion: the
/// same units as the expansion's wherever the part beyond the last shown
/// digit lies clear of the half by more than the expansion's roundings can
/// move it. False elsewhere, and that close to the half.
bool ExactShownUnits(ExtendedBits f, int decimals, std::uint64_t& units);

/// A positive normal value below 10^digits rounded half up to digits
/// significant digits (12 or 15) formed from its exact value: the digits q
/// (10^(digits - 1) <= q < 10^digits) and the decimal exponent, as the
/// scientific form shows them, wherever the value lies clear of a half of
/// the last digit by more than the expansion's roundings can move it. False
/// elsewhere, and that close to a half.
bool ExactSignificantDigits(ExtendedBits f, int digits, std::uint64_t& q, int& exponent);

#endif  // KERNEL_LISTINGTEXT_H_
