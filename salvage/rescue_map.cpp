#include "salvage/rescue_map.h"

#include <cstdio>
#include <cstring>

#include "salvage/sector_alignment.h"

namespace {

bool Alike(const MapRange& a, const MapRange& b) { return a.state == b.state && a.tries == b.tries; }

const char* const kPassNames[] = {"copy", "skipped", "sectors", "retry", "done"};

bool ValidState(char state) {
  return state == '?' || state == '*' || state == '/' || state == '-' || state == '+';
}

// A part of the map's text, which is never copied.
struct Piece {
  const char* at = nullptr;
  std::size_t length = 0;
  bool Is(const char* text) const { return std::strlen(text) == length && std::memcmp(at, text, length) == 0; }
};

// A decimal number of at most 18 digits, the whole of `text`.
bool ParseNumber(Piece text, std::int64_t& value) {
  if (text.length == 0 || text.length > 18) return false;
  value = 0;
  for (std::size_t i = 0; i < text.length; ++i) {
    const char digit = text.at[i];
    if (digit < '0' || digit > '9') return false;
    value = value * 10 + (digit - '0');
  }
  return true;
}

// The blank-separated words of a line, up to `most`; the count of all of them.
std::size_t Words(Piece line, Piece* words, std::size_t most) {
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < line.length) {
    while (i < line.length && (line.at[i] == ' ' || line.at[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.length && line.at[i] != ' ' && line.at[i] != '\t') ++i;
    if (i > start) {
      if (count < most) words[count] = {line.at + start, i - start};
      ++count;
    }
  }
  return count;
}

bool ParseRange(Piece line, std::int64_t expectedStart, MapRange& range) {
  Piece words[4];
  std::int64_t tries = 0;
  if (Words(line, words, 4) != 4 || words[2].length != 1 || !ValidState(words[2].at[0])) return false;
  if (!ParseNumber(words[0], range.start) || !ParseNumber(words[1], range.size) || !ParseNumber(words[3], tries)) {
    return false;
  }
  range.state = static_cast<RangeState>(words[2].at[0]);
  range.tries = static_cast<int>(tries);
  if (tries > 1000000 || (range.state != RangeState::kUnreadable && tries != 0)) return false;
  return range.start == expectedStart && range.size > 0;
}

// One "key value" line of the head of the map.
bool ParseHeadLine(Piece line, RescueMap& map, unsigned& seen) {
  const void* found = std::memchr(line.at, ' ', line.length);
  if (!found) return false;
  const Piece key{line.at, static_cast<std::size_t>(static_cast<const char*>(found) - line.at)};
  const Piece value{key.at + key.length + 1, line.length - key.length - 1};
  static const char* const kKeys[] = {"source", "size", "written", "sector", "pass", "tries"};
  unsigned index = 0;
  while (index < 6 && !key.Is(kKeys[index])) ++index;
  if (index == 6 || (seen & (1u << index))) return false;
  seen |= 1u << index;
  std::int64_t number = 0;
  switch (index) {
    case 0:
      if (value.length >= sizeof map.sourcePath || std::memchr(value.at, 0, value.length)) return false;
      std::memcpy(map.sourcePath, value.at, value.length);
      map.sourcePath[value.length] = 0;
      return true;
    case 1:
      return ParseNumber(value, map.sourceSize);
    case 2:
      // Last-write times fill all 64 bits: up to 20 digits.
      if (value.length == 0 || value.length > 20) return false;
      map.sourceWriteTime = 0;
      for (std::size_t i = 0; i < value.length; ++i) {
        const char digit = value.at[i];
        if (digit < '0' || digit > '9') return false;
        const std::uint64_t next = map.sourceWriteTime * 10 + static_cast<unsigned>(digit - '0');
        if (next / 10 != map.sourceWriteTime) return false;
        map.sourceWriteTime = next;
      }
      return true;
    case 3:
      if (!ParseNumber(value, number) || number > 4096 || UsableSectorSize(static_cast<std::uint32_t>(number)) != number) {
        return false;
      }
      map.sectorSize = static_cast<int>(number);
      return true;
    case 4:
      for (int pass = 0; pass < 5; ++pass) {
        if (value.Is(kPassNames[pass])) {
          map.pass = static_cast<RescuePass>(pass);
          return true;
        }
      }
      return false;
    default:
      if (!ParseNumber(value, number) || number < 1 || number > 1000000) return false;
      map.triesAllowed = static_cast<int>(number);
      return true;
  }
}

}  // namespace

void RescueMap::Reset(std::int64_t size) {
  sourceSize = size > 0 ? size : 0;
  ranges.clear();
  if (sourceSize > 0) ranges.push_back({0, sourceSize, RangeState::kNeverTried, 0});
}

bool RescueMap::Mark(std::int64_t start, std::int64_t size, RangeState state, int tries) {
  std::int64_t end = start + size;
  if (start < 0) start = 0;
  if (end > sourceSize) end = sourceSize;
  if (end <= start) return true;
  const int addedTries = state == RangeState::kUnreadable ? tries : 0;
  // The mark that comes once a block as the passes go: the start of a range handed to the
  // range before it, which is alike. Done in place, without a new list.
  for (std::size_t i = 1; i < ranges.size() && ranges[i].start <= start; ++i) {
    MapRange& range = ranges[i];
    MapRange& before = ranges[i - 1];
    if (range.start == start && end < range.end() && before.state == state && before.tries == addedTries) {
      before.size += end - start;
      range.size -= end - start;
      range.start = end;
      return true;
    }
  }
  // A mark adds at most two ranges: all the room it needs is taken first, so that the
  // puts below cannot fail half-way.
  PlainArray<MapRange> marked;
  if (!marked.Reserve(ranges.size() + 2)) return false;
  const MapRange added{start, end - start, state, addedTries};
  bool placed = false;
  auto put = [&](const MapRange& range) {
    if (!marked.empty() && Alike(marked.back(), range) && marked.back().end() == range.start) {
      marked.back().size += range.size;
    } else {
      marked.push_back(range);
    }
  };
  for (const MapRange& range : ranges) {
    if (range.end() <= start || range.start >= end) {
      if (range.start >= end && !placed) {
        put(added);
        placed = true;
      }
      put(range);
      continue;
    }
    if (range.start < start) put({range.start, start - range.start, range.state, range.tries});
    if (!placed) {
      put(added);
      placed = true;
    }
    if (range.end() > end) put({end, range.end() - end, range.state, range.tries});
  }
  if (!placed) put(added);
  ranges.swap(marked);
  return true;
}

std::int64_t RescueMap::BytesIn(RangeState state) const {
  std::int64_t bytes = 0;
  for (const MapRange& range : ranges) {
    if (range.state == state) bytes += range.size;
  }
  return bytes;
}

PlainArray<ByteSpan> RescueMap::FailedSpans() const {
  PlainArray<ByteSpan> spans;
  for (const MapRange& range : ranges) {
    if (range.state != RangeState::kFailedBlock && range.state != RangeState::kUnreadable) continue;
    if (!spans.empty() && spans.back().end == range.start) {
      spans.back().end = range.end();
    } else {
      spans.push_back({range.start, range.end()});
    }
  }
  return spans;
}

PlainText FormatRescueMap(const RescueMap& map) {
  PlainText text(
      "# Verolux rescue map: what has been read of one file, so that a later run goes on from it.\n"
      "# Ranges: start, size (bytes), state, failed reads of each sector.\n"
      "# States: ? never read, * skipped, / failed in a block, - unreadable, + rescued.\n");
  char line[160];
  text.Add("source ");
  text.Add(map.sourcePath);
  text.Add("\n");
  std::snprintf(line, sizeof line, "size %1.0f\nwritten %llu\nsector %d\npass %s\ntries %d\n",
                static_cast<double>(map.sourceSize), static_cast<unsigned long long>(map.sourceWriteTime),
                map.sectorSize, RescuePassName(map.pass), map.triesAllowed);
  text.Add(line);
  for (const MapRange& range : map.ranges) {
    std::snprintf(line, sizeof line, "%1.0f %1.0f %c %d\n", static_cast<double>(range.start),
                  static_cast<double>(range.size), static_cast<char>(range.state), range.tries);
    text.Add(line);
  }
  return text;
}

bool ParseRescueMap(const char* text, std::size_t length, RescueMap& map) {
  map = RescueMap();
  unsigned seen = 0;
  std::int64_t covered = 0;
  std::size_t at = 0;
  while (at < length) {
    const void* newline = std::memchr(text + at, '\n', length - at);
    const std::size_t end = newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - text) : length;
    Piece line{text + at, end - at};
    at = end + 1;
    if (line.length > 0 && line.at[line.length - 1] == '\r') --line.length;
    if (line.length == 0 || line.at[0] == '#') continue;
    if (seen != 0x3Fu) {
      if (!ParseHeadLine(line, map, seen)) return false;
      continue;
    }
    MapRange range;
    if (!ParseRange(line, covered, range) || range.size > map.sourceSize - covered) return false;
    if (!map.ranges.push_back(range)) return false;
    covered += range.size;
  }
  return seen == 0x3Fu && covered == map.sourceSize;
}

const char* RescuePassName(RescuePass pass) { return kPassNames[static_cast<int>(pass)]; }
