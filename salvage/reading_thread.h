// The thread that reads the medium for "Copy Files To..." while the window's thread only keeps
// the window alive: painting, the lists, the status line and Cancel. On a dying drive one read
// can take minutes; the window answers meanwhile, and a cancelled run does not wait for it.
#pragma once

#include <windows.h>

#include <atomic>

#include "shell/run_state.h"

class ReadingLink;

// A run's passes, called on the reading thread. They return false when the run was taken from
// them during a read (see LeaveRead), true in every other case.
typedef bool (*ReadingPasses)(void* run, ReadingLink& link);

// What a run's passes see of the thread that runs them: whether to stop, the bounds of each
// read of the medium, and where their progress goes.
class ReadingLink {
 public:
  bool StopRequested() const { return stop_.load() != 0; }
  // Before a read of the medium (or an open, which can hang as long): false when the run is to
  // stop, and then no read begins.
  bool EnterRead();
  // After it: false when the window's thread took the run while the read was stuck. The passes
  // then return at once and touch nothing of the run again: not its files, maps or copies.
  bool LeaveRead();
  // For FileProgress: hands a status text to the window's thread (`link` is the link).
  static void PostProgress(void* link, const StatusText& text);
  void ClearProgress();

 private:
  friend struct ReadingThreadAccess;
  enum : long { kReader, kInRead, kCancelling, kWindow };

  // Shared between the window's thread and the reading thread, and nothing else of the program:
  //   stop_    the run's stop request: set by the window's thread once Cancel is pressed, read by
  //            the reading thread around every read.
  //   holder_  who may touch the run's data (its files, maps, copies): the reading thread while
  //            it is kReader, kInRead (a read of the medium under way) or kCancelling (the
  //            window's thread cancelling that read), all set by the reading thread except
  //            kCancelling; the window's thread alone once it set kWindow, which it does only
  //            from kInRead, taking the run from a stuck read for good. Before the thread starts
  //            and once it has ended, the run is the window's thread's.
  //   refs_    the sides still holding the link; the last to let go frees it.
  // Set before the thread starts and only read afterwards: the passes and their run, the window
  // that the progress is posted to and the run's number, by which it drops an earlier run's.
  std::atomic<long> stop_{0};
  std::atomic<long> holder_{kReader};
  std::atomic<long> refs_{2};
  ReadingPasses passes_ = nullptr;
  void* run_ = nullptr;
  HWND postWindow_ = nullptr;
  WPARAM runNumber_ = 0;
};

enum class ReadingEnd {
  kDone,    // the passes returned: the run is the window's thread's again
  kTaken,   // Cancel found them in a stuck read: the window's thread took the run, and the
            // read is left to its thread, which only finishes it
  kNotRun,  // no thread could be started (`error` says why): nothing was read
};

// Runs `passes` over `run` on a thread of their own and keeps the window alive until they end,
// or until Cancel finds them stuck in a read. Their progress goes to `statusLine`. While they
// run the system is kept from sleeping. On the window's thread, in the panel's busy state.
ReadingEnd RunOnReadingThread(ReadingPasses passes, void* run, HWND statusLine, const WidePath& driveRoot,
                              const WidePath& folder, DWORD& error);

// Refuses, with a message owned by `owner`, a new run from `driveRoot` or into `folder` while a
// read of a cancelled run from there or into there has not returned. Returns whether it refused.
bool RefusedWhileReadStuck(HWND owner, const WidePath& driveRoot, const WidePath& folder);
