#include "shell/run_state.h"

#include "shell/list_paint_pacing.h"
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
  // A run's rows may leave a list with its drawing off, which hides it from clicks and from
  // painting: messages taken from the queue are handled only with drawing on (messages sent
  // from other threads are handled within PeekMessage; one that reaches a list switches it
  // on). While nothing but posted or sent messages waits, those are taken alone, so that a
  // drain with nothing to handle costs no switch: a switch for each small file would cost a
  // run a fifth of its time. Windows NT 4 cannot leave input in the queue while taking the
  // rest. (QS_INPUT of newer headers holds flags that older Windows refuse; touch and pen
  // input, left out with them, waits at most until the next paint of the list is due.)
  UINT removal = PM_REMOVE;
  if (ListDrawingHeldOff()) {
    if (g_osMajorVersion > 4 && HIWORD(GetQueueStatus(QS_KEY | QS_MOUSE | QS_PAINT)) == 0) {
      removal |= PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
    } else {
      ResumeListDrawing();
    }
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, removal)) {
    if (message.message == heldBackMessage) continue;
    ResumeListDrawing();
    removal = PM_REMOVE;  // drawing is on: the paint it may ask for, and input, can be taken now
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void FormatProgressText(const char* ansiFormat, const wchar_t* wideFormat, const WidePath& path, int percent,
                        StatusText& text) {
  if (UsesWideCalls()) {
    WCHAR shownPath[kStatusTextUnits];
    ShortenPathForStatus(path, StatusPathCapacity(lstrlenW(wideFormat)), shownPath);
    wsprintfW(text.wide, wideFormat, shownPath, percent);
  } else {
    char ansiPath[kWidePathUnits];
    NarrowPath(path, ansiPath);
    char shownPath[kStatusTextUnits];
    ShortenPathForStatus(ansiPath, StatusPathCapacity(lstrlenA(ansiFormat)), shownPath);
    wsprintfA(text.ansi, ansiFormat, shownPath, percent);
  }
}

void ShowStatusText(HWND statusLine, const StatusText& text) {
  if (UsesWideCalls()) {
    SetWindowTextW(statusLine, text.wide);
  } else {
    SetWindowTextA(statusLine, text.ansi);
  }
}

void ShowProgressText(HWND statusLine, const char* ansiFormat, const wchar_t* wideFormat,
                      const WidePath& path, int percent) {
  StatusText text;
  FormatProgressText(ansiFormat, wideFormat, path, percent, text);
  ShowStatusText(statusLine, text);
}

void ClearStatusLine(HWND statusLine) { SetWindowTextA(statusLine, ""); }
