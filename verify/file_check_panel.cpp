#include "verify/file_check_panel.h"

#include <commctrl.h>

#include "resources/resource_ids.h"
#include "shell/task_panel_frame.h"
#include "verify/verify_file.h"

namespace {

// The file last chosen or last read from the file field; kept for the program's life.
WidePath g_storedFileName = {};

// Disabled while a file is read, in this order.
const int kOwnControls[] = {IDC_FILE_BROWSE, IDC_FILE_START, 0};

const ResultsColumn kColumns[] = {
    {"File Name", 308, LVCFMT_LEFT},
    {"File Size", 120, LVCFMT_RIGHT},
    {"Status", 110, LVCFMT_LEFT},
};

void OnInitDialog(HWND panel) {
  g_readReport.fileResultsList = GetDlgItem(panel, IDC_FILE_RESULTS);
  g_readReport.fileStatusLine = GetDlgItem(panel, IDC_FILE_STATUS);
  SetUpResultsList(g_readReport.fileResultsList, 0, kColumns, 3);
  HideCancelButton(panel, IDC_FILE_CANCEL);
}

const BrowseDialog kBrowse = {IDC_FILE_PATH, L"Select file", false, 4, "Read File Check"};
const DropField kDropFields[] = {{&kBrowse, IDC_FILE_BROWSE, &g_storedFileName}};
const PanelFrame kFrame = {IDC_FILE_CANCEL, "Read File Check", kDropFields, 1, nullptr};

void ShowOutcome(HWND panel, const char* text, UINT icon) {
  MessageBoxA(panel, text, "Read File Check", MB_OK | icon);
}

void OnStart(HWND panel) {
  SendMessageA(g_readReport.fileResultsList, LVM_DELETEALLITEMS, 0, 0);
  ReadPathField(panel, IDC_FILE_PATH, g_storedFileName);
  EnterBusyState(panel, kOwnControls);
  g_readOkTally = 0;
  g_readErrorTally = 0;
  if (BoundedLength(g_storedFileName, kWidePathUnits) < 4) {
    ShowOutcome(panel, "Select file first.", MB_ICONINFORMATION);
  } else {
    HWND cancel = GetDlgItem(panel, IDC_FILE_CANCEL);
    ShowWindow(cancel, SW_SHOW);
    VerifyFileReadable(g_storedFileName, kSingleFileTarget);
    ShowWindow(cancel, SW_HIDE);
    if (g_cancelFlag == 1) {
      ShowOutcome(panel, "Operation cancelled.", MB_ICONERROR);
    } else if (g_readOkTally != 0) {
      ShowOutcome(panel, "File is readable.", MB_ICONINFORMATION);
    } else {
      ShowOutcome(panel, "File is not readable.", MB_ICONWARNING);
    }
  }
  LeaveBusyState(panel, kOwnControls);
}

void OnCommand(HWND panel, int id) {
  switch (id) {
    case IDC_FILE_BROWSE:
      BrowseForFile(panel, kBrowse, g_storedFileName);
      break;
    case IDC_FILE_START:
      OnStart(panel);
      break;
  }
}

}  // namespace

INT_PTR CALLBACK FileCheckPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
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
