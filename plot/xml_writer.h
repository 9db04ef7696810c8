// A small writer of XML text, enough for an SVG picture: elements,
// attributes and text, escaped, every element closed in order. Text is
// taken as UTF-8; what XML cannot hold (ill-formed UTF-8, control
// characters) is replaced, so that any bytes a user gave still make a
// well-formed file.
#ifndef PLOT_XML_WRITER_H_
#define PLOT_XML_WRITER_H_

#include <string>
#include <string_view>
#include <vector>

namespace plot {

/// The code points of text, read as UTF-8 and made fit to show in XML:
/// each maximal ill-formed subsequence, each C0 or C1 control character but
/// tab, line feed and carriage return, U+007F, U+FFFE and U+FFFF become
/// U+FFFD; tab, line feed and carriage return become blanks (a picture's
/// texts are one line each).
std::u32string DecodeForDisplay(std::string_view text);

/// The code points as UTF-8.
std::string EncodeUtf8(std::u32string_view text);

/// text as XML character data, fit for element content and for attribute
/// values in double or single quotes: DecodeForDisplay, then & < > " '
/// written as references, the rest as UTF-8.
std::string EscapeXml(std::string_view text);

/// A coordinate or length as written in the picture: at most two decimals,
/// no trailing zeros, never "-0". Throws std::invalid_argument when x is
/// not finite.
std::string FormatCoordinate(double x);

/// x with 17 significant digits, so that it reads back as the same double.
std::string FormatExact(double x);

/// Builds one XML document. Element and attribute names are the caller's
/// own constants and must be XML names; everything else is escaped.
/// Misuse (an attribute after content, Close with nothing open, Finish with
/// elements open) throws std::logic_error.
class XmlWriter {
 public:
  XmlWriter();
  /// Starts the element name inside the current one.
  void Open(std::string_view name);
  void Attribute(std::string_view name, std::string_view value);
  void Attribute(std::string_view name, const char* value) { Attribute(name, std::string_view(value)); }
  /// A coordinate or length, as FormatCoordinate writes it.
  void Attribute(std::string_view name, double value);
  void Text(std::string_view text);
  /// Ends the innermost open element.
  void Close();
  /// Opens name, sets its text and closes it.
  void Element(std::string_view name, std::string_view text);
  /// The document; no element may be open.
  std::string Finish();

 private:
  void EndStartTag();

  std::string out_;
  std::vector<std::string> open_;
  bool in_start_tag_ = false;
  bool root_written_ = false;
};

}  // namespace plot

#endif  // PLOT_XML_WRITER_H_
