// The lines of the batch mode over arbitrary bytes: ReadBatchLine, with
// and without labels, and the label's CSV and JSON forms.
//
// Input: one byte of flags (bit 0: labels), then the line. Whatever the
// bytes, a line that reads as data holds only counts of at most
// 2147483647, as many as its fields after the label, and a label without
// a separator; a malformed one says why; the JSON form of any label is
// one string of valid UTF-8 without a raw control character, and the CSV
// form reads back as the label.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch_format.h"
#include "cli/batch_lines.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "batch line: %s\n", what);
  std::abort();
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// Checks that text is valid UTF-8 with no byte below 0x20.
void CheckJsonString(std::string_view text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') Fail("a JSON label is not quoted");
  for (std::size_t at = 1; at + 1 < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x20) Fail("a raw control character in a JSON label");
    if (c == '\\') {
      at += text[at + 1] == 'u' ? 6 : 2;
      continue;
    }
    if (c == '"') Fail("an unescaped quote in a JSON label");
    std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (length == 0 || at + length > text.size() - 1) Fail("invalid UTF-8 in a JSON label");
    for (std::size_t i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) Fail("invalid UTF-8 in a JSON label");
    }
    at += length;
  }
}

// The CSV field read back: quoted fields lose their quotes, doubled quotes
// become one.
std::string CsvFieldValue(std::string_view field) {
  if (field.empty() || field.front() != '"') return std::string(field);
  std::string value;
  for (std::size_t i = 1; i + 1 < field.size(); ++i) {
    value += field[i];
    if (field[i] == '"') ++i;
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool labels = (data[0] & 1) != 0;
  const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view label;
  std::vector<std::uint32_t> counts;
  std::string why;
  const cli::LineKind kind = cli::ReadBatchLine(line, labels, "cell", label, counts, why);
  switch (kind) {
    case cli::LineKind::kSkipped:
      break;
    case cli::LineKind::kMalformed:
      if (why.empty()) Fail("a malformed line without a reason");
      break;
    case cli::LineKind::kData: {
      for (std::uint32_t n : counts) {
        if (n > 2147483647u) Fail("a count above 2147483647");
      }
      if (labels) {
        if (label.empty()) Fail("an empty label");
        for (char c : label) {
          if (IsSeparator(c)) Fail("a separator in a label");
        }
      } else if (counts.empty()) {
        Fail("a line of data without counts");
      }
      break;
    }
  }
  std::string json;
  cli::AppendJsonLabel(json, line);
  CheckJsonString(json);
  std::string csv;
  cli::AppendCsvLabel(csv, line);
  if (CsvFieldValue(csv) != line) Fail("a CSV label does not read back");
  return 0;
}
