// The arithmetic of reads that bypass the system's cache: offsets, lengths and buffer
// addresses whole multiples of the sector size. Windows refuses any other such read, and
// Wine does not, so this is where it is kept right and tested.
#pragma once

#include <cstddef>
#include <cstdint>

// The sector size to use for what the volume reports: a power of two from 512 to 4096, or
// 512 where the report is none of those.
int UsableSectorSize(std::uint32_t bytesPerSector);

struct AlignedRead {
  std::int64_t offset = 0;     // where the read starts: a multiple of the sector size
  std::uint32_t length = 0;    // a multiple of the sector size; past the file's end the read is short
  std::size_t skipBytes = 0;   // bytes at the start of the buffer before the wanted ones
};

// The aligned read that covers [offset, offset + length); the last sector of a file is read
// whole.
AlignedRead AlignSectorRead(std::int64_t offset, std::int64_t length, int sectorSize);

// The first address at or above `address` that is a multiple of `alignment` (a power of two).
std::uintptr_t AlignAddress(std::uintptr_t address, std::size_t alignment);
