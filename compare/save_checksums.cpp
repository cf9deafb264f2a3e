#include "compare/save_checksums.h"

#include <commctrl.h>

#include "compare/checksum_list.h"
#include "salvage/rescue_destination.h"
#include "salvage/rescue_rows.h"
#include "salvage/variant_path.h"
#include "shell/results_list_commands.h"

namespace {

constexpr const char* kCaption = "Read Drive Check";

void ShowOutcome(HWND owner, const char* text, UINT icon) { MessageBoxA(owner, text, kCaption, MB_OK | icon); }

// The folder that will hold the list, which exists when the dialog accepted the name; the
// system splits the name, since in a double-byte code page a backslash byte can be half of a
// character.
bool FolderOfName(const WidePath& name, WidePath& folder) {
  return OnPath(
      name,
      [&](const WCHAR* wide) {
        WCHAR* fileName = nullptr;
        const DWORD length = GetFullPathNameW(wide, kWidePathUnits, folder, &fileName);
        if (length == 0 || length >= kWidePathUnits || !fileName) return false;
        *fileName = 0;
        return true;
      },
      [&](const char* ansi) {
        char full[kWidePathUnits] = {};
        char* fileName = nullptr;
        const DWORD length = GetFullPathNameA(ansi, kWidePathUnits, full, &fileName);
        if (length == 0 || length >= kWidePathUnits || !fileName) return false;
        *fileName = 0;
        WidenPath(full, folder);
        return true;
      });
}

// The selected rows' paths, in list order.
bool TakeSelectedPaths(HWND list, PlainArray<WidePath>& paths) {
  for (int index = ListView_GetNextItem(list, -1, LVNI_SELECTED); index >= 0;
       index = ListView_GetNextItem(list, index, LVNI_SELECTED)) {
    WidePath path;
    ReadRowPath(list, index, path);
    if (!paths.Append(&path, 1)) return false;
  }
  return true;
}

struct SaveTotals {
  int listed = 0;
  int unreadable = 0;
  bool cancelled = false;
};

// One line a file: its digest, or the comment that says it could not be read.
SaveTotals ListFiles(const PlainArray<WidePath>& paths, const WidePath& driveRoot, HWND statusLine, PlainText& text) {
  SaveTotals totals;
  ChecksumRun run;
  run.statusLine = statusLine;
  run.fileCount = static_cast<int>(paths.size());
  const std::size_t rootLength = BoundedLength(driveRoot, kWidePathUnits);
  for (std::size_t i = 0; i < paths.size() && !totals.cancelled; ++i) {
    std::uint8_t digest[16];
    const DigestOutcome outcome = DigestListedFile(run, static_cast<int>(i) + 1, paths[i], digest);
    PlainText name;
    const std::size_t length = BoundedLength(paths[i], kWidePathUnits);
    const bool named = PathToListName(paths[i] + (rootLength < length ? rootLength : length), name);
    if (outcome == DigestOutcome::kCancelled || g_cancelFlag == 1) {
      totals.cancelled = true;
    } else if (outcome == DigestOutcome::kDigested && named) {
      AddChecksumLine(digest, name.c_str(), text);
      ++totals.listed;
    } else {
      AddReadErrorLine(named ? name.c_str() : "?", text);
      ++totals.unreadable;
    }
  }
  ClearStatusLine(statusLine);
  return totals;
}

}  // namespace

void SaveChecksums(HWND owner, HWND list, const WidePath& driveRoot, const ChecksumWindows& windows) {
  WidePath name;
  if (!AskListName(owner, true, name)) return;
  WidePath folder;
  // Writing to the failing medium could destroy what is still readable on it.
  if (!FolderOfName(name, folder) || OnVolumeOf(folder, driveRoot)) {
    ShowOutcome(owner,
                "The list cannot be saved on the drive being checked. Writing to a failing medium can destroy "
                "what is still readable on it: choose a folder on another drive.",
                MB_ICONERROR);
    return;
  }
  PlainArray<WidePath> paths;
  if (!TakeSelectedPaths(list, paths)) {
    ShowOutcome(owner, "There is not enough memory for the list.", MB_ICONERROR);
    return;
  }

  PlainText text;
  ShowWindow(windows.cancelButton, SW_SHOW);
  const SaveTotals totals = ListFiles(paths, driveRoot, windows.statusLine, text);
  ShowWindow(windows.cancelButton, SW_HIDE);
  if (totals.cancelled) {
    ShowOutcome(owner, "Operation cancelled.\n\nNo list was written.", MB_ICONERROR);
    return;
  }
  const DWORD error = text.failed() ? ERROR_NOT_ENOUGH_MEMORY : ReplaceFileWithBytes(name, text.data(), text.size());
  if (error != NO_ERROR) {
    char reason[512];
    FormatSystemReason(error, reason);
    char message[600];
    wsprintfA(message, "The list was not saved.\n\n%s", reason);
    ShowOutcome(owner, message, MB_ICONERROR);
    return;
  }
  char message[256];
  wsprintfA(message, "Checksums saved.\n\nFiles listed\t\t: %d\nFiles \"READ ERROR\"\t: %d", totals.listed,
            totals.unreadable);
  if (totals.unreadable > 0) {
    lstrcatA(message, "\n\nThe files that could not be read are named in comment lines, which checkers skip.");
  }
  ShowOutcome(owner, message, totals.unreadable > 0 ? MB_ICONWARNING : MB_ICONINFORMATION);
}
