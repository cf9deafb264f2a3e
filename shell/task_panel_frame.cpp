#include "shell/task_panel_frame.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include "resources/resource_ids.h"
#include "shell/display_scale.h"
#include "shell/dropped_files.h"
#include "shell/main_window.h"
#include "shell/results_list_commands.h"

void SetUpResultsList(HWND list, DWORD extraExtendedStyle, const ResultsColumn* columns,
                      int columnCount) {
  SendMessageA(list, LVM_SETBKCOLOR, 0, 0x00FFFFFF);
  SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, 0x00FFFFFF);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | extraExtendedStyle);
  for (int i = 0; i < columnCount; ++i) {
    char title[64];
    lstrcpynA(title, columns[i].title, sizeof title);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = columns[i].format;
    column.cx = ScaledPixels(columns[i].widthAt96Dpi, g_displayScale);
    column.pszText = title;
    column.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
}

void HideCancelButton(HWND panel, int cancelId) {
  ShowWindow(GetDlgItem(panel, cancelId), SW_HIDE);
}

namespace {

INT_PTR ShadeResultRows(HWND panel, LPARAM lParam) {
  auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
  LRESULT result;
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
    result = CDRF_NOTIFYITEMDRAW;
  } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    // Counted from the top, whatever order the rows came in.
    draw->clrTextBk = (draw->nmcd.dwItemSpec & 1) ? 0x00F5F5F5 : 0x00FFFFFF;
    draw->clrText = 0x00000000;
    result = CDRF_NEWFONT;
  } else {
    return FALSE;
  }
  SetWindowLongPtrA(panel, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR ShowHandOverWebLink(HWND panel, WPARAM wParam) {
  if (reinterpret_cast<HWND>(wParam) != GetDlgItem(panel, IDC_WEB_LINK)) return FALSE;
  // A shared system cursor: never destroyed. Windows NT 4 has no hand cursor; there the
  // arrow stays rather than no pointer at all.
  HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
  if (!hand) return FALSE;
  SetCursor(hand);
  SetWindowLongPtrA(panel, DWLP_MSGRESULT, TRUE);
  return TRUE;
}

INT_PTR OnNotify(HWND panel, LPARAM lParam, const PanelFrame& frame) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header->code == static_cast<UINT>(NM_CUSTOMDRAW)) return ShadeResultRows(panel, lParam);
  if (header->code == static_cast<UINT>(LVN_KEYDOWN) && IsResultsList(panel, header->hwndFrom)) {
    OnResultsListKey(panel, header->hwndFrom, reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey,
                     frame.caption);
  }
  return FALSE;
}

}  // namespace

bool HandleFrameMessage(HWND panel, UINT message, WPARAM wParam, LPARAM lParam,
                        const PanelFrame& frame, INT_PTR& result) {
  switch (message) {
    case WM_INITDIALOG:
      DragAcceptFiles(panel, TRUE);
      return false;
    case WM_NOTIFY:
      result = OnNotify(panel, lParam, frame);
      return true;
    case WM_CONTEXTMENU:
      if (!IsResultsList(panel, reinterpret_cast<HWND>(wParam))) return false;
      ShowResultsListMenu(panel, reinterpret_cast<HWND>(wParam), lParam, frame);
      result = TRUE;
      return true;
    case WM_DROPFILES:
      OnDroppedFiles(panel, reinterpret_cast<HDROP>(wParam), frame);
      result = FALSE;
      return true;
    case WM_SETCURSOR:
      result = ShowHandOverWebLink(panel, wParam);
      return true;
    case WM_COMMAND:
      result = FALSE;
      if (LOWORD(wParam) == frame.cancelId) {
        g_cancelFlag = 1;  // the engine stops at its next poll
        return true;
      }
      if (LOWORD(wParam) == IDC_WEB_LINK) {
        ShellExecuteA(panel, nullptr, VEROLUX_WEB_URL, nullptr, nullptr, SW_SHOWNORMAL);
        return true;
      }
      return false;
  }
  return false;
}

namespace {

// The list view procedure that the repaint subclass replaced (both lists share it).
WNDPROC g_savedListProc = nullptr;
bool g_repainting = false;

}  // namespace

LRESULT CALLBACK ListRepaintProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  // The repaint erases the background again; it must not start another repaint, or the
  // two would call each other until the stack runs out.
  if (message == WM_ERASEBKGND && !g_repainting) {
    g_repainting = true;
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    g_repainting = false;
  }
  return CallWindowProcA(g_savedListProc, list, message, wParam, lParam);
}

void InstallListRepaint(HWND readOkList, HWND readErrorList) {
  if (g_savedListProc) return;
  const LONG_PTR repaint = reinterpret_cast<LONG_PTR>(ListRepaintProc);
  g_savedListProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(readOkList, GWLP_WNDPROC, repaint));
  SetWindowLongPtrA(readErrorList, GWLP_WNDPROC, repaint);
}

void RemoveListRepaint(HWND readOkList, HWND readErrorList) {
  if (!g_savedListProc) return;
  const LONG_PTR saved = reinterpret_cast<LONG_PTR>(g_savedListProc);
  SetWindowLongPtrA(readOkList, GWLP_WNDPROC, saved);
  SetWindowLongPtrA(readErrorList, GWLP_WNDPROC, saved);
  g_savedListProc = nullptr;
}

bool ListRepaintInstalled() { return g_savedListProc != nullptr; }

namespace {

constexpr DWORD kBrowseFlags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                               OFN_SHAREAWARE | OFN_EXPLORER | OFN_NODEREFERENCELINKS;

// The dialogs write into a copy: a chosen name that does not fit makes the dialog report
// the size it needs in the first units of its buffer, which must never reach a stored name.
bool BrowseWide(HWND panel, const BrowseDialog& dialog, WidePath& storedName) {
  WCHAR name[kWidePathUnits];
  lstrcpynW(name, storedName, kWidePathUnits);
  OPENFILENAMEW file = {};
  file.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  file.hwndOwner = panel;
  file.lpstrFilter = L"All files (*.*)\0*.*\0";
  file.nFilterIndex = 1;
  file.lpstrFile = name;
  file.nMaxFile = kWidePathUnits;
  file.lpstrInitialDir = L".";
  file.lpstrTitle = dialog.title;
  file.Flags = kBrowseFlags;
  if (!(dialog.save ? GetSaveFileNameW(&file) : GetOpenFileNameW(&file))) return false;
  name[kWidePathUnits - 1] = 0;
  if (!NameUsableHere(panel, dialog.caption, name)) return false;
  ShowChosenName(panel, dialog, storedName, name);
  return true;
}

bool BrowseAnsi(HWND panel, const BrowseDialog& dialog, WidePath& storedName,
                const char* ansiInitialName) {
  char name[kWidePathUnits] = {};
  if (ansiInitialName) lstrcpynA(name, ansiInitialName, kWidePathUnits);
  char title[64] = {};
  WideCharToMultiByte(CP_ACP, 0, dialog.title, -1, title, sizeof title - 1, nullptr, nullptr);
  OPENFILENAMEA file = {};
  file.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  file.hwndOwner = panel;
  file.lpstrFilter = "All files (*.*)\0*.*\0";
  file.nFilterIndex = 1;
  file.lpstrFile = name;
  file.nMaxFile = kWidePathUnits;
  file.lpstrInitialDir = ".";
  file.lpstrTitle = title;
  file.Flags = kBrowseFlags;
  if (!(dialog.save ? GetSaveFileNameA(&file) : GetOpenFileNameA(&file))) return false;
  name[kWidePathUnits - 1] = 0;
  SetWindowTextA(GetDlgItem(panel, dialog.fieldId), name);
  WidenPath(name, storedName);
  return true;
}

void SetTaskButtons(HWND mainWindow, HICON const* icons, BOOL enabled) {
  for (int task = 0; task < kTaskCount; ++task) {
    SendMessageA(GetDlgItem(mainWindow, kTaskButtonIds[task]), BM_SETIMAGE, IMAGE_ICON,
                 reinterpret_cast<LPARAM>(icons[task]));
  }
  for (int task = 0; task < kTaskCount; ++task) {
    EnableWindow(GetDlgItem(mainWindow, kTaskButtonIds[task]), enabled);
  }
}

void EnableControls(HWND panel, const int* ids, BOOL enabled) {
  for (; *ids != 0; ++ids) EnableWindow(GetDlgItem(panel, *ids), enabled);
}

}  // namespace

bool BrowseForFile(HWND panel, const BrowseDialog& dialog, WidePath& storedName,
                   const char* ansiInitialName) {
  if (g_osMajorVersion >= dialog.wideFromMajorVersion) return BrowseWide(panel, dialog, storedName);
  return BrowseAnsi(panel, dialog, storedName, ansiInitialName);
}

void ReadPathField(HWND panel, int fieldId, WidePath& storedName) {
  HWND field = GetDlgItem(panel, fieldId);
  if (UsesWideCalls()) {
    GetWindowTextW(field, storedName, kWidePathUnits);
  } else {
    char name[kWidePathUnits] = {};
    GetWindowTextA(field, name, kWidePathUnits);
    WidenPath(name, storedName);
  }
}

void EnterBusyState(HWND panel, const int* ownControls) {
  HWND mainWindow = GetParent(panel);
  EnableMenuItem(GetSystemMenu(mainWindow, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  EnableControls(panel, ownControls, FALSE);
  SetTaskButtons(mainWindow, g_busyTaskIcons, FALSE);
  g_cancelFlag = 0;
  g_runInProgress = true;
}

void LeaveBusyState(HWND panel, const int* ownControls) {
  HWND mainWindow = GetParent(panel);
  EnableMenuItem(GetSystemMenu(mainWindow, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
  EnableControls(panel, ownControls, TRUE);
  SetTaskButtons(mainWindow, g_normalTaskIcons, TRUE);
  g_runInProgress = false;
}
