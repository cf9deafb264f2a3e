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

// A decimal number of at most 18 digits, the whole of `text`.
bool ParseNumber(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return false;
    value = value * 10 + (digit - '0');
  }
  return true;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool ParseRange(const std::string& line, std::int64_t expectedStart, MapRange& range) {
  const std::vector<std::string> words = Words(line);
  std::int64_t tries = 0;
  if (words.size() != 4 || words[2].size() != 1 || !ValidState(words[2][0])) return false;
  if (!ParseNumber(words[0], range.start) || !ParseNumber(words[1], range.size) || !ParseNumber(words[3], tries)) {
    return false;
  }
  range.state = static_cast<RangeState>(words[2][0]);
  range.tries = static_cast<int>(tries);
  if (tries > 1000000 || (range.state != RangeState::kUnreadable && tries != 0)) return false;
  return range.start == expectedStart && range.size > 0;
}

// One "key value" line of the head of the map.
bool ParseHeadLine(const std::string& line, RescueMap& map, unsigned& seen) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string::npos) return false;
  const std::string key = line.substr(0, blank);
  const std::string value = line.substr(blank + 1);
  static const char* const kKeys[] = {"source", "size", "written", "sector", "pass", "tries"};
  unsigned index = 0;
  while (index < 6 && key != kKeys[index]) ++index;
  if (index == 6 || (seen & (1u << index))) return false;
  seen |= 1u << index;
  std::int64_t number = 0;
  switch (index) {
    case 0:
      map.sourcePath = value;
      return true;
    case 1:
      return ParseNumber(value, map.sourceSize);
    case 2:
      // Last-write times fill all 64 bits: up to 20 digits.
      if (value.empty() || value.size() > 20) return false;
      map.sourceWriteTime = 0;
      for (char digit : value) {
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
        if (value == kPassNames[pass]) {
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

void RescueMap::Mark(std::int64_t start, std::int64_t size, RangeState state, int tries) {
  std::int64_t end = start + size;
  if (start < 0) start = 0;
  if (end > sourceSize) end = sourceSize;
  if (end <= start) return;
  std::vector<MapRange> marked;
  marked.reserve(ranges.size() + 2);
  const MapRange added{start, end - start, state, state == RangeState::kUnreadable ? tries : 0};
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
}

std::int64_t RescueMap::BytesIn(RangeState state) const {
  std::int64_t bytes = 0;
  for (const MapRange& range : ranges) {
    if (range.state == state) bytes += range.size;
  }
  return bytes;
}

std::vector<ByteSpan> RescueMap::FailedSpans() const {
  std::vector<ByteSpan> spans;
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

std::string FormatRescueMap(const RescueMap& map) {
  std::string text =
      "# Verolux rescue map: what has been read of one file, so that a later run goes on from it.\n"
      "# Ranges: start, size (bytes), state, failed reads of each sector.\n"
      "# States: ? never read, * skipped, / failed in a block, - unreadable, + rescued.\n";
  char line[160];
  text += "source " + map.sourcePath + "\n";
  std::snprintf(line, sizeof line, "size %1.0f\nwritten %llu\nsector %d\npass %s\ntries %d\n",
                static_cast<double>(map.sourceSize), static_cast<unsigned long long>(map.sourceWriteTime),
                map.sectorSize, RescuePassName(map.pass), map.triesAllowed);
  text += line;
  for (const MapRange& range : map.ranges) {
    std::snprintf(line, sizeof line, "%1.0f %1.0f %c %d\n", static_cast<double>(range.start),
                  static_cast<double>(range.size), static_cast<char>(range.state), range.tries);
    text += line;
  }
  return text;
}

bool ParseRescueMap(const std::string& text, RescueMap& map) {
  map = RescueMap();
  unsigned seen = 0;
  std::int64_t covered = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (seen != 0x3Fu) {
      if (!ParseHeadLine(line, map, seen)) return false;
      continue;
    }
    MapRange range;
    if (!ParseRange(line, covered, range) || range.size > map.sourceSize - covered) return false;
    map.ranges.push_back(range);
    covered += range.size;
  }
  return seen == 0x3Fu && covered == map.sourceSize;
}

const char* RescuePassName(RescuePass pass) { return kPassNames[static_cast<int>(pass)]; }
