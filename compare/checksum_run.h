// What Save Checksums As and Verify Checksums share: reading one file after another for its
// MD5 digest as the other engines read (shared reading, 4096-byte blocks, the message drain
// after each block, the cancel flag), with "Checksum %d of %d: %s - %d%%" on the status line,
// and the names of MD5 lists turned into the system's texts and back.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/block_reading.h"
#include "shell/plain_array.h"

enum class DigestOutcome { kDigested, kUnreadable, kMissing, kCancelled };

struct ChecksumWindows {
  HWND statusLine;
  HWND cancelButton;  // shown while files are read
};

// The system's dialog for an MD5 list: the save dialog (offering "checksums.md5") or the open
// dialog, in the variant in use. False when the user cancelled.
bool AskListName(HWND owner, bool save, WidePath& name);

struct ChecksumRun {
  HWND statusLine = nullptr;
  int fileCount = 0;  // the second number of the status text
  DWORD lastFileShownTick = 0;
  bool fileShown = false;
  char block[kReadBlockSize];
};

// Reads `path` (file `number` of the run) to its end and gives its digest. kMissing when the
// file or its folder does not exist, kUnreadable when it exists but cannot be opened or read.
// A failed read wins over a cancel pressed during the same block.
DigestOutcome DigestListedFile(ChecksumRun& run, int number, const WidePath& path, std::uint8_t (&digest)[16]);

// The wide-character text of a name as a list holds it: UTF-8 where its bytes are UTF-8,
// otherwise the ANSI code page. False when it does not fit `units` (terminator included).
bool ListBytesToWide(const char* bytes, std::size_t length, WCHAR* wide, int units);

// A path in UTF-8, as a list written here holds it, with '/' between folders. `path` is a
// wide path of the variant in use (ANSI bytes under the ANSI variant).
bool PathToListName(const WCHAR* path, PlainText& utf8);
