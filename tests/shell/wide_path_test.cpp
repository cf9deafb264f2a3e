#include "shell/wide_path.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(WidePath, AnsiBytesSurviveWideningAndNarrowing) {
  char ansi[kWidePathUnits] = {};
  // Every byte value but the terminator, as a name on a non-English system may hold.
  for (std::size_t i = 0; i < 255; ++i) ansi[i] = static_cast<char>(i + 1);
  char16_t wide[kWidePathUnits];
  WidenPath(ansi, wide);
  EXPECT_EQ(wide[0], 0x0001);
  EXPECT_EQ(wide[0x7E], 0x007F);
  EXPECT_EQ(wide[0x7F], 0xFF80);  // 0x80 is sign-extended
  EXPECT_EQ(wide[0xFE], 0xFFFF);  // 0xFF
  EXPECT_EQ(wide[255], 0);

  char back[kWidePathUnits];
  std::memset(back, 'x', sizeof back);
  NarrowPath(wide, back);
  EXPECT_EQ(0, std::memcmp(ansi, back, sizeof ansi));
}

TEST(WidePath, LongestPathKeepsItsTerminator) {
  char ansi[kWidePathUnits] = {};
  std::memset(ansi, 'a', kWidePathUnits - 1);
  char16_t wide[kWidePathUnits];
  WidenPath(ansi, wide);
  EXPECT_EQ(BoundedLength(wide, kWidePathUnits), 259u);
  EXPECT_EQ(wide[kWidePathUnits - 1], 0);

  // A wide path without a terminator still narrows into a terminated ANSI text.
  for (auto& unit : wide) unit = u'b';
  char back[kWidePathUnits];
  NarrowPath(wide, back);
  EXPECT_EQ(std::strlen(back), 259u);
}

}  // namespace
