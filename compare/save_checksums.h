// Save Checksums As... on the Read Disc Check lists: an MD5 list of the selected files, in
// md5sum's binary form with the paths below the drive root, for checking the files later with
// this program or any other checker.
#pragma once

#include <windows.h>

#include "compare/checksum_run.h"

// Asks for the list's name, refuses one on the drive `driveRoot` before anything is read, then
// reads every selected row's file and writes the list (UTF-8 without a byte-order mark, LF line
// ends) through a file of its own that then takes the name; after a cancel nothing is written.
// Ends in one message box owned by `owner`. The caller keeps the panel busy around the run.
void SaveChecksums(HWND owner, HWND list, const WidePath& driveRoot, const ChecksumWindows& windows);
