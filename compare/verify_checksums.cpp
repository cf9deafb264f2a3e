#include "compare/verify_checksums.h"

#include <cstring>

#include "compare/checksum_list.h"
#include "compare/checksum_results_window.h"
#include "compare/md5.h"
#include "salvage/rescue_rows.h"
#include "shell/results_list_commands.h"
#include "verify/drive_list.h"

namespace {

constexpr const char* kCaption = "Read Drive Check";
// Far beyond a list of every file of a drive; a larger file is not a list.
constexpr std::int64_t kLargestList = 512ll * 1024 * 1024;

enum class Verdict { kOk, kChanged, kReadError, kMissing, kNotChecked, kUnread };

// One line of the list that names a file, or one that could not be taken as one.
struct ListedFile {
  WidePath path;   // what is opened, in the variant in use
  WCHAR shown[kWidePathUnits];  // the File Name cell
  std::uint8_t expected[16];
  bool hasDigest;
  Verdict verdict;
  char found[33];
  char reason[48];  // after "NOT CHECKED: "
};

void ShowOutcome(HWND owner, const char* text, UINT icon) { MessageBoxA(owner, text, kCaption, MB_OK | icon); }

// The whole list, read as the engines read, so that a list on a failing disc costs no more
// than its own failed read. Returns the error, or NO_ERROR.
DWORD ReadListFile(const WidePath& name, PlainArray<char>& bytes) {
  char ansiName[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(name, ansiName);
  HANDLE file = OpenForSharedReading(name, ansiName);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() != NO_ERROR ? GetLastError() : ERROR_OPEN_FAILED;
  std::int64_t size = 0;
  DWORD error = NO_ERROR;
  if (!QueryFileSize(file, size)) {
    error = ERROR_READ_FAULT;
  } else if (size > kLargestList) {
    error = ERROR_FILE_TOO_LARGE;
  } else if (!bytes.Resize(static_cast<std::size_t>(size))) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  }
  for (std::int64_t offset = 0; error == NO_ERROR && offset < size;) {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(size - offset < 65536 ? size - offset : 65536);
    if (!ReadBytesAt(file, offset, bytes.data() + offset, want, read)) {
      error = GetLastError() != NO_ERROR ? GetLastError() : ERROR_READ_FAULT;
    } else if (read == 0) {
      bytes.Resize(static_cast<std::size_t>(offset));  // it shrank meanwhile
      break;
    }
    offset += read;
  }
  CloseHandle(file);
  return error;
}

bool StartsWithRoot(const WidePath& path, const WidePath& root) {
  const std::size_t length = BoundedLength(root, kWidePathUnits);
  for (std::size_t i = 0; i < length; ++i) {
    WCHAR a = path[i], b = root[i];
    if (a >= 'a' && a <= 'z') a = static_cast<WCHAR>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<WCHAR>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return length > 0;
}

// md5sum's convention: a list on the checked drive names files below its own folder (a list at
// a disc's root checks the disc); one kept elsewhere names them below the drive's root. Gives
// the list's folder below the drive root with '/' between folders, empty for the root itself.
bool FolderOfNames(const WidePath& listName, const WidePath& driveRoot, PlainText& prefix) {
  prefix = PlainText();
  WidePath full = {};
  if (UsesWideCalls()) {
    WCHAR* fileName = nullptr;
    const DWORD length = GetFullPathNameW(listName, kWidePathUnits, full, &fileName);
    if (length == 0 || length >= kWidePathUnits || !fileName) return true;
    *fileName = 0;
  } else {
    char ansiName[kWidePathUnits], ansiFull[kWidePathUnits] = {};
    NarrowPath(listName, ansiName);
    char* fileName = nullptr;
    const DWORD length = GetFullPathNameA(ansiName, kWidePathUnits, ansiFull, &fileName);
    if (length == 0 || length >= kWidePathUnits || !fileName) return true;
    *fileName = 0;
    WidenPath(ansiFull, full);
  }
  if (!StartsWithRoot(full, driveRoot)) return true;
  return PathToListName(full + BoundedLength(driveRoot, kWidePathUnits), prefix);
}

// The cell text of a wide path of the variant in use.
void ShowPath(const WidePath& path, WCHAR (&shown)[kWidePathUnits]) {
  if (UsesWideCalls()) {
    lstrcpynW(shown, path, kWidePathUnits);
    return;
  }
  char ansi[kWidePathUnits];
  NarrowPath(path, ansi);
  if (!MultiByteToWideChar(CP_ACP, 0, ansi, -1, shown, kWidePathUnits)) shown[0] = 0;
  shown[kWidePathUnits - 1] = 0;
}

void NotChecked(ListedFile& file, const char* reason) {
  file.verdict = Verdict::kNotChecked;
  lstrcpynA(file.reason, reason, sizeof file.reason);
}

// The listed name in UTF-8 whatever the list's encoding, for the rules of PathBelowFolder,
// which a double-byte code page's trail bytes would mislead. False for a name no file can have.
bool NameAsUtf8(const PlainText& name, PlainText& utf8) {
  if (std::strlen(name.c_str()) != name.size()) return false;  // a zero byte inside
  for (const char* at = name.c_str(); *at; ++at) {
    if (static_cast<unsigned char>(*at) < 0x20) return false;  // Windows names hold no control characters
  }
  if (IsValidUtf8(name.c_str(), name.size())) {
    utf8 = name;
    return true;
  }
  const int units = MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), nullptr, 0);
  PlainArray<WCHAR> wide;
  if (units <= 0 || !wide.Resize(static_cast<std::size_t>(units) + 1)) return false;
  MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), wide.data(), units);
  PlainArray<char> bytes;
  if (!bytes.Resize(static_cast<std::size_t>(units) * 3 + 1)) return false;
  const int made = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, bytes.data(), units * 3, nullptr, nullptr);
  utf8 = PlainText();
  return made > 0 && utf8.Add(bytes.data(), static_cast<std::size_t>(made));
}

// The file's path on the drive `base`, below the list's folder `prefix`, in the variant in use.
// A ".." may lead out of the list's folder, never out of the drive.
void PlaceListedName(const PlainText& name, const WidePath& base, const PlainText& prefix, ListedFile& file) {
  // As much of the name as a cell holds, until the file's own path replaces it.
  ListBytesToWide(name.c_str(), name.size() < kWidePathUnits ? name.size() : kWidePathUnits - 1, file.shown,
                  kWidePathUnits);
  PlainText utf8, below;
  if (!NameAsUtf8(name, utf8)) return NotChecked(file, "name not possible on Windows");
  // A name from the root of some drive is not below the list's folder either.
  const char first = utf8.c_str()[0];
  if (first == '/' || first == '\\') return NotChecked(file, "path outside the drive");
  PlainText onDrive(prefix.c_str());
  if (!prefix.empty()) onDrive.Add("/");
  if (!onDrive.Add(utf8.c_str(), utf8.size()) || !PathBelowFolder(onDrive.c_str(), '\\', below)) {
    return NotChecked(file, "path outside the drive");
  }
  WCHAR wideBelow[kWidePathUnits] = {};
  if (!ListBytesToWide(below.c_str(), below.size(), wideBelow, kWidePathUnits)) return NotChecked(file, "name too long");
  if (UsesWideCalls()) {
    if (!JoinPath(base, wideBelow, 0, file.path)) return NotChecked(file, "name too long");
  } else {
    // The ANSI calls reach only names that the code page holds.
    char ansiBelow[kWidePathUnits] = {};
    BOOL lost = FALSE;
    if (!WideCharToMultiByte(CP_ACP, 0, wideBelow, -1, ansiBelow, kWidePathUnits, nullptr, &lost)) {
      return NotChecked(file, "name too long");
    }
    if (lost) return NotChecked(file, "name not in the system's code page");
    char ansiBase[kWidePathUnits];
    NarrowPath(base, ansiBase);
    if (lstrlenA(ansiBase) + 1 + lstrlenA(ansiBelow) >= static_cast<int>(kWidePathUnits)) {
      return NotChecked(file, "name too long");
    }
    char joined[kWidePathUnits] = {};
    lstrcpyA(joined, ansiBase);
    if (joined[0] && joined[lstrlenA(joined) - 1] != '\\') lstrcatA(joined, "\\");
    lstrcatA(joined, ansiBelow);
    WidenPath(joined, file.path);
  }
  ShowPath(file.path, file.shown);
  file.verdict = Verdict::kUnread;
}

// Every line that is neither blank nor a comment, in list order.
bool TakeListedFiles(const PlainArray<char>& bytes, const WidePath& base, const PlainText& prefix,
                     PlainArray<ListedFile>& files) {
  bool ok = true;
  ForEachChecksumLine(bytes.data(), bytes.size(), [&](int number, const char* line, std::size_t length) {
    ListedFile file = {};
    PlainText name;
    const ChecksumLine kind = ParseChecksumLine(line, length, file.expected, name);
    if (kind == ChecksumLine::kNothing) return;
    if (kind == ChecksumLine::kEntry) {
      file.hasDigest = true;
      PlaceListedName(name, base, prefix, file);
    } else {
      // The line itself names the row, as far as a cell holds it.
      const std::size_t shown = length < kWidePathUnits - 1 ? length : kWidePathUnits - 1;
      if (!ListBytesToWide(line, shown, file.shown, kWidePathUnits)) file.shown[0] = 0;
      char reason[48];
      wsprintfA(reason, "line %d not understood", number);
      NotChecked(file, reason);
    }
    ok = files.push_back(file) && ok;
  });
  return ok;
}

void ReadListedFiles(PlainArray<ListedFile>& files, HWND statusLine) {
  ChecksumRun run;
  run.statusLine = statusLine;
  for (const ListedFile& file : files) run.fileCount += file.verdict == Verdict::kUnread;
  int number = 0;
  for (ListedFile& file : files) {
    if (file.verdict != Verdict::kUnread) continue;
    if (g_cancelFlag == 1) {
      NotChecked(file, "cancelled");
      continue;
    }
    std::uint8_t digest[16];
    switch (DigestListedFile(run, ++number, file.path, digest)) {
      case DigestOutcome::kDigested:
        FormatDigestText(digest, file.found);
        file.verdict = std::memcmp(digest, file.expected, 16) == 0 ? Verdict::kOk : Verdict::kChanged;
        break;
      case DigestOutcome::kUnreadable:
        file.verdict = Verdict::kReadError;
        break;
      case DigestOutcome::kMissing:
        file.verdict = Verdict::kMissing;
        break;
      case DigestOutcome::kCancelled:
        NotChecked(file, "cancelled");
        break;
    }
  }
  ClearStatusLine(statusLine);
}

struct VerifyCounts {
  int of[6] = {};
};

VerifyCounts ShowRows(HWND mainWindow, const PlainArray<ListedFile>& files) {
  VerifyCounts counts;
  HWND list = EmptyChecksumResults(mainWindow);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  for (const ListedFile& file : files) {
    ++counts.of[static_cast<int>(file.verdict)];
    char expected[33] = "";
    if (file.hasDigest) FormatDigestText(file.expected, expected);
    char result[64];
    switch (file.verdict) {
      case Verdict::kOk: lstrcpyA(result, "OK"); break;
      case Verdict::kChanged: lstrcpyA(result, "CHANGED"); break;
      case Verdict::kReadError: lstrcpyA(result, "READ ERROR"); break;
      case Verdict::kMissing: lstrcpyA(result, "MISSING"); break;
      default: wsprintfA(result, "NOT CHECKED: %s", file.reason); break;
    }
    const bool digested = file.verdict == Verdict::kOk || file.verdict == Verdict::kChanged;
    AddChecksumResult(list, file.shown, expected, digested ? file.found : "", result);
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  return counts;
}

}  // namespace

void VerifyChecksums(HWND owner, HWND mainWindow, const WidePath& driveRoot, const ChecksumWindows& windows) {
  WidePath listName;
  if (AskListName(owner, false, listName)) VerifyChecksumList(owner, mainWindow, driveRoot, listName, windows);
}

void VerifyChecksumList(HWND owner, HWND mainWindow, const WidePath& driveRoot, const WidePath& listName,
                        const ChecksumWindows& windows) {
  if (!IsDriveReady(driveRoot)) {
    ShowOutcome(owner, "Drive is not ready.", MB_ICONERROR);
    return;
  }
  PlainArray<char> bytes;
  const DWORD error = ReadListFile(listName, bytes);
  if (error != NO_ERROR) {
    char reason[512];
    FormatSystemReason(error, reason);
    char text[600];
    wsprintfA(text, "The list could not be read.\n\n%s", reason);
    ShowOutcome(owner, text, MB_ICONERROR);
    return;
  }
  PlainText prefix;
  PlainArray<ListedFile> files;
  if (!FolderOfNames(listName, driveRoot, prefix) || !TakeListedFiles(bytes, driveRoot, prefix, files)) {
    ShowOutcome(owner, "There is not enough memory for the list.", MB_ICONERROR);
    return;
  }

  ShowWindow(windows.cancelButton, SW_SHOW);
  ReadListedFiles(files, windows.statusLine);
  ShowWindow(windows.cancelButton, SW_HIDE);
  const VerifyCounts counts = ShowRows(mainWindow, files);
  const int* of = counts.of;
  char summary[256];
  wsprintfA(summary, "Files listed: %d    OK: %d    CHANGED: %d    READ ERROR: %d    MISSING: %d    NOT CHECKED: %d",
            static_cast<int>(files.size()), of[0], of[1], of[2], of[3], of[4]);
  ShowChecksumResults(summary);

  char text[400];
  const bool cancelled = g_cancelFlag == 1;
  wsprintfA(text,
            "%s\n\nFiles \"OK\"\t\t: %d\nFiles \"CHANGED\"\t\t: %d\nFiles \"READ ERROR\"\t: %d\n"
            "Files \"MISSING\"\t\t: %d\nFiles \"NOT CHECKED\"\t: %d",
            cancelled ? "Operation cancelled." : "Verification complete.", of[0], of[1], of[2], of[3], of[4]);
  const bool allOk = !files.empty() && of[0] == static_cast<int>(files.size());
  ShowOutcome(owner, text, cancelled ? MB_ICONERROR : allOk ? MB_ICONINFORMATION : MB_ICONWARNING);
}
