#include "salvage/salvage_copy.h"

#include <commctrl.h>

#include <cstdint>

#include "salvage/salvage_result.h"
#include "salvage/salvage_blocks.h"

SalvageWindows g_salvageWindows = {};

namespace {

void ShowOutcome(HWND owner, const char* text, UINT icon) {
  MessageBoxA(owner, text, "Copy Unreadable File", MB_OK | icon);
}

// Exact, unit by unit: other spellings of the same file are caught when the destination
// cannot be opened for writing beside the source.
bool SamePath(const WidePath& source, const WidePath& destination) {
  for (std::size_t i = 0; i < kWidePathUnits; ++i) {
    if (source[i] != destination[i]) return false;
    if (source[i] == 0) break;
  }
  return true;
}

// Bytes available to the user where the destination goes; false when that cannot be told.
bool QueryFreeSpace(const WidePath& destination, std::uint64_t& freeBytes) {
  ULARGE_INTEGER available, total, totalFree;
  const char root[4] = {static_cast<char>(destination[0] & 0xFF),
                        static_cast<char>(destination[1] & 0xFF),
                        static_cast<char>(destination[2] & 0xFF), 0};
  if (GetDiskFreeSpaceExA(root, &available, &total, &totalFree)) {
    freeBytes = available.QuadPart;
    return true;
  }
  // A relative or UNC name has no drive root in its first three characters: its own
  // folder (with the trailing backslash that UNC folders need) tells instead.
  WCHAR folder[kWidePathUnits] = {'.', '\\', 0};
  const std::size_t length = BoundedLength(destination, kWidePathUnits - 1);
  for (std::size_t end = length; end > 0; --end) {
    if (destination[end - 1] == '\\' || destination[end - 1] == '/') {
      for (std::size_t i = 0; i < end; ++i) folder[i] = destination[i];
      folder[end] = 0;
      break;
    }
  }
  BOOL known;
  if (UsesWideCalls()) {
    known = GetDiskFreeSpaceExW(folder, &available, &total, &totalFree);
  } else {
    char ansiFolder[kWidePathUnits];
    NarrowPath(folder, ansiFolder);
    known = GetDiskFreeSpaceExA(ansiFolder, &available, &total, &totalFree);
  }
  if (known) freeBytes = available.QuadPart;
  return known != FALSE;
}

void AddResultRow(std::int64_t size, std::int64_t correctBytes) {
  SalvageResultCells cells = FormatSalvageResult(size, correctBytes);
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
  item.stateMask = LVIS_SELECTED;  // inserted unselected
  item.pszText = cells.correct;
  SendMessageA(g_salvageWindows.resultsList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  LVITEMA cell = {};
  cell.iSubItem = 1;
  cell.pszText = cells.error;
  SendMessageA(g_salvageWindows.resultsList, LVM_SETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&cell));
}

// Ends a run that copied nothing: nothing was created, so nothing is deleted.
void Refuse(HWND owner, HANDLE sourceFile, const char* text) {
  if (sourceFile != INVALID_HANDLE_VALUE) CloseHandle(sourceFile);
  ShowWindow(g_salvageWindows.cancelButton, SW_HIDE);
  ShowOutcome(owner, text, MB_ICONERROR);
}

}  // namespace

void SalvageCopyFile(HWND owner, const WidePath& source, const WidePath& destination) {
  if (BoundedLength(source, kWidePathUnits) < 4 || BoundedLength(destination, kWidePathUnits) < 4) {
    ShowOutcome(owner, "Select source file and its destination name.", MB_ICONINFORMATION);
    return;
  }
  if (SamePath(source, destination)) {
    ShowOutcome(owner, "Source filepath and destination filepath are the same.", MB_ICONERROR);
    return;
  }
  SendMessageA(g_salvageWindows.resultsList, LVM_DELETEALLITEMS, 0, 0);
  ShowWindow(g_salvageWindows.cancelButton, SW_SHOW);

  char ansiSource[kWidePathUnits] = {};
  char ansiDestination[kWidePathUnits] = {};
  if (!UsesWideCalls()) {
    NarrowPath(source, ansiSource);
    NarrowPath(destination, ansiDestination);
  }
  std::uint64_t freeBytes = 0;
  // Where the free space cannot be told, the write check is what catches a full disk.
  const bool freeSpaceKnown = QueryFreeSpace(destination, freeBytes);

  HANDLE sourceFile = OpenForSharedReading(source, ansiSource);
  std::int64_t size = 0;
  if (!QueryFileSize(sourceFile, size)) {
    Refuse(owner, sourceFile, "Source file cannot be opened.");
    return;
  }
  if (freeSpaceKnown && freeBytes <= static_cast<std::uint64_t>(size)) {
    Refuse(owner, sourceFile, "Not enough disk free space.");
    return;
  }
  // An existing file of that name is replaced without asking.
  HANDLE destinationFile = CreateDestination(destination, ansiDestination, CREATE_ALWAYS);
  if (destinationFile == INVALID_HANDLE_VALUE) {
    Refuse(owner, sourceFile, "Destination file cannot be created.");
    return;
  }

  FileProgress shown(g_salvageWindows.statusLine, "File: %s - COPYING %d%%", L"File: %s - COPYING %d%%",
                     source, size);
  const CopyOutcome outcome = CopyAllBlocks(sourceFile, destinationFile, size, shown);
  CloseHandle(sourceFile);
  CloseHandle(destinationFile);
  ClearStatusLine(g_salvageWindows.statusLine);
  ShowWindow(g_salvageWindows.cancelButton, SW_HIDE);

  // Also when Cancel was pressed during the drain after the last block: the finished copy
  // goes too. Only a file that this run created or replaced is ever deleted.
  if (g_cancelFlag == 1) {
    DeleteDestination(destination, ansiDestination);
    ShowOutcome(owner, "Operation cancelled.", MB_ICONERROR);
    return;
  }
  // What was written stays: it may be all the user can still get.
  if (outcome.writeFailed) {
    char text[160];
    FormatIncompleteCopy(outcome.writtenUpTo, size, text, sizeof text);
    ShowOutcome(owner, text, MB_ICONERROR);
    return;
  }
  AddResultRow(size, outcome.correctBytes);
  ShowOutcome(owner, "Copy is complete.", MB_ICONINFORMATION);
}
