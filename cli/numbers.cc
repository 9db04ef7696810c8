#include "cli/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "cli/shortest.h"

namespace cli {
namespace {

constexpr std::uint64_t kLargestCount = 2147483647;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Printf(const char* format, int precision, double value) {
  char buffer[64];
  int length = std::snprintf(buffer, sizeof buffer, format, precision, value);
  return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

std::optional<std::string> CountProblem(std::string_view text) {
  if (text.empty()) return "an empty argument is not a count";
  if ((text[0] == '-' || text[0] == '+') && text.size() > 1 && (IsDigit(text[1]) || text[1] == '.')) {
    return text[0] == '-' ? "a count cannot be negative" : "a count is written without a sign";
  }
  std::uint64_t value = 0;
  bool has_point = false;
  for (char c : text) {
    if (IsDigit(c)) {
      if (value <= kLargestCount) value = value * 10 + static_cast<unsigned>(c - '0');
    } else if (c == '.' || c == ',') {
      has_point = true;
    } else if (c == 'e' || c == 'E') {
      return "a count is written in plain decimal digits";
    } else {
      return "a count is a whole number from 0 to 2147483647 in decimal digits";
    }
  }
  if (has_point) return "a count is a whole number";
  if (value > kLargestCount) return "a count is at most 2147483647";
  return std::nullopt;
}

std::uint32_t CountValue(std::string_view text) {
  std::uint32_t value = 0;
  for (char c : text) value = value * 10 + static_cast<std::uint32_t>(c - '0');
  return value;
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
  }
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

void AppendShortest(std::string& out, double value) {
  char buffer[kShortestRoom];
  out.append(buffer, WriteShortest(buffer, value));
}

void AppendReportNumber(std::string& out, double value, double log10_value) {
  if (value >= 0 && value < std::numeric_limits<double>::min() && std::isfinite(log10_value)) {
    out += PowerOfTenText(log10_value, 10);
    return;
  }
  AppendShortest(out, value);
}

std::string Shortest(double value) {
  std::string text;
  AppendShortest(text, value);
  return text;
}

std::string PowerOfTenText(double log10_value, int digits) {
  double exponent = std::floor(log10_value);
  // The leading digits, rounded as %g would round them; a mantissa that
  // rounds up to 10 moves to the next power.
  std::string mantissa = Printf("%.*f", digits - 1, std::pow(10.0, log10_value - exponent));
  if (mantissa.starts_with("10")) {
    exponent += 1;
    mantissa = Printf("%.*f", digits - 1, 1.0);
  }
  if (mantissa.find('.') != std::string::npos) {
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  const long long power = static_cast<long long>(exponent);
  char sign = power < 0 ? '-' : '+';
  std::string digits_of_power = std::to_string(power < 0 ? -power : power);
  if (digits_of_power.size() < 2) digits_of_power.insert(0, 1, '0');
  return mantissa + "e" + sign + digits_of_power;
}

std::string PValueText(double p, double log10_p) {
  if (std::isnan(p)) return "NA";
  if (p < std::numeric_limits<double>::min() && std::isfinite(log10_p)) return PowerOfTenText(log10_p, 5);
  // Below the smallest positive double: the tail underflowed.
  if (p == 0) return "< 4.9e-324";
  std::string text = Printf("%.*g", 5, p);
  // A p-value just below 1 keeps the digits that show it is below 1.
  for (int precision = 6; p < 1 && text == "1" && precision <= 17; ++precision) {
    text = Printf("%.*g", precision, p);
  }
  return text;
}

std::string ValueText(double value, double log10_value) {
  if (std::isnan(value)) return "NA";
  if (value >= 0 && value < std::numeric_limits<double>::min() && std::isfinite(log10_value)) {
    return PowerOfTenText(log10_value, 6);
  }
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return Printf("%.*g", 6, value);
}

std::string OutcomeCountText(double count) {
  if (count >= 0 && count < 0x1p53 && count == std::floor(count)) {
    return Printf("%.*f", 0, count);
  }
  return Printf("%.*g", 6, count);
}

}  // namespace cli
