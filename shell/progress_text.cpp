#include "shell/progress_text.h"

#include <cstdio>

void FormatByteCount(std::int64_t bytes, char* out, std::size_t outSize) {
  std::snprintf(out, outSize, "%1.0f bytes", static_cast<double>(bytes));
}

int PercentDone(std::int64_t offset, std::int64_t size) {
  if (size <= 0) return 0;
  return static_cast<int>(static_cast<double>(offset) * 100.0 / static_cast<double>(size));
}
