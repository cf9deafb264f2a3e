#include "shell/display_scale.h"

#include <gtest/gtest.h>

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

}  // namespace
