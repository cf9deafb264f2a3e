// Reads of single sectors that are sector reads on Windows: a buffered read goes through the
// cache in whole pages, so a sector beside a bad one would fail with it. These reads use a
// handle of their own opened without buffering, every offset, length and buffer address a
// multiple of the sector size. Where that handle cannot be had, they fall back to buffered
// reads.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/run_state.h"

class SectorReader {
 public:
  SectorReader() = default;
  ~SectorReader();
  SectorReader(const SectorReader&) = delete;
  SectorReader& operator=(const SectorReader&) = delete;

  // Opens the unbuffered handle; `buffered` is the source's ordinary handle, used where the
  // unbuffered one cannot be. Once only, before any read.
  void Open(const WidePath& source, HANDLE buffered, int sectorSize);

  // Reads [offset, offset + length), at most one sector (the last one may end at the
  // file's end), into `out`. Returns whether it succeeded and how many bytes it gave.
  bool Read(std::int64_t offset, std::int64_t length, void* out, DWORD& bytesRead);

 private:
  HANDLE buffered_ = INVALID_HANDLE_VALUE;
  HANDLE unbuffered_ = INVALID_HANDLE_VALUE;
  int sectorSize_ = 512;
  void* memory_ = nullptr;  // page aligned, so aligned to any sector size
};

// The sector size of the volume whose root is `driveRoot`: 512 where it cannot be told.
int SourceSectorSize(const WidePath& driveRoot);
