#include "compare/compare_panel.h"

#include <commctrl.h>

#include "compare/compare_files.h"
#include "resources/resource_ids.h"
#include "shell/run_state.h"
#include "shell/task_panel_frame.h"

namespace {

// The files last chosen or last compared; kept for the program's life.
WidePath g_storedFirstName = {};
WidePath g_storedSecondName = {};

// Disabled while the files are compared, in this order.
const int kOwnControls[] = {IDC_COMPARE_FIRST_BROWSE, IDC_COMPARE_SECOND_BROWSE, IDC_COMPARE_START,
                            0};

const BrowseDialog kFirstBrowse = {IDC_COMPARE_FIRST_PATH, L"Select first file", false, 4,
                                   "Compare File"};
const BrowseDialog kSecondBrowse = {IDC_COMPARE_SECOND_PATH, L"Select second file", false, 4,
                                    "Compare File"};

const DropField kDropFields[] = {
    {&kFirstBrowse, IDC_COMPARE_FIRST_BROWSE, &g_storedFirstName},
    {&kSecondBrowse, IDC_COMPARE_SECOND_BROWSE, &g_storedSecondName},
};
const PanelFrame kFrame = {IDC_COMPARE_CANCEL, "Compare File", kDropFields, 2, nullptr};

const ResultsColumn kColumns[] = {
    {"First File MD5-Hash", 269, LVCFMT_LEFT},
    {"Second File MD5-Hash", 269, LVCFMT_LEFT},
};

void OnInitDialog(HWND panel) {
  SetUpResultsList(GetDlgItem(panel, IDC_COMPARE_RESULTS), 0, kColumns, 2);
  HideCancelButton(panel, IDC_COMPARE_CANCEL);
}

// The engine checks the names, shows and hides Cancel and says how the run ended.
void OnCompare(HWND panel) {
  ReadPathField(panel, IDC_COMPARE_FIRST_PATH, g_storedFirstName);
  ReadPathField(panel, IDC_COMPARE_SECOND_PATH, g_storedSecondName);
  EnterBusyState(panel, kOwnControls);
  CompareFilesByDigest(panel, g_storedFirstName, g_storedSecondName);
  LeaveBusyState(panel, kOwnControls);
}

void OnCommand(HWND panel, int id) {
  switch (id) {
    case IDC_COMPARE_FIRST_BROWSE:
      BrowseForFile(panel, kFirstBrowse, g_storedFirstName);
      break;
    case IDC_COMPARE_SECOND_BROWSE:
      BrowseForFile(panel, kSecondBrowse, g_storedSecondName);
      break;
    case IDC_COMPARE_START:
      OnCompare(panel);
      break;
  }
}

}  // namespace

INT_PTR CALLBACK ComparePanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
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
