#include "verify/disc_check_panel.h"

#include <commctrl.h>

#include "resources/resource_ids.h"
#include "shell/task_panel_frame.h"
#include "verify/verify_file.h"

namespace {

const ResultsColumn kColumns[] = {
    {"File Name", 291, LVCFMT_LEFT},
    {"File Size", 120, LVCFMT_RIGHT},
    {"Status", 110, LVCFMT_LEFT},
};

void OnInitDialog(HWND panel) {
  g_readReport.readOkList = GetDlgItem(panel, IDC_DISC_READ_OK_LIST);
  g_readReport.readErrorList = GetDlgItem(panel, IDC_DISC_READ_ERROR_LIST);
  g_readReport.discStatusLine = GetDlgItem(panel, IDC_DISC_STATUS);
  // Double buffering keeps the visible list from flickering while rows stream in.
  SetUpResultsList(g_readReport.readOkList, LVS_EX_DOUBLEBUFFER, kColumns, 3);
  SetUpResultsList(g_readReport.readErrorList, 0, kColumns, 3);
  ShowWindow(g_readReport.readErrorList, SW_HIDE);

  HWND filter = GetDlgItem(panel, IDC_DISC_RESULTS_FILTER);
  SendMessageA(filter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Show \"READ OK\""));
  SendMessageA(filter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Show \"READ ERROR\""));
  SendMessageA(filter, CB_SETCURSEL, 0, 0);
  HideCancelButton(panel, IDC_DISC_CANCEL);
}

// Both lists lie on top of each other; the filter shows one.
void ApplyResultsFilter(HWND panel) {
  const bool showReadOk = SendMessageA(GetDlgItem(panel, IDC_DISC_RESULTS_FILTER), CB_GETCURSEL, 0, 0) == 0;
  ShowWindow(g_readReport.readOkList, showReadOk ? SW_SHOW : SW_HIDE);
  ShowWindow(g_readReport.readErrorList, showReadOk ? SW_HIDE : SW_SHOW);
}

void OnCommand(HWND panel, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDC_DISC_RESULTS_FILTER:
      if (HIWORD(wParam) == CBN_SELCHANGE) ApplyResultsFilter(panel);
      break;
  }
}

}  // namespace

INT_PTR CALLBACK DiscCheckPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result;
  if (HandleFrameMessage(panel, message, wParam, lParam, IDC_DISC_CANCEL, result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(panel);
      return FALSE;
    case WM_COMMAND:
      OnCommand(panel, wParam);
      return FALSE;
  }
  return FALSE;
}
