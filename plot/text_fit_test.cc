#include "plot/text_fit.h"

#include <gtest/gtest.h>

namespace plot {
namespace {

TEST(FitLineTest, ShrinksALittleThenCutsWithAnEllipsis) {
  const FittedLine fits = FitLine("p = 0.231", 300, 15, 10);
  EXPECT_EQ(fits.text, "p = 0.231");
  EXPECT_EQ(fits.font_size, 15);
  EXPECT_FALSE(fits.shortened);

  const std::string longer(40, 'a');
  const double natural = EstimateWidth(longer, 15);
  const FittedLine shrunk = FitLine(longer, natural * 0.8, 15, 10);
  EXPECT_EQ(shrunk.text, longer);
  EXPECT_NEAR(shrunk.font_size, 12, 1e-9);

  const FittedLine cut = FitLine(std::string(400, 'W'), 760, 18, 10, true);
  EXPECT_TRUE(cut.shortened);
  EXPECT_EQ(cut.font_size, 10);
  EXPECT_EQ(cut.text.substr(cut.text.size() - 3), "\u2026");
  EXPECT_LE(EstimateWidth(cut.text, 10, true), 760);
  EXPECT_GT(EstimateWidth(cut.text, 10, true), 700);
}

TEST(FitLineTest, CutsWholeCharactersAndReplacesIllFormedBytes) {
  std::string wide;
  for (int i = 0; i < 200; ++i) wide += "\xE6\xA4\x9C";  // a CJK character, about an em wide
  const FittedLine cut = FitLine(wide + "\xFF", 200, 14, 10);
  EXPECT_TRUE(cut.shortened);
  EXPECT_EQ((cut.text.size() - 3) % 3, 0u);  // no character split
  EXPECT_EQ(FitLine("a\xFF\nb", 500, 14, 10).text, "a\xEF\xBF\xBD b");
  // Bold runs wider; wide characters count wider than narrow ones.
  EXPECT_GT(EstimateWidth("Title", 18, true), EstimateWidth("Title", 18));
  EXPECT_GT(EstimateWidth("\xE6\xA4\x9C", 10), EstimateWidth("i", 10) * 2);
}

}  // namespace
}  // namespace plot
