// The file comparison engine: reads two files, shows their MD5 digests side by side and says
// whether the files are equal.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

// Digests both files block by block on this thread, with progress on the panel's status
// line, its Cancel button shown while reading, the two digest texts as one row of its
// results list, and one closing message box owned by the panel.
void CompareFilesByDigest(HWND panel, const WidePath& firstName, const WidePath& secondName);
