#include "cli/batch_lines.h"

#include "cli/numbers.h"

namespace cli {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSeparator(char c) { return IsBlank(c) || c == ','; }

// A field as a message quotes it: at most 40 bytes of it.
std::string Quoted(std::string_view field) {
  constexpr std::size_t kShown = 40;
  if (field.size() > kShown) return "'" + std::string(field.substr(0, kShown)) + "...'";
  return "'" + std::string(field) + "'";
}

// The value of a field of up to ten digits, or -1 when it is anything else
// or above 2147483647 (the slow path then decides).
std::int64_t FastCount(std::string_view field) {
  if (field.empty() || field.size() > 10) return -1;
  std::int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value <= 2147483647 ? value : -1;
}

}  // namespace

LineKind ReadBatchLine(std::string_view line, bool labels, std::string_view noun, std::string_view& label,
                       std::vector<std::uint32_t>& counts, std::string& why) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  counts.clear();
  label = {};
  std::size_t at = 0;
  const std::size_t end = line.size();
  while (at < end && IsBlank(line[at])) ++at;
  if (at == end || line[at] == '#') return LineKind::kSkipped;
  bool first = true;
  for (;;) {
    const std::size_t start = at;
    while (at < end && !IsSeparator(line[at])) ++at;
    const std::string_view field = line.substr(start, at - start);
    if (field.empty()) {
      why = "an empty field before a comma";
      return LineKind::kMalformed;
    }
    if (first && labels) {
      label = field;
    } else {
      const std::int64_t value = FastCount(field);
      if (value >= 0) {
        counts.push_back(static_cast<std::uint32_t>(value));
      } else if (auto problem = CountProblem(field)) {
        why = "invalid " + std::string(noun) + " " + Quoted(field) + ": " + *problem;
        return LineKind::kMalformed;
      } else {
        counts.push_back(CountValue(field));  // leading zeros past ten digits
      }
    }
    first = false;
    while (at < end && IsBlank(line[at])) ++at;
    if (at == end) return LineKind::kData;
    if (line[at] == ',') {
      ++at;
      while (at < end && IsBlank(line[at])) ++at;
      if (at == end) {
        why = "an empty field after the last comma";
        return LineKind::kMalformed;
      }
    }
  }
}

std::string TotalProblem(const std::vector<std::uint32_t>& counts, std::string_view noun) {
  std::uint64_t total = 0;
  for (std::uint32_t n : counts) total += n;
  if (total <= 2147483647) return {};
  return "the " + std::string(noun) + "s add up to " + std::to_string(total) + ", more than 2147483647";
}

}  // namespace cli
