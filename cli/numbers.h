// Numbers as the command line writes them and as the reports print them.
// Everything here is independent of the locale.
#ifndef CLI_NUMBERS_H_
#define CLI_NUMBERS_H_

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

/// Why an operand is not a count, as a phrase for the usage error
/// ("cannot be negative"), or nullopt when it is one. A count is a decimal
/// integer from 0 to 2147483647 in ASCII digits, leading zeros allowed, with
/// no sign, point, blank or other character.
std::optional<std::string> CountProblem(std::string_view text);

/// The value of text when CountProblem(text) is nullopt.
std::uint32_t CountValue(std::string_view text);

/// An unsigned decimal integer of at most 20 digits that fits 64 bits
/// ("1000000"); nullopt for anything else, signs and blanks included.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text);

/// A finite decimal number without sign: digits with at most one point and
/// an optional exponent ("0.95", "1e-3", ".5", "10."). No hex, inf or nan;
/// nullopt when the text is anything else or out of the range of double.
std::optional<double> ParseDecimal(std::string_view text);

/// Appends value in the shortest decimal form that reads back as the same
/// double, fixed or exponent form whichever is shorter, as std::to_chars
/// gives it ("5", "0.0625", "0.1", "6.028322580102989", "2.1996e-06",
/// "1e+300", "inf").
void AppendShortest(std::string& out, double value);
std::string Shortest(double value);

/// A number of a report for scripts (CSV, the batch mode): as
/// AppendShortest, except a value below the normal doubles (2.2e-308, 0
/// where it underflowed) whose log10 is known, which is written as
/// 10^log10_value with 10 significant digits ("6.013565402e-1203"), so that
/// a p-value that is not 0 never reads as 0.
void AppendReportNumber(std::string& out, double value,
                        double log10_value = std::numeric_limits<double>::quiet_NaN());

/// A p-value for a person: five significant digits in the manner of %g
/// (0.23096, 0.0013950 as 0.001395, 2.1996e-06), never shown as 0 when it
/// is positive nor as 1 when it is below 1. Below the normal doubles
/// (2.2e-308) the digits come from log10_p when it is known (not NaN):
/// "1.2345e-1203".
std::string PValueText(double p, double log10_p = std::numeric_limits<double>::quiet_NaN());

/// A statistic or an estimate for a person: six significant digits as %g
/// ("5", "6.02832", "1.2e-30"); "inf" for infinity. Below the normal
/// doubles the digits come from log10_value when it is known: a
/// probability of 10^-1203.5 is "3.16228e-1204".
std::string ValueText(double value, double log10_value = std::numeric_limits<double>::quiet_NaN());

/// 10^log10_value in the manner of %g with that many significant digits,
/// for any finite log10_value: PowerOfTenText(-1202.5, 5) is "3.1623e-1203".
std::string PowerOfTenText(double log10_value, int digits);

/// A count of outcomes that may exceed 64 bits: as an integer while it is
/// exact in a double (below 2^53), else in exponent form ("4.3e+12").
std::string OutcomeCountText(double count);

}  // namespace cli

#endif  // CLI_NUMBERS_H_
