#include "verify/scan_directory.h"

#include "verify/scan_path.h"
#include "verify/verify_file.h"

namespace {

// The calls of one variant. Windows NT 4 and older scan with the ANSI calls and know no
// reparse points; later systems use the wide calls and test both before entering a folder.
struct WideCalls {
  using Unit = WCHAR;
  using Entry = WIN32_FIND_DATAW;
  static constexpr bool kTestsFolders = true;
  static BOOL MakeCurrent(const Unit* path) { return SetCurrentDirectoryW(path); }
  static HANDLE ListCurrent(Entry* entry) { return FindFirstFileW(L"*.*", entry); }
  static BOOL NextEntry(HANDLE listing, Entry* entry) { return FindNextFileW(listing, entry); }
  static void ToWidePath(const Unit (&path)[kWidePathUnits], WidePath& wide) {
    for (std::size_t i = 0; i < kWidePathUnits; ++i) wide[i] = path[i];
  }
  static void FromWidePath(const WidePath& wide, Unit (&path)[kWidePathUnits]) {
    for (std::size_t i = 0; i < kWidePathUnits; ++i) path[i] = wide[i];
  }
};

struct AnsiCalls {
  using Unit = char;
  using Entry = WIN32_FIND_DATAA;
  static constexpr bool kTestsFolders = false;
  static BOOL MakeCurrent(const Unit* path) { return SetCurrentDirectoryA(path); }
  static HANDLE ListCurrent(Entry* entry) { return FindFirstFileA("*.*", entry); }
  static BOOL NextEntry(HANDLE listing, Entry* entry) { return FindNextFileA(listing, entry); }
  static void ToWidePath(const Unit (&path)[kWidePathUnits], WidePath& wide) { WidenPath(path, wide); }
  static void FromWidePath(const WidePath& wide, Unit (&path)[kWidePathUnits]) { NarrowPath(wide, path); }
};

template <typename Unit>
bool IsDotOrDotDot(const Unit* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Whether the folder being listed opens for listing with backup semantics; the handle is
// only a test and is closed at once.
bool CanOpenForListing(const WidePath& directory) {
  HANDLE folder = CreateFileW(directory, FILE_LIST_DIRECTORY, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  CloseHandle(folder);
  return true;
}

template <typename Calls>
bool EntersFolder(const WidePath& directory, const typename Calls::Entry& entry) {
  if (Calls::kTestsFolders) {
    if (!CanOpenForListing(directory)) return false;
    // A junction or link may lead back up the tree: never followed.
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  }
  return !IsDotOrDotDot(entry.cFileName);
}

template <typename Calls>
void HandleEntry(const WidePath& directory, const typename Calls::Unit (&path)[kWidePathUnits],
                 const typename Calls::Entry& entry) {
  const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (folder && !EntersFolder<Calls>(directory, entry)) return;

  typename Calls::Unit joined[kWidePathUnits];
  const bool fits = JoinScanPath(path, entry.cFileName, folder, joined);
  WidePath wideJoined;
  Calls::ToWidePath(joined, wideJoined);
  if (!fits) {
    // A path that does not fit cannot be opened; the user must still see that this file
    // (or everything in this folder) went unverified.
    ReportUnverifiedPath(wideJoined);
  } else if (folder) {
    ScanDirectory(wideJoined);
  } else {
    VerifyFileReadable(wideJoined, kDriveScanTarget);
  }
}

template <typename Calls>
void ScanLevel(const WidePath& directory) {
  typename Calls::Unit path[kWidePathUnits];
  Calls::FromWidePath(directory, path);
  // The listing below is relative: after a failed change it would list whatever folder is
  // current under this folder's name, and could recurse without end.
  if (!Calls::MakeCurrent(path)) return;
  typename Calls::Entry entry;
  HANDLE listing = Calls::ListCurrent(&entry);
  if (listing == INVALID_HANDLE_VALUE) return;
  if (g_cancelFlag != 1) {
    do {
      HandleEntry<Calls>(directory, path, entry);
    } while (Calls::NextEntry(listing, &entry) && g_cancelFlag != 1);
  }
  FindClose(listing);
}

}  // namespace

void ScanDirectory(const WidePath& directory) {
  if (UsesWideCalls()) {
    ScanLevel<WideCalls>(directory);
  } else {
    ScanLevel<AnsiCalls>(directory);
  }
}
