// The window that shows what Verify Checksums found: a report list (File Name, Expected, Found,
// Result) with the Copy, Select All and Save List As of every results list, and a summary line.
// One window, owned by the main window, made at the first run and filled anew by each run.
#pragma once

#include <windows.h>

// The window's list, emptied, for the rows of a new run.
HWND EmptyChecksumResults(HWND mainWindow);

// One row; `name` is the file's path or, for a line that names nothing, the line itself.
void AddChecksumResult(HWND list, const WCHAR* name, const char* expected, const char* found, const char* result);

// Shows the window in front of the main window with `summary` under its list.
void ShowChecksumResults(const char* summary);

INT_PTR CALLBACK ChecksumResultsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
