// What the frame's features (dropped files, the results-list menu) take from the frame: each
// panel's description and whether a run is in progress. Below the frame and its features, it
// includes none of them, so that the frame calls down into its features and nothing calls up.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

// One Browse button's file dialog.
struct BrowseDialog {
  int fieldId;               // the read-only path field it fills
  const wchar_t* title;      // the same text for both variants
  bool save;                 // a save dialog rather than an open dialog
  int wideFromMajorVersion;  // the wide-character dialog from this OS major version on
  const char* caption = nullptr;  // the task's title, for a name that cannot be used
};

// A path field that takes dropped files as though they were chosen with its Browse button.
struct DropField {
  const BrowseDialog* browse;
  int browseId;  // a drop on the Browse button fills its field too
  WidePath* storedName;
};

// A command that a panel adds to its results lists' menu, after Save List As. It is offered
// when no run is in progress and, for one that acts on the selected rows, a row is selected.
struct ListMenuCommand {
  const char* text;  // null ends a panel's list of commands
  void (*run)(HWND panel, HWND list);
  bool needsSelection = true;
};

// What the frame needs to know of each panel.
struct PanelFrame {
  int cancelId;
  const char* caption;  // the task's title, caption of the frame's own messages
  const DropField* dropFields;  // in order; the first takes a file dropped elsewhere
  int dropFieldCount;
  // Where a dropped name goes on a panel without path fields (Read Disc Check).
  void (*takeDroppedName)(HWND panel, const WCHAR* name);
  const ListMenuCommand* listCommands = nullptr;  // ended by one without text
};

// Whether a panel is busy, from EnterBusyState to LeaveBusyState, which alone change it.
extern bool g_runInProgress;
bool RunInProgress();

// Whether a name chosen or dropped as a wide text can reach the file on this system. On the
// ANSI variant a name that the code page cannot hold is replaced by the file's short name;
// without one, the user is told why under `caption` and the name cannot be used.
bool NameUsableHere(HWND panel, const char* caption, WCHAR (&name)[kWidePathUnits]);

// Shows a chosen name in the dialog's field and keeps it in `storedName`, as the dialog itself
// would have given it on this system.
void ShowChosenName(HWND panel, const BrowseDialog& dialog, WidePath& storedName, const WCHAR* name);
