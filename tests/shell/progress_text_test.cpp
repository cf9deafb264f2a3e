#include "shell/progress_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string SizeText(std::int64_t bytes) {
  char text[32];
  FormatByteCount(bytes, text, sizeof text);
  return text;
}

TEST(SizeText, WholeBytesWithoutGrouping) {
  EXPECT_EQ(SizeText(0), "0 bytes");
  EXPECT_EQ(SizeText(4097), "4097 bytes");
  EXPECT_EQ(SizeText(4294971393LL), "4294971393 bytes");  // 4 GiB + 4097
  EXPECT_EQ(SizeText(9007199254740993LL - 1), "9007199254740992 bytes");
}

TEST(Percentage, TruncatesAndCountsBytesBeforeTheBlock) {
  EXPECT_EQ(PercentDone(0, 4097), 0);
  EXPECT_EQ(PercentDone(4096, 4097), 99);  // never 100 while the last block is read
  EXPECT_EQ(PercentDone(4096, 8192), 50);
  EXPECT_EQ(PercentDone(4294967296LL, 8589934592LL), 50);  // 64-bit offsets
  EXPECT_EQ(PercentDone(1, 3), 33);
}

TEST(ProgressClock, FirstBlockNeverRefreshesThenEveryMillisecondStep) {
  ProgressClock clock;
  clock.Start(5000);
  EXPECT_FALSE(clock.RefreshDue());  // previous-block tick is still 0
  clock.previousBlockTick = 5001;
  EXPECT_FALSE(clock.RefreshDue());  // exactly 1 ms is not enough
  clock.previousBlockTick = 5002;
  EXPECT_TRUE(clock.RefreshDue());
}

TEST(ProgressClock, SurvivesTickCounterWrap) {
  ProgressClock clock;
  clock.Start(0xFFFFFFF0u);
  clock.previousBlockTick = 0x00000005u;  // 21 ms later, after the wrap
  EXPECT_TRUE(clock.RefreshDue());
  clock.Start(0x80000005u);  // past 2^31 the first block does show progress
  EXPECT_TRUE(clock.RefreshDue());
}

TEST(StatusPath, ShortPathIsKeptWhole) {
  const char path[] = "C:\\data\\file.bin";
  char out[kStatusTextUnits];
  ShortenPathForStatus(path, StatusPathCapacity(24), out);
  EXPECT_STREQ(out, path);
}

TEST(StatusPath, LongestPathIsShortenedToFitTheStatusText) {
  const char format[] = "Current File: %s - CALCULATING %d%%";
  const std::size_t capacity = StatusPathCapacity(sizeof format - 1);
  std::u16string path = u"D:\\";
  while (path.size() < 250) path += u"folder\\";
  path.resize(250);
  path += u"\\last.bin";  // 259 units
  ASSERT_EQ(path.size(), 259u);

  char16_t out[kStatusTextUnits];
  for (auto& unit : out) unit = u'#';
  ShortenPathForStatus(path.c_str(), capacity, out);
  const std::u16string shortened(out);
  EXPECT_EQ(shortened.size(), capacity);
  EXPECT_EQ(shortened.substr(0, 6), u"D:\\...");
  EXPECT_EQ(shortened.substr(shortened.size() - 9), u"\\last.bin");
  // The fixed text, the path and "100%" still fit the buffer with the terminator.
  EXPECT_LE(sizeof format - 1 - 6 + shortened.size() + 4, kStatusTextUnits - 1);
}

}  // namespace
