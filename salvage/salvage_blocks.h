// What the two salvage engines (one file, a batch of files) share: creating and removing the
// destination, and the block loop that copies what can be read.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/block_reading.h"

// Creates the destination for writing: `disposition` CREATE_ALWAYS replaces a file of that
// name, CREATE_NEW never does. INVALID_HANDLE_VALUE on failure.
HANDLE CreateDestination(const WidePath& destination, const char (&ansiDestination)[kWidePathUnits],
                         DWORD disposition);

void DeleteDestination(const WidePath& destination, const char (&ansiDestination)[kWidePathUnits]);

// Writes `count` bytes at `offset` of the destination. A full disk can first accept part of
// a write and report success, so a short count fails too; `error` then says why.
bool WriteBlockAt(HANDLE file, std::int64_t offset, const void* block, DWORD count, DWORD& written,
                  DWORD& error);

struct CopyOutcome {
  std::int64_t correctBytes = 0;
  bool writeFailed = false;
  DWORD writeError = NO_ERROR;   // why the write failed, in the system's terms
  std::int64_t writtenUpTo = 0;  // where the destination's content ends after a failed write
};

// Visits every block of the source until the end, a cancel or a failed write. Readable blocks
// go to the same offset of the destination; unreadable ones leave their range unwritten. The
// queue is drained after every block, and `shown` keeps the progress text.
CopyOutcome CopyAllBlocks(HANDLE sourceFile, HANDLE destinationFile, std::int64_t size,
                          FileProgress& shown);
