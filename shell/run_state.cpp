#include "shell/run_state.h"

#include "shell/progress_text.h"

int g_osMajorVersion = 0;
int g_cancelFlag = 0;

void StoreOsMajorVersion() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
  GetVersionExA(&version);
  g_osMajorVersion = static_cast<int>(version.dwMajorVersion);
}

void PumpMessages(UINT heldBackMessage) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == heldBackMessage) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void ShowProgressText(HWND statusLine, const char* ansiFormat, const wchar_t* wideFormat,
                      const WidePath& path, int percent) {
  if (UsesWideCalls()) {
    WCHAR shownPath[kStatusTextUnits];
    ShortenPathForStatus(path, StatusPathCapacity(lstrlenW(wideFormat)), shownPath);
    WCHAR text[kStatusTextUnits];
    wsprintfW(text, wideFormat, shownPath, percent);
    SetWindowTextW(statusLine, text);
  } else {
    char ansiPath[kWidePathUnits];
    NarrowPath(path, ansiPath);
    char shownPath[kStatusTextUnits];
    ShortenPathForStatus(ansiPath, StatusPathCapacity(lstrlenA(ansiFormat)), shownPath);
    char text[kStatusTextUnits];
    wsprintfA(text, ansiFormat, shownPath, percent);
    SetWindowTextA(statusLine, text);
  }
}

void ClearStatusLine(HWND statusLine) { SetWindowTextA(statusLine, ""); }
