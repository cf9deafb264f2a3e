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

// The same platform calls per block as the engine, and nothing else.
void BareLoop(const wchar_t* source, const wchar_t* destination) {
  BareSalvageFile(source, destination, CREATE_ALWAYS, [](HANDLE, HANDLE) {});
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
  AnswerMessageBoxes(true);
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
