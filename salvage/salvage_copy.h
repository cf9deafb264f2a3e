// The salvage copy engine: copies a file block by block at absolute offsets, skipping the
// blocks that cannot be read, and reports the correct and erroneous bytes.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

// The controls of the Copy Unreadable File panel that the engine writes to; the panel sets
// them when it is created.
struct SalvageWindows {
  HWND resultsList;
  HWND statusLine;
  HWND cancelButton;
};
extern SalvageWindows g_salvageWindows;

// Every outcome ends in one message box owned by `owner`, captioned "Copy Unreadable File".
void SalvageCopyFile(HWND owner, const WidePath& source, const WidePath& destination);
