// Texts and arithmetic shared by the engines' progress and result reporting.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/wide_path.h"

// Status line texts are formatted into buffers of this many units, terminator included.
constexpr std::size_t kStatusTextUnits = 260;

// "%1.0f bytes": the whole count without digit grouping. `out` needs 32 bytes.
void FormatByteCount(std::int64_t bytes, char* out, std::size_t outSize);

// offset * 100.0 / size in double precision, truncated toward zero.
int PercentDone(std::int64_t offset, std::int64_t size);

// When the progress text may be rewritten: once the previous block ended more than
// 1 ms after the last rewrite. The previous-block tick starts at 0, so the first block
// of a file never shows progress (unless the tick count has passed 2^31).
struct ProgressClock {
  std::uint32_t lastRefreshTick = 0;
  std::uint32_t previousBlockTick = 0;

  void Start(std::uint32_t now) {
    lastRefreshTick = now;
    previousBlockTick = 0;
  }
  bool RefreshDue() const {
    return static_cast<std::int32_t>(previousBlockTick - lastRefreshTick) > 1;
  }
};

// Longest path that fits a status text made from `format`, which holds one %s, one %d
// (a percentage, at most three digits) and one %%.
constexpr std::size_t StatusPathCapacity(std::size_t formatLength) {
  // The six format characters print as the path, up to three digits and one '%'.
  return kStatusTextUnits - 1 - (formatLength - 6) - 3 - 1;
}

// Copies `path` into `out` shortened to at most `capacity` units (plus terminator):
// a path that is too long keeps its first three units (the drive root), then "...",
// then its tail, so that the user still sees which file is being read.
template <typename Unit>
void ShortenPathForStatus(const Unit* path, std::size_t capacity, Unit* out) {
  const std::size_t length = BoundedLength(path, kWidePathUnits);
  if (length <= capacity) {
    for (std::size_t i = 0; i < length; ++i) out[i] = path[i];
    out[length] = 0;
    return;
  }
  constexpr std::size_t kHead = 3;
  constexpr std::size_t kEllipsis = 3;
  const std::size_t tail = capacity - kHead - kEllipsis;
  std::size_t n = 0;
  for (std::size_t i = 0; i < kHead; ++i) out[n++] = path[i];
  for (std::size_t i = 0; i < kEllipsis; ++i) out[n++] = static_cast<Unit>('.');
  for (std::size_t i = length - tail; i < length; ++i) out[n++] = path[i];
  out[n] = 0;
}
