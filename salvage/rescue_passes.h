// The passes of a rescue over one file's map: what to read next and what a read's result
// does to the map. It decides only; the reads, writes and the message drain are the caller's,
// so it runs the same on whichever thread reads.
//
//   copy     4 KiB blocks at absolute offsets over what was never tried, in order; after a
//            failed block the next 64 KiB are skipped, twice that after each further failure
//            in a row (at most 4 MiB), back to 64 KiB after a read that succeeds
//   skipped  each skipped range read backwards in 4 KiB blocks from its end, so that the data
//            after a dead area comes first; at its first failure the rest of that range is
//            taken as failed
//   sectors  every failed block read sector by sector
//   retry    rounds: in each, every sector of a small unreadable area (a run of at most 8
//            unreadable sectors between readable bytes or the file's ends) that has had fewer
//            reads than the map allows is read once more; a large dead area is not retried
#pragma once

#include <cstdint>

#include "salvage/rescue_map.h"

constexpr std::int64_t kRescueBlockSize = 4096;

struct PlannedRead {
  std::int64_t offset = 0;
  std::int64_t length = 0;  // at most one block; a sector read may end at the file's end
  bool bySector = false;    // one sector: read through the sector reader
};

class RescuePlanner {
 public:
  // The map must outlive the planner; its sector size is used as it is.
  explicit RescuePlanner(RescueMap& map);

  // Whether `pass` has anything to read in this file.
  bool HasWork(RescuePass pass) const;

  // Starts a pass over the file: the copy pass at the first never-tried byte, the skipped
  // pass at the last skipped range, a retry round on the sectors eligible now.
  void BeginPass(RescuePass pass);

  // The next read of the pass begun, or false when the pass is done with this file.
  bool NextRead(PlannedRead& read);

  // What the read gave: `bytesRead` bytes from its offset were read (all of it when it
  // succeeded whole; a short success leaves the rest failed), or it failed. False when there
  // was no memory to record all of it: the map then holds less than was read, never more,
  // and the rescue must stop.
  bool Record(const PlannedRead& read, bool succeeded, std::int64_t bytesRead);

  // Sets the map's pass to the first one with work left (kDone when none).
  void UpdateMapPass();

 private:
  const MapRange* RangeAt(std::int64_t offset) const;
  bool NextCopyRead(PlannedRead& read);
  bool NextSkippedRead(PlannedRead& read);
  bool NextSectorRead(PlannedRead& read);
  PlainArray<std::int64_t> EligibleSectors() const;

  RescueMap& map_;
  RescuePass pass_ = RescuePass::kDone;
  std::int64_t cursor_ = 0;  // where the pass goes on from (copy, sectors); the end already done (skipped)
  std::int64_t skip_ = 0;    // the copy pass's next skip after a failure
  PlainArray<std::int64_t> retrySectors_;
  std::size_t nextRetry_ = 0;
};
