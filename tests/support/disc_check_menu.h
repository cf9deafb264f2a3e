// The Read Disc Check panel driven through its lists' menu: a drive scanned, rows selected and
// one of the menu's commands given a name in its dialog.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/program_driver.h"

// Scans `letter` on the Read Disc Check panel and answers its summary.
HWND ScanDrive(ProgramDriver& program, char letter);

// Selects every row of the READ OK (0) or READ ERROR (1) list, or its first `rows` with
// Shift+Down, gives `name` to the menu's command `key` in its dialog titled `title` and
// returns the closing message.
SeenMessageBox RunListCommand(ProgramDriver& program, HWND panel, int filter, const std::wstring& name, int rows,
                              WORD key, const wchar_t* title);
