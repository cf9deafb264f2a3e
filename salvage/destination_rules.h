// The rules of a folder that rescued files are copied into, decided on the values the
// system's calls give: whether it lies on the volume being checked, and the largest file its
// file system can hold.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/wide_path.h"

// The largest file that a file system of this name (as the volume information calls give it,
// in any case) can hold; UINT64_MAX for a name without such a limit, an unknown one or none.
std::uint64_t LargestFileOnFileSystem(const char* fileSystemName);

// The reason in the report for a file larger than that.
constexpr const char* kTooLargeForFileSystem = "too large for the folder's file system";

// "\\?\Volume{GUID}\" is 49 characters.
constexpr std::size_t kVolumeNameUnits = 64;

// What the system says of the volume that holds a path.
struct VolumeIdentity {
  char letter = 0;                       // the drive letter the path starts with; 0 for a share
  char volumeName[kVolumeNameUnits] = {};  // its volume GUID name; empty when unknown
  std::uint32_t serial = 0;              // 0 when unknown
};

// Whether two paths lead to the same volume. Writing onto the volume being checked could
// destroy what is still readable on it, so any sign of sameness counts.
bool SameVolume(const VolumeIdentity& a, const VolumeIdentity& b);

// The root of the volume that holds `path` by its text alone: "X:\" or "\\server\share\";
// false for a relative path.
template <typename Unit>
bool VolumeRootOfText(const Unit (&path)[kWidePathUnits], Unit (&root)[kWidePathUnits]) {
  std::size_t length = 0;
  if (path[0] != 0 && path[1] == ':') {
    length = 2;
  } else if (path[0] == '\\' && path[1] == '\\') {
    int separators = 0;
    // Room is left for the closing backslash and the terminator.
    for (length = 2; length < kWidePathUnits - 2 && path[length] != 0; ++length) {
      if (path[length] == '\\' && ++separators == 2) break;
    }
  } else {
    return false;
  }
  for (std::size_t i = 0; i < kWidePathUnits; ++i) root[i] = i < length ? path[i] : 0;
  root[length] = '\\';
  return true;
}
