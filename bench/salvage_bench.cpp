// The salvage copy engine outside the program, for bench/salvage_anchor.sh:
//
//   salvage_bench.exe copy SOURCE DESTINATION       one copy; prints the closing message and
//                                                   the result row
//   salvage_bench.exe time SOURCE DESTINATION [ROUNDS]
//                                                   alternates a bare loop of the engine's
//                                                   platform calls per block with the engine
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "bench/wine_rounds.h"
#include "salvage/salvage_copy.h"

namespace {

// The engine ends with a message box: answer it at once and print what it said.
LRESULT CALLBACK AnswerMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  HWND box = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && GetDlgItem(box, 0xFFFF) && !GetPropA(box, "answered")) {
    SetPropA(box, "answered", reinterpret_cast<HANDLE>(1));
    char text[256] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("message: %s\n", text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The same platform calls per block as the engine, and nothing else.
void BareLoop(const wchar_t* source, const wchar_t* destination) {
  HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD high = 0;
  const DWORD low = GetFileSize(in, &high);
  const long long size = (static_cast<long long>(high) << 32) | low;
  HANDLE out = CreateFileW(destination, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  static char block[4096];
  volatile DWORD tick = GetTickCount();
  for (long long offset = 0; offset < size; offset += 4096) {
    LONG offsetHigh = static_cast<LONG>(offset >> 32);
    SetFilePointer(in, static_cast<LONG>(offset), &offsetHigh, FILE_BEGIN);
    DWORD got = 0;
    if (ReadFile(in, block, 4096, &got, nullptr)) {
      offsetHigh = static_cast<LONG>(offset >> 32);
      SetFilePointer(out, static_cast<LONG>(offset), &offsetHigh, FILE_BEGIN);
      DWORD written = 0;
      WriteFile(out, block, got, &written, nullptr);
      tick = GetTickCount();
    }
    DrainMessages();
  }
  (void)tick;
  CloseHandle(in);
  CloseHandle(out);
}

void PrintRow() {
  char cells[2][64] = {};
  for (int column = 0; column < 2; ++column) {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = cells[column];
    item.cchTextMax = 63;
    SendMessageA(g_salvageWindows.resultsList, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
  }
  std::printf("correct: %s\nerror: %s\n", cells[0], cells[1]);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 4) {
    std::fprintf(stderr, "usage: salvage_bench copy|time SOURCE DESTINATION [ROUNDS]\n");
    return 2;
  }
  InitCommonControls();
  StoreOsMajorVersion();
  SetWindowsHookExA(WH_CBT, AnswerMessageBox, nullptr, GetCurrentThreadId());
  HWND panel = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                               nullptr, nullptr);
  g_salvageWindows.resultsList = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0,
                                                 600, 300, panel, nullptr, nullptr, nullptr);
  g_salvageWindows.statusLine =
      CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 300, 600, 20, panel, nullptr, nullptr, nullptr);
  g_salvageWindows.cancelButton =
      CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD, 0, 320, 80, 20, panel, nullptr, nullptr, nullptr);
  for (int column = 0; column < 2; ++column) {
    LVCOLUMNA header = {};
    header.mask = LVCF_WIDTH;
    header.cx = 200;
    SendMessageA(g_salvageWindows.resultsList, LVM_INSERTCOLUMNA, column,
                 reinterpret_cast<LPARAM>(&header));
  }
  WidePath source = {}, destination = {};
  lstrcpynW(source, argv[2], kWidePathUnits);
  lstrcpynW(destination, argv[3], kWidePathUnits);

  if (lstrcmpW(argv[1], L"copy") == 0) {
    SalvageCopyFile(panel, source, destination);
    PrintRow();
    return 0;
  }
  const int rounds = argc > 4 ? _wtoi(argv[4]) : 5;
  RunAlternatingRounds(
      rounds, FileMiB(argv[2]), "SalvageCopyFile", [&] { BareLoop(source, destination); },
      [&] { SalvageCopyFile(panel, source, destination); });
  DestroyWindow(panel);
  return 0;
}
