// The rescue map of one file: which byte ranges of the source have been rescued, which failed
// and how often, and which were never read. Its ranges are sorted, never overlap and always
// cover the whole source, so what is left to do is always a query on the map. It is kept as
// a text file beside the copy, which a person can read and a later run goes on from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/plain_array.h"
#include "shell/wide_path.h"

// The state of a range, written as one character in the map file.
enum class RangeState : char {
  kNeverTried = '?',
  kSkipped = '*',      // passed over by the first pass after a failed read nearby
  kFailedBlock = '/',  // failed as part of a block: still to be read sector by sector
  kUnreadable = '-',   // failed when read sector by sector
  kRescued = '+',
};

// The pass a file's rescue has reached; each pass only changes the states of the map.
enum class RescuePass { kCopy, kSkipped, kSectors, kRetry, kDone };

struct ByteSpan {
  std::int64_t start = 0;
  std::int64_t end = 0;  // one past the last byte
};

struct MapRange {
  std::int64_t start = 0;
  std::int64_t size = 0;
  RangeState state = RangeState::kNeverTried;
  int tries = 0;  // failed reads of each sector of an unreadable range; 0 for the other states
  std::int64_t end() const { return start + size; }
};

// A source path below the drive root in UTF-8: three bytes for each unit of a wide path.
constexpr std::size_t kMapPathBytes = kWidePathUnits * 3;

struct RescueMap {
  char sourcePath[kMapPathBytes] = {};  // below the drive root, '\'-separated, UTF-8
  std::int64_t sourceSize = 0;       // when the rescue began
  std::uint64_t sourceWriteTime = 0; // last-write time, 100 ns units since 1601
  int sectorSize = 512;
  RescuePass pass = RescuePass::kCopy;
  // How many reads in all a sector of a small unreadable area may get; a later run over a
  // finished rescue raises it by three.
  int triesAllowed = 4;
  PlainArray<MapRange> ranges;

  // One never-tried range over `size` bytes (none for an empty source).
  void Reset(std::int64_t size);
  // Gives [start, start + size) the state and tries, splitting the ranges it cuts and joining
  // neighbours that end up alike. Bytes outside the source are ignored. False, with the map
  // unchanged, when there is no memory for the new ranges.
  bool Mark(std::int64_t start, std::int64_t size, RangeState state, int tries = 0);
  std::int64_t BytesIn(RangeState state) const;
  // The ranges whose reads have failed (failed blocks and unreadable sectors), neighbours
  // joined, in order; failed when there is no memory for them.
  PlainArray<ByteSpan> FailedSpans() const;
};

// The map as its file holds it: a few comment lines saying how to read it, then
// "source", "size", "written", "sector", "pass", "tries" lines, then one line a range:
// start, size, state character, tries (decimal, blank-separated), LF line ends.
PlainText FormatRescueMap(const RescueMap& map);

// Reads a map file's text. False for anything that is not exactly such a map (unknown
// keys, ranges that do not cover the source exactly, bad numbers or states), `map` then
// unspecified.
bool ParseRescueMap(const char* text, std::size_t length, RescueMap& map);

// "copy", "skipped", "sectors", "retry", "done".
const char* RescuePassName(RescuePass pass);
