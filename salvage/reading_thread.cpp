#include "salvage/reading_thread.h"

#include <cstdlib>
#include <cstring>

#include "shell/plain_array.h"

// The window's thread's side of the link, kept out of the passes' sight.
struct ReadingThreadAccess {
  static void Release(ReadingLink* link) {
    if (--link->refs_ == 0) {
      link->~ReadingLink();
      std::free(link);
    }
  }
  static DWORD WINAPI Main(void* parameter) {
    ReadingLink* link = static_cast<ReadingLink*>(parameter);
    link->passes_(link->run_, *link);  // the run is never touched again once they returned
    Release(link);
    return 0;
  }
  static void RequestStop(ReadingLink& link) { link.stop_.store(1); }
  // CancelSynchronousIo ends only the read under way, never a write of the copy or its map: the
  // reading thread cannot leave the read while it is called.
  static void CancelRead(ReadingLink& link, HANDLE thread, BOOL(WINAPI* cancel)(HANDLE)) {
    long expected = ReadingLink::kInRead;
    if (!cancel || !link.holder_.compare_exchange_strong(expected, ReadingLink::kCancelling)) return;
    cancel(thread);
    link.holder_.store(ReadingLink::kInRead);
  }
  static bool TakeFromStuckRead(ReadingLink& link) {
    long expected = ReadingLink::kInRead;
    return link.holder_.compare_exchange_strong(expected, ReadingLink::kWindow);
  }
  static void Prepare(ReadingLink& link, ReadingPasses passes, void* run, HWND window, WPARAM number) {
    link.passes_ = passes;
    link.run_ = run;
    link.postWindow_ = window;
    link.runNumber_ = number;
  }
};

namespace {

constexpr UINT kShowProgressMessage = WM_APP + 1;  // lParam: a StatusText to free
constexpr UINT kClearProgressMessage = WM_APP + 2;
// How long a cancelled run's read may take to return before the run is taken from it.
constexpr DWORD kTakeOverMs = 500;
// Every kind of message the window's thread answers (QS_ALLINPUT of newer headers holds
// flags that older Windows refuse).
constexpr DWORD kWakeMask = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT |
                            QS_SENDMESSAGE | QS_HOTKEY;

// The window's thread's own: the window that takes the posted progress (made once, kept for
// the program's life, so that a post from an abandoned read always finds it), the status line
// of the run under way (null between runs) and its number.
HWND g_postWindow = nullptr;
HWND g_statusLine = nullptr;
WPARAM g_runNumber = 0;

// The threads left in a stuck read, with where they read from and wrote to.
struct StuckRead {
  HANDLE thread;
  WidePath driveRoot;
  WidePath folder;
};
PlainArray<StuckRead> g_stuckReads;

LRESULT CALLBACK PostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kShowProgressMessage || message == kClearProgressMessage) {
    StatusText* text = reinterpret_cast<StatusText*>(lParam);
    // A text that an earlier run posted before it ended is dropped.
    if (wParam == g_runNumber && g_statusLine) {
      if (text) {
        ShowStatusText(g_statusLine, *text);
      } else {
        ClearStatusLine(g_statusLine);
      }
    }
    std::free(text);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND PostWindow() {
  if (g_postWindow) return g_postWindow;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = PostWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VeroluxReadingThread";
  RegisterClassA(&windowClass);
  // Never shown; a message-only window would need Windows 2000.
  g_postWindow = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
  return g_postWindow;
}

// A night's rescue is not cut short by the power settings. NT 4 has no such call.
void KeepSystemAwake(bool awake) {
  // Looked up on each call: a function-local static would pull in the threads library's guard.
  const auto setState =
      Kernel32Call<EXECUTION_STATE(WINAPI*)(EXECUTION_STATE)>("SetThreadExecutionState");
  if (setState) setState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

// Forgets the stuck reads that have returned meanwhile.
void SweepStuckReads() {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < g_stuckReads.size(); ++i) {
    if (WaitForSingleObject(g_stuckReads[i].thread, 0) == WAIT_OBJECT_0) {
      CloseHandle(g_stuckReads[i].thread);
    } else {
      g_stuckReads[kept++] = g_stuckReads[i];
    }
  }
  g_stuckReads.Resize(kept);
}

void RememberStuckRead(HANDLE thread, const WidePath& driveRoot, const WidePath& folder) {
  StuckRead stuck = {thread, {}, {}};
  lstrcpynW(stuck.driveRoot, driveRoot, kWidePathUnits);
  lstrcpynW(stuck.folder, folder, kWidePathUnits);
  // Without room to remember it the handle is let go: a later run is then not refused, and
  // waits for the drive as any program would.
  if (!g_stuckReads.push_back(stuck)) CloseHandle(thread);
}

}  // namespace

bool ReadingLink::EnterRead() {
  if (StopRequested()) return false;
  holder_.store(kInRead);
  return true;
}

bool ReadingLink::LeaveRead() {
  for (;;) {
    long expected = kInRead;
    if (holder_.compare_exchange_strong(expected, kReader)) return true;
    if (expected == kWindow) return false;
    Sleep(0);  // the window's thread is cancelling the read: a moment
  }
}

void ReadingLink::PostProgress(void* link, const StatusText& text) {
  const ReadingLink& self = *static_cast<const ReadingLink*>(link);
  StatusText* posted = static_cast<StatusText*>(std::malloc(sizeof(StatusText)));
  if (!posted) return;  // a progress text the user misses
  std::memcpy(posted, &text, sizeof(StatusText));
  if (!PostMessageA(self.postWindow_, kShowProgressMessage, self.runNumber_, reinterpret_cast<LPARAM>(posted))) {
    std::free(posted);
  }
}

void ReadingLink::ClearProgress() { PostMessageA(postWindow_, kClearProgressMessage, runNumber_, 0); }

ReadingEnd RunOnReadingThread(ReadingPasses passes, void* run, HWND statusLine, const WidePath& driveRoot,
                              const WidePath& folder, DWORD& error) {
  error = NO_ERROR;
  HWND window = PostWindow();
  void* memory = std::malloc(sizeof(ReadingLink));
  if (!window || !memory) {
    error = window ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    std::free(memory);
    return ReadingEnd::kNotRun;
  }
  ReadingLink* link = new (memory) ReadingLink;
  ReadingThreadAccess::Prepare(*link, passes, run, window, ++g_runNumber);
  g_statusLine = statusLine;
  KeepSystemAwake(true);
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReadingThreadAccess::Main, link, 0, &threadId);
  if (!thread) {
    error = GetLastError();
    KeepSystemAwake(false);
    g_statusLine = nullptr;
    link->~ReadingLink();
    std::free(memory);
    return ReadingEnd::kNotRun;
  }

  const auto cancelIo = Kernel32Call<BOOL(WINAPI*)(HANDLE)>("CancelSynchronousIo");
  ReadingEnd end = ReadingEnd::kDone;
  bool stopping = false;
  DWORD stopTick = 0;
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, stopping ? 50 : 250, kWakeMask);
    if (woken == WAIT_OBJECT_0) break;
    PumpMessages();
    if (!stopping && g_cancelFlag == 1) {
      stopping = true;
      stopTick = GetTickCount();
      ReadingThreadAccess::RequestStop(*link);
    }
    if (!stopping) continue;
    ReadingThreadAccess::CancelRead(*link, thread, cancelIo);
    if (GetTickCount() - stopTick >= kTakeOverMs && ReadingThreadAccess::TakeFromStuckRead(*link)) {
      end = ReadingEnd::kTaken;
      break;
    }
  }
  // What the thread posted and the window has not shown yet is dropped with the run's number.
  ++g_runNumber;
  g_statusLine = nullptr;
  KeepSystemAwake(false);
  if (end == ReadingEnd::kTaken) {
    RememberStuckRead(thread, driveRoot, folder);
  } else {
    CloseHandle(thread);
  }
  ReadingThreadAccess::Release(link);
  return end;
}

bool RefusedWhileReadStuck(HWND owner, const WidePath& driveRoot, const WidePath& folder) {
  SweepStuckReads();
  for (const StuckRead& stuck : g_stuckReads) {
    if (lstrcmpiW(stuck.driveRoot, driveRoot) != 0 && lstrcmpiW(stuck.folder, folder) != 0) continue;
    MessageBoxA(owner,
                "A read of the cancelled rescue has not returned yet: the drive may still be retrying it.\n\n"
                "A new rescue from that drive, or into that folder, can begin once the read returns. "
                "Closing the program ends it at once.",
                "Read Drive Check", MB_OK | MB_ICONWARNING);
    return true;
  }
  return false;
}
