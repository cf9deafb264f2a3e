// Measures what the read verification engine adds to the bare platform calls it makes for
// every 4096-byte block. Run under Wine by scripts/bench on a file that is in the page cache.
//
//   verify_bench.exe FILE [ROUNDS]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "bench/wine_rounds.h"
#include "verify/verify_file.h"

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    std::fprintf(stderr, "usage: verify_bench FILE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? _wtoi(argv[2]) : 7;
  InitCommonControls();
  StoreOsMajorVersion();

  HWND panel = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                               nullptr, nullptr);
  g_readReport.fileResultsList = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0,
                                                 600, 300, panel, nullptr, nullptr, nullptr);
  g_readReport.fileStatusLine =
      CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 300, 600, 20, panel, nullptr, nullptr, nullptr);
  for (int column = 0; column < 3; ++column) {
    LVCOLUMNA header = {};
    header.mask = LVCF_WIDTH;
    header.cx = 100;
    SendMessageA(g_readReport.fileResultsList, LVM_INSERTCOLUMNA, column,
                 reinterpret_cast<LPARAM>(&header));
  }

  WidePath path = {};
  lstrcpynW(path, argv[1], kWidePathUnits);
  RunAlternatingRounds(
      rounds, FileMiB(path), "VerifyFileReadable", [&] { BareVerifyFile(path); },
      [&] {
        VerifyFileReadable(path, kSingleFileTarget);
        SendMessageA(g_readReport.fileResultsList, LVM_DELETEALLITEMS, 0, 0);
      });
  DestroyWindow(panel);
  return 0;
}
