#include "salvage/batch_salvage.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "salvage/salvage_blocks.h"
#include "shell/list_text.h"
#include "shell/results_list_commands.h"

namespace {

constexpr const char* kCaption = "Read Drive Check";

// A call of the variant in use on a wide path: the ANSI form gets the path narrowed.
template <typename Wide, typename Ansi>
auto OnPath(const WidePath& path, Wide wide, Ansi ansi) {
  if (UsesWideCalls()) return wide(path);
  char ansiPath[kWidePathUnits];
  NarrowPath(path, ansiPath);
  return ansi(ansiPath);
}

bool Exists(const WidePath& path) {
  return OnPath(path, GetFileAttributesW, GetFileAttributesA) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const WidePath& path) {
  const DWORD attributes = OnPath(path, GetFileAttributesW, GetFileAttributesA);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The root of the volume that holds `path`: "X:\" or "\\server\share\"; false for a relative path.
bool VolumeRootOf(const WidePath& path, WidePath& root) {
  std::size_t length = 0;
  if (path[0] != 0 && path[1] == ':') {
    length = 2;
  } else if (path[0] == '\\' && path[1] == '\\') {
    int separators = 0;
    // Room is left for the closing backslash and the terminator.
    for (length = 2; length < kWidePathUnits - 2 && path[length] != 0; ++length) {
      if (path[length] == '\\' && ++separators == 2) break;
    }
  } else {
    return false;
  }
  for (std::size_t i = 0; i < kWidePathUnits; ++i) root[i] = i < length ? path[i] : 0;
  root[length] = '\\';
  return true;
}

DWORD VolumeSerialOf(const WidePath& path) {
  WidePath root;
  DWORD serial = 0;
  if (!VolumeRootOf(path, root)) return 0;
  const BOOL known = OnPath(
      root,
      [&](const WCHAR* name) { return GetVolumeInformationW(name, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0); },
      [&](const char* name) { return GetVolumeInformationA(name, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0); });
  return known ? serial : 0;
}

WCHAR UpperLetter(WCHAR letter) { return letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter; }

// Writing to the failing medium could destroy what is still readable on it.
bool OnCheckedDrive(const WidePath& folder, const WidePath& driveRoot) {
  if (folder[1] == ':' && driveRoot[1] == ':' && UpperLetter(folder[0]) == UpperLetter(driveRoot[0])) return true;
  // Another letter or a share can lead to the same volume; a volume without a serial tells nothing.
  const DWORD serial = VolumeSerialOf(folder);
  return serial != 0 && serial == VolumeSerialOf(driveRoot);
}

// Whether a file can be made in the folder: one is made and removed again at once.
DWORD FolderWritable(const WidePath& folder) {
  WCHAR wideProbe[kWidePathUnits];
  char ansiProbe[kWidePathUnits];
  const UINT made = OnPath(
      folder, [&](const WCHAR* name) { return GetTempFileNameW(name, L"vlx", 0, wideProbe); },
      [&](const char* name) { return GetTempFileNameA(name, "vlx", 0, ansiProbe); });
  const DWORD error = GetLastError();
  // Wine names a file even where it could not make one.
  const BOOL probed = made && (UsesWideCalls() ? DeleteFileW(wideProbe) : DeleteFileA(ansiProbe));
  if (probed) return NO_ERROR;
  return error != NO_ERROR ? error : ERROR_ACCESS_DENIED;
}

// What one selected row of the list is: its path and its size as the scan listed them.
struct Row {
  WidePath source = {};
  bool sizeKnown = false;
  std::int64_t size = 0;
  WidePath destination = {};
  bool destinationFits = false;
};

void ReadRow(HWND list, int index, const WidePath& driveRoot, const WidePath& folder, Row& row) {
  if (UsesWideCalls()) {
    LVITEMW item = {};
    item.pszText = row.source;
    item.cchTextMax = kWidePathUnits;
    SendMessageW(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
  } else {
    // The ANSI variant lists the ANSI bytes of the names.
    char ansi[kWidePathUnits] = {};
    LVITEMA item = {};
    item.pszText = ansi;
    item.cchTextMax = kWidePathUnits;
    SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    WidenPath(ansi, row.source);
  }
  row.source[kWidePathUnits - 1] = 0;
  char sizeText[64] = {};
  LVITEMA cell = {};
  cell.iSubItem = 1;
  cell.pszText = sizeText;
  cell.cchTextMax = sizeof sizeText;
  SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&cell));
  // "%1.0f bytes", or "Unknown size" when the scan could not tell.
  row.sizeKnown = sizeText[0] >= '0' && sizeText[0] <= '9';
  row.size = 0;
  for (const char* digit = sizeText; *digit >= '0' && *digit <= '9'; ++digit) row.size = row.size * 10 + (*digit - '0');

  // The folder, then the row's path below its drive root.
  const std::size_t rootLength = BoundedLength(driveRoot, kWidePathUnits);
  const std::size_t folderLength = BoundedLength(folder, kWidePathUnits);
  const bool separator = folderLength > 0 && folder[folderLength - 1] != '\\';
  const WCHAR* below = row.source + rootLength;
  const std::size_t belowLength = BoundedLength(below, kWidePathUnits - rootLength);
  row.destinationFits = folderLength + separator + belowLength <= kWidePathUnits - 1;
  for (std::size_t i = 0; i < kWidePathUnits; ++i) row.destination[i] = 0;
  if (!row.destinationFits) return;
  std::size_t n = 0;
  for (std::size_t i = 0; i < folderLength; ++i) row.destination[n++] = folder[i];
  if (separator) row.destination[n++] = '\\';
  for (std::size_t i = 0; i < belowLength; ++i) row.destination[n++] = below[i];
}

// The rows selected when the run starts, in list order: a click in the list during the run
// must not change what it copies. False when there is no memory for them.
bool TakeSelectedRows(HWND list, int*& rows, int& count) {
  count = static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0));
  rows = static_cast<int*>(std::malloc((count > 0 ? count : 1) * sizeof(int)));
  if (!rows) return false;
  int taken = 0;
  for (int index = ListView_GetNextItem(list, -1, LVNI_SELECTED); index >= 0 && taken < count;
       index = ListView_GetNextItem(list, index, LVNI_SELECTED)) {
    rows[taken++] = index;
  }
  count = taken;
  return true;
}

// The folders of the destination below the chosen folder, made where missing.
DWORD MakeFoldersOf(WidePath& destination, std::size_t folderLength) {
  for (std::size_t i = folderLength + 1; i < kWidePathUnits && destination[i] != 0; ++i) {
    if (destination[i] != '\\') continue;
    destination[i] = 0;
    const BOOL made = OnPath(
        destination, [](const WCHAR* name) { return CreateDirectoryW(name, nullptr); },
        [](const char* name) { return CreateDirectoryA(name, nullptr); });
    const DWORD error = made ? NO_ERROR : GetLastError();
    destination[i] = '\\';
    if (error != NO_ERROR && error != ERROR_ALREADY_EXISTS) return error;
  }
  return NO_ERROR;
}

enum class Result { kCopied, kCopiedWithErrors, kAlreadyThere, kNotCopied, kCancelled, kNotReached };

// What became of one row, for its report line and the counts.
struct FileOutcome {
  Result result = Result::kNotReached;
  DWORD error = NO_ERROR;     // why it was not copied, when the system said
  const char* why = nullptr;  // why it was not copied, when the system did not
  std::int64_t correctBytes = 0;
  // Only a failed write stops the run: a source that cannot be read or a folder that cannot
  // be made costs only its own file.
  bool stopsRun = false;
};

struct RunTotals {
  int counts[6] = {};
  double unreadBytes = 0;
  bool stopped = false;  // a write failed
  DWORD stopError = NO_ERROR;
};

// Copies one file that is not there yet. A failed write stops the run; the file being
// written was made by this run, and a later run must not take it for a finished copy.
FileOutcome CopyOneFile(Row& row, std::size_t folderLength, int number, int total,
                        const BatchSalvageWindows& windows) {
  FileOutcome outcome;
  char ansiSource[kWidePathUnits] = {};
  char ansiDestination[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(row.source, ansiSource);
  HANDLE sourceFile = OpenForSharedReading(row.source, ansiSource);
  std::int64_t size = 0;
  if (!QueryFileSize(sourceFile, size)) {
    outcome.result = Result::kNotCopied;
    outcome.error = GetLastError();
    if (sourceFile != INVALID_HANDLE_VALUE) CloseHandle(sourceFile);
    return outcome;
  }
  // The size now, not the one listed: the file may have changed since the scan.
  row.size = size;
  outcome.error = MakeFoldersOf(row.destination, folderLength);
  if (!UsesWideCalls()) NarrowPath(row.destination, ansiDestination);
  HANDLE destinationFile = INVALID_HANDLE_VALUE;
  if (outcome.error == NO_ERROR) {
    // Never over a file that appeared since it was looked for.
    destinationFile = CreateDestination(row.destination, ansiDestination, CREATE_NEW);
    if (destinationFile == INVALID_HANDLE_VALUE) outcome.error = GetLastError();
  }
  if (destinationFile == INVALID_HANDLE_VALUE) {
    CloseHandle(sourceFile);
    outcome.result = Result::kNotCopied;
    return outcome;
  }

  char ansiFormat[64];
  WCHAR wideFormat[64];
  wsprintfA(ansiFormat, "Copying file %d of %d: %%s - %%d%%%%", number, total);
  wsprintfW(wideFormat, L"Copying file %d of %d: %%s - %%d%%%%", number, total);
  FileProgress shown(windows.statusLine, ansiFormat, wideFormat, row.source, size);
  const CopyOutcome copied = CopyAllBlocks(sourceFile, destinationFile, size, shown);
  FILETIME created, written;
  if (GetFileTime(sourceFile, &created, nullptr, &written)) SetFileTime(destinationFile, &created, nullptr, &written);
  CloseHandle(sourceFile);
  outcome.error = copied.writeError;
  // Some media report a failed write only when the file is closed.
  if (!CloseHandle(destinationFile) && !copied.writeFailed) {
    outcome.error = GetLastError() != NO_ERROR ? GetLastError() : ERROR_WRITE_FAULT;
  }
  outcome.correctBytes = copied.correctBytes;
  if (g_cancelFlag == 1 || outcome.error != NO_ERROR) {
    DeleteDestination(row.destination, ansiDestination);
    outcome.result = g_cancelFlag == 1 ? Result::kCancelled : Result::kNotCopied;
    outcome.stopsRun = g_cancelFlag != 1;
    return outcome;
  }
  outcome.result = copied.correctBytes >= size ? Result::kCopied : Result::kCopiedWithErrors;
  return outcome;
}

// A text of the variant's path as the report shows it: ANSI bytes through the code page.
void AddPathCell(ListText<WCHAR>& report, const WidePath& path) {
  if (UsesWideCalls()) {
    report.AddCell(path, BoundedLength(path, kWidePathUnits));
    return;
  }
  char ansi[kWidePathUnits];
  NarrowPath(path, ansi);
  WCHAR wide[kWidePathUnits];
  const int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, kWidePathUnits);
  report.AddCell(wide, units > 0 ? static_cast<std::size_t>(units - 1) : 0);
}

void AddAnsiCell(ListText<WCHAR>& report, const char* text) {
  WCHAR wide[600];
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 600);
  report.AddCell(wide, units > 0 ? static_cast<std::size_t>(units - 1) : 0);
}

void AddReportLine(ListText<WCHAR>& report, const Row& row, const FileOutcome& outcome) {
  AddPathCell(report, row.source);
  const bool copied = outcome.result == Result::kCopied || outcome.result == Result::kCopiedWithErrors ||
                      outcome.result == Result::kAlreadyThere;
  if (copied) {
    AddPathCell(report, row.destination);
  } else {
    report.AddCell(L"", 0);
  }
  char number[32] = "";
  if (row.sizeKnown) std::snprintf(number, sizeof number, "%1.0f", static_cast<double>(row.size));
  AddAnsiCell(report, number);
  const bool counted = outcome.result == Result::kCopied || outcome.result == Result::kCopiedWithErrors;
  std::int64_t errorBytes = row.size - outcome.correctBytes;
  if (errorBytes < 0) errorBytes = 0;
  std::snprintf(number, sizeof number, "%1.0f", counted ? static_cast<double>(outcome.correctBytes) : 0.0);
  AddAnsiCell(report, counted ? number : "");
  std::snprintf(number, sizeof number, "%1.0f", static_cast<double>(errorBytes));
  AddAnsiCell(report, counted ? number : "");
  static const char* const kResults[] = {"COPIED", "COPIED WITH ERRORS", "ALREADY THERE", "NOT COPIED: ",
                                         "CANCELLED", "NOT REACHED"};
  char result[600];
  lstrcpyA(result, kResults[static_cast<int>(outcome.result)]);
  if (outcome.result == Result::kNotCopied) {
    char reason[512];
    if (outcome.why) {
      lstrcpyA(reason, outcome.why);
    } else {
      FormatSystemReason(outcome.error, reason);
    }
    lstrcatA(result, reason);
  }
  AddAnsiCell(report, result);
  report.EndLine();
}

// What happens to one selected row, in list order.
FileOutcome TakeRow(Row& row, std::size_t folderLength, int number, int total, const RunTotals& totals,
                    const BatchSalvageWindows& windows) {
  FileOutcome outcome;
  if (g_cancelFlag == 1 || totals.stopped) return outcome;  // not reached
  outcome.result = Result::kNotCopied;
  if (!row.sizeKnown) {
    outcome.why = "size unknown";
  } else if (!row.destinationFits) {
    outcome.why = "name too long";
  } else if (Exists(row.destination)) {
    // Left untouched: a run after a cancel or a stop goes on where that one ended.
    outcome.result = Result::kAlreadyThere;
  } else {
    outcome = CopyOneFile(row, folderLength, number, total, windows);
  }
  return outcome;
}

// The report's name in the folder: the start's local time, and a number where that is taken.
void NameReport(const WidePath& folder, const SYSTEMTIME& start, WidePath& name) {
  const std::size_t folderLength = BoundedLength(folder, kWidePathUnits);
  const char* separator = folderLength > 0 && folder[folderLength - 1] == '\\' ? "" : "\\";
  for (int attempt = 1;; ++attempt) {
    char tail[80];
    char number[16] = "";
    if (attempt > 1) wsprintfA(number, " (%d)", attempt);
    wsprintfA(tail, "%sCopy report %04d-%02d-%02d %02d-%02d-%02d%s.csv", separator, start.wYear, start.wMonth,
              start.wDay, start.wHour, start.wMinute, start.wSecond, number);
    const std::size_t tailLength = lstrlenA(tail);
    if (folderLength + tailLength >= kWidePathUnits) {
      name[0] = 0;
      return;
    }
    for (std::size_t i = 0; i < kWidePathUnits; ++i) name[i] = i < folderLength ? folder[i] : 0;
    for (std::size_t i = 0; i < tailLength; ++i) name[folderLength + i] = static_cast<unsigned char>(tail[i]);
    if (!Exists(name)) return;
  }
}

void ShowMessage(HWND owner, const char* text, UINT icon) { MessageBoxA(owner, text, kCaption, MB_OK | icon); }

// The closing message of a run that was not cancelled.
void ShowClosingMessage(HWND owner, const RunTotals& totals, const WidePath& reportName, DWORD reportError) {
  char report[600];
  if (reportError == NO_ERROR) {
    char ansiName[kWidePathUnits];
    if (UsesWideCalls()) {
      WideCharToMultiByte(CP_ACP, 0, reportName, -1, ansiName, kWidePathUnits, nullptr, nullptr);
      ansiName[kWidePathUnits - 1] = 0;
    } else {
      NarrowPath(reportName, ansiName);
    }
    lstrcpyA(report, ansiName);
  } else {
    char reason[512];
    FormatSystemReason(reportError, reason);
    wsprintfA(report, "not written. %s", reason);
  }
  const int notCopied = totals.counts[static_cast<int>(Result::kNotCopied)] +
                        totals.counts[static_cast<int>(Result::kCancelled)] +
                        totals.counts[static_cast<int>(Result::kNotReached)];
  char counts[900];
  std::snprintf(counts, sizeof counts,
                "Files copied whole\t\t\t: %d\nFiles copied with unreadable parts\t: %d\nFiles already there\t\t\t: %d\n"
                "Files not copied\t\t\t: %d\n\nBytes that could not be read: %1.0f\nReport: %s",
                totals.counts[static_cast<int>(Result::kCopied)],
                totals.counts[static_cast<int>(Result::kCopiedWithErrors)],
                totals.counts[static_cast<int>(Result::kAlreadyThere)], notCopied, totals.unreadBytes, report);
  char text[1600];
  if (totals.stopped) {
    char reason[512];
    FormatSystemReason(totals.stopError, reason);
    std::snprintf(text, sizeof text, "Copying stopped: the folder could not be written.\n\n%s\n\n%s", reason, counts);
    ShowMessage(owner, text, MB_ICONERROR);
    return;
  }
  std::snprintf(text, sizeof text, "Copy complete.\n\n%s", counts);
  const bool whole = totals.counts[static_cast<int>(Result::kCopiedWithErrors)] == 0 && notCopied == 0;
  ShowMessage(owner, text, whole ? MB_ICONINFORMATION : MB_ICONWARNING);
}

// The refusals, before anything is written. Returns whether the run may go on.
bool FolderAccepted(HWND owner, HWND list, const int* rows, int count, const WidePath& driveRoot,
                    const WidePath& folder) {
  if (OnCheckedDrive(folder, driveRoot)) {
    ShowMessage(owner,
                "The folder is on the drive being checked. Writing to a failing medium can destroy what is "
                "still readable on it: choose a folder on another drive.",
                MB_ICONERROR);
    return false;
  }
  DWORD error = IsFolder(folder) ? FolderWritable(folder) : ERROR_PATH_NOT_FOUND;
  if (error != NO_ERROR) {
    char reason[512];
    FormatSystemReason(error, reason);
    char text[700];
    wsprintfA(text, "The folder does not exist or cannot be written.\n\n%s", reason);
    ShowMessage(owner, text, MB_ICONERROR);
    return false;
  }
  // Only the files still to copy need room; those already there are left as they are.
  double needed = 0;
  for (int i = 0; i < count; ++i) {
    Row row;
    ReadRow(list, rows[i], driveRoot, folder, row);
    if (row.sizeKnown && row.destinationFits && !Exists(row.destination)) needed += static_cast<double>(row.size);
  }
  ULARGE_INTEGER available, total, totalFree;
  const BOOL known = OnPath(
      folder, [&](const WCHAR* name) { return GetDiskFreeSpaceExW(name, &available, &total, &totalFree); },
      [&](const char* name) { return GetDiskFreeSpaceExA(name, &available, &total, &totalFree); });
  // Where the free space cannot be told, the write checks catch a full disk.
  if (known && static_cast<double>(available.QuadPart) <= needed) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "There is not enough free space in the folder.\n\nNeeded: %1.0f bytes\nFree: %1.0f bytes", needed,
                  static_cast<double>(available.QuadPart));
    ShowMessage(owner, text, MB_ICONERROR);
    return false;
  }
  return true;
}

void CopyRows(HWND owner, HWND list, const int* rows, int total, const WidePath& driveRoot,
              const WidePath& folder, const BatchSalvageWindows& windows) {
  SYSTEMTIME start;
  GetLocalTime(&start);
  ShowWindow(windows.cancelButton, SW_SHOW);

  ListText<WCHAR> report(ListTextFormat::kCsv);
  static const char* const kTitles[] = {"File Name", "Copied To", "File Size", "Correct Bytes", "Error Bytes", "Result"};
  for (const char* title : kTitles) AddAnsiCell(report, title);
  report.EndLine();
  RunTotals totals;
  const std::size_t folderLength = BoundedLength(folder, kWidePathUnits);
  for (int i = 0; i < total; ++i) {
    Row row;
    ReadRow(list, rows[i], driveRoot, folder, row);
    const FileOutcome outcome = TakeRow(row, folderLength, i + 1, total, totals, windows);
    ++totals.counts[static_cast<int>(outcome.result)];
    if (outcome.result == Result::kCopiedWithErrors) {
      totals.unreadBytes += static_cast<double>(row.size - outcome.correctBytes);
    }
    if (outcome.stopsRun) {
      totals.stopped = true;
      totals.stopError = outcome.error;
    }
    AddReportLine(report, row, outcome);
  }
  ClearStatusLine(windows.statusLine);
  ShowWindow(windows.cancelButton, SW_HIDE);

  WidePath reportName = {};
  NameReport(folder, start, reportName);
  const DWORD reportError = reportName[0] ? WriteNewTextFile(reportName, report) : ERROR_FILENAME_EXCED_RANGE;
  if (g_cancelFlag == 1) {
    ShowMessage(owner, "Operation cancelled.", MB_ICONERROR);
    return;
  }
  ShowClosingMessage(owner, totals, reportName, reportError);
}

}  // namespace

void SalvageCopyFiles(HWND owner, HWND list, const WidePath& driveRoot, const WidePath& folder,
                      const BatchSalvageWindows& windows) {
  int* rows = nullptr;
  int total = 0;
  if (!TakeSelectedRows(list, rows, total)) {
    ShowMessage(owner, "There is not enough memory to copy the files.", MB_ICONERROR);
    return;
  }
  if (FolderAccepted(owner, list, rows, total, driveRoot, folder)) CopyRows(owner, list, rows, total, driveRoot, folder, windows);
  std::free(rows);
}
