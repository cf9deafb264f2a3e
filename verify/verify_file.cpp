#include "verify/verify_file.h"

#include <commctrl.h>

#include <cstdint>

#include "shell/progress_text.h"

ReadReportWindows g_readReport = {};
int g_readOkTally = 0;
int g_readErrorTally = 0;

namespace {

// Where one report target shows its progress, and in which words.
struct ProgressLine {
  HWND statusLine;
  const char* ansiFormat;
  const wchar_t* wideFormat;
};

ProgressLine ProgressLineOf(ReportTarget target) {
  if (target == kDriveScanTarget) {
    return {g_readReport.discStatusLine, "Current File: %s - READING %d%%",
            L"Current File: %s - READING %d%%"};
  }
  return {g_readReport.fileStatusLine, "File: %s - READING %d%%", L"File: %s - READING %d%%"};
}

HANDLE OpenForSharedReading(const WidePath& path, const char (&ansiPath)[kWidePathUnits]) {
  // Read sharing only: a file that someone is writing to cannot be verified.
  if (UsesWideCalls()) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return CreateFileA(ansiPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The size as 64 bits, or false when it cannot be told.
bool QueryFileSize(HANDLE file, std::int64_t& size) {
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  const DWORD error = GetLastError();
  if (low == INVALID_FILE_SIZE && error != NO_ERROR) return false;
  size = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
  return true;
}

// Reads every block from the start until the end, the first failed read or a cancel.
// Returns whether the last read succeeded.
bool ReadAllBlocks(HANDLE file, std::int64_t size, const WidePath& path, ReportTarget target) {
  const ProgressLine progress = ProgressLineOf(target);

  char block[kReadBlockSize];
  ProgressClock clock;
  clock.Start(GetTickCount());
  bool lastReadOk = false;
  int shownPercent = -1;
  std::int64_t offset = 0;
  do {
    LONG offsetHigh = static_cast<LONG>(offset >> 32);
    SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &offsetHigh, FILE_BEGIN);
    DWORD bytesRead = 0;
    lastReadOk = ReadFile(file, block, kReadBlockSize, &bytesRead, nullptr) != FALSE;
    if (!lastReadOk || g_cancelFlag == 1) break;
    if (clock.RefreshDue()) {
      clock.lastRefreshTick = GetTickCount();
      // Rewriting the same text costs a window update per millisecond and shows nothing new.
      const int percent = PercentDone(offset, size);
      if (percent != shownPercent) {
        ShowProgressText(progress.statusLine, progress.ansiFormat, progress.wideFormat, path,
                         percent);
        shownPercent = percent;
      }
    }
    clock.previousBlockTick = GetTickCount();
    PumpMessages(kHeldBackMessage);
    offset += kReadBlockSize;
  } while (offset < size);
  return lastReadOk;
}

void AddResultRow(const WidePath& path, const char (&ansiPath)[kWidePathUnits], bool sizeKnown,
                  std::int64_t size, bool readable, ReportTarget target) {
  HWND list = target == kSingleFileTarget ? g_readReport.fileResultsList
              : readable                  ? g_readReport.readOkList
                                          : g_readReport.readErrorList;
  const int index =
      target == kSingleFileTarget ? 0 : static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));

  int inserted;
  if (UsesWideCalls()) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_STATE | LVIF_PARAM;
    item.iItem = index;
    item.state = item.stateMask = LVIS_SELECTED;
    item.lParam = index;
    item.pszText = const_cast<LPWSTR>(path);
    inserted = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  } else {
    // The ANSI bytes of the path are shown as they are; widened units would show as
    // unrelated characters.
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_STATE | LVIF_PARAM;
    item.iItem = index;
    item.state = item.stateMask = LVIS_SELECTED;
    item.lParam = index;
    item.pszText = const_cast<LPSTR>(ansiPath);
    inserted = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }
  if (inserted < 0) return;
  SendMessageA(list, LVM_SCROLL, 0, 16);

  char sizeText[32] = "Unknown size";
  if (sizeKnown) FormatByteCount(size, sizeText, sizeof sizeText);
  char verdictText[16];
  lstrcpyA(verdictText, readable ? "READ OK" : "READ ERROR");

  LVITEMA cell = {};
  cell.iSubItem = 1;
  cell.pszText = sizeText;
  SendMessageA(list, LVM_SETITEMTEXTA, inserted, reinterpret_cast<LPARAM>(&cell));
  cell.iSubItem = 2;
  cell.pszText = verdictText;
  SendMessageA(list, LVM_SETITEMTEXTA, inserted, reinterpret_cast<LPARAM>(&cell));
}

}  // namespace

void VerifyFileReadable(const WidePath& path, ReportTarget target) {
  char ansiPath[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(path, ansiPath);

  HANDLE file = OpenForSharedReading(path, ansiPath);
  std::int64_t size = 0;
  const bool sizeKnown = QueryFileSize(file, size);
  // An empty file has nothing that could fail to read.
  bool readable = sizeKnown && size == 0;
  if (sizeKnown && size > 0) readable = ReadAllBlocks(file, size, path, target);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

  HWND statusLine = ProgressLineOf(target).statusLine;
  // A cancel wins over whatever ended the loop: the file was not judged.
  if (g_cancelFlag == 1) {
    ClearStatusLine(statusLine);
    return;
  }
  if (readable) {
    ++g_readOkTally;
  } else {
    ++g_readErrorTally;
  }
  AddResultRow(path, ansiPath, sizeKnown, size, readable, target);
  ClearStatusLine(statusLine);
}
