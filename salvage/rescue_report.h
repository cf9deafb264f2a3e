// What a rescue tells its user: the report in the folder, one line per file with what became
// of it, and the closing message.
#pragma once

#include <windows.h>

#include <cstdint>

#include "salvage/rescue_map.h"
#include "salvage/rescue_rows.h"
#include "shell/list_text.h"

enum class RescueResult { kCopied, kCopiedWithErrors, kAlreadyThere, kNotCopied, kUnfinished, kNotReached };

// What became of one file, for its report line and the counts.
struct RescueOutcome {
  RescueResult result = RescueResult::kNotReached;
  DWORD error = NO_ERROR;     // why it was not copied, when the system said
  const char* why = nullptr;  // why it was not copied, when the system did not
  bool sizeKnown = false;
  std::int64_t size = 0;
  std::int64_t correctBytes = 0;
  PlainArray<ByteSpan> unreadable;
  WidePath copyName = {};  // where the copy is, finished or not; empty when there is none
  // A rescue begun anew beside an earlier copy: why, and where the earlier copy is now.
  const char* anewBecause = nullptr;
  WidePath earlierCopy = {};
};

struct RescueTotals {
  int counts[6] = {};
  double unreadBytes = 0;      // of the files copied with unreadable parts
  double laterPassBytes = 0;   // rescued by the passes after the first, in this run
  bool stopped = false;        // the folder could not be written
  DWORD stopError = NO_ERROR;
};

class RescueReport {
 public:
  RescueReport();
  void AddLine(const RescueRow& row, const RescueOutcome& outcome);
  // Writes the report as "Copy report YYYY-MM-DD HH-MM-SS.csv" in the folder, named for `start`;
  // `name` is where it went. Returns the error, or NO_ERROR.
  DWORD Write(const WidePath& folder, const SYSTEMTIME& start, WidePath& name);

 private:
  ListText<WCHAR> text_;
};

// The closing message: a completed run, one stopped by the folder, or a cancelled one.
void ShowRescueMessage(HWND owner, const RescueTotals& totals, bool cancelled, const WidePath& reportName,
                       DWORD reportError);
