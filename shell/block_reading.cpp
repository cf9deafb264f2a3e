#include "shell/block_reading.h"

HANDLE OpenForSharedReading(const WidePath& path, const char (&ansiPath)[kWidePathUnits]) {
  // Read sharing only: a file that someone is writing to is not taken as readable.
  if (UsesWideCalls()) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return CreateFileA(ansiPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool QueryFileSize(HANDLE file, std::int64_t& size) {
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  const DWORD error = GetLastError();
  if (low == INVALID_FILE_SIZE && error != NO_ERROR) return false;
  size = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
  return true;
}

bool ReadBlockAt(HANDLE file, std::int64_t offset, void* block, DWORD& bytesRead) {
  return ReadBytesAt(file, offset, block, kReadBlockSize, bytesRead);
}

bool ReadBytesAt(HANDLE file, std::int64_t offset, void* buffer, DWORD length, DWORD& bytesRead) {
  LONG offsetHigh = static_cast<LONG>(offset >> 32);
  SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &offsetHigh, FILE_BEGIN);
  bytesRead = 0;
  return ReadFile(file, buffer, length, &bytesRead, nullptr) != FALSE;
}

FileProgress::FileProgress(HWND statusLine, const char* ansiFormat, const wchar_t* wideFormat,
                           const WidePath& path, std::int64_t size)
    : statusLine_(statusLine),
      ansiFormat_(ansiFormat),
      wideFormat_(wideFormat),
      path_(path),
      size_(size) {
  clock_.Start(GetTickCount());
}

void FileProgress::Refresh(std::int64_t offset) {
  clock_.lastRefreshTick = GetTickCount();
  // Rewriting the same text costs a window update per millisecond and shows nothing new.
  const int percent = PercentDone(offset, size_);
  if (percent == shownPercent_) return;
  if (post_) {
    StatusText text;
    FormatProgressText(ansiFormat_, wideFormat_, path_, percent, text);
    post_(target_, text);
  } else {
    ShowProgressText(statusLine_, ansiFormat_, wideFormat_, path_, percent);
  }
  shownPercent_ = percent;
}
