#include "shell/main_window.h"

#include <commctrl.h>

#include "compare/compare_panel.h"
#include "resources/resource_ids.h"
#include "salvage/salvage_panel.h"
#include "shell/display_scale.h"
#include "shell/task_button_painting.h"
#include "verify/disc_check_panel.h"
#include "verify/file_check_panel.h"

HINSTANCE g_instance = nullptr;
float g_displayScale = 1.0f;
const int kTaskButtonIds[kTaskCount] = {IDC_TASK_READ_DISC, IDC_TASK_READ_FILE,
                                        IDC_TASK_FILE_COMPARE, IDC_TASK_COPY_UNREADABLE};
HICON g_normalTaskIcons[kTaskCount] = {};
HICON g_busyTaskIcons[kTaskCount] = {};

namespace {

struct TaskPanel {
  int templateId;
  DLGPROC procedure;
  int normalIcon;
  int busyIcon;
};

const TaskPanel kTaskPanels[kTaskCount] = {
    {IDD_READ_DISC_CHECK, DiscCheckPanelProc, IDI_READ_DISC_CHECK, IDI_READ_DISC_CHECK_BUSY},
    {IDD_READ_FILE_CHECK, FileCheckPanelProc, IDI_READ_FILE_CHECK, IDI_READ_FILE_CHECK_BUSY},
    {IDD_FILE_COMPARE, ComparePanelProc, IDI_FILE_COMPARE, IDI_FILE_COMPARE_BUSY},
    {IDD_COPY_UNREADABLE_FILE, SalvagePanelProc, IDI_COPY_UNREADABLE,
     IDI_COPY_UNREADABLE_BUSY},
};

HWND g_taskPanels[kTaskCount] = {};

float QueryDisplayScale(HWND window) {
  HDC context = GetDC(window);
  const int dpi = GetDeviceCaps(context, LOGPIXELSX);
  ReleaseDC(window, context);
  return DisplayScaleFactor(dpi);
}

void ShowTaskPanel(int shown) {
  for (int task = 0; task < kTaskCount; ++task) {
    ShowWindow(g_taskPanels[task], task == shown ? SW_SHOW : SW_HIDE);
  }
}

void OnInitDialog(HWND window) {
  HICON appIcon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_APP));
  SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
  SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));

  // Each panel's own set-up runs inside CreateDialogParamA and sizes its columns by it.
  g_displayScale = QueryDisplayScale(window);
  for (int task = 0; task < kTaskCount; ++task) {
    g_taskPanels[task] = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(kTaskPanels[task].templateId),
                                            window, kTaskPanels[task].procedure, 0);
    SetWindowPos(g_taskPanels[task], HWND_TOP, ScaledPixels(139, g_displayScale),
                 ScaledPixels(18, g_displayScale), 0, 0, SWP_NOSIZE);
  }

  for (int task = 0; task < kTaskCount; ++task) {
    g_normalTaskIcons[task] = static_cast<HICON>(LoadImageA(
        g_instance, MAKEINTRESOURCEA(kTaskPanels[task].normalIcon), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
    g_busyTaskIcons[task] = static_cast<HICON>(LoadImageA(
        g_instance, MAKEINTRESOURCEA(kTaskPanels[task].busyIcon), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  }
  for (int task = 0; task < kTaskCount; ++task) {
    HWND button = GetDlgItem(window, kTaskButtonIds[task]);
    SetWindowLongA(button, GWL_STYLE, GetWindowLongA(button, GWL_STYLE) | BS_ICON);
    SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(g_normalTaskIcons[task]));
  }
  ShowTaskPanel(0);
}

// Whatever button sent it: DrawTaskButton leaves the group boxes to the platform.
INT_PTR OnNotify(HWND window, LPARAM lParam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header->code != static_cast<UINT>(NM_CUSTOMDRAW)) return FALSE;
  const LRESULT result = DrawTaskButton(reinterpret_cast<const NMCUSTOMDRAW*>(lParam));
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

bool CloseGreyed(HWND window) {
  const UINT state = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & MF_GRAYED);
}

void OnClose(HWND window) {
  for (int task = 0; task < kTaskCount; ++task) {
    DestroyIcon(g_normalTaskIcons[task]);
    DestroyIcon(g_busyTaskIcons[task]);
    g_normalTaskIcons[task] = g_busyTaskIcons[task] = nullptr;
  }
  EndDialog(window, 0);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return FALSE;  // no initial focus wanted
    case WM_COMMAND:
      // Enter and Esc arrive as ids 1 and 2 and are ignored: only Close ends the program.
      for (int task = 0; task < kTaskCount; ++task) {
        if (LOWORD(wParam) == kTaskButtonIds[task]) ShowTaskPanel(task);
      }
      return FALSE;
    case WM_NOTIFY:
      return OnNotify(window, lParam);
    case WM_SYSCOMMAND:
      if (wParam != SC_CLOSE) return FALSE;
      // Alt+F4 still sends Close while a run has it greyed; closing then would hide the
      // window with the engine still reading and the Cancel button out of reach.
      if (CloseGreyed(window)) return TRUE;
      OnClose(window);
      return FALSE;  // the platform finishes its own handling of the command
  }
  return FALSE;
}
