#include "compare/checksum_results_window.h"

#include <commctrl.h>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/task_panel_frame.h"

namespace {

HWND g_resultsWindow = nullptr;

const ResultsColumn kColumns[] = {
    {"File Name", 300, LVCFMT_LEFT},
    {"Expected", 230, LVCFMT_LEFT},
    {"Found", 230, LVCFMT_LEFT},
    {"Result", 180, LVCFMT_LEFT},
};

// The frame's list commands and row shading; the window has no Cancel button of its own.
const PanelFrame kFrame = {-1, "Read Drive Check", nullptr, 0, nullptr, nullptr};

void OnInitDialog(HWND window) {
  HWND list = GetDlgItem(window, IDC_CHECKSUM_LIST);
  SetUpResultsList(list, LVS_EX_DOUBLEBUFFER, kColumns, 4);
}

}  // namespace

HWND EmptyChecksumResults(HWND mainWindow) {
  if (!g_resultsWindow) {
    g_resultsWindow = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_CHECKSUM_RESULTS), mainWindow,
                                         ChecksumResultsProc, 0);
  }
  HWND list = GetDlgItem(g_resultsWindow, IDC_CHECKSUM_LIST);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  SetDlgItemTextA(g_resultsWindow, IDC_CHECKSUM_SUMMARY, "");
  return list;
}

void AddChecksumResult(HWND list, const WCHAR* name, const char* expected, const char* found, const char* result) {
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = const_cast<WCHAR*>(name);
  const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  const char* cells[] = {expected, found, result};
  for (int column = 1; column <= 3; ++column) {
    LVITEMA cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<char*>(cells[column - 1]);
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&cell));
  }
}

void ShowChecksumResults(const char* summary) {
  if (!g_resultsWindow) return;
  SetDlgItemTextA(g_resultsWindow, IDC_CHECKSUM_SUMMARY, summary);
  ShowWindow(g_resultsWindow, SW_SHOWNORMAL);
  SetWindowPos(g_resultsWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

INT_PTR CALLBACK ChecksumResultsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result;
  // Its own set-up only: the window takes no dropped files.
  if (message != WM_INITDIALOG && HandleFrameMessage(window, message, wParam, lParam, kFrame, result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) ShowWindow(window, SW_HIDE);
      return TRUE;
    case WM_CLOSE:
      // Kept for the next run, which fills it anew.
      ShowWindow(window, SW_HIDE);
      return TRUE;
    case WM_DESTROY:
      // It goes with the main window; a main window made again makes it again.
      g_resultsWindow = nullptr;
      return FALSE;
  }
  return FALSE;
}
