// Shared by the engine benchmarks under Wine: an engine against the bare platform loop that
// makes the same calls, timed in alternating rounds by the wall clock.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

struct RunTime {
  double wall;  // seconds by the performance counter
  double cpu;   // seconds the process's threads ran, user and kernel; the Wine server's share not included
};

// The process's, not the thread's: an engine may read on a thread of its own.
inline double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto seconds = [](FILETIME time) {
    return (static_cast<double>(time.dwHighDateTime) * 4294967296.0 + time.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

template <typename Run>
RunTime TimeRun(Run run) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  const double cpuStart = ProcessCpuSeconds();
  QueryPerformanceCounter(&start);
  run();
  QueryPerformanceCounter(&end);
  return {static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
          ProcessCpuSeconds() - cpuStart};
}

// Runs `bare` once to bring the data into the cache, then `bare` and `engine` alternately,
// `rounds` times each; prints every round, then medians, bests and the engine's overhead, by
// the wall clock and by the process's CPU time (which a busy second vCPU disturbs less).
// `mib` is how much data one run reads.
template <typename Bare, typename Engine>
void RunAlternatingRounds(int rounds, double mib, const char* engineName, Bare bare, Engine engine) {
  bare();
  std::vector<double> bareWall, engineWall, bareCpu, engineCpu;
  for (int round = 0; round < rounds; ++round) {
    const RunTime bareTime = TimeRun(bare);
    const RunTime engineTime = TimeRun(engine);
    bareWall.push_back(bareTime.wall);
    bareCpu.push_back(bareTime.cpu);
    engineWall.push_back(engineTime.wall);
    engineCpu.push_back(engineTime.cpu);
    std::printf("round %d: bare %.3f s (cpu %.3f s), engine %.3f s (cpu %.3f s)\n", round + 1,
                bareTime.wall, bareTime.cpu, engineTime.wall, engineTime.cpu);
    std::fflush(stdout);
  }
  const auto median = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  const auto best = [](const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
  };
  std::printf("data: %.0f MiB, %d rounds\n", mib, rounds);
  const struct {
    const char* what;
    const std::vector<double>& bareTimes;
    const std::vector<double>& engineTimes;
  } kClocks[] = {{"wall", bareWall, engineWall}, {"process cpu", bareCpu, engineCpu}};
  for (const auto& clock : kClocks) {
    const double bareMedian = median(clock.bareTimes), engineMedian = median(clock.engineTimes);
    std::printf("%-10s %-20s : median %.3f s (%.0f MiB/s), best %.3f s\n", clock.what,
                "bare platform loop", bareMedian, mib / bareMedian, best(clock.bareTimes));
    std::printf("%-10s %-20s : median %.3f s (%.0f MiB/s), best %.3f s\n", clock.what, engineName,
                engineMedian, mib / engineMedian, best(clock.engineTimes));
    std::printf("%-10s %-20s : median %+.1f %%, best %+.1f %%\n", clock.what, "engine overhead",
                (engineMedian / bareMedian - 1.0) * 100.0,
                (best(clock.engineTimes) / best(clock.bareTimes) - 1.0) * 100.0);
  }
}

// The size of a file in MiB.
inline double FileMiB(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path, GetFileExInfoStandard, &data);
  return (static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow) /
         (1024.0 * 1024.0);
}

// The engines end with a message box: each is answered at once, and with `print` what it said
// is printed.
inline bool g_printMessageBoxes = false;
inline LRESULT CALLBACK AnswerMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  HWND box = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && GetDlgItem(box, 0xFFFF) && !GetPropA(box, "answered")) {
    SetPropA(box, "answered", reinterpret_cast<HANDLE>(1));
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    if (g_printMessageBoxes) std::printf("message: %s\n", text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
inline void AnswerMessageBoxes(bool print) {
  g_printMessageBoxes = print;
  SetWindowsHookExA(WH_CBT, AnswerMessageBox, nullptr, GetCurrentThreadId());
}

// The engines' per-block message drain: every pending message translated and dispatched.
inline void DrainMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Opens a file for shared reading, as the engines do, and tells its size.
inline HANDLE OpenBare(const wchar_t* path, long long& size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  size = (static_cast<long long>(high) << 32) | low;
  return file;
}

// The platform calls that the read verification engine makes for one file, and nothing else:
// open for shared reading, size, then per 4096-byte block a seek, a read, a tick and a drain
// of the message queue, then `each(block, got)`; close. Returns the size.
inline void NoBlockWork(const char*, DWORD) {}
template <typename Each = decltype(&NoBlockWork)>
long long BareVerifyFile(const wchar_t* path, Each each = &NoBlockWork) {
  long long size = 0;
  HANDLE file = OpenBare(path, size);
  static char block[4096];
  volatile DWORD tick = GetTickCount();
  for (long long offset = 0; offset < size; offset += 4096) {
    LONG offsetHigh = static_cast<LONG>(offset >> 32);
    SetFilePointer(file, static_cast<LONG>(offset), &offsetHigh, FILE_BEGIN);
    DWORD got = 0;
    if (!ReadFile(file, block, 4096, &got, nullptr)) break;
    tick = GetTickCount();
    DrainMessages();
    each(block, got);
  }
  (void)tick;
  CloseHandle(file);
  return size;
}

// The platform calls that the salvage engines make for one file, and nothing else: open for
// shared reading, size, create with `disposition`, then per 4096-byte block a seek and a read,
// and for a block read a seek, a write and a tick, and a drain of the message queue (unless
// `drain` is false: an engine that reads on a thread of its own drains nothing there); then
// `beforeClose` with both files, and both closes.
template <typename BeforeClose>
void BareSalvageFile(const wchar_t* source, const wchar_t* destination, DWORD disposition,
                     BeforeClose beforeClose, bool drain = true) {
  long long size = 0;
  HANDLE in = OpenBare(source, size);
  HANDLE out = CreateFileW(destination, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, disposition,
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
    if (drain) DrainMessages();
  }
  (void)tick;
  beforeClose(in, out);
  CloseHandle(in);
  CloseHandle(out);
}
