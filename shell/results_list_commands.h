// What a user can do with the rows of any results list besides reading them: select them all
// (Ctrl+A), copy the selected ones (Ctrl+C), and the context menu with Copy, Select All and
// Save List As.
#pragma once

#include <windows.h>

#include "shell/list_text.h"
#include "shell/panel_frame.h"

// Whether `window` is one of the panel's results lists.
bool IsResultsList(HWND panel, HWND window);

// Ctrl+A and Ctrl+C pressed on a results list. `caption` titles a message about a failure.
void OnResultsListKey(HWND panel, HWND list, WORD key, const char* caption);

// The context menu of a results list, with the panel's own command last. `screenPoint` is
// where the mouse was clicked; (-1, -1) comes from the keyboard and places the menu at the
// focused row.
void ShowResultsListMenu(HWND panel, HWND list, LPARAM screenPoint, const PanelFrame& frame);

// Selects every row.
void SelectAllRows(HWND list);

// Puts the selected rows on the clipboard as Unicode text, in list order: cells separated by
// a tab, every line ended by CR LF. With no row selected the clipboard keeps what it held.
// Returns the error that stopped it, or NO_ERROR.
DWORD CopyRowsToClipboard(HWND owner, HWND list);

// Writes the column titles and every row to `name` (in UTF-8 with a byte-order mark) through a
// file of its own in the same folder, which then replaces `name`; on failure nothing of it
// stays and a file that had that name is left as it was. Returns the error, or NO_ERROR.
DWORD SaveListToFile(HWND list, const WCHAR* name, ListTextFormat format);

// Writes `text` as Save List As writes a list, to `name` (narrowed on the ANSI variant), which
// must not exist yet: a file of that name, even one made meanwhile, is never replaced.
DWORD WriteNewTextFile(const WidePath& name, const ListText<WCHAR>& text);

// The system's words for `error`, without a closing line break.
void FormatSystemReason(DWORD error, char (&reason)[512]);

// Writes `size` bytes to `name` (narrowed on the ANSI variant) as Save List As writes a list,
// through a file of its own that then replaces `name`. Returns the error, or NO_ERROR.
DWORD ReplaceFileWithBytes(const WidePath& name, const char* bytes, std::size_t size);
