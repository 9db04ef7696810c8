#include "cli/batch_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "cli/numbers.h"

namespace cli {
namespace {

using engine::Ordering;
using engine::OrderingResult;
constexpr double kInf = std::numeric_limits<double>::infinity();

OrderingResult Result(Ordering ordering, double value, double p, double mid_p, double log10_p) {
  OrderingResult r{ordering, value, p, mid_p};
  r.log10_p = log10_p;
  return r;
}

TEST(BatchFormatTest, ColumnsOfEachShape) {
  BatchShape shape;
  EXPECT_EQ(BatchHeader(shape),
            "n11,n12,n21,n22,chi_square,chi_square_p,chi_square_mid_p,likelihood_ratio,likelihood_ratio_p,"
            "likelihood_ratio_mid_p,probability,probability_p,probability_mid_p\n");
  shape.one_sided = true;
  shape.labels = true;
  shape.log10 = true;
  shape.odds_ratio = true;
  EXPECT_EQ(BatchHeader(shape), "label,n11,n12,n21,n22,n11_p,n11_mid_p,n11_log10_p,odds_ratio,conf_low,conf_high\n");
  BatchShape orvane;
  orvane.kestrin = false;
  orvane.counts = 3;
  orvane.log10 = true;
  orvane.odds_ratio = true;  // kestrin's alone
  EXPECT_EQ(BatchHeader(orvane),
            "x1,x2,x3,chi_square,chi_square_p,chi_square_mid_p,chi_square_log10_p,likelihood_ratio,"
            "likelihood_ratio_p,likelihood_ratio_mid_p,likelihood_ratio_log10_p,probability,probability_p,"
            "probability_mid_p,probability_log10_p\n");
  orvane.json = true;
  EXPECT_EQ(BatchHeader(orvane), "");
}

TEST(BatchFormatTest, RowsInCsvAndJsonCarryTheSameNumbers) {
  const std::uint32_t cells[] = {2000, 0, 0, 2000};
  // p below the doubles: written from its log10, never as 0.
  const OrderingResult results[] = {
      Result(Ordering::kChiSquare, 4000, 0, 0, -1201.9198355826768),
      Result(Ordering::kLikelihoodRatio, 5545.177444479563, 0.25, 0.125, -0.6020599913279624),
      Result(Ordering::kProbability, 0.375, 1, 0.5, 0)};
  BatchShape shape;
  shape.labels = true;
  shape.odds_ratio = true;
  std::string out;
  const engine::OddsRatio odds{kInf, kInf, 542543.1746931662, std::nullopt, 0.95};
  BatchRowWriter(shape).Append(out, "a\"b", cells, results, &odds);
  EXPECT_EQ(out,
            "\"a\"\"b\",2000,0,0,2000,4000,1.20271968e-1202,0,5545.177444479563,0.25,0.125,0.375,1,0.5,"
            "inf,542543.1746931662,\n");
  shape.json = true;
  out.clear();
  BatchRowWriter(shape).Append(out, "a\"b", cells, results, &odds);
  const nlohmann::json row = nlohmann::json::parse(out);
  EXPECT_EQ(row["label"], "a\"b");
  EXPECT_EQ(row["n11"], 2000);
  EXPECT_EQ(row["likelihood_ratio_mid_p"], 0.125);
  EXPECT_EQ(row["odds_ratio"], "inf");
  EXPECT_TRUE(row["conf_high"].is_null());
  EXPECT_NE(out.find("\"chi_square_p\":1.20271968e-1202,"), std::string::npos) << out;
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(out.find('\n'), out.size() - 1);
}

TEST(BatchFormatTest, RowsLongerThanTheLineBufferAndRepeatedPValuesStayWhole) {
  // Equal p-values share their text; a p below the doubles is written from
  // its own logarithm even when another p has the same double.
  OrderingResult results[] = {Result(Ordering::kChiSquare, 1.5, 0.0625, 0, -1.2041199826559248),
                              Result(Ordering::kLikelihoodRatio, 2.5, 0.0625, 0, -1.2041199826559248),
                              Result(Ordering::kProbability, 0.125, 0.0625, 0.03125, -1.2041199826559248)};
  results[0].log10_mid_p = -3000.5;
  results[1].log10_mid_p = -2999.25;
  const std::uint32_t cells[] = {1, 2, 3, 4};
  std::string out = "kept,";
  BatchRowWriter(BatchShape{}).Append(out, "", cells, results, nullptr);
  EXPECT_EQ(out, "kept,1,2,3,4,1.5,0.0625,3.16227766e-3001,2.5,0.0625,5.623413252e-3000,0.125,0.0625,0.03125\n");

  // Many counts and a long label overflow the stack buffer: the row is
  // still one whole line with every field in order.
  BatchShape many;
  many.kestrin = false;
  many.labels = true;
  many.json = true;
  many.counts = 700;
  std::vector<std::uint32_t> counts(700);
  for (std::size_t i = 0; i < counts.size(); ++i) counts[i] = static_cast<std::uint32_t>(i * 1000003u);
  const std::string label(6000, 'L');
  out.clear();
  BatchRowWriter(many).Append(out, label, counts, results, nullptr);
  const nlohmann::json row = nlohmann::json::parse(out);
  EXPECT_EQ(row["label"], label);
  EXPECT_EQ(row["x1"], 0);
  EXPECT_EQ(row["x700"], 699u * 1000003u);
  EXPECT_EQ(row["probability_mid_p"], 0.03125);
  EXPECT_EQ(row.size(), 1 + 700 + 9u);
  EXPECT_EQ(out.find('\n'), out.size() - 1);
  many.json = false;
  out.clear();
  BatchRowWriter(many).Append(out, label, counts, results, nullptr);
  EXPECT_EQ(out.substr(0, 6003), label + ",0,");
  EXPECT_NE(out.find(",699002097,1.5,0.0625,3.16227766e-3001,"), std::string::npos);
  EXPECT_TRUE(out.ends_with(",0.125,0.0625,0.03125\n"));
}

TEST(BatchFormatTest, JsonLabelsAreEscapedAndValid) {
  const auto json = [](std::string_view label) {
    std::string out;
    AppendJsonLabel(out, label);
    return out;
  };
  EXPECT_EQ(json("plain"), "\"plain\"");
  EXPECT_EQ(json("q\"b\\s"), "\"q\\\"b\\\\s\"");
  EXPECT_EQ(json(std::string("c\x01\x1f\x7f", 4)), "\"c\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(json("\xE7\xB5\x90\xE6\x9E\x9C"), "\"\xE7\xB5\x90\xE6\x9E\x9C\"");  // 結果
  EXPECT_EQ(json("\xF0\x9F\x93\x8A"), "\"\xF0\x9F\x93\x8A\"");                  // outside the basic plane
  // Bytes that are not UTF-8 (a lone continuation, a cut sequence, an
  // overlong form, a surrogate) become U+FFFD each.
  EXPECT_EQ(json("a\x80z"), "\"a\xEF\xBF\xBDz\"");
  EXPECT_EQ(json("\xE7\xB5"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(json("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(json("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
  for (std::string_view label : {"a\x80z", "\xE7\xB5", "\xC0\xAF", "x\"y\\z\x02"}) {
    EXPECT_TRUE(nlohmann::json::accept(json(label))) << label;
  }
}

TEST(BatchFormatTest, ReportNumbersBelowTheDoublesComeFromTheirLogarithm) {
  const auto text = [](double value, double log10_value) {
    std::string out;
    AppendReportNumber(out, value, log10_value);
    return out;
  };
  EXPECT_EQ(text(0.375, -0.42596873227228116), "0.375");
  EXPECT_EQ(text(1e-300, -300), "1e-300");
  EXPECT_EQ(text(0, -1202.2208655783409), "6.0135984e-1203");  // 10 digits, trailing zeros dropped
  EXPECT_EQ(text(0, -5000), "1e-5000");
  // A subnormal double holds few digits: the logarithm gives them all.
  EXPECT_EQ(text(4.9406564584124654e-324, -323.30621534311580), "4.940656458e-324");
  // Without a logarithm, the double as it is.
  EXPECT_EQ(text(0, std::numeric_limits<double>::quiet_NaN()), "0");
}

}  // namespace
}  // namespace cli
