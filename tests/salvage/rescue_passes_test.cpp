// The passes of a rescue driven over a simulated failing medium, and the map's text.
#include "salvage/rescue_passes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "salvage/salvage_result.h"
#include "salvage/sector_alignment.h"

namespace {

std::string Text(const PlainText& text) { return std::string(text.data(), text.size()); }
bool Parse(const std::string& text, RescueMap& map) { return ParseRescueMap(text.data(), text.size(), map); }

// A medium: bad ranges fail every read touching them; a marginal range fails the first
// `failures` reads touching it, then reads.
struct Medium {
  std::vector<ByteSpan> bad;
  ByteSpan marginal{0, 0};
  int failures = 0;
  int failedReads = 0;
  std::vector<ByteSpan> given;  // what successful reads gave

  bool Read(const PlannedRead& read) {
    const std::int64_t end = read.offset + read.length;
    bool fails = false;
    for (const ByteSpan& span : bad) fails = fails || (read.offset < span.end && span.start < end);
    if (read.offset < marginal.end && marginal.start < end && failures > 0) {
      --failures;
      fails = true;
    }
    if (fails) {
      ++failedReads;
      return false;
    }
    for (const ByteSpan& span : given) EXPECT_FALSE(read.offset < span.end && span.start < end) << read.offset;
    given.push_back({read.offset, end});
    return true;
  }
};

constexpr RescuePass kPasses[] = {RescuePass::kCopy, RescuePass::kSkipped, RescuePass::kSectors,
                                  RescuePass::kRetry, RescuePass::kRetry, RescuePass::kRetry};

// Runs the passes; `stopAfter` reads into them the map goes through its text and a new
// planner goes on, as a later run after a stop would.
void Rescue(RescueMap& map, Medium& medium, int stopAfter = -1) {
  int reads = 0;
  for (RescuePass pass : kPasses) {
    RescuePlanner planner(map);
    planner.BeginPass(pass);
    PlannedRead read;
    while (planner.NextRead(read)) {
      EXPECT_LE(read.length, read.bySector ? map.sectorSize : kRescueBlockSize);
      ASSERT_TRUE(planner.Record(read, medium.Read(read), read.length));
      if (++reads == stopAfter) {
        RescueMap reloaded;
        ASSERT_TRUE(Parse(Text(FormatRescueMap(map)), reloaded));
        // The planner keeps nothing across a pass's start but what the map says.
        map = reloaded;
        planner.BeginPass(pass);
      }
    }
    planner.UpdateMapPass();
  }
}

TEST(RescuePasses, EveryReadableByteIsRescuedOnceAndDeadAreasAreNotRetried) {
  // An unaligned bad sector, a marginal sector that reads on its third try, a dead 256 KiB
  // with readable data after it, an unreadable last sector.
  const std::int64_t size = 1 << 20;
  for (int stopAfter : {-1, 3, 40, 400, 700}) {
    SCOPED_TRACE(stopAfter);
    Medium medium;
    medium.bad = {{100352, 100864}, {400 * 1024, 656 * 1024}, {size - 300, size}};
    medium.marginal = {204800, 205312};
    medium.failures = 2;
    RescueMap map;
    map.Reset(size);
    std::strcpy(map.sourcePath, "\\a b\\c.bin");
    Rescue(map, medium, stopAfter);
    EXPECT_EQ(map.pass, RescuePass::kDone);
    EXPECT_EQ(map.BytesIn(RangeState::kRescued), size - 512 - 256 * 1024 - 512);
    EXPECT_EQ(Text(FormatUnreadableRanges(map.FailedSpans(), 1000)), "100352-100864 409600-671744 1048064-1048576");
    // Each sector of the dead area once, a few blocks, four tries of each small bad area.
    EXPECT_LE(medium.failedReads, 512 + 16 + 4 + 4 + 2);
    for (const MapRange& range : map.ranges) {
      if (range.state == RangeState::kUnreadable) {
        EXPECT_EQ(range.tries, range.size > 4096 ? 1 : 4) << range.start;
      }
    }
  }
}

TEST(RescuePasses, ALaterRoundRetriesOnlyWhatIsStillUnreadable) {
  Medium medium;
  medium.bad = {{8192, 8704}};
  RescueMap map;
  map.Reset(16384);
  Rescue(map, medium);
  const int failed = medium.failedReads;
  map.triesAllowed += 3;
  medium.given.clear();
  RescuePlanner planner(map);
  planner.UpdateMapPass();
  EXPECT_EQ(map.pass, RescuePass::kRetry);
  Rescue(map, medium);
  EXPECT_EQ(medium.failedReads - failed, 3);
  EXPECT_TRUE(medium.given.empty());
}

TEST(RescueMapText, OnlyAWholeMapIsRead) {
  RescueMap map;
  map.Reset(10000);
  map.Mark(4096, 512, RangeState::kUnreadable, 2);
  map.Mark(0, 4096, RangeState::kRescued);
  const std::string text = Text(FormatRescueMap(map));
  RescueMap read;
  ASSERT_TRUE(Parse(text, read));
  EXPECT_EQ(Text(FormatRescueMap(read)), text);
  const std::string head = text.substr(0, text.find("0 4096"));
  const std::string broken[] = {
      "",
      head,                                              // no ranges for a file of 10000 bytes
      head + "0 4096 + 0\n4096 512 - 2\n4608 5391 ? 0\n",  // one byte short
      head + "0 4096 + 0\n4096 512 x 2\n4608 5392 ? 0\n",  // no such state
      head + "0 4096 + 1\n4096 512 - 2\n4608 5392 ? 0\n",  // tries on a rescued range
      head + "0 4096 + 0\n4000 608 - 2\n4608 5392 ? 0\n",  // overlapping
      head + "0 99999999999999999999 + 0\n",
      "size 5\n" + text,                                // a key twice
      text + "garbage\n",
  };
  for (const std::string& t : broken) EXPECT_FALSE(Parse(t, read)) << t;
}

TEST(RescueMapText, ALongCellOfRangesEndsWithWholeRangesAndDots) {
  PlainArray<ByteSpan> spans;
  for (std::int64_t at = 0; at < 10 * 4096; at += 4096) spans.push_back({at + 512, at + 1024});
  const std::string whole = Text(FormatUnreadableRanges(spans, 1000));
  EXPECT_EQ(whole.substr(0, 30), "512-1024 4608-5120 8704-9216 1");
  EXPECT_EQ(Text(FormatUnreadableRanges(spans, whole.size())), whole);
  // Whole ranges and the dots, within the limit.
  EXPECT_EQ(Text(FormatUnreadableRanges(spans, 31)), "512-1024 4608-5120 8704-9216...");
  EXPECT_EQ(Text(FormatUnreadableRanges(spans, 30)), "512-1024 4608-5120...");
}

TEST(SectorAlignment, ReadsCoverTheWantedBytesOnSectorBoundaries) {
  const struct {
    std::int64_t offset, length;
    int sector;
    std::int64_t alignedOffset;
    std::uint32_t alignedLength;
    std::size_t skip;
  } kCases[] = {{4096, 512, 512, 4096, 512, 0},   {9728, 272, 512, 9728, 512, 0},
                {6144, 2048, 2048, 6144, 2048, 0}, {8192, 1808, 2048, 8192, 2048, 0},
                {1000, 100, 512, 512, 1024, 488}};
  for (const auto& c : kCases) {
    const AlignedRead read = AlignSectorRead(c.offset, c.length, c.sector);
    EXPECT_EQ(read.offset, c.alignedOffset);
    EXPECT_EQ(read.length, c.alignedLength);
    EXPECT_EQ(read.skipBytes, c.skip);
  }
  EXPECT_EQ(UsableSectorSize(2048), 2048);
  EXPECT_EQ(UsableSectorSize(4096 * 2), 512);
  EXPECT_EQ(UsableSectorSize(0), 512);
  EXPECT_EQ(AlignAddress(0x1001, 2048), 0x1800u);
}

}  // namespace
