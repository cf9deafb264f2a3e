#include "salvage/salvage_result.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SalvageResult, CellsShowBytesAndTruncatedShares) {
  const struct {
    std::int64_t size, correct;
    const char* correctCell;
    const char* errorCell;
  } kCases[] = {
      {0, 0, "0 bytes (100%)", "0 bytes (0%)"},                       // nothing to read
      {409600, 405504, "405504 bytes (99%)", "4096 bytes (1%)"},      // 99.0 %
      {409700, 409699, "409699 bytes (99%)", "1 bytes (1%)"},         // never rounded up
      {10000, 0, "0 bytes (0%)", "10000 bytes (100%)"},               // nothing readable
      {4294971393, 4294971393, "4294971393 bytes (100%)", "0 bytes (0%)"},
      {4096, 5000, "5000 bytes (100%)", "0 bytes (0%)"},              // grew while copied
  };
  for (const auto& c : kCases) {
    const SalvageResultCells cells = FormatSalvageResult(c.size, c.correct);
    EXPECT_STREQ(cells.correct, c.correctCell) << c.size << " " << c.correct;
    EXPECT_STREQ(cells.error, c.errorCell) << c.size << " " << c.correct;
  }
}

TEST(SalvageResult, IncompleteCopySaysHowFarItGot) {
  char text[160];
  FormatIncompleteCopy(12288, 4294971393, text, sizeof text);
  EXPECT_EQ(std::string(text),
            "Copy is incomplete: the destination could not be written after 12288 of "
            "4294971393 bytes.");
}

}  // namespace
