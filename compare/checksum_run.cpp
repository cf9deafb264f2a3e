#include "compare/checksum_run.h"

#include <commdlg.h>

#include "compare/checksum_list.h"
#include "compare/md5.h"

namespace {

struct WideDialogCalls {
  using Unit = WCHAR;
  using Dialog = OPENFILENAMEW;
  static DWORD Size() { return OPENFILENAME_SIZE_VERSION_400W; }
  static constexpr const Unit* kFilter = L"MD5 checksums (*.md5)\0*.md5\0All files (*.*)\0*.*\0";
  static constexpr const Unit* kSaveTitle = L"Save Checksums As";
  static constexpr const Unit* kOpenTitle = L"Verify Checksums";
  static constexpr const Unit* kDefaultName = L"checksums.md5";
  static constexpr const Unit* kExtension = L"md5";
  static BOOL Ask(Dialog* dialog, bool save) { return save ? GetSaveFileNameW(dialog) : GetOpenFileNameW(dialog); }
};

struct AnsiDialogCalls {
  using Unit = char;
  using Dialog = OPENFILENAMEA;
  static DWORD Size() { return OPENFILENAME_SIZE_VERSION_400A; }
  static constexpr const Unit* kFilter = "MD5 checksums (*.md5)\0*.md5\0All files (*.*)\0*.*\0";
  static constexpr const Unit* kSaveTitle = "Save Checksums As";
  static constexpr const Unit* kOpenTitle = "Verify Checksums";
  static constexpr const Unit* kDefaultName = "checksums.md5";
  static constexpr const Unit* kExtension = "md5";
  static BOOL Ask(Dialog* dialog, bool save) { return save ? GetSaveFileNameA(dialog) : GetOpenFileNameA(dialog); }
};

template <typename Calls>
bool AskName(HWND owner, bool save, typename Calls::Unit (&name)[kWidePathUnits]) {
  typename Calls::Dialog dialog = {};
  dialog.lStructSize = Calls::Size();
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = Calls::kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name;
  dialog.nMaxFile = kWidePathUnits;
  dialog.lpstrTitle = save ? Calls::kSaveTitle : Calls::kOpenTitle;
  dialog.lpstrDefExt = Calls::kExtension;
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER |
                 (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  if (save) {
    for (int i = 0; Calls::kDefaultName[i]; ++i) name[i] = Calls::kDefaultName[i];
  }
  const bool chosen = Calls::Ask(&dialog, save) != FALSE;
  name[kWidePathUnits - 1] = 0;
  return chosen;
}

}  // namespace

bool AskListName(HWND owner, bool save, WidePath& name) {
  for (auto& unit : name) unit = 0;
  if (UsesWideCalls()) return AskName<WideDialogCalls>(owner, save, name);
  char ansi[kWidePathUnits] = {};
  if (!AskName<AnsiDialogCalls>(owner, save, ansi)) return false;
  WidenPath(ansi, name);
  return true;
}

constexpr DWORD kFileTextIntervalMs = 100;

DigestOutcome DigestListedFile(ChecksumRun& run, int number, const WidePath& path, std::uint8_t (&digest)[16]) {
  char ansiPath[kWidePathUnits] = {};
  if (!UsesWideCalls()) NarrowPath(path, ansiPath);
  HANDLE file = OpenForSharedReading(path, ansiPath);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? DigestOutcome::kMissing
                                                                          : DigestOutcome::kUnreadable;
  }
  std::int64_t size = 0;
  if (!QueryFileSize(file, size)) {
    CloseHandle(file);
    return DigestOutcome::kUnreadable;
  }
  // The counts are part of the format, so that the shared progress text keeps one %s and one %d.
  char ansiFormat[64];
  WCHAR wideFormat[64];
  wsprintfA(ansiFormat, "Checksum %d of %d: %%s - %%d%%%%", number, run.fileCount);
  wsprintfW(wideFormat, L"Checksum %d of %d: %%s - %%d%%%%", number, run.fileCount);
  FileProgress progress(run.statusLine, ansiFormat, wideFormat, path, size);
  // Small files end before the refresh rule would show anything: the count moves on anyway, a
  // few times a second, since a text for each of thousands of small files costs the run a sixth
  // of its time.
  const DWORD now = GetTickCount();
  if (!run.fileShown || now - run.lastFileShownTick >= kFileTextIntervalMs) {
    progress.ShowNow(0);
    run.fileShown = true;
    run.lastFileShownTick = now;
  }

  Md5State state;
  Md5Start(state);
  DigestOutcome outcome = DigestOutcome::kDigested;
  for (std::int64_t offset = 0; offset < size; offset += kReadBlockSize) {
    DWORD bytesRead = 0;
    const bool readOk = ReadBlockAt(file, offset, run.block, bytesRead);
    progress.AfterBlock(offset);
    PumpMessages();
    if (!readOk) {
      outcome = DigestOutcome::kUnreadable;
      break;
    }
    if (g_cancelFlag == 1) {
      outcome = DigestOutcome::kCancelled;
      break;
    }
    Md5Add(state, run.block, bytesRead);
  }
  Md5Finish(digest, state);
  CloseHandle(file);
  return outcome;
}

bool ListBytesToWide(const char* bytes, std::size_t length, WCHAR* wide, int units) {
  if (length == 0) {
    wide[0] = 0;
    return true;
  }
  if (length >= static_cast<std::size_t>(units)) return false;
  const UINT codePage = IsValidUtf8(bytes, length) ? CP_UTF8 : CP_ACP;
  const int made = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), wide, units - 1);
  if (made <= 0) return false;
  wide[made] = 0;
  return true;
}

bool PathToListName(const WCHAR* path, PlainText& utf8) {
  WCHAR wide[kWidePathUnits];
  if (UsesWideCalls()) {
    lstrcpynW(wide, path, kWidePathUnits);
  } else {
    char ansi[kWidePathUnits] = {};
    for (int i = 0; i < static_cast<int>(kWidePathUnits) - 1 && path[i]; ++i) ansi[i] = static_cast<char>(path[i]);
    // The code page's own conversion: a double-byte character may hold a byte that looks like a backslash.
    if (!MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, kWidePathUnits)) return false;
  }
  for (WCHAR* at = wide; *at; ++at) {
    if (*at == '\\') *at = '/';
  }
  // At most three bytes a unit (a surrogate pair takes four for its two).
  char bytes[3 * kWidePathUnits + 1];
  const int made = WideCharToMultiByte(CP_UTF8, 0, wide, -1, bytes, sizeof bytes, nullptr, nullptr);
  if (made <= 0) return false;
  utf8 = PlainText();
  return utf8.Add(bytes, static_cast<std::size_t>(made - 1));
}
