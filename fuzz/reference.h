// A slow, plain model of how the console input is read, written apart from
// kernel/textstream so that the fuzz targets can hold the two against each
// other: one byte string, one read position, no buffering.
#ifndef FUZZ_REFERENCE_H_
#define FUZZ_REFERENCE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace reference {

inline constexpr unsigned char kEndMark = 26;

inline bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a token, or nothing when it is malformed. Wide arithmetic
// and explicit digit counts instead of overflow guards.
inline std::optional<std::int32_t> ParseToken(std::string_view token) {
  bool negative = false;
  if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
    negative = token[0] == '-';
    token.remove_prefix(1);
  }
  bool hex = false;
  for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
    if (token.substr(0, prefix.size()) == prefix) {
      hex = true;
      token.remove_prefix(prefix.size());
      break;
    }
  }
  if (token.empty()) return std::nullopt;
  for (char c : token) {
    if (hex ? !IsHexDigit(c) : !IsDecimalDigit(c)) return std::nullopt;
  }
  while (token.size() > 1 && token[0] == '0') token.remove_prefix(1);
  if (token.size() > (hex ? 8u : 10u)) return std::nullopt;
  std::uint64_t magnitude = std::stoull(std::string(token), nullptr, hex ? 16 : 10);
  if (hex) {
    auto pattern = static_cast<std::uint32_t>(magnitude);
    return static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
  }
  if (magnitude > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
  std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(value);
}

// UTF-8 to UTF-16 by the table of well-formed byte sequences: each maximal
// subpart of an ill-formed sequence becomes one U+FFFD.
inline std::u16string DecodeUtf8(std::string_view bytes) {
  struct Row {
    unsigned char low[4], high[4];
    int length;
  };
  static const Row kRows[] = {
      {{0x00}, {0x7F}, 1},
      {{0xC2, 0x80}, {0xDF, 0xBF}, 2},
      {{0xE0, 0xA0, 0x80}, {0xE0, 0xBF, 0xBF}, 3},
      {{0xE1, 0x80, 0x80}, {0xEC, 0xBF, 0xBF}, 3},
      {{0xED, 0x80, 0x80}, {0xED, 0x9F, 0xBF}, 3},
      {{0xEE, 0x80, 0x80}, {0xEF, 0xBF, 0xBF}, 3},
      {{0xF0, 0x90, 0x80, 0x80}, {0xF0, 0xBF, 0xBF, 0xBF}, 4},
      {{0xF1, 0x80, 0x80, 0x80}, {0xF3, 0xBF, 0xBF, 0xBF}, 4},
      {{0xF4, 0x80, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF}, 4},
  };
  std::u16string text;
  std::size_t i = 0;
  while (i < bytes.size()) {
    int matched = 0;
    bool whole = false;
    std::uint32_t code_point = 0;
    for (const Row& row : kRows) {
      int n = 0;
      while (n < row.length && i + n < bytes.size()) {
        auto b = static_cast<unsigned char>(bytes[i + n]);
        if (b < row.low[n] || b > row.high[n]) break;
        ++n;
      }
      if (n == 0) continue;
      matched = n;
      if (n == row.length) {
        whole = true;
        static const std::uint32_t kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        code_point = static_cast<unsigned char>(bytes[i]) & kLeadMask[n];
        for (int m = 1; m < n; ++m) code_point = code_point * 64 + (bytes[i + m] & 0x3F);
      }
      break;
    }
    if (!whole) {
      text.push_back(u'\uFFFD');
      i += matched > 0 ? matched : 1;
      continue;
    }
    i += matched;
    if (code_point >= 0x10000) {
      text.push_back(static_cast<char16_t>(0xD800 + ((code_point - 0x10000) / 1024)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((code_point - 0x10000) % 1024)));
    } else {
      text.push_back(static_cast<char16_t>(code_point));
    }
  }
  return text;
}

// The console input as one byte string and a position in it.
struct Input {
  std::string_view bytes;
  std::size_t at = 0;

  bool AtEnd() const { return at >= bytes.size(); }
  unsigned char Next() const { return static_cast<unsigned char>(bytes[at]); }
};

struct IntegerRead {
  std::int32_t value;
  bool malformed;
};

// Blanks and control bytes (the end mark excepted) are skipped across
// lines; the token is at most 32 bytes above 32. At the end, or at the end
// mark, 0 and nothing consumed.
inline IntegerRead ReadInteger(Input& in) {
  while (!in.AtEnd() && in.Next() != kEndMark && in.Next() <= 32) ++in.at;
  if (in.AtEnd() || in.Next() == kEndMark) return {0, false};
  std::size_t start = in.at;
  while (!in.AtEnd() && in.at - start < 32 && in.Next() > 32) ++in.at;
  std::optional<std::int32_t> value = ParseToken(in.bytes.substr(start, in.at - start));
  return {value.value_or(0), !value.has_value()};
}

// Up to the LF, the end mark or the end, none of them consumed; every CR
// of the line is left out of the text.
inline std::u16string ReadLineText(Input& in) {
  std::string line;
  while (!in.AtEnd() && in.Next() != '\n' && in.Next() != kEndMark) {
    if (in.Next() != '\r') line.push_back(static_cast<char>(in.Next()));
    ++in.at;
  }
  return DecodeUtf8(line);
}

// Through the next LF or end mark, or to the end.
inline void SkipLine(Input& in) {
  while (!in.AtEnd()) {
    unsigned char c = in.Next();
    ++in.at;
    if (c == '\n' || c == kEndMark) return;
  }
}

}  // namespace reference

#endif  // FUZZ_REFERENCE_H_
