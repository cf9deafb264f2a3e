#include "shell/display_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

TEST(DisplayScale, FactorsAndPanelPositions) {
  const struct {
    int dpi;
    float factor;
    int x, y;
  } kCases[] = {
      {72, 0.75f, 104, 13},        {96, 1.0f, 139, 18},  {97, 1.0710417f, 148, 19},
      {120, 1.325f, 184, 23},      {144, 1.59f, 221, 28}, {192, 2.1199999f, 294, 38},
  };
  for (const auto& c : kCases) {
    const float factor = DisplayScaleFactor(c.dpi);
    EXPECT_FLOAT_EQ(factor, c.factor) << c.dpi << " dpi";
    EXPECT_EQ(ScaledPixels(139, factor), c.x) << c.dpi << " dpi";
    EXPECT_EQ(ScaledPixels(18, factor), c.y) << c.dpi << " dpi";
  }
}

TEST(DisplayScale, ColumnWidthsAt120Dpi) {
  const float factor = DisplayScaleFactor(120);
  EXPECT_EQ(ScaledPixels(291, factor), 385);
  EXPECT_EQ(ScaledPixels(308, factor), 408);
  EXPECT_EQ(ScaledPixels(120, factor), 159);
  EXPECT_EQ(ScaledPixels(110, factor), 145);
  EXPECT_EQ(ScaledPixels(269, factor), 356);
}

// A float as an integer mantissa times a power of two.
struct Dyadic {
  std::uint64_t mantissa;
  int exponent;
};

Dyadic Exact(float value) {
  int exponent;
  const float fraction = std::frexp(value, &exponent);
  return {static_cast<std::uint64_t>(std::ldexp(fraction, 24)), exponent - 24};
}

// The factor from exact integer products, rounded to single precision once per stored step.
float ExactFactor(int dpi) {
  const Dyadic step = Exact(0.010416667f), limit = Exact(1.01f), six = Exact(0.06f);
  const std::uint64_t product = dpi * step.mantissa;  // times 2^step.exponent
  const float factor = static_cast<float>(std::ldexp(static_cast<long double>(product), step.exponent));
  // Both sides scaled to the smaller exponent (the limit's is the larger one).
  if (product <= limit.mantissa << (limit.exponent - step.exponent)) return factor;
  const Dyadic f = Exact(factor);
  const std::uint64_t sum = (f.mantissa << -six.exponent) + f.mantissa * six.mantissa;
  return static_cast<float>(std::ldexp(static_cast<long double>(sum), f.exponent + six.exponent));
}

int ExactPixels(int pixelsAt96Dpi, float factor) {
  const Dyadic f = Exact(factor);
  return static_cast<int>((pixelsAt96Dpi * f.mantissa) >> -f.exponent);
}

// Every DPI a display may report: the factor and every pixel size it scales (panel position,
// column widths) are those of exact arithmetic, in every build alike.
TEST(DisplayScale, EveryDpiFrom72To480MatchesExactArithmetic) {
  for (int dpi = 72; dpi <= 480; ++dpi) {
    const float factor = DisplayScaleFactor(dpi);
    ASSERT_EQ(factor, ExactFactor(dpi)) << dpi << " dpi";
    for (int pixels : {139, 18, 291, 308, 269, 120, 110}) {
      EXPECT_EQ(ScaledPixels(pixels, factor), ExactPixels(pixels, factor)) << pixels << " px at " << dpi << " dpi";
    }
  }
  EXPECT_EQ(ScaledPixels(120, DisplayScaleFactor(360)), 476);
}

}  // namespace
