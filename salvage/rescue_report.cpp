#include "salvage/rescue_report.h"

#include <cstdio>

#include "salvage/salvage_result.h"
#include "salvage/unfinished_copy.h"
#include "shell/results_list_commands.h"

namespace {

constexpr const char* kCaption = "Read Drive Check";
// A spreadsheet cell holds at most 32,767 characters; the map keeps every range.
constexpr std::size_t kLongestRangesCell = 32000;

// A path as the report shows it: the ANSI bytes of the ANSI variant through the code page.
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
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 0) {
    report.AddCell(L"", 0);
    return;
  }
  PlainArray<WCHAR> wide;
  if (!wide.Resize(static_cast<std::size_t>(needed))) {
    report.AddCell(L"...", 3);
    return;
  }
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed);
  report.AddCell(wide.data(), static_cast<std::size_t>(needed - 1));
}

void AddNumberCell(ListText<WCHAR>& report, bool shown, std::int64_t value) {
  char number[32] = "";
  if (shown) std::snprintf(number, sizeof number, "%1.0f", static_cast<double>(value));
  AddAnsiCell(report, number);
}

bool HoldsCopy(RescueResult result) {
  return result == RescueResult::kCopied || result == RescueResult::kCopiedWithErrors ||
         result == RescueResult::kUnfinished;
}

void AddResultCell(ListText<WCHAR>& report, const RescueOutcome& outcome) {
  static const char* const kResults[] = {"COPIED", "COPIED WITH ERRORS", "ALREADY THERE", "NOT COPIED: ",
                                         "UNFINISHED", "NOT REACHED"};
  char result[600];
  lstrcpyA(result, kResults[static_cast<int>(outcome.result)]);
  if (outcome.result == RescueResult::kNotCopied) {
    char reason[512];
    if (outcome.why) {
      lstrcpynA(reason, outcome.why, sizeof reason);
    } else {
      FormatSystemReason(outcome.error, reason);
    }
    lstrcatA(result, reason);
  }
  if (!outcome.anewBecause) {
    AddAnsiCell(report, result);
    return;
  }
  // The earlier copy's new name is a path, which the code page may not hold.
  char note[300];
  wsprintfA(note, "%s (rescued anew: %s; the earlier copy is kept as ", result, outcome.anewBecause);
  WCHAR cell[900 + kWidePathUnits + 2];
  const int units = MultiByteToWideChar(CP_ACP, 0, note, -1, cell, 900);
  std::size_t length = units > 0 ? static_cast<std::size_t>(units - 1) : 0;
  if (UsesWideCalls()) {
    const std::size_t pathLength = BoundedLength(outcome.earlierCopy, kWidePathUnits);
    for (std::size_t i = 0; i < pathLength; ++i) cell[length++] = outcome.earlierCopy[i];
  } else {
    char ansi[kWidePathUnits];
    NarrowPath(outcome.earlierCopy, ansi);
    const int widened = MultiByteToWideChar(CP_ACP, 0, ansi, -1, cell + length, kWidePathUnits);
    if (widened > 0) length += static_cast<std::size_t>(widened - 1);
  }
  cell[length++] = ')';
  report.AddCell(cell, length);
}

// The report's name: the start's local time, and a number where that name is taken.
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
    if (!PathExists(name)) return;
  }
}

void ShowMessage(HWND owner, const char* text, UINT icon) { MessageBoxA(owner, text, kCaption, MB_OK | icon); }

void ReportNameText(const WidePath& reportName, DWORD reportError, char (&text)[600]) {
  if (reportError != NO_ERROR) {
    char reason[512];
    FormatSystemReason(reportError, reason);
    wsprintfA(text, "not written. %s", reason);
    return;
  }
  if (UsesWideCalls()) {
    WideCharToMultiByte(CP_ACP, 0, reportName, -1, text, kWidePathUnits, nullptr, nullptr);
    text[kWidePathUnits - 1] = 0;
  } else {
    char ansiName[kWidePathUnits];
    NarrowPath(reportName, ansiName);
    lstrcpyA(text, ansiName);
  }
}

int Count(const RescueTotals& totals, RescueResult result) { return totals.counts[static_cast<int>(result)]; }

}  // namespace

RescueReport::RescueReport() : text_(ListTextFormat::kCsv) {
  static const char* const kTitles[] = {"File Name",   "Copied To",         "File Size", "Correct Bytes",
                                        "Error Bytes", "Unreadable Ranges", "Result"};
  for (const char* title : kTitles) AddAnsiCell(text_, title);
  text_.EndLine();
}

void RescueReport::AddLine(const RescueRow& row, const RescueOutcome& outcome) {
  AddPathCell(text_, row.source);
  if (HoldsCopy(outcome.result) || outcome.result == RescueResult::kAlreadyThere) {
    AddPathCell(text_, outcome.copyName[0] ? outcome.copyName : row.destination);
  } else {
    text_.AddCell(L"", 0);
  }
  AddNumberCell(text_, outcome.sizeKnown, outcome.size);
  const bool counted = HoldsCopy(outcome.result);
  std::int64_t errorBytes = outcome.size - outcome.correctBytes;
  if (errorBytes < 0) errorBytes = 0;
  AddNumberCell(text_, counted, outcome.correctBytes);
  AddNumberCell(text_, counted, errorBytes);
  const PlainText ranges = counted ? FormatUnreadableRanges(outcome.unreadable, kLongestRangesCell) : PlainText();
  AddAnsiCell(text_, ranges.c_str());
  AddResultCell(text_, outcome);
  text_.EndLine();
}

DWORD RescueReport::Write(const WidePath& folder, const SYSTEMTIME& start, WidePath& name) {
  NameReport(folder, start, name);
  return name[0] ? WriteNewTextFile(name, text_) : ERROR_FILENAME_EXCED_RANGE;
}

void ShowRescueMessage(HWND owner, const RescueTotals& totals, bool cancelled, const WidePath& reportName,
                       DWORD reportError) {
  char report[600];
  ReportNameText(reportName, reportError, report);
  char text[2000];
  if (cancelled) {
    std::snprintf(text, sizeof text,
                  "Operation cancelled.\n\nWhat was rescued so far is kept: an unfinished copy ends in "
                  "\".unfinished\" and has its map beside it. To go on, choose Copy Files To... again with "
                  "the same files and the same folder, or Resume Rescue From... with the folder.\n\n"
                  "Files unfinished\t: %d\nReport: %s",
                  Count(totals, RescueResult::kUnfinished), report);
    ShowMessage(owner, text, MB_ICONERROR);
    return;
  }
  const int notCopied = Count(totals, RescueResult::kNotCopied) + Count(totals, RescueResult::kNotReached);
  char unfinished[64] = "";
  if (Count(totals, RescueResult::kUnfinished) > 0) {
    wsprintfA(unfinished, "Files unfinished\t\t\t: %d\n", Count(totals, RescueResult::kUnfinished));
  }
  char counts[1200];
  std::snprintf(counts, sizeof counts,
                "Files copied whole\t\t\t: %d\nFiles copied with unreadable parts\t: %d\nFiles already there\t\t\t: %d\n"
                "Files not copied\t\t\t: %d\n%s\nBytes that could not be read: %1.0f\n"
                "Bytes rescued by the later passes: %1.0f\nReport: %s",
                Count(totals, RescueResult::kCopied), Count(totals, RescueResult::kCopiedWithErrors),
                Count(totals, RescueResult::kAlreadyThere), notCopied, unfinished, totals.unreadBytes,
                totals.laterPassBytes, report);
  if (totals.stopped) {
    char reason[512];
    FormatSystemReason(totals.stopError, reason);
    std::snprintf(text, sizeof text,
                  "Copying stopped: the folder could not be written.\n\n%s\n\nWhat was rescued so far is kept; "
                  "once the folder can be written again, Copy Files To... with the same files goes on.\n\n%s",
                  reason, counts);
    ShowMessage(owner, text, MB_ICONERROR);
    return;
  }
  std::snprintf(text, sizeof text, "Copy complete.\n\n%s", counts);
  const bool whole = Count(totals, RescueResult::kCopiedWithErrors) == 0 && notCopied == 0 &&
                     Count(totals, RescueResult::kUnfinished) == 0;
  ShowMessage(owner, text, whole ? MB_ICONINFORMATION : MB_ICONWARNING);
}
