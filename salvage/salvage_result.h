// The counts a salvage copy reports: its result row and how far an incomplete copy got.
#pragma once

#include <cstddef>
#include <cstdint>

#include "salvage/rescue_map.h"

// The two cells of the result row, "%1.0f bytes (%d%%)" each.
struct SalvageResultCells {
  char correct[64];
  char error[64];
};

// Correct share truncated and capped at 100 (100 for an empty source); the error share is
// what is left of 100. A source that grew during the copy can give more correct bytes than
// its size at the start: its error count then stays at 0 rather than going negative.
SalvageResultCells FormatSalvageResult(std::int64_t sourceSize, std::int64_t correctBytes);

// The closing message of a copy stopped by a failed write, with the bytes of the source
// that the destination holds up to the failure and the source's size.
void FormatIncompleteCopy(std::int64_t writtenUpTo, std::int64_t sourceSize, char* out,
                          std::size_t outSize);

// The report's cell of a rescued file's unreadable ranges: "start-end" (end exclusive) for
// each, blank-separated. A cell longer than `limit` characters is cut and ends with "...", as
// is one whose list of ranges is incomplete for want of memory.
PlainText FormatUnreadableRanges(const PlainArray<ByteSpan>& spans, std::size_t limit);
