#include "salvage/salvage_result.h"

#include <cstdio>
#include <cstring>

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

PlainText FormatUnreadableRanges(const PlainArray<ByteSpan>& spans, std::size_t limit) {
  PlainText cell;
  for (const ByteSpan& span : spans) {
    char text[48];
    std::snprintf(text, sizeof text, "%s%1.0f-%1.0f", cell.empty() ? "" : " ", static_cast<double>(span.start),
                  static_cast<double>(span.end));
    if (cell.size() + std::strlen(text) > limit) {
      // The cut keeps whole ranges and room for the mark that says it was cut.
      while (cell.size() + 3 > limit && !cell.empty()) {
        const char* blank = std::strrchr(cell.c_str(), ' ');
        cell.Shorten(blank ? static_cast<std::size_t>(blank - cell.c_str()) : 0);
      }
      cell.Add("...");
      return cell;
    }
    cell.Add(text);
  }
  if (spans.failed()) cell.Add(cell.empty() ? "..." : " ...");
  return cell;
}
