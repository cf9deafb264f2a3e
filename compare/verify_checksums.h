// Verify Checksums... on the Read Disc Check lists: every file that an MD5 list names, read
// from the drive chosen in the drive list and its digest compared with the list's.
#pragma once

#include <windows.h>

#include "compare/checksum_run.h"

// Asks for the list, then reads every file it names: below the list's folder when the list
// lies on the drive `driveRoot`, below the drive's root otherwise. Each file ends as OK,
// CHANGED, READ ERROR, MISSING or NOT CHECKED with its reason; the rows go to the results
// window owned by `mainWindow`, also after a cancel, and one message box owned by `owner`
// gives the counts. The list is only read. The caller keeps the panel busy around the run.
void VerifyChecksums(HWND owner, HWND mainWindow, const WidePath& driveRoot, const ChecksumWindows& windows);

// The same with the list `listName` already chosen.
void VerifyChecksumList(HWND owner, HWND mainWindow, const WidePath& driveRoot, const WidePath& listName,
                        const ChecksumWindows& windows);
