// Fitting a line of text into a width without a font at hand: widths are
// estimated from typical advance widths of a sans-serif face, generously,
// so that a line judged to fit does fit in the usual faces.
#ifndef PLOT_TEXT_FIT_H_
#define PLOT_TEXT_FIT_H_

#include <string>
#include <string_view>

namespace plot {

/// The estimated width of text (UTF-8, as DecodeForDisplay reads it) at a
/// font size, in the same unit as the size.
double EstimateWidth(std::string_view text, double font_size, bool bold = false);

struct FittedLine {
  std::string text;  // UTF-8, well formed, one line
  double font_size;
  bool shortened;  // text was cut and ends in an ellipsis
};

/// text at font_size if it fits in width, else at the largest smaller size
/// down to min_font_size that fits, else cut at min_font_size to fit, with
/// an ellipsis. Ill-formed UTF-8 and control characters are replaced as
/// DecodeForDisplay does.
FittedLine FitLine(std::string_view text, double width, double font_size, double min_font_size,
                   bool bold = false);

}  // namespace plot

#endif  // PLOT_TEXT_FIT_H_
