// What the four task panels share: results lists with shaded rows, the web link with its
// hand cursor, and the busy state around an engine run.
#pragma once

#include <windows.h>

#include "shell/panel_frame.h"
#include "shell/run_state.h"

struct ResultsColumn {
  const char* title;
  int widthAt96Dpi;
  int format;  // LVCFMT_LEFT or LVCFMT_RIGHT
};

// White background, grid lines, full-row selection (plus `extraExtendedStyle`), and the
// columns, their widths scaled to the display.
void SetUpResultsList(HWND list, DWORD extraExtendedStyle, const ResultsColumn* columns,
                      int columnCount);

// A panel starts idle: its Cancel button is shown only while a run goes on.
void HideCancelButton(HWND panel, int cancelId);

// Shows the dialog. The wide-character dialog opens with `storedName`, the ANSI one with
// `ansiInitialName` (empty when null). When the user confirms a file, the field shows it and
// `storedName` holds it (widened under the ANSI variant). Returns whether a file was chosen.
// A wide dialog on the ANSI variant: the field is read back through the ANSI code page, so a
// name that the code page cannot hold is replaced by the file's short name; without one, the
// user is told so and nothing changes.
bool BrowseForFile(HWND panel, const BrowseDialog& dialog, WidePath& storedName,
                   const char* ansiInitialName = nullptr);

// What every panel answers alike: row shading of its results lists and their keys (WM_NOTIFY),
// their context menus (WM_CONTEXTMENU), dropped files (WM_DROPFILES), the hand cursor over the
// web link and nowhere else (WM_SETCURSOR), its Cancel button, which sets the cancel flag, and
// the web link (WM_COMMAND). Returns whether `message` was one of these, with the dialog
// procedure's result in `result`. At WM_INITDIALOG it lets the panel take dropped files and
// returns false, so that the panel's own set-up follows.
bool HandleFrameMessage(HWND panel, UINT message, WPARAM wParam, LPARAM lParam,
                        const PanelFrame& frame, INT_PTR& result);

// Reads a path field into its stored name, as the variant in use reads texts.
void ReadPathField(HWND panel, int fieldId, WidePath& storedName);

// The Read Disc Check lists on Windows XP (OS major version 5) repaint completely whenever
// their background is erased, between runs. Installed on both lists at the end of a run,
// taken off again at the start of the next one.
LRESULT CALLBACK ListRepaintProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
void InstallListRepaint(HWND readOkList, HWND readErrorList);
void RemoveListRepaint(HWND readOkList, HWND readErrorList);
bool ListRepaintInstalled();

// Greys Close, disables the panel's own controls (a zero-terminated list of ids, in order)
// and the task buttons, which take their busy icons, and clears the cancel flag.
void EnterBusyState(HWND panel, const int* ownControls);
void LeaveBusyState(HWND panel, const int* ownControls);
