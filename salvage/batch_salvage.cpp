#include "salvage/batch_salvage.h"

#include <cstdio>

#include "salvage/destination_rules.h"
#include "salvage/reading_thread.h"
#include "salvage/rescue_destination.h"
#include "salvage/rescue_passes.h"
#include "salvage/rescue_report.h"
#include "salvage/rescue_rows.h"
#include "salvage/salvage_blocks.h"
#include "salvage/sector_reader.h"
#include "salvage/unfinished_copy.h"
#include "shell/results_list_commands.h"

namespace {

constexpr const char* kCaption = "Read Drive Check";
// A process killed mid-file loses at most this much reading: the map is written this often.
constexpr DWORD kMapIntervalMs = 2000;

// One file of the run: its row, its map and how far it got.
struct FileRescue {
  RescueRow row;
  RescueOutcome outcome;
  RescueMap map;
  bool active = false;      // its passes go on in this run
  bool begun = false;       // its copy is in the folder
  bool hasMapFile = false;  // its map is in the folder
  bool finalName = false;   // its copy already carries its final name (a finished rescue tried again)
};

struct Run {
  HWND owner = nullptr;
  BatchSalvageWindows windows = {};
  const WidePath* driveRoot = nullptr;
  std::size_t folderLength = 0;
  int sectorSize = 512;
  std::uint64_t largestFile = UINT64_MAX;
  PlainSlots<FileRescue>* files = nullptr;
  RescueTotals totals;
  ReadingLink* link = nullptr;  // while the passes run
  // The file in hand and its open copy, for the window's thread to leave as a stop would when
  // it takes the run from a stuck read.
  FileRescue* readingFile = nullptr;
  HANDLE readingCopy = INVALID_HANDLE_VALUE;

  bool Over() const { return link->StopRequested() || totals.stopped; }
  void Stop(DWORD error) {
    if (totals.stopped) return;
    totals.stopped = true;
    totals.stopError = error != NO_ERROR ? error : ERROR_WRITE_FAULT;
  }
};

DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != NO_ERROR ? error : fallback;
}

std::uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the source is still the file its map was made of: same size, same last write.
// A source that cannot be looked at now is taken as the same: its reads will tell.
bool SourceMatchesMap(const FileRescue& file) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  const BOOL known = OnPath(
      file.row.source, [&](const WCHAR* name) { return GetFileAttributesExW(name, GetFileExInfoStandard, &data); },
      [&](const char* name) { return GetFileAttributesExA(name, GetFileExInfoStandard, &data); });
  if (!known) return true;
  const std::int64_t size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                                      data.nFileSizeLow);
  return size == file.map.sourceSize && FileTimeValue(data.ftLastWriteTime) == file.map.sourceWriteTime;
}

void NotCopied(FileRescue& file, const char* why, DWORD error = NO_ERROR) {
  file.outcome.result = RescueResult::kNotCopied;
  file.outcome.why = why;
  file.outcome.error = error;
  file.active = false;
}

// What a row comes to before anything is read: left alone, refused, begun anew or gone on
// from its map.
void PrepareFile(FileRescue& file, std::uint64_t largestFile) {
  file.outcome.size = file.row.listedSize;
  file.outcome.sizeKnown = file.row.refusal == nullptr;
  if (file.row.refusal) return NotCopied(file, file.row.refusal);
  if (static_cast<std::uint64_t>(file.row.listedSize) > largestFile) {
    return NotCopied(file, kTooLargeForFileSystem);
  }
  WidePath finished, unfinished, mapName;
  RescueFileName(file.row.destination, RescueFile::kFinished, finished);
  RescueFileName(file.row.destination, RescueFile::kUnfinished, unfinished);
  RescueFileName(file.row.destination, RescueFile::kMap, mapName);
  const MapFileState state = ReadRescueMapFile(mapName, file.map);
  file.active = true;
  if (state == MapFileState::kMissing) {
    // A finished copy without a map is left alone; an unfinished one without a map was cut
    // short before its first map and is begun again.
    if (PathExists(finished)) {
      file.outcome.result = RescueResult::kAlreadyThere;
      lstrcpyW(file.outcome.copyName, finished);
      file.active = false;
    }
    return;
  }
  const char* anew = nullptr;
  if (state == MapFileState::kUnreadable) {
    anew = "its map could not be read";
  } else if (!SourceMatchesMap(file)) {
    anew = "the file has changed since its rescue began";
  }
  const bool copyThere = PathExists(finished) || PathExists(unfinished);
  if (anew && copyThere) {
    const DWORD error = KeepEarlierCopy(file.row.destination, file.outcome.earlierCopy);
    if (error != NO_ERROR) return NotCopied(file, nullptr, error);
    file.outcome.anewBecause = anew;
  }
  if (anew || !copyThere) {
    // Without its copy a map holds nothing: the rescue begins again.
    file.map = RescueMap();
    file.hasMapFile = !anew;
    return;
  }
  file.begun = true;
  file.hasMapFile = true;
  file.finalName = PathExists(finished);
  // A finished rescue gets one more round of retries.
  if (file.map.pass == RescuePass::kDone) file.map.triesAllowed += 3;
  RescuePlanner(file.map).UpdateMapPass();
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

// The copy's name now: its final one for a finished rescue tried again, else the unfinished one.
void CopyNameNow(const FileRescue& file, WidePath& name) {
  RescueFileName(file.row.destination, file.finalName ? RescueFile::kFinished : RescueFile::kUnfinished, name);
}

// Opens the copy for writing, making it and its folders for a new rescue.
HANDLE OpenCopy(Run& run, FileRescue& file) {
  WidePath name;
  CopyNameNow(file, name);
  char ansiName[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(name, ansiName);
  if (file.begun) {
    HANDLE copy = CreateDestination(name, ansiName, OPEN_EXISTING);
    if (copy == INVALID_HANDLE_VALUE) run.Stop(LastErrorOr(ERROR_ACCESS_DENIED));
    return copy;
  }
  DWORD error = MakeFoldersOf(file.row.destination, run.folderLength);
  if (error != NO_ERROR) {
    NotCopied(file, nullptr, error);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE copy = CreateDestination(name, ansiName, CREATE_ALWAYS);
  if (copy == INVALID_HANDLE_VALUE) {
    NotCopied(file, nullptr, LastErrorOr(ERROR_ACCESS_DENIED));
    return INVALID_HANDLE_VALUE;
  }
  file.begun = true;
  return copy;
}

// The copy gets the source's full length, so that an unreadable end stays in it as zeros
// and the offsets of the report mean the same there.
bool GiveFullLength(Run& run, const FileRescue& file, HANDLE copy) {
  DWORD high = 0;
  const DWORD low = GetFileSize(copy, &high);
  const std::int64_t length = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
  if (low != INVALID_FILE_SIZE && length >= file.map.sourceSize) return true;
  LONG offsetHigh = static_cast<LONG>(file.map.sourceSize >> 32);
  SetFilePointer(copy, static_cast<LONG>(file.map.sourceSize & 0xFFFFFFFF), &offsetHigh, FILE_BEGIN);
  if (SetEndOfFile(copy)) return true;
  run.Stop(LastErrorOr(ERROR_DISK_FULL));
  return false;
}

// How a map that cannot be replaced is taken.
enum class MapSave {
  kNextInterval,  // while the file is read: the earlier map claims less than the disk holds,
                  // and the next interval tries again; the run goes on
  kRetry,         // the file's last map of a pass, on the reading thread: another program
                  // (a virus scanner, an indexer, a look at the map) may hold it open a moment
  kOnce,          // on the window's thread, which must not wait
};

// Flushes the copy, then writes the map: the map never claims bytes that are not on the disk.
// A copy that cannot be flushed always stops the run; a map that cannot be written stops it
// unless `how` lets it wait.
bool SaveMap(Run& run, FileRescue& file, HANDLE copy, MapSave how) {
  if (!FlushFileBuffers(copy)) {
    run.Stop(LastErrorOr(ERROR_WRITE_FAULT));
    return false;
  }
  WidePath mapName;
  RescueFileName(file.row.destination, RescueFile::kMap, mapName);
  DWORD error = SaveRescueMapFile(mapName, file.map);
  for (int retry = 0; how == MapSave::kRetry && retry < 40 &&
                      (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION);
       ++retry) {
    Sleep(50);
    error = SaveRescueMapFile(mapName, file.map);
  }
  if (error != NO_ERROR) {
    if (how != MapSave::kNextInterval) run.Stop(error);
    return false;
  }
  file.hasMapFile = true;
  return true;
}

// A rescue whose passes are done takes its final name; its map stays only while some of it
// is unreadable, for a later run to try again.
void FinishFile(FileRescue& file) {
  WidePath unfinished, finished, mapName;
  RescueFileName(file.row.destination, RescueFile::kUnfinished, unfinished);
  RescueFileName(file.row.destination, RescueFile::kFinished, finished);
  RescueFileName(file.row.destination, RescueFile::kMap, mapName);
  if (!file.finalName) {
    // A file that took the name meanwhile is never replaced; the copy stays unfinished.
    if (!MoveRescueFile(unfinished, finished)) return;
    file.finalName = true;
  }
  file.active = false;
  if (file.map.FailedSpans().empty() && file.hasMapFile) {
    char ansiMap[kWidePathUnits] = {};
    if (!UsesWideCalls()) NarrowPath(mapName, ansiMap);
    DeleteDestination(mapName, ansiMap);
    file.hasMapFile = false;
  }
}

// "Copying file 3 of 12: %s - %d%%" and its likes for the later passes.
void PassFormat(RescuePass pass, int round, int number, int total, char (&ansi)[160], WCHAR (&wide)[160]) {
  char what[80];
  switch (pass) {
    case RescuePass::kCopy:
      lstrcpyA(what, "Copying file");
      break;
    case RescuePass::kSkipped:
      lstrcpyA(what, "Reading skipped parts, file");
      break;
    case RescuePass::kSectors:
      lstrcpyA(what, "Reading sector by sector, file");
      break;
    default:
      wsprintfA(what, "Retrying unreadable sectors (round %d of 3), file", round);
      break;
  }
  wsprintfA(ansi, "%s %d of %d: %%s - %%d%%%%", what, number, total);
  MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 160);
}

struct PassPlace {
  RescuePass pass;
  int round;
  int number;
  int total;
};

// The reads of one pass over one file; the planner decides, this only reads and writes.
// False when the run was taken from this thread during a read.
bool ReadPassOfFile(Run& run, FileRescue& file, HANDLE source, HANDLE copy, const PassPlace& place) {
  char ansiFormat[160];
  WCHAR wideFormat[160];
  PassFormat(place.pass, place.round, place.number, place.total, ansiFormat, wideFormat);
  ReadingLink& link = *run.link;
  FileProgress shown(&ReadingLink::PostProgress, &link, ansiFormat, wideFormat, file.row.source,
                     file.map.sourceSize);
  SectorReader sectors;
  if (place.pass != RescuePass::kCopy && place.pass != RescuePass::kSkipped) {
    sectors.Open(file.row.source, source, file.map.sectorSize);
  }
  RescuePlanner planner(file.map);
  planner.BeginPass(place.pass);
  char block[kRescueBlockSize];
  DWORD lastMapTick = GetTickCount();
  bool first = true;
  PlannedRead read;
  while (planner.NextRead(read)) {
    if (first) shown.ShowNow(read.offset);
    first = false;
    // No read begins once the user has cancelled: its bytes could not be kept.
    if (!link.EnterRead()) break;
    DWORD got = 0;
    const bool readOk = read.bySector ? sectors.Read(read.offset, read.length, block, got)
                                      : ReadBytesAt(source, read.offset, block, static_cast<DWORD>(read.length), got);
    // Once the run is taken from this thread nothing the read returned reaches the copy or
    // the map. Before, what it read is kept, so that a dying drive is not asked for it again;
    // a failure then may be the cancel's own and says nothing of the medium.
    if (!link.LeaveRead()) return false;
    if (!readOk && link.StopRequested()) break;
    if (readOk && got > 0) {
      DWORD written = 0, error = NO_ERROR;
      if (!WriteBlockAt(copy, read.offset, block, got, written, error)) {
        run.Stop(error);
        break;
      }
    }
    if (!planner.Record(read, readOk, got)) {
      run.Stop(ERROR_NOT_ENOUGH_MEMORY);
      break;
    }
    if (readOk && place.pass != RescuePass::kCopy) run.totals.laterPassBytes += got;
    shown.AfterBlock(read.offset);
    if (GetTickCount() - lastMapTick >= kMapIntervalMs) {
      SaveMap(run, file, copy, MapSave::kNextInterval);
      if (run.Over()) break;
      lastMapTick = GetTickCount();
    }
  }
  planner.UpdateMapPass();
  link.ClearProgress();
  return true;
}

// A file's share of one pass: open, read, and leave the copy and its map as they must be
// found after any stop. False when the run was taken from this thread during a read.
bool RescueFilePass(Run& run, FileRescue& file, const PassPlace& place) {
  run.readingFile = &file;
  run.readingCopy = INVALID_HANDLE_VALUE;
  char ansiSource[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(file.row.source, ansiSource);
  // Opening a file of a dying drive can hang as long as a read.
  if (!run.link->EnterRead()) return true;
  HANDLE source = OpenForSharedReading(file.row.source, ansiSource);
  const DWORD openError = GetLastError();
  if (!run.link->LeaveRead()) {
    if (source != INVALID_HANDLE_VALUE) CloseHandle(source);
    return false;
  }
  SetLastError(openError);
  if (!file.begun) {
    std::int64_t size = 0;
    if (!QueryFileSize(source, size)) {
      NotCopied(file, nullptr, LastErrorOr(ERROR_OPEN_FAILED));
      if (source != INVALID_HANDLE_VALUE) CloseHandle(source);
      return true;
    }
    file.outcome.size = size;
    file.outcome.sizeKnown = true;
    if (static_cast<std::uint64_t>(size) > run.largestFile) {
      CloseHandle(source);
      NotCopied(file, kTooLargeForFileSystem);
      return true;
    }
    file.map.Reset(size);
    MapSourcePath(file.row.source, *run.driveRoot, file.map.sourcePath);
    FILETIME written = {};
    GetFileTime(source, nullptr, nullptr, &written);
    file.map.sourceWriteTime = FileTimeValue(written);
    file.map.sectorSize = run.sectorSize;
  } else if (source == INVALID_HANDLE_VALUE) {
    // Its passes end for this run; the map keeps what it has.
    file.active = false;
    return true;
  }
  HANDLE copy = OpenCopy(run, file);
  if (copy == INVALID_HANDLE_VALUE) {
    CloseHandle(source);
    return true;
  }
  run.readingCopy = copy;
  if (!ReadPassOfFile(run, file, source, copy, place)) {
    CloseHandle(source);  // the copy is the window's thread's now
    return false;
  }
  const bool done = file.map.pass == RescuePass::kDone && GiveFullLength(run, file, copy);
  // After the last change of the copy's length, which would give it a time of its own.
  FILETIME created, written;
  if (GetFileTime(source, &created, nullptr, &written)) SetFileTime(copy, &created, nullptr, &written);
  CloseHandle(source);
  // A whole file needs no map unless one was written: its final name says it all.
  const bool mapNeeded = !done || !file.map.FailedSpans().empty() || file.hasMapFile;
  bool saved = mapNeeded ? SaveMap(run, file, copy, MapSave::kRetry) : FlushFileBuffers(copy) != FALSE;
  if (!mapNeeded && !saved) run.Stop(LastErrorOr(ERROR_WRITE_FAULT));
  // Some media report a failed write only when the file is closed.
  if (!CloseHandle(copy) && saved) {
    run.Stop(LastErrorOr(ERROR_WRITE_FAULT));
    saved = false;
  }
  run.readingCopy = INVALID_HANDLE_VALUE;
  if (done && saved && !run.link->StopRequested()) FinishFile(file);
  return true;
}

bool HasWork(FileRescue& file, RescuePass pass) {
  if (!file.active) return false;
  // A new empty file has nothing to read, but its copy is still to be made.
  if (pass == RescuePass::kCopy && !file.begun) return true;
  return RescuePlanner(file.map).HasWork(pass);
}

// On the reading thread.
bool RunPasses(void* context, ReadingLink& link) {
  Run& run = *static_cast<Run*>(context);
  run.link = &link;
  static const PassPlace kPasses[] = {{RescuePass::kCopy, 0, 0, 0},    {RescuePass::kSkipped, 0, 0, 0},
                                      {RescuePass::kSectors, 0, 0, 0}, {RescuePass::kRetry, 1, 0, 0},
                                      {RescuePass::kRetry, 2, 0, 0},   {RescuePass::kRetry, 3, 0, 0}};
  for (PassPlace place : kPasses) {
    place.total = 0;
    for (FileRescue& file : *run.files) place.total += HasWork(file, place.pass);
    for (FileRescue& file : *run.files) {
      if (run.Over()) return true;
      if (!HasWork(file, place.pass)) continue;
      ++place.number;
      if (!RescueFilePass(run, file, place)) return false;
    }
  }
  return true;
}

// Taken from a stuck read: the file in hand is left as a stop would leave it, with everything
// read up to the cancel in its copy and map.
void LeaveStuckFile(Run& run) {
  if (run.readingCopy == INVALID_HANDLE_VALUE) return;
  FileRescue& file = *run.readingFile;
  RescuePlanner(file.map).UpdateMapPass();
  SaveMap(run, file, run.readingCopy, MapSave::kOnce);
  CloseHandle(run.readingCopy);
  run.readingCopy = INVALID_HANDLE_VALUE;
}

// What became of each file once the passes are over, ended or stopped.
void SettleOutcome(Run& run, FileRescue& file) {
  RescueOutcome& outcome = file.outcome;
  if (outcome.result == RescueResult::kNotCopied || outcome.result == RescueResult::kAlreadyThere) return;
  if (!file.begun) {
    outcome.result = RescueResult::kNotReached;
    return;
  }
  outcome.size = file.map.sourceSize;
  outcome.sizeKnown = true;
  outcome.correctBytes = file.map.BytesIn(RangeState::kRescued);
  outcome.unreadable = file.map.FailedSpans();
  CopyNameNow(file, outcome.copyName);
  if (file.active || file.map.pass != RescuePass::kDone || !file.finalName) {
    outcome.result = RescueResult::kUnfinished;
    return;
  }
  outcome.result = outcome.unreadable.empty() ? RescueResult::kCopied : RescueResult::kCopiedWithErrors;
  if (outcome.result == RescueResult::kCopiedWithErrors) {
    run.totals.unreadBytes += static_cast<double>(outcome.size - outcome.correctBytes);
  }
}

void NoMemory(HWND owner) {
  char reason[512];
  FormatSystemReason(ERROR_NOT_ENOUGH_MEMORY, reason);
  MessageBoxA(owner, reason, kCaption, MB_OK | MB_ICONERROR);
}

// The refusals before anything is written. Returns whether the run may go on.
bool FolderAccepted(Run& run, const WidePath& driveRoot, const WidePath& folder) {
  if (RescueFolderRefused(run.owner, folder, driveRoot)) return false;
  run.largestFile = LargestFileIn(folder);
  double needed = 0;
  for (FileRescue& file : *run.files) {
    PrepareFile(file, run.largestFile);
    // Only new copies need room: a copy in the folder has its full length already.
    if (file.active && !file.begun) needed += static_cast<double>(file.row.listedSize);
  }
  std::uint64_t available = 0;
  // Where the free space cannot be told, the write checks catch a full disk.
  if (FolderFreeSpace(folder, available) && static_cast<double>(available) <= needed) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "There is not enough free space in the folder.\n\nNeeded: %1.0f bytes\nFree: %1.0f bytes", needed,
                  static_cast<double>(available));
    MessageBoxA(run.owner, text, kCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

void RescueRows(HWND owner, const PlainArray<RescueRow>& rows, const WidePath& driveRoot, const WidePath& folder,
                const BatchSalvageWindows& windows) {
  Run run;
  run.owner = owner;
  run.windows = windows;
  run.driveRoot = &driveRoot;
  run.folderLength = BoundedLength(folder, kWidePathUnits);
  if (run.folderLength > 0 && folder[run.folderLength - 1] == '\\') --run.folderLength;
  if (RefusedWhileReadStuck(owner, driveRoot, folder)) return;
  PlainSlots<FileRescue> files(rows.size());
  if (!files.ok()) return NoMemory(owner);
  run.files = &files;
  for (std::size_t i = 0; i < rows.size(); ++i) files[i].row = rows[i];
  if (!FolderAccepted(run, driveRoot, folder)) return;
  run.sectorSize = SourceSectorSize(driveRoot);
  SYSTEMTIME start;
  GetLocalTime(&start);
  ShowWindow(windows.cancelButton, SW_SHOW);
  DWORD threadError = NO_ERROR;
  const ReadingEnd end = RunOnReadingThread(RunPasses, &run, windows.statusLine, driveRoot, folder, threadError);
  run.link = nullptr;  // gone with the thread
  if (end == ReadingEnd::kTaken) LeaveStuckFile(run);
  ClearStatusLine(windows.statusLine);
  ShowWindow(windows.cancelButton, SW_HIDE);
  if (end == ReadingEnd::kNotRun) {
    char reason[512];
    FormatSystemReason(threadError, reason);
    MessageBoxA(owner, reason, kCaption, MB_OK | MB_ICONERROR);
    return;
  }

  RescueReport report;
  for (FileRescue& file : *run.files) {
    SettleOutcome(run, file);
    ++run.totals.counts[static_cast<int>(file.outcome.result)];
    report.AddLine(file.row, file.outcome);
  }
  WidePath reportName = {};
  const DWORD reportError = report.Write(folder, start, reportName);
  ShowRescueMessage(owner, run.totals, g_cancelFlag == 1, reportName, reportError);
}

}  // namespace

void SalvageCopyFiles(HWND owner, HWND list, const WidePath& driveRoot, const WidePath& folder,
                      const BatchSalvageWindows& windows) {
  PlainArray<RescueRow> rows;
  if (!TakeSelectedRows(list, driveRoot, folder, rows)) return NoMemory(owner);
  RescueRows(owner, rows, driveRoot, folder, windows);
}

void ResumeRescues(HWND owner, const WidePath& driveRoot, const WidePath& folder, const BatchSalvageWindows& windows) {
  PlainArray<RescueRow> rows;
  int unreadableMaps = 0;
  if (!RowsFromMaps(folder, driveRoot, rows, unreadableMaps)) return NoMemory(owner);
  if (rows.empty()) {
    char text[200];
    wsprintfA(text, "There is no unfinished rescue in this folder.%s",
              unreadableMaps ? "\n\nSome rescue maps in it could not be read." : "");
    MessageBoxA(owner, text, kCaption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  RescueRows(owner, rows, driveRoot, folder, windows);
}
