#include "salvage/rescue_passes.h"

namespace {

constexpr std::int64_t kFirstSkip = 64 * 1024;
constexpr std::int64_t kLargestSkip = 4 * 1024 * 1024;
// A run of unreadable sectors no longer than this is worth retrying; a longer one is dead.
constexpr std::int64_t kRetriedRunSectors = 8;

std::int64_t NextBoundary(std::int64_t offset, std::int64_t unit) { return (offset / unit + 1) * unit; }

}  // namespace

RescuePlanner::RescuePlanner(RescueMap& map) : map_(map) {}

const MapRange* RescuePlanner::RangeAt(std::int64_t offset) const {
  for (const MapRange& range : map_.ranges) {
    if (range.end() > offset) return &range;
  }
  return nullptr;
}

PlainArray<std::int64_t> RescuePlanner::EligibleSectors() const {
  PlainArray<std::int64_t> sectors;
  const std::int64_t sector = map_.sectorSize;
  const PlainArray<MapRange>& ranges = map_.ranges;
  for (std::size_t i = 0; i < ranges.size();) {
    if (ranges[i].state != RangeState::kUnreadable) {
      ++i;
      continue;
    }
    std::size_t last = i;
    while (last + 1 < ranges.size() && ranges[last + 1].state == RangeState::kUnreadable) ++last;
    const std::int64_t runBytes = ranges[last].end() - ranges[i].start;
    if (runBytes <= kRetriedRunSectors * sector) {
      for (std::size_t r = i; r <= last; ++r) {
        if (ranges[r].tries >= map_.triesAllowed) continue;
        for (std::int64_t at = ranges[r].start; at < ranges[r].end(); at = NextBoundary(at, sector)) {
          sectors.push_back(at);
        }
      }
    }
    i = last + 1;
  }
  return sectors;
}

bool RescuePlanner::HasWork(RescuePass pass) const {
  switch (pass) {
    case RescuePass::kCopy:
      return map_.BytesIn(RangeState::kNeverTried) > 0;
    case RescuePass::kSkipped:
      return map_.BytesIn(RangeState::kSkipped) > 0;
    case RescuePass::kSectors:
      return map_.BytesIn(RangeState::kFailedBlock) > 0;
    case RescuePass::kRetry:
      return !EligibleSectors().empty();
    default:
      return false;
  }
}

void RescuePlanner::BeginPass(RescuePass pass) {
  pass_ = pass;
  cursor_ = pass == RescuePass::kSkipped ? map_.sourceSize : 0;
  skip_ = kFirstSkip;
  retrySectors_.clear();
  nextRetry_ = 0;
  if (pass == RescuePass::kRetry) retrySectors_ = EligibleSectors();
}

bool RescuePlanner::NextCopyRead(PlannedRead& read) {
  for (const MapRange* range = RangeAt(cursor_); range; range = RangeAt(range->end())) {
    if (range->state != RangeState::kNeverTried) continue;
    const std::int64_t start = range->start > cursor_ ? range->start : cursor_;
    const std::int64_t blockEnd = NextBoundary(start, kRescueBlockSize);
    read = {start, (blockEnd < range->end() ? blockEnd : range->end()) - start, false};
    return true;
  }
  return false;
}

// Backwards from the end of the last skipped range, so that what lies after a dead area
// is read before the dead area is reached from its far side.
bool RescuePlanner::NextSkippedRead(PlannedRead& read) {
  const MapRange* found = nullptr;
  for (const MapRange& range : map_.ranges) {
    if (range.start >= cursor_) break;
    if (range.state == RangeState::kSkipped) found = &range;
  }
  if (!found) return false;
  const std::int64_t end = found->end() < cursor_ ? found->end() : cursor_;
  std::int64_t start = (end - 1) / kRescueBlockSize * kRescueBlockSize;
  if (start < found->start) start = found->start;
  read = {start, end - start, false};
  return true;
}

bool RescuePlanner::NextSectorRead(PlannedRead& read) {
  for (const MapRange* range = RangeAt(cursor_); range; range = RangeAt(range->end())) {
    if (range->state != RangeState::kFailedBlock) continue;
    const std::int64_t start = range->start > cursor_ ? range->start : cursor_;
    const std::int64_t sectorEnd = NextBoundary(start, map_.sectorSize);
    read = {start, (sectorEnd < range->end() ? sectorEnd : range->end()) - start, true};
    return true;
  }
  return false;
}

bool RescuePlanner::NextRead(PlannedRead& read) {
  switch (pass_) {
    case RescuePass::kCopy:
      return NextCopyRead(read);
    case RescuePass::kSkipped:
      return NextSkippedRead(read);
    case RescuePass::kSectors:
      return NextSectorRead(read);
    case RescuePass::kRetry: {
      // A sector rescued earlier in the round is not read again.
      while (nextRetry_ < retrySectors_.size()) {
        const std::int64_t at = retrySectors_[nextRetry_++];
        const MapRange* range = RangeAt(at);
        if (!range || range->state != RangeState::kUnreadable) continue;
        const std::int64_t sectorEnd = NextBoundary(at, map_.sectorSize);
        read = {at, (sectorEnd < range->end() ? sectorEnd : range->end()) - at, true};
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

bool RescuePlanner::Record(const PlannedRead& read, bool succeeded, std::int64_t bytesRead) {
  if (bytesRead > read.length) bytesRead = read.length;
  if (!succeeded) bytesRead = 0;
  const std::int64_t failedStart = read.offset + bytesRead;
  const std::int64_t failedSize = read.length - bytesRead;
  bool recorded = map_.Mark(read.offset, bytesRead, RangeState::kRescued);
  switch (pass_) {
    case RescuePass::kCopy:
      recorded = recorded && map_.Mark(failedStart, failedSize, RangeState::kFailedBlock);
      cursor_ = read.offset + read.length;
      if (failedSize == 0) {
        skip_ = kFirstSkip;
        return recorded;
      }
      // Past the damage at once: the rest of a dead area costs a few reads, not thousands.
      if (const MapRange* next = RangeAt(cursor_); next && next->state == RangeState::kNeverTried) {
        std::int64_t skipEnd = cursor_ + skip_;
        if (skipEnd > next->end()) skipEnd = next->end();
        recorded = recorded && map_.Mark(cursor_, skipEnd - cursor_, RangeState::kSkipped);
        cursor_ = skipEnd;
      }
      skip_ = skip_ * 2 > kLargestSkip ? kLargestSkip : skip_ * 2;
      return recorded;
    case RescuePass::kSkipped:
      cursor_ = read.offset;
      if (failedSize == 0) return recorded;
      recorded = recorded && map_.Mark(failedStart, failedSize, RangeState::kFailedBlock);
      // The rest of this skipped range lies in the same damage: it is read sector by sector.
      for (const MapRange& range : map_.ranges) {
        if (range.state == RangeState::kSkipped && range.end() == read.offset) {
          cursor_ = range.start;
          recorded = recorded && map_.Mark(range.start, read.offset - range.start, RangeState::kFailedBlock);
          break;
        }
      }
      return recorded;
    case RescuePass::kSectors:
      recorded = recorded && map_.Mark(failedStart, failedSize, RangeState::kUnreadable, 1);
      cursor_ = read.offset + read.length;
      return recorded;
    case RescuePass::kRetry: {
      if (failedSize == 0) return recorded;
      const MapRange* range = RangeAt(failedStart);
      const int tries = range && range->state == RangeState::kUnreadable ? range->tries + 1 : 1;
      recorded = recorded && map_.Mark(failedStart, failedSize, RangeState::kUnreadable, tries);
      return recorded;
    }
    default:
      return recorded;
  }
}

void RescuePlanner::UpdateMapPass() {
  static const RescuePass kOrder[] = {RescuePass::kCopy, RescuePass::kSkipped, RescuePass::kSectors,
                                      RescuePass::kRetry};
  for (RescuePass pass : kOrder) {
    if (HasWork(pass)) {
      map_.pass = pass;
      return;
    }
  }
  map_.pass = RescuePass::kDone;
}
