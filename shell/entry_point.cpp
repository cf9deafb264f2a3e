#include <windows.h>
#include <commctrl.h>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/run_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  InitCommonControls();
  StoreOsMajorVersion();
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  return 0;
}
