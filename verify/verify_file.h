// The read verification engine: reads one file from its first byte to its last and
// reports it as "READ OK" or "READ ERROR".
#pragma once

#include <windows.h>

#include "shell/block_reading.h"
#include "shell/run_state.h"

// Where a verified file's row and progress go.
enum ReportTarget {
  kDriveScanTarget = 0,   // appended to the READ OK or READ ERROR list of the disc check
  kSingleFileTarget = 1,  // inserted at the top of the file check's results list
};

// The lists and status lines the engine writes to. The Read Disc Check and Read File
// Check panels set them when they are created.
struct ReadReportWindows {
  HWND readOkList;
  HWND readErrorList;
  HWND discStatusLine;
  HWND fileResultsList;
  HWND fileStatusLine;
};
extern ReadReportWindows g_readReport;

// Files finished without a cancel, by verdict. The panels clear both before a run.
extern int g_readOkTally;
extern int g_readErrorTally;

// Never dispatched while a file is being verified.
constexpr UINT kHeldBackMessage = 1276;

void VerifyFileReadable(const WidePath& path, ReportTarget target);

// A file or folder of a drive scan that could not be verified at all (its path does not fit
// a wide path): a "READ ERROR" row with "Unknown size", counted like any unreadable file.
void ReportUnverifiedPath(const WidePath& shownPath);
