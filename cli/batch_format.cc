#include "cli/batch_format.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "cli/numbers.h"
#include "cli/report.h"
#include "cli/shortest.h"

namespace cli {
namespace {

constexpr engine::Ordering kTwoSided[] = {engine::Ordering::kChiSquare, engine::Ordering::kLikelihoodRatio,
                                          engine::Ordering::kProbability};

// The length of the UTF-8 sequence at text[at], or 0 when it is not one
// (overlong forms, surrogates and values above U+10FFFF included).
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
    return 0;
  }
  return length;
}

}  // namespace

std::vector<std::string> BatchColumns(const BatchShape& shape) {
  std::vector<std::string> columns;
  if (shape.labels) columns.push_back("label");
  if (shape.kestrin) {
    for (const char* name : {"n11", "n12", "n21", "n22"}) columns.push_back(name);
  } else {
    for (std::size_t i = 1; i <= shape.counts; ++i) columns.push_back("x" + std::to_string(i));
  }
  const auto add = [&](std::string_view key, bool value) {
    if (value) columns.emplace_back(key);
    columns.push_back(std::string(key) + "_p");
    columns.push_back(std::string(key) + "_mid_p");
    if (shape.log10) columns.push_back(std::string(key) + "_log10_p");
  };
  if (shape.kestrin && shape.one_sided) {
    add("n11", false);
  } else {
    for (engine::Ordering ordering : kTwoSided) add(OrderingKey(ordering), true);
  }
  if (shape.kestrin && shape.odds_ratio) {
    for (const char* name : {"odds_ratio", "conf_low", "conf_high"}) columns.push_back(name);
  }
  return columns;
}

std::string BatchHeader(const BatchShape& shape) {
  if (shape.json) return {};
  std::string header;
  for (const std::string& column : BatchColumns(shape)) {
    if (!header.empty()) header += ',';
    header += column;
  }
  return header + '\n';
}

BatchRowWriter::BatchRowWriter(const BatchShape& shape) : shape_(shape) {
  BatchShape without_counts = shape;
  without_counts.counts = 0;
  std::vector<std::string> columns = BatchColumns(without_counts);
  if (shape.kestrin) columns.erase(columns.begin() + (shape.labels ? 1 : 0), columns.begin() + (shape.labels ? 5 : 4));
  for (const std::string& column : columns) keys_.push_back("\"" + column + "\":");
}

namespace {

// A row's text gathered in a buffer on the stack and handed to the string
// in pieces of a few kilobytes: a field costs a store or a copy, not a
// string's checks of its capacity byte by byte.
class LineBuffer {
 public:
  explicit LineBuffer(std::string& out) : out_(out) {}
  ~LineBuffer() { Flush(); }
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;

  // Where the next field goes, with room for kField bytes.
  char* Room() {
    if (at_ > buffer_ + sizeof buffer_ - kField) Flush();
    return at_;
  }
  void Advance(char* to) { at_ = to; }
  const char* End() const { return at_; }
  void Put(char c) { *Room() = c, ++at_; }
  void Put(std::string_view text) {
    if (text.size() > kField) {
      Flush();
      out_ += text;
      return;
    }
    char* to = Room();
    std::memcpy(to, text.data(), text.size());
    at_ = to + text.size();
  }
  void Flush() {
    out_.append(buffer_, at_);
    at_ = buffer_;
  }
  std::string& out() {
    Flush();
    return out_;
  }

  // The most a field, a key or a number, takes here.
  static constexpr std::size_t kField = 64;

 private:
  std::string& out_;
  char buffer_[4096];
  char* at_ = buffer_;
};

// A number of the report (AppendReportNumber) at the buffer's end.
void PutReportNumber(LineBuffer& line, double value, double log10_value) {
  if (value >= 0 && value < std::numeric_limits<double>::min() && std::isfinite(log10_value)) {
    AppendReportNumber(line.out(), value, log10_value);
    return;
  }
  line.Advance(WriteShortest(line.Room(), value));
}

}  // namespace

void BatchRowWriter::Append(std::string& out, std::string_view label, std::span<const std::uint32_t> counts,
                            std::span<const engine::OrderingResult> orderings,
                            const engine::OddsRatio* odds) const {
  static constexpr std::string_view kCells[] = {"\"n11\":", "\"n12\":", "\"n21\":", "\"n22\":"};
  const bool json = shape_.json;
  LineBuffer line(out);
  std::size_t key = 0;
  bool first = true;
  const auto next = [&] {
    if (json) {
      line.Put(first ? '{' : ',');
      line.Put(keys_[key]);
    } else if (!first) {
      line.Put(',');
    }
    first = false;
    ++key;
  };
  if (shape_.labels) {
    next();
    if (json) {
      AppendJsonLabel(line.out(), label);
    } else {
      AppendCsvLabel(line.out(), label);
    }
  }
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (json) {
      line.Put(first ? '{' : ',');
      if (shape_.kestrin) {
        line.Put(kCells[i & 3]);
      } else {
        line.Put("\"x");
        line.Advance(WriteCount(line.Room(), static_cast<std::uint32_t>(i + 1)));
        line.Put("\":");
      }
    } else if (!first) {
      line.Put(',');
    }
    first = false;
    line.Advance(WriteCount(line.Room(), counts[i]));
  }
  // The orderings often share their p-values: each normal one is written
  // once and its text copied after.
  struct Written {
    double value;
    char text[kShortestRoom];
    std::size_t length;
  };
  Written written[6];
  int written_count = 0;
  const auto p_value = [&](double value, double log10_value) {
    const bool normal = !std::signbit(value) && value >= std::numeric_limits<double>::min();
    if (normal) {
      for (int i = 0; i < written_count; ++i) {
        if (written[i].value == value) {
          line.Put(std::string_view(written[i].text, written[i].length));
          return;
        }
      }
    }
    char* const at = line.Room();
    PutReportNumber(line, value, log10_value);
    if (normal && written_count < 6) {
      Written& w = written[written_count++];
      w.value = value;
      w.length = static_cast<std::size_t>(line.End() - at);
      std::memcpy(w.text, at, w.length);
    }
  };
  const bool with_value = !(shape_.kestrin && shape_.one_sided);
  for (const engine::OrderingResult& result : orderings) {
    if (with_value) {
      next();
      PutReportNumber(line, result.value, result.log10_value);
    }
    next();
    p_value(result.p, result.log10_p);
    next();
    p_value(result.mid_p, result.log10_mid_p);
    if (shape_.log10) {
      // From the engine where it gives it, else from the double p; a p
      // that underflowed with no logarithm leaves the field empty.
      next();
      const double log10_p = !std::isnan(result.log10_p) ? result.log10_p
                             : result.p > 0             ? std::log10(result.p)
                                                        : std::numeric_limits<double>::quiet_NaN();
      if (!std::isnan(log10_p)) {
        line.Advance(WriteShortest(line.Room(), log10_p));
      } else if (json) {
        line.Put("null");
      }
    }
  }
  if (shape_.kestrin && shape_.odds_ratio) {
    for (const std::optional<double>& value :
         {odds != nullptr ? odds->estimate : std::nullopt, odds != nullptr ? odds->lower : std::nullopt,
          odds != nullptr ? odds->upper : std::nullopt}) {
      next();
      if (!value) {
        if (json) line.Put("null");
      } else if (json && std::isinf(*value)) {
        line.Put("\"inf\"");
      } else {
        line.Advance(WriteShortest(line.Room(), *value));
      }
    }
  }
  line.Put(json ? "}\n" : "\n");
}

void AppendCsvLabel(std::string& out, std::string_view label) {
  if (label.find('"') == std::string_view::npos) {
    out += label;
    return;
  }
  out += '"';
  for (char c : label) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendJsonLabel(std::string& out, std::string_view label) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t at = 0; at < label.size();) {
    const unsigned char c = static_cast<unsigned char>(label[at]);
    if (c >= 0x80) {
      const std::size_t length = Utf8Length(label, at);
      if (length == 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD
        ++at;
      } else {
        out.append(label.substr(at, length));
        at += length;
      }
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
    ++at;
  }
  out += '"';
}

}  // namespace cli
