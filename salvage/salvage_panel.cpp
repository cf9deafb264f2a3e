#include "salvage/salvage_panel.h"

#include <commctrl.h>

#include <cstring>
#include <cwchar>

#include "resources/resource_ids.h"
#include "salvage/salvage_copy.h"
#include "shell/run_state.h"
#include "shell/task_panel_frame.h"

namespace {

// The names last chosen or last copied; kept for the program's life.
WidePath g_storedSourceName = {};
WidePath g_storedDestinationName = {};

// Disabled while a file is copied, in this order.
const int kOwnControls[] = {IDC_COPY_SOURCE_BROWSE, IDC_COPY_DEST_BROWSE, IDC_COPY_START, 0};

const BrowseDialog kSourceBrowse = {IDC_COPY_SOURCE_PATH, L"Select source file", false, 5,
                                    "Copy Unreadable File"};
const BrowseDialog kDestinationBrowse = {IDC_COPY_DEST_PATH, L"Set destination name", true, 5,
                                         "Copy Unreadable File"};

// A dropped file is the source; the destination is always chosen with its own dialog.
const DropField kDropFields[] = {{&kSourceBrowse, IDC_COPY_SOURCE_BROWSE, &g_storedSourceName}};
const PanelFrame kFrame = {IDC_COPY_CANCEL, "Copy Unreadable File", kDropFields, 1, nullptr};

// The save dialog proposes the source's own name, so that the user only has to change it.
void OnDestinationBrowse(HWND panel) {
  HWND sourceField = GetDlgItem(panel, IDC_COPY_SOURCE_PATH);
  if (UsesWideCalls()) {
    if (std::wcscmp(g_storedSourceName, g_storedDestinationName) != 0) {
      GetWindowTextW(sourceField, g_storedDestinationName, kWidePathUnits);
    }
    BrowseForFile(panel, kDestinationBrowse, g_storedDestinationName);
  } else {
    char destination[kWidePathUnits] = {};
    char source[kWidePathUnits] = {};
    GetWindowTextA(GetDlgItem(panel, IDC_COPY_DEST_PATH), destination, kWidePathUnits);
    GetWindowTextA(sourceField, source, kWidePathUnits);
    if (std::strcmp(destination, source) != 0) lstrcpynA(destination, source, kWidePathUnits);
    BrowseForFile(panel, kDestinationBrowse, g_storedDestinationName, destination);
  }
}

const ResultsColumn kColumns[] = {
    {"Correct Bytes", 269, LVCFMT_LEFT},
    {"Error Bytes", 269, LVCFMT_LEFT},
};

void OnInitDialog(HWND panel) {
  g_salvageWindows.resultsList = GetDlgItem(panel, IDC_COPY_RESULTS);
  g_salvageWindows.statusLine = GetDlgItem(panel, IDC_COPY_STATUS);
  g_salvageWindows.cancelButton = GetDlgItem(panel, IDC_COPY_CANCEL);
  SetUpResultsList(g_salvageWindows.resultsList, 0, kColumns, 2);
  HideCancelButton(panel, IDC_COPY_CANCEL);
}

// The engine checks the names, shows Cancel and every message itself.
void OnCopyFile(HWND panel) {
  ReadPathField(panel, IDC_COPY_SOURCE_PATH, g_storedSourceName);
  ReadPathField(panel, IDC_COPY_DEST_PATH, g_storedDestinationName);
  EnterBusyState(panel, kOwnControls);
  SalvageCopyFile(panel, g_storedSourceName, g_storedDestinationName);
  LeaveBusyState(panel, kOwnControls);
}

void OnCommand(HWND panel, int id) {
  switch (id) {
    case IDC_COPY_SOURCE_BROWSE:
      BrowseForFile(panel, kSourceBrowse, g_storedSourceName);
      break;
    case IDC_COPY_DEST_BROWSE:
      OnDestinationBrowse(panel);
      break;
    case IDC_COPY_START:
      OnCopyFile(panel);
      break;
  }
}

}  // namespace

INT_PTR CALLBACK SalvagePanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result;
  if (HandleFrameMessage(panel, message, wParam, lParam, kFrame, result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(panel);
      return FALSE;
    case WM_COMMAND:
      OnCommand(panel, LOWORD(wParam));
      return FALSE;
  }
  return FALSE;
}
