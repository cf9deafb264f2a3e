// Measures what the read verification engine adds to the bare platform calls it makes for
// every 4096-byte block. Run under Wine by scripts/bench on a file that is in the page cache.
//
//   verify_bench.exe FILE [ROUNDS]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "verify/verify_file.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The same platform calls per block as the engine, and nothing else.
double TimeBareLoop(const wchar_t* path) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  const long long size = (static_cast<long long>(high) << 32) | low;
  static char block[4096];
  volatile DWORD tick = GetTickCount();
  for (long long offset = 0; offset < size; offset += 4096) {
    LONG offsetHigh = static_cast<LONG>(offset >> 32);
    SetFilePointer(file, static_cast<LONG>(offset), &offsetHigh, FILE_BEGIN);
    DWORD got = 0;
    if (!ReadFile(file, block, 4096, &got, nullptr)) break;
    tick = GetTickCount();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  (void)tick;
  CloseHandle(file);
  QueryPerformanceCounter(&end);
  return Seconds(start, end);
}

double TimeEngine(const WidePath& path) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  VerifyFileReadable(path, kSingleFileTarget);
  QueryPerformanceCounter(&end);
  SendMessageA(g_readReport.fileResultsList, LVM_DELETEALLITEMS, 0, 0);
  return Seconds(start, end);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

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
  TimeBareLoop(path);  // bring the file into the cache and the code paths warm

  std::vector<double> bare, engine;
  for (int round = 0; round < rounds; ++round) {
    bare.push_back(TimeBareLoop(path));
    engine.push_back(TimeEngine(path));
    std::printf("round %d: bare %.3f s, engine %.3f s\n", round + 1, bare.back(), engine.back());
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  GetFileAttributesExW(path, GetFileExInfoStandard, &data);
  const double mib = ((static_cast<double>(data.nFileSizeHigh) * 4294967296.0) + data.nFileSizeLow) /
                     (1024.0 * 1024.0);
  const double bareMedian = Median(bare), engineMedian = Median(engine);
  const double bareBest = *std::min_element(bare.begin(), bare.end());
  const double engineBest = *std::min_element(engine.begin(), engine.end());
  std::printf("file: %.0f MiB, %d rounds\n", mib, rounds);
  std::printf("bare platform loop : median %.3f s (%.0f MiB/s), best %.3f s\n", bareMedian,
              mib / bareMedian, bareBest);
  std::printf("VerifyFileReadable : median %.3f s (%.0f MiB/s), best %.3f s\n", engineMedian,
              mib / engineMedian, engineBest);
  std::printf("engine overhead    : median %+.1f %%, best %+.1f %%\n",
              (engineMedian / bareMedian - 1.0) * 100.0, (engineBest / bareBest - 1.0) * 100.0);
  DestroyWindow(panel);
  return 0;
}
