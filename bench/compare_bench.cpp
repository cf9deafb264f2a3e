// Measures what the file comparison engine adds to the bare platform calls it makes for two
// files: open, size, and for every 4096-byte block position, read, tick and message drain,
// then close. Run under Wine by scripts/bench on two files that are in the page cache.
//
//   compare_bench.exe FIRST SECOND [ROUNDS]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "bench/wine_rounds.h"
#include "compare/compare_files.h"
#include "resources/resource_ids.h"

namespace {

HWND AddChild(HWND panel, const wchar_t* windowClass, DWORD style, int id) {
  return CreateWindowExW(0, windowClass, L"", WS_CHILD | style, 0, 0, 600, 300, panel,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3) {
    std::fprintf(stderr, "usage: compare_bench FIRST SECOND [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 3 ? _wtoi(argv[3]) : 5;
  InitCommonControls();
  StoreOsMajorVersion();

  // A hidden stand-in for the panel with the three controls the engine writes to.
  HWND panel = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                               nullptr, nullptr);
  HWND list = AddChild(panel, WC_LISTVIEWW, LVS_REPORT, IDC_COMPARE_RESULTS);
  AddChild(panel, L"STATIC", 0, IDC_COMPARE_STATUS);
  AddChild(panel, L"BUTTON", 0, IDC_COMPARE_CANCEL);
  for (int column = 0; column < 2; ++column) {
    LVCOLUMNA header = {};
    header.mask = LVCF_WIDTH;
    header.cx = 270;
    SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&header));
  }
  AnswerMessageBoxes(false);

  WidePath first = {}, second = {};
  lstrcpynW(first, argv[1], kWidePathUnits);
  lstrcpynW(second, argv[2], kWidePathUnits);
  RunAlternatingRounds(
      rounds, FileMiB(first) + FileMiB(second), "CompareFilesByDigest",
      [&] {
        BareVerifyFile(first);
        BareVerifyFile(second);
      },
      [&] { CompareFilesByDigest(panel, first, second); });
  DestroyWindow(panel);
  return 0;
}
