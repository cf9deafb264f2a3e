#include "salvage/salvage_result.h"

#include <cstdio>

SalvageResultCells FormatSalvageResult(std::int64_t sourceSize, std::int64_t correctBytes) {
  int correctPercent = 100;
  if (sourceSize > 0) {
    const double share = static_cast<double>(correctBytes) * 100.0 / static_cast<double>(sourceSize);
    correctPercent = share >= 100.0 ? 100 : static_cast<int>(share);
  }
  std::int64_t errorBytes = sourceSize - correctBytes;
  if (errorBytes < 0) errorBytes = 0;

  SalvageResultCells cells;
  std::snprintf(cells.correct, sizeof cells.correct, "%1.0f bytes (%d%%)",
                static_cast<double>(correctBytes), correctPercent);
  std::snprintf(cells.error, sizeof cells.error, "%1.0f bytes (%d%%)",
                static_cast<double>(errorBytes), 100 - correctPercent);
  return cells;
}

void FormatIncompleteCopy(std::int64_t writtenUpTo, std::int64_t sourceSize, char* out,
                          std::size_t outSize) {
  std::snprintf(out, outSize,
                "Copy is incomplete: the destination could not be written after %1.0f of %1.0f "
                "bytes.",
                static_cast<double>(writtenUpTo), static_cast<double>(sourceSize));
}
