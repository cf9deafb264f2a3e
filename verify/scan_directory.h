// The drive scan: every file under a directory, depth first, through the read verification
// engine into the READ OK and READ ERROR lists.
#pragma once

#include "shell/run_state.h"

// Scans `directory` (a path ending with a backslash) and everything below it. Leaves the
// process's current directory changed: the caller saves and restores it.
void ScanDirectory(const WidePath& directory);
