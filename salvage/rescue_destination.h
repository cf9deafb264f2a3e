// The folder that Copy Files To... rescues files into, as the system sees it: on which volume
// it lies, whether it can be written, its free space and the largest file it can take.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/run_state.h"

// Refuses a folder on the volume of `driveRoot` (the drive being checked, also when reached
// through another letter, a share or a mount point) and one that does not exist or cannot be
// written, each with its message box owned by `owner`, captioned "Read Drive Check"; the
// second gives the system's reason. Returns true when refused. Whether a file can be made is
// tried with a file of its own, which never stays behind.
bool RescueFolderRefused(HWND owner, const WidePath& folder, const WidePath& driveRoot);

// Whether `path` (a folder, or a file that need not exist yet) lies on the volume of
// `driveRoot`, also when reached through another letter, a share or a mount point.
bool OnVolumeOf(const WidePath& path, const WidePath& driveRoot);

// The bytes free to this user in the folder's volume; false when the system cannot tell.
bool FolderFreeSpace(const WidePath& folder, std::uint64_t& available);

// The largest file the file system of the folder's volume holds; UINT64_MAX when unlimited
// or unknown.
std::uint64_t LargestFileIn(const WidePath& folder);
