// Process-wide run state: the OS variant switch, wide paths, the cancel flag, the
// message pump of the engines and their status line writes.
#pragma once

#include <windows.h>

#include "shell/progress_text.h"
#include "shell/wide_path.h"

// Every path from a panel to an engine, terminator included (at most 259 characters).
typedef WCHAR WidePath[kWidePathUnits];

// dwMajorVersion as GetVersionExA reports it; fixed once at start-up.
extern int g_osMajorVersion;

// 1 once the user pressed Cancel; cleared when a run starts, polled by the engines.
extern int g_cancelFlag;

void StoreOsMajorVersion();

// Paths, file calls and progress texts use the wide-character calls above Windows 4.
inline bool UsesWideCalls() { return g_osMajorVersion > 4; }

// No message is held back.
constexpr UINT kNoHeldBackMessage = 0xFFFFFFFFu;

// Drains the thread's queue after every block, so that the window stays painted and the
// Cancel button can be pressed while an engine runs on this thread. A message numbered
// `heldBackMessage` is removed without being dispatched.
void PumpMessages(UINT heldBackMessage = kNoHeldBackMessage);

// A status line text in the variant in use: `wide` above Windows 4, `ansi` under it.
struct StatusText {
  WCHAR wide[kStatusTextUnits];
  char ansi[kStatusTextUnits];
};

// "<format>" with the path and a percentage, in the variant in use (the narrowed path under
// the ANSI variant). The format holds one %s, one %d and one %%; an over-long path is
// shortened so that the text always fits its buffer.
void FormatProgressText(const char* ansiFormat, const wchar_t* wideFormat, const WidePath& path, int percent,
                        StatusText& text);
void ShowStatusText(HWND statusLine, const StatusText& text);

// Both of the above: the progress text written into a status line.
void ShowProgressText(HWND statusLine, const char* ansiFormat, const wchar_t* wideFormat,
                      const WidePath& path, int percent);

void ClearStatusLine(HWND statusLine);

// A kernel32 call that not every supported Windows has, looked up at run time so that the
// program still starts where it is missing; null there.
template <typename Function>
Function Kernel32Call(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return nullptr;
  // Through void*: the platform hands out every function under one generic type.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}
