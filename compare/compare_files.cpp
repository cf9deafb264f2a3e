#include "compare/compare_files.h"

#include <commctrl.h>

#include <cstdint>
#include <cstring>

#include "compare/md5.h"
#include "resources/resource_ids.h"
#include "shell/block_reading.h"

namespace {

void ShowOutcome(HWND panel, const char* text, UINT icon) {
  MessageBoxA(panel, text, "Compare File", MB_OK | icon);
}

// Reads one file to its end, a failed read or a cancel into `state`, then writes its digest
// text. Returns whether the file could be opened and every read succeeded. The status line
// shows the file's progress and is left as it is at the end.
bool DigestFile(const WidePath& name, HWND statusLine, Md5State& state,
                char (&block)[kReadBlockSize], char (&digestText)[33]) {
  char ansiName[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(name, ansiName);
  HANDLE file = OpenForSharedReading(name, ansiName);
  std::int64_t size = 0;
  // A size that cannot be told gives nothing to digest: the file is not readable.
  if (!QueryFileSize(file, size)) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return false;
  }

  FileProgress progress(statusLine, "Current File: %s - CALCULATING %d%%",
                        L"Current File: %s - CALCULATING %d%%", name, size);
  Md5Start(state);
  bool readable = true;
  for (std::int64_t offset = 0; offset < size; offset += kReadBlockSize) {
    DWORD bytesRead = 0;
    const bool readOk = ReadBlockAt(file, offset, block, bytesRead);
    progress.AfterBlock(offset);
    PumpMessages();
    // A failed read wins over a cancel pressed during the same block.
    if (!readOk) {
      readable = false;
      break;
    }
    if (g_cancelFlag == 1) break;
    Md5Add(state, block, bytesRead);
  }
  std::uint8_t digest[16];
  Md5Finish(digest, state);
  FormatDigestText(digest, digestText);
  CloseHandle(file);
  return readable;
}

void AddResultRow(HWND list, char (&firstText)[33], char (&secondText)[33]) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
  item.stateMask = LVIS_SELECTED;
  item.pszText = firstText;
  SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  LVITEMA cell = {};
  cell.iSubItem = 1;
  cell.pszText = secondText;
  SendMessageA(list, LVM_SETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&cell));
}

}  // namespace

void CompareFilesByDigest(HWND panel, const WidePath& firstName, const WidePath& secondName) {
  if (BoundedLength(firstName, kWidePathUnits) < 4 || BoundedLength(secondName, kWidePathUnits) < 4) {
    ShowOutcome(panel, "Select first and second file.", MB_ICONINFORMATION);
    return;
  }
  HWND list = GetDlgItem(panel, IDC_COMPARE_RESULTS);
  HWND statusLine = GetDlgItem(panel, IDC_COMPARE_STATUS);
  HWND cancel = GetDlgItem(panel, IDC_COMPARE_CANCEL);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  ShowWindow(cancel, SW_SHOW);

  // One block buffer and one digest state serve both files.
  char block[kReadBlockSize];
  Md5State state;
  char firstText[33];
  char secondText[33];

  // Neither file is compared when one of them cannot be read completely; the second one is
  // not even opened when the first already settled the run.
  const char* failure = nullptr;
  if (!DigestFile(firstName, statusLine, state, block, firstText)) {
    failure = "First File is not readable. Couldn't compare.";
  } else if (g_cancelFlag == 1) {
    failure = "Operation cancelled.";
  } else {
    // The status line keeps the first file's last progress until the second one shows its own.
    const bool secondReadable = DigestFile(secondName, statusLine, state, block, secondText);
    if (!secondReadable) {
      failure = "Second File is not readable. Couldn't compare.";
    } else if (g_cancelFlag == 1) {
      failure = "Operation cancelled.";
    }
  }
  ClearStatusLine(statusLine);
  if (failure) {
    ShowWindow(cancel, SW_HIDE);
    ShowOutcome(panel, failure, MB_ICONERROR);
    return;
  }

  AddResultRow(list, firstText, secondText);
  ShowWindow(cancel, SW_HIDE);
  if (std::strcmp(firstText, secondText) == 0) {
    ShowOutcome(panel, "Files are equal.", MB_ICONINFORMATION);
  } else {
    ShowOutcome(panel, "Files are not equal.", MB_ICONWARNING);
  }
}
