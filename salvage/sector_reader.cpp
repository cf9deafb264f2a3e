#include "salvage/sector_reader.h"

#include <cstring>

#include "salvage/sector_alignment.h"
#include "shell/block_reading.h"
#include "salvage/unfinished_copy.h"

namespace {

// Two sectors of the largest size: a read of one sector never needs more.
constexpr SIZE_T kBufferBytes = 8192;

}  // namespace

void SectorReader::Open(const WidePath& source, HANDLE buffered, int sectorSize) {
  buffered_ = buffered;
  sectorSize_ = UsableSectorSize(static_cast<std::uint32_t>(sectorSize));
  memory_ = VirtualAlloc(nullptr, kBufferBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!memory_) return;
  unbuffered_ = OnPath(
      source,
      [](const WCHAR* name) {
        return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING,
                           nullptr);
      },
      [](const char* name) {
        return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING,
                           nullptr);
      });
}

SectorReader::~SectorReader() {
  if (unbuffered_ != INVALID_HANDLE_VALUE) CloseHandle(unbuffered_);
  if (memory_) VirtualFree(memory_, 0, MEM_RELEASE);
}

// The one place that reads without the cache: every number it hands the system comes from
// the aligned arithmetic, which Windows insists on and Wine does not check.
bool SectorReader::Read(std::int64_t offset, std::int64_t length, void* out, DWORD& bytesRead) {
  bytesRead = 0;
  const AlignedRead aligned = AlignSectorRead(offset, length, sectorSize_);
  if (unbuffered_ != INVALID_HANDLE_VALUE && aligned.length <= kBufferBytes - static_cast<SIZE_T>(sectorSize_)) {
    void* buffer = reinterpret_cast<void*>(AlignAddress(reinterpret_cast<std::uintptr_t>(memory_), sectorSize_));
    DWORD got = 0;
    if (ReadBytesAt(unbuffered_, aligned.offset, buffer, aligned.length, got)) {
      const DWORD wanted = static_cast<DWORD>(length);
      const DWORD beyondSkip = got > aligned.skipBytes ? got - static_cast<DWORD>(aligned.skipBytes) : 0;
      bytesRead = beyondSkip < wanted ? beyondSkip : wanted;
      std::memcpy(out, static_cast<char*>(buffer) + aligned.skipBytes, bytesRead);
      return true;
    }
    // A volume that takes other sizes than it reports: its reads are not bad sectors.
    if (GetLastError() != ERROR_INVALID_PARAMETER) return false;
    CloseHandle(unbuffered_);
    unbuffered_ = INVALID_HANDLE_VALUE;
  }
  return ReadBytesAt(buffered_, offset, out, static_cast<DWORD>(length), bytesRead);
}

int SourceSectorSize(const WidePath& driveRoot) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  const BOOL known = OnPath(
      driveRoot,
      [&](const WCHAR* root) {
        return GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters);
      },
      [&](const char* root) {
        return GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters);
      });
  return UsableSectorSize(known ? bytesPerSector : 0);
}
