#include "kernel/codeset.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <strings.h>

namespace {

bool utf8 = true;
iconv_t to_codeset = reinterpret_cast<iconv_t>(-1);
iconv_t from_codeset = reinterpret_cast<iconv_t>(-1);

bool IsUtf8Name(const char* name) {
  return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0 ||
         strcmp(name, "ANSI_X3.4-1968") == 0 || strcasecmp(name, "ASCII") == 0 ||
         strcasecmp(name, "US-ASCII") == 0;
}

std::size_t EncodeUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c >= 0xD800 && c <= 0xDFFF) {
    out[0] = '?';
    return 1;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  if (c > 0x10FFFF) {
    out[0] = '?';
    return 1;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

void AppendUnit(std::u16string& text, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    text.push_back(static_cast<char16_t>(c));
  }
}

// Decodes UTF-8, replacing each maximal ill-formed subsequence by U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      text.push_back(b);
      ++i;
      continue;
    }
    std::size_t need;
    char32_t c;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2, c = b & 0x0F;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3, c = b & 0x07;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    } else {
      text.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool complete = true;
    for (std::size_t n = 0; n < need; ++n, ++j) {
      if (j >= bytes.size()) {
        complete = false;
        break;
      }
      auto t = static_cast<unsigned char>(bytes[j]);
      if (t < low || t > high) {
        complete = false;
        break;
      }
      low = 0x80, high = 0xBF;
      c = (c << 6) | (t & 0x3F);
    }
    if (complete) {
      AppendUnit(text, c);
    } else {
      text.push_back(0xFFFD);
    }
    i = j;
  }
  return text;
}

std::u16string DecodeWithIconv(std::string_view bytes) {
  std::u16string text;
  iconv(from_codeset, nullptr, nullptr, nullptr, nullptr);
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t out[64];
    char* in_ptr = const_cast<char*>(bytes.data() + i);
    std::size_t in_left = bytes.size() - i;
    char* out_ptr = reinterpret_cast<char*>(out);
    std::size_t out_left = sizeof out;
    std::size_t r = iconv(from_codeset, &in_ptr, &in_left, &out_ptr, &out_left);
    std::size_t produced = (sizeof out - out_left) / sizeof(char32_t);
    for (std::size_t n = 0; n < produced; ++n) AppendUnit(text, out[n]);
    i = bytes.size() - in_left;
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or truncated sequence: one replacement, then go on.
      text.push_back(0xFFFD);
      ++i;
      iconv(from_codeset, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return text;
}

}  // namespace

void SelectCodesetByName(const char* name) {
  if (to_codeset != reinterpret_cast<iconv_t>(-1)) iconv_close(to_codeset);
  if (from_codeset != reinterpret_cast<iconv_t>(-1)) iconv_close(from_codeset);
  to_codeset = from_codeset = reinterpret_cast<iconv_t>(-1);
  utf8 = IsUtf8Name(name);
  if (utf8) return;
  to_codeset = iconv_open(name, "UTF-32LE");
  from_codeset = iconv_open("UTF-32LE", name);
  if (to_codeset == reinterpret_cast<iconv_t>(-1) ||
      from_codeset == reinterpret_cast<iconv_t>(-1)) {
    SelectCodesetByName("UTF-8");
  }
}

void SelectCodeset() {
  std::setlocale(LC_CTYPE, "");
  SelectCodesetByName(nl_langinfo(CODESET));
}

std::size_t EncodeCodePoint(char32_t code_point, char* out) {
  if (code_point < 0x80 || utf8) return EncodeUtf8(code_point, out);
  if (code_point >= 0xD800 && code_point <= 0xDFFF) {
    out[0] = '?';
    return 1;
  }
  char32_t in[1] = {code_point};
  char* in_ptr = reinterpret_cast<char*>(in);
  std::size_t in_left = sizeof in;
  char* out_ptr = out;
  std::size_t out_left = kMaxEncodedBytes;
  iconv(to_codeset, nullptr, nullptr, &out_ptr, &out_left);
  std::size_t r = iconv(to_codeset, &in_ptr, &in_left, &out_ptr, &out_left);
  if (r == static_cast<std::size_t>(-1) || r > 0) {
    // Not representable (or only approximately): the replacement character.
    out[0] = '?';
    return 1;
  }
  iconv(to_codeset, nullptr, nullptr, &out_ptr, &out_left);
  return kMaxEncodedBytes - out_left;
}

std::u16string DecodeBytes(std::string_view bytes) {
  return utf8 ? DecodeUtf8(bytes) : DecodeWithIconv(bytes);
}
