// The batch salvage engine: copies the selected rows of a Read Disc Check list into a folder,
// each below it as it lay below the drive root, with the salvage copy's block loop, and writes
// a report of what became of every row into that folder.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

struct BatchSalvageWindows {
  HWND statusLine;
  HWND cancelButton;  // shown while files are copied
};

// Refuses a folder on the drive `driveRoot` (the drive the rows come from), one without room
// for the files still to copy and one that cannot be written, before anything is written. Every
// outcome ends in one message box owned by `owner`, captioned "Read Drive Check". The caller
// keeps the panel busy around the call.
void SalvageCopyFiles(HWND owner, HWND list, const WidePath& driveRoot, const WidePath& folder,
                      const BatchSalvageWindows& windows);
