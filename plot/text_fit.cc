#include "plot/text_fit.h"

#include <string>

#include "plot/xml_writer.h"

namespace plot {

namespace {

// Advance widths in ems, a little above those of common sans-serif faces.
double Advance(char32_t c) {
  if (c == ' ') return 0.32;
  if (c < 0x80) {
    const std::u32string_view narrow = U"iIjl.,:;'|!()[]{}`\"ft";
    const std::u32string_view wide = U"mwMW@%";
    if (narrow.find(c) != std::u32string_view::npos) return 0.4;
    if (wide.find(c) != std::u32string_view::npos) return 1.05;
    if (c >= 'A' && c <= 'Z') return 0.78;
    return 0.64;
  }
  // East Asian wide and full-width forms, and emoji and the like.
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x1F000) {
    return 1.05;
  }
  return 0.72;
}

// Bold faces run about a tenth wider.
double Width(std::u32string_view text, double font_size, bool bold) {
  double ems = 0;
  for (const char32_t c : text) ems += Advance(c);
  return ems * font_size * (bold ? 1.12 : 1);
}

}  // namespace

double EstimateWidth(std::string_view text, double font_size, bool bold) {
  return Width(DecodeForDisplay(text), font_size, bold);
}

FittedLine FitLine(std::string_view text, double width, double font_size, double min_font_size, bool bold) {
  std::u32string line = DecodeForDisplay(text);
  const double natural = Width(line, font_size, bold);
  if (natural <= width) return {EncodeUtf8(line), font_size, false};
  const double scaled = font_size * width / natural;
  if (scaled >= min_font_size) return {EncodeUtf8(line), scaled, false};
  const char32_t kEllipsis = 0x2026;
  const double room = width - Width(std::u32string(1, kEllipsis), min_font_size, bold);
  while (!line.empty() && Width(line, min_font_size, bold) > room) line.pop_back();
  while (!line.empty() && line.back() == ' ') line.pop_back();
  line.push_back(kEllipsis);
  return {EncodeUtf8(line), min_font_size, true};
}

}  // namespace plot
