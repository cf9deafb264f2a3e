#include "salvage/salvage_blocks.h"

HANDLE CreateDestination(const WidePath& destination, const char (&ansiDestination)[kWidePathUnits],
                         DWORD disposition) {
  if (UsesWideCalls()) {
    return CreateFileW(destination, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return CreateFileA(ansiDestination, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void DeleteDestination(const WidePath& destination, const char (&ansiDestination)[kWidePathUnits]) {
  if (UsesWideCalls()) {
    DeleteFileW(destination);
  } else {
    DeleteFileA(ansiDestination);
  }
}

bool WriteBlockAt(HANDLE file, std::int64_t offset, const void* block, DWORD count, DWORD& written,
                  DWORD& error) {
  LONG offsetHigh = static_cast<LONG>(offset >> 32);
  SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &offsetHigh, FILE_BEGIN);
  written = 0;
  if (!WriteFile(file, block, count, &written, nullptr)) {
    error = GetLastError();
    if (error == NO_ERROR) error = ERROR_WRITE_FAULT;
    return false;
  }
  if (written == count) return true;
  error = ERROR_DISK_FULL;
  return false;
}

CopyOutcome CopyAllBlocks(HANDLE sourceFile, HANDLE destinationFile, std::int64_t size,
                          FileProgress& shown) {
  CopyOutcome outcome;
  char block[kReadBlockSize];
  for (std::int64_t offset = 0; offset < size; offset += kReadBlockSize) {
    DWORD bytesRead = 0;
    const bool readOk = ReadBlockAt(sourceFile, offset, block, bytesRead);
    // The block just read is neither counted nor written once the user has cancelled.
    if (g_cancelFlag == 1) break;
    if (readOk) {
      outcome.correctBytes += bytesRead;
      DWORD written = 0;
      if (!WriteBlockAt(destinationFile, offset, block, bytesRead, written, outcome.writeError)) {
        outcome.writeFailed = true;
        outcome.writtenUpTo = offset + written;
        break;
      }
      // A run of unreadable blocks leaves the progress text as it was.
      shown.AfterBlock(offset);
    }
    PumpMessages();
  }
  return outcome;
}
