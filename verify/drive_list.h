// The drives that the Read Disc Check offers, and whether one of them can be scanned now.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

// Fills the drive list once, A to Z, each present drive named by its volume label or its
// kind, with its letter directly in front of the entry's first colon; selects the first.
void FillDriveList(HWND driveList);

// Whether the drive's volume answers (a medium is in and mounted). `driveRoot` is "X:\".
bool IsDriveReady(const WidePath& driveRoot);

// The drive root named by a drive entry: the character in front of its first colon, a colon
// and a backslash; an entry without such a colon is taken whole. `root` is zero-filled.
void DriveRootOfEntry(const char* entry, char (&root)[kWidePathUnits]);

// Selects the entry of the drive that `path` lies on; a path without a listed drive letter
// changes nothing.
void SelectDriveOf(HWND driveList, const WCHAR* path);
