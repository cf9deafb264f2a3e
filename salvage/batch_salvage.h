// The batch rescue engine behind "Copy Files To...": copies files of the checked drive into a
// folder, each below it as it lay below the drive root, in passes over all of them (the
// readable bulk first, then the damaged parts ever finer), keeps a map of each unfinished
// copy so that any stop can be gone on from, and writes a report of what became of every
// file into that folder.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

struct BatchSalvageWindows {
  HWND statusLine;
  HWND cancelButton;  // shown while files are copied
};

// The selected rows of `list`. Refuses a folder on the drive `driveRoot` (the drive the rows
// come from), one without room for the files still to copy and one that cannot be written,
// before anything is written. Every outcome ends in one message box owned by `owner`,
// captioned "Read Drive Check". The caller keeps the panel busy around the call.
void SalvageCopyFiles(HWND owner, HWND list, const WidePath& driveRoot, const WidePath& folder,
                      const BatchSalvageWindows& windows);

// The same for every rescue below `folder` whose map says it is unfinished or still has
// unreadable parts, its source taken below `driveRoot`: a rescue goes on after the program
// was closed without a new check of the drive.
void ResumeRescues(HWND owner, const WidePath& driveRoot, const WidePath& folder, const BatchSalvageWindows& windows);
