// What the engines that read files block by block share: opening a file for shared reading,
// its size, reading one block at an absolute offset, and the progress of the file being read.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/progress_text.h"
#include "shell/run_state.h"

// Size of one read; also the unit of progress and message draining.
constexpr DWORD kReadBlockSize = 4096;

// Opens an existing file for reading with read sharing only, as the variant in use names it
// (`ansiPath` is the narrowed path under the ANSI variant). INVALID_HANDLE_VALUE on failure.
HANDLE OpenForSharedReading(const WidePath& path, const char (&ansiPath)[kWidePathUnits]);

// The size as 64 bits, or false when it cannot be told (also for an invalid handle).
bool QueryFileSize(HANDLE file, std::int64_t& size);

// Positions the file at `offset` from its start and reads up to one block. Returns whether
// the read succeeded; `bytesRead` may be below a block at the end of the file.
bool ReadBlockAt(HANDLE file, std::int64_t offset, void* block, DWORD& bytesRead);

// The same for `length` bytes, for reads that must not touch bytes already read.
bool ReadBytesAt(HANDLE file, std::int64_t offset, void* buffer, DWORD length, DWORD& bytesRead);

// Hands a status text from a thread without windows to the window's thread.
typedef void (*PostStatusText)(void* target, const StatusText& text);

// The progress text of one file on its panel's status line. The text is rewritten by the
// refresh rule, and only when its percentage differs from the one shown.
class FileProgress {
 public:
  // Starts the refresh clock: call it once the file is open.
  FileProgress(HWND statusLine, const char* ansiFormat, const wchar_t* wideFormat,
               const WidePath& path, std::int64_t size);
  // The same for reads on a thread of their own: each text goes through `post`.
  FileProgress(PostStatusText post, void* target, const char* ansiFormat, const wchar_t* wideFormat,
               const WidePath& path, std::int64_t size)
      : FileProgress(nullptr, ansiFormat, wideFormat, path, size) {
    post_ = post;
    target_ = target;
  }

  // Shows the text at once, as when a file starts, whatever the refresh rule says.
  void ShowNow(std::int64_t offset) { Refresh(offset); }

  // After each block read at `offset`, just before the message drain.
  void AfterBlock(std::int64_t offset) {
    if (clock_.RefreshDue()) Refresh(offset);
    clock_.previousBlockTick = GetTickCount();
  }

 private:
  void Refresh(std::int64_t offset);

  HWND statusLine_;
  PostStatusText post_ = nullptr;
  void* target_ = nullptr;
  const char* ansiFormat_;
  const wchar_t* wideFormat_;
  const WidePath& path_;
  std::int64_t size_;
  ProgressClock clock_;
  int shownPercent_ = -1;
};
