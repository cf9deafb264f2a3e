#include "salvage/destination_rules.h"

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares at most `capacity` characters: a name that fills its buffer ends there.
bool SameTextIgnoringCase(const char* a, const char* b, std::size_t capacity = SIZE_MAX) {
  for (std::size_t i = 0; i < capacity; ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

// The size field of a FAT directory entry has 32 bits, whatever the FAT's own width.
constexpr std::uint64_t kFatLargestFile = 0xFFFFFFFFull;

struct FileSystemLimit {
  const char* name;
  std::uint64_t largestFile;
};

// Windows names FAT12 and FAT16 volumes "FAT"; other systems' servers may name them exactly.
// exFAT, NTFS and UDF hold files larger than any volume they are found on.
constexpr FileSystemLimit kLimits[] = {
    {"FAT", kFatLargestFile},
    {"FAT12", kFatLargestFile},
    {"FAT16", kFatLargestFile},
    {"FAT32", kFatLargestFile},
};

}  // namespace

std::uint64_t LargestFileOnFileSystem(const char* fileSystemName) {
  if (fileSystemName) {
    for (const FileSystemLimit& limit : kLimits) {
      if (SameTextIgnoringCase(fileSystemName, limit.name)) return limit.largestFile;
    }
  }
  return UINT64_MAX;
}

bool SameVolume(const VolumeIdentity& a, const VolumeIdentity& b) {
  const bool namesKnown = a.volumeName[0] != 0 && b.volumeName[0] != 0;
  if (namesKnown && SameTextIgnoringCase(a.volumeName, b.volumeName, kVolumeNameUnits)) return true;
  // A letter and a share, or two letters, can lead to the same volume: its serial tells.
  if (a.serial != 0 && a.serial == b.serial) return true;
  // Two volume names that differ overrule the letter: a folder below X:\ may be a mount point
  // of another volume. Without them, the same letter is the same volume.
  return !namesKnown && a.letter != 0 && UpperAscii(a.letter) == UpperAscii(b.letter);
}
