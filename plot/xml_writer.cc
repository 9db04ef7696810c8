#include "plot/xml_writer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace plot {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The length of the well-formed UTF-8 sequence starting at text[i], or of
// its maximal ill-formed prefix as a negative number (at least 1 byte).
// A well-formed sequence also yields its code point.
int ReadSequence(std::string_view text, std::size_t i, char32_t* code_point) {
  const auto byte = [&](std::size_t j) { return static_cast<unsigned char>(text[j]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  int length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    if (i + k >= text.size()) return -k;
    const unsigned char next = byte(i + k);
    const unsigned char lo = k == 1 ? low : 0x80;
    const unsigned char hi = k == 1 ? high : 0xBF;
    if (next < lo || next > hi) return -k;
    value = (value << 6) | (next & 0x3F);
  }
  *code_point = value;
  return length;
}

char32_t ForDisplay(char32_t c) {
  if (c == '\t' || c == '\n' || c == '\r') return ' ';
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF) return kReplacement;
  return c;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!letter && !(i > 0 && other)) return false;
  }
  return true;
}

// Elements whose content is shown or read as text.
bool HoldsText(std::string_view name) {
  return name == "text" || name == "tspan" || name == "title" || name == "desc";
}

void CheckName(std::string_view name) {
  if (!IsXmlName(name)) throw std::logic_error("not an XML name: " + std::string(name));
}

}  // namespace

std::u32string DecodeForDisplay(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    const int length = ReadSequence(text, i, &c);
    if (length > 0) {
      out.push_back(ForDisplay(c));
      i += static_cast<std::size_t>(length);
    } else {
      out.push_back(kReplacement);
      i += static_cast<std::size_t>(-length);
    }
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t c : text) AppendUtf8(c, &out);
  return out;
}

std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t c : DecodeForDisplay(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        AppendUtf8(c, &out);
    }
  }
  return out;
}

std::string FormatCoordinate(double x) {
  if (!std::isfinite(x)) throw std::invalid_argument("a coordinate that is not finite");
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", x);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

std::string FormatExact(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", x);
  return buffer;
}

XmlWriter::XmlWriter() { out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"; }

void XmlWriter::EndStartTag() {
  if (in_start_tag_) {
    out_ += '>';
    in_start_tag_ = false;
  }
}

void XmlWriter::Open(std::string_view name) {
  CheckName(name);
  if (open_.empty() && root_written_) throw std::logic_error("a second root element");
  EndStartTag();
  // One element a line, but no white space inside text.
  if (!open_.empty() && !HoldsText(open_.back())) out_ += '\n';
  out_ += '<';
  out_ += name;
  open_.emplace_back(name);
  in_start_tag_ = true;
}

void XmlWriter::Attribute(std::string_view name, std::string_view value) {
  CheckName(name);
  if (!in_start_tag_) throw std::logic_error("an attribute outside a start tag");
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  out_ += EscapeXml(value);
  out_ += '"';
}

void XmlWriter::Attribute(std::string_view name, double value) {
  Attribute(name, std::string_view(FormatCoordinate(value)));
}

void XmlWriter::Text(std::string_view text) {
  if (open_.empty()) throw std::logic_error("text outside the root element");
  EndStartTag();
  out_ += EscapeXml(text);
}

void XmlWriter::Close() {
  if (open_.empty()) throw std::logic_error("no element to close");
  if (in_start_tag_) {
    out_ += "/>";
    in_start_tag_ = false;
  } else {
    out_ += "</";
    out_ += open_.back();
    out_ += '>';
  }
  open_.pop_back();
  if (open_.empty()) {
    out_ += '\n';
    root_written_ = true;
  }
}

void XmlWriter::Element(std::string_view name, std::string_view text) {
  Open(name);
  Text(text);
  Close();
}

std::string XmlWriter::Finish() {
  if (!open_.empty()) throw std::logic_error("elements left open: " + open_.back());
  return std::move(out_);
}

}  // namespace plot
