#include "verify/verify_file.h"

#include <commctrl.h>

#include <cstdint>

#include "shell/block_reading.h"
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

// Reads every block from the start until the end, the first failed read or a cancel.
// Returns whether the last read succeeded.
bool ReadAllBlocks(HANDLE file, std::int64_t size, const WidePath& path, ReportTarget target) {
  const ProgressLine progress = ProgressLineOf(target);

  char block[kReadBlockSize];
  FileProgress shown(progress.statusLine, progress.ansiFormat, progress.wideFormat, path, size);
  bool lastReadOk = false;
  std::int64_t offset = 0;
  do {
    DWORD bytesRead = 0;
    lastReadOk = ReadBlockAt(file, offset, block, bytesRead);
    if (!lastReadOk || g_cancelFlag == 1) break;
    shown.AfterBlock(offset);
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

void ReportUnverifiedPath(const WidePath& shownPath) {
  char ansiPath[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(shownPath, ansiPath);
  ++g_readErrorTally;
  AddResultRow(shownPath, ansiPath, false, 0, false, kDriveScanTarget);
}
