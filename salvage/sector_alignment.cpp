#include "salvage/sector_alignment.h"

int UsableSectorSize(std::uint32_t bytesPerSector) {
  switch (bytesPerSector) {
    case 512:
    case 1024:
    case 2048:
    case 4096:
      return static_cast<int>(bytesPerSector);
    default:
      return 512;
  }
}

AlignedRead AlignSectorRead(std::int64_t offset, std::int64_t length, int sectorSize) {
  AlignedRead read;
  read.offset = offset - offset % sectorSize;
  read.skipBytes = static_cast<std::size_t>(offset - read.offset);
  const std::int64_t covered = offset + length - read.offset;
  read.length = static_cast<std::uint32_t>((covered + sectorSize - 1) / sectorSize * sectorSize);
  return read;
}

std::uintptr_t AlignAddress(std::uintptr_t address, std::size_t alignment) {
  return (address + alignment - 1) & ~static_cast<std::uintptr_t>(alignment - 1);
}
