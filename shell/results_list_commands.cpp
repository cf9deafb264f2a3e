#include "shell/results_list_commands.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdlib>
#include <cstring>

#include "shell/list_text.h"
#include "shell/run_state.h"
#include "shell/panel_frame.h"

namespace {

enum MenuCommand { kCopy = 1, kSelectAll, kSaveListAs, kPanelCommand };

// Names are at most 259 characters; the other cells are short.
constexpr int kCellUnits = 1024;

int ColumnCount(HWND list) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

void AddHeaderLine(ListText<WCHAR>& text, HWND list, int columns) {
  for (int column = 0; column < columns; ++column) {
    WCHAR title[kCellUnits] = {};
    LVCOLUMNW item = {};
    item.mask = LVCF_TEXT;
    item.pszText = title;
    item.cchTextMax = kCellUnits;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&item));
    text.AddCell(title, lstrlenW(title));
  }
  text.EndLine();
}

void AddRowLine(ListText<WCHAR>& text, HWND list, int row, int columns) {
  for (int column = 0; column < columns; ++column) {
    WCHAR cell[kCellUnits];
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = cell;
    item.cchTextMax = kCellUnits;
    const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    text.AddCell(cell, static_cast<std::size_t>(length));
  }
  text.EndLine();
}

// Says what did not happen and why, in the system's words.
void ShowFailure(HWND panel, const char* caption, const char* what, DWORD error) {
  char reason[512];
  FormatSystemReason(error, reason);
  char text[600];
  wsprintfA(text, "%s\n\n%s", what, reason);
  MessageBoxA(panel, text, caption, MB_OK | MB_ICONERROR);
}

DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != NO_ERROR ? error : fallback;
}

// A clipboard viewer opens the clipboard for a moment after each change: a copy made just then
// waits for it a little rather than fail.
bool OpenClipboardSoon(HWND owner) {
  for (int attempt = 0; attempt < 25; ++attempt) {
    if (OpenClipboard(owner)) return true;
    Sleep(20);
  }
  return false;
}

DWORD PutOnClipboard(HWND owner, const ListText<WCHAR>& text) {
  if (text.failed()) return ERROR_NOT_ENOUGH_MEMORY;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.length() + 1) * sizeof(WCHAR));
  if (!block) return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
  auto* units = static_cast<WCHAR*>(GlobalLock(block));
  std::memcpy(units, text.units(), text.length() * sizeof(WCHAR));
  units[text.length()] = 0;
  GlobalUnlock(block);
  if (!OpenClipboardSoon(owner)) {
    const DWORD error = LastErrorOr(ERROR_ACCESS_DENIED);
    GlobalFree(block);
    return error;
  }
  EmptyClipboard();
  // The system makes the ANSI text from this one when a program asks for it.
  const bool placed = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  const DWORD error = placed ? NO_ERROR : LastErrorOr(ERROR_ACCESS_DENIED);
  CloseClipboard();
  if (!placed) GlobalFree(block);
  return error;
}

void CopySelectedRows(HWND panel, HWND list, const char* caption) {
  const DWORD error = CopyRowsToClipboard(panel, list);
  if (error != NO_ERROR) ShowFailure(panel, caption, "The rows were not copied.", error);
}

// The calls of one variant for saving a list: the wide ones above Windows 4, the ANSI ones
// on Windows NT 4, as the file dialogs of the copy task choose.
struct WideSaveCalls {
  using Unit = WCHAR;
  using Dialog = OPENFILENAMEW;
  static DWORD DialogSize() { return OPENFILENAME_SIZE_VERSION_400W; }
  static constexpr const Unit* kFilter =
      L"CSV (comma-separated) (*.csv)\0*.csv\0Text (tab-separated) (*.txt)\0*.txt\0";
  static constexpr const Unit* kTitle = L"Save List As";
  static constexpr const Unit* kDefaultExtension = L"csv";
  static constexpr const Unit* kCurrentFolder = L".";
  static BOOL AskName(Dialog* dialog) { return GetSaveFileNameW(dialog); }
  static DWORD FullName(const Unit* name, Unit* full, Unit** fileName) {
    return GetFullPathNameW(name, kWidePathUnits, full, fileName);
  }
  static UINT MakeTemporaryFile(const Unit* folder, Unit* name) {
    return GetTempFileNameW(folder, L"vlx", 0, name);
  }
  static HANDLE Create(const Unit* name) {
    return CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  static BOOL Move(const Unit* from, const Unit* to, DWORD flags) { return MoveFileExW(from, to, flags); }
  static BOOL Delete(const Unit* name) { return DeleteFileW(name); }
};

struct AnsiSaveCalls {
  using Unit = char;
  using Dialog = OPENFILENAMEA;
  static DWORD DialogSize() { return OPENFILENAME_SIZE_VERSION_400A; }
  static constexpr const Unit* kFilter =
      "CSV (comma-separated) (*.csv)\0*.csv\0Text (tab-separated) (*.txt)\0*.txt\0";
  static constexpr const Unit* kTitle = "Save List As";
  static constexpr const Unit* kDefaultExtension = "csv";
  static constexpr const Unit* kCurrentFolder = ".";
  static BOOL AskName(Dialog* dialog) { return GetSaveFileNameA(dialog); }
  static DWORD FullName(const Unit* name, Unit* full, Unit** fileName) {
    return GetFullPathNameA(name, kWidePathUnits, full, fileName);
  }
  static UINT MakeTemporaryFile(const Unit* folder, Unit* name) {
    return GetTempFileNameA(folder, "vlx", 0, name);
  }
  static HANDLE Create(const Unit* name) {
    return CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  static BOOL Move(const Unit* from, const Unit* to, DWORD flags) { return MoveFileExA(from, to, flags); }
  static BOOL Delete(const Unit* name) { return DeleteFileA(name); }
};

DWORD WriteWholeFile(HANDLE file, const char* bytes, std::size_t size) {
  constexpr std::size_t kPiece = 65536;
  for (std::size_t done = 0; done < size;) {
    const DWORD piece = static_cast<DWORD>(size - done < kPiece ? size - done : kPiece);
    DWORD written = 0;
    if (!WriteFile(file, bytes + done, piece, &written, nullptr)) return LastErrorOr(ERROR_WRITE_FAULT);
    // A full disk can first take part of a write and call it done.
    if (written != piece) return ERROR_DISK_FULL;
    done += piece;
  }
  // Written through to the medium before it takes the place of the user's file.
  if (!FlushFileBuffers(file)) return LastErrorOr(ERROR_WRITE_FAULT);
  return NO_ERROR;
}

// Writes a file of its own beside `name` and only then puts it in the place of `name`, so
// that a failure never leaves a damaged file under that name, nor loses one that was there.
// Without MOVEFILE_REPLACE_EXISTING in `moveFlags` a file of that name is never replaced.
template <typename Calls>
DWORD WriteListFile(const typename Calls::Unit* name, const char* bytes, std::size_t size,
                    DWORD moveFlags) {
  using Unit = typename Calls::Unit;
  // The system splits the name, which also knows the double-byte code pages, where a byte
  // that looks like a backslash can be half of a character.
  Unit folder[kWidePathUnits] = {};
  Unit* fileName = nullptr;
  const DWORD length = Calls::FullName(name, folder, &fileName);
  if (length == 0 || length >= kWidePathUnits || !fileName) return LastErrorOr(ERROR_INVALID_NAME);
  *fileName = 0;
  Unit temporary[kWidePathUnits] = {};
  if (!Calls::MakeTemporaryFile(folder, temporary)) return LastErrorOr(ERROR_ACCESS_DENIED);

  DWORD error = NO_ERROR;
  HANDLE file = Calls::Create(temporary);
  if (file == INVALID_HANDLE_VALUE) {
    error = LastErrorOr(ERROR_ACCESS_DENIED);
  } else {
    error = WriteWholeFile(file, bytes, size);
    // Some media report a failed write only when the file is closed.
    if (!CloseHandle(file) && error == NO_ERROR) error = LastErrorOr(ERROR_WRITE_FAULT);
  }
  if (error == NO_ERROR && !Calls::Move(temporary, name, moveFlags)) error = LastErrorOr(ERROR_ACCESS_DENIED);
  if (error != NO_ERROR) Calls::Delete(temporary);
  return error;
}

template <typename Calls>
DWORD WriteText(const typename Calls::Unit* name, const ListText<WCHAR>& text, DWORD moveFlags) {
  if (text.failed()) return ERROR_NOT_ENOUGH_MEMORY;
  char* bytes = static_cast<char*>(std::malloc(Utf8FileCapacity(text.length())));
  if (!bytes) return ERROR_NOT_ENOUGH_MEMORY;
  const std::size_t size = EncodeUtf8File(text.units(), text.length(), bytes);
  const DWORD error = WriteListFile<Calls>(name, bytes, size, moveFlags);
  std::free(bytes);
  return error;
}

// The header line of the column titles, then every row of the list, whatever is selected.
template <typename Calls>
DWORD SaveList(HWND list, const typename Calls::Unit* name, ListTextFormat format) {
  ListText<WCHAR> text(format);
  const int columns = ColumnCount(list);
  AddHeaderLine(text, list, columns);
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) AddRowLine(text, list, row, columns);
  return WriteText<Calls>(name, text, MOVEFILE_REPLACE_EXISTING);
}

template <typename Calls>
void SaveListAs(HWND panel, HWND list, const char* caption) {
  typename Calls::Unit name[kWidePathUnits] = {};
  typename Calls::Dialog dialog = {};
  dialog.lStructSize = Calls::DialogSize();
  dialog.hwndOwner = panel;
  dialog.lpstrFilter = Calls::kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name;
  dialog.nMaxFile = kWidePathUnits;
  dialog.lpstrInitialDir = Calls::kCurrentFolder;
  dialog.lpstrTitle = Calls::kTitle;
  // The dialog adds the extension of the type chosen when the name has none.
  dialog.lpstrDefExt = Calls::kDefaultExtension;
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
  if (!Calls::AskName(&dialog)) return;
  name[kWidePathUnits - 1] = 0;
  const ListTextFormat format =
      dialog.nFilterIndex == 2 ? ListTextFormat::kTabSeparated : ListTextFormat::kCsv;
  const DWORD error = SaveList<Calls>(list, name, format);
  if (error != NO_ERROR) ShowFailure(panel, caption, "The list was not saved.", error);
}

// The focused row's lower left corner, or the list's top left corner when no row has the
// focus or it is scrolled out of sight.
POINT KeyboardMenuPoint(HWND list) {
  POINT at = {0, 0};
  const int focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
  RECT row = {};
  RECT client;
  GetClientRect(list, &client);
  row.left = LVIR_BOUNDS;
  if (focused >= 0 && SendMessageW(list, LVM_GETITEMRECT, focused, reinterpret_cast<LPARAM>(&row)) &&
      row.bottom > 0 && row.bottom <= client.bottom) {
    at.x = row.left > 0 ? row.left : 0;
    at.y = row.bottom;
  }
  ClientToScreen(list, &at);
  return at;
}

}  // namespace

// The lists take one selected row at a time: every row a run adds becomes the selected one.
// Selecting them all needs multiple selection for a moment; the next click or row ends it.
void SelectAllRows(HWND list) {
  const LONG_PTR style = GetWindowLongPtrA(list, GWL_STYLE);
  SetWindowLongPtrA(list, GWL_STYLE, style & ~LVS_SINGLESEL);
  LVITEMA all = {};
  all.state = LVIS_SELECTED;
  all.stateMask = LVIS_SELECTED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
  SetWindowLongPtrA(list, GWL_STYLE, style);
}

DWORD CopyRowsToClipboard(HWND owner, HWND list) {
  // With no row selected the clipboard keeps what it held.
  if (SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 0) return NO_ERROR;
  ListText<WCHAR> text(ListTextFormat::kTabSeparated);
  const int columns = ColumnCount(list);
  for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(list, row, LVNI_SELECTED)) {
    AddRowLine(text, list, row, columns);
  }
  return PutOnClipboard(owner, text);
}

DWORD SaveListToFile(HWND list, const WCHAR* name, ListTextFormat format) {
  return SaveList<WideSaveCalls>(list, name, format);
}

DWORD WriteNewTextFile(const WidePath& name, const ListText<WCHAR>& text) {
  if (UsesWideCalls()) return WriteText<WideSaveCalls>(name, text, 0);
  char ansiName[kWidePathUnits];
  NarrowPath(name, ansiName);
  return WriteText<AnsiSaveCalls>(ansiName, text, 0);
}

void FormatSystemReason(DWORD error, char (&reason)[512]) {
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                      reason, sizeof reason, nullptr)) {
    wsprintfA(reason, "Error %lu.", error);
  }
  // The system ends its texts with a line break, which a report cell or a message does not want.
  for (int end = lstrlenA(reason); end > 0 && (reason[end - 1] == '\r' || reason[end - 1] == '\n' ||
                                               reason[end - 1] == ' ');) {
    reason[--end] = 0;
  }
}

bool IsResultsList(HWND panel, HWND window) {
  char className[32] = {};
  return window && GetParent(window) == panel && GetClassNameA(window, className, sizeof className) &&
         lstrcmpiA(className, WC_LISTVIEWA) == 0;
}

void OnResultsListKey(HWND panel, HWND list, WORD key, const char* caption) {
  // AltGr is Ctrl+Alt: its letters are characters, not commands.
  if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0) return;
  if (key == 'A') SelectAllRows(list);
  if (key == 'C') CopySelectedRows(panel, list, caption);
}

void ShowResultsListMenu(HWND panel, HWND list, LPARAM screenPoint, const PanelFrame& frame) {
  const bool hasRows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0;
  const bool hasSelection = SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  AppendMenuA(menu, MF_STRING | (hasSelection ? MF_ENABLED : MF_GRAYED), kCopy, "&Copy");
  AppendMenuA(menu, MF_STRING | (hasRows ? MF_ENABLED : MF_GRAYED), kSelectAll, "Select &All");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  // No dialog may open inside an engine's message drain.
  const bool canSave = hasRows && !RunInProgress();
  AppendMenuA(menu, MF_STRING | (canSave ? MF_ENABLED : MF_GRAYED), kSaveListAs, "&Save List As...");
  for (int i = 0; frame.listCommands && frame.listCommands[i].text; ++i) {
    const ListMenuCommand& command = frame.listCommands[i];
    const bool canRun = (hasSelection || !command.needsSelection) && !RunInProgress();
    AppendMenuA(menu, MF_STRING | (canRun ? MF_ENABLED : MF_GRAYED), kPanelCommand + i, command.text);
  }

  POINT at = {static_cast<short>(LOWORD(screenPoint)), static_cast<short>(HIWORD(screenPoint))};
  if (at.x == -1 && at.y == -1) at = KeyboardMenuPoint(list);
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN,
                                    at.x, at.y, 0, panel, nullptr);
  DestroyMenu(menu);
  switch (chosen) {
    case kCopy:
      CopySelectedRows(panel, list, frame.caption);
      break;
    case kSelectAll:
      SelectAllRows(list);
      break;
    case kSaveListAs:
      if (UsesWideCalls()) {
        SaveListAs<WideSaveCalls>(panel, list, frame.caption);
      } else {
        SaveListAs<AnsiSaveCalls>(panel, list, frame.caption);
      }
      break;
    default:
      if (chosen >= kPanelCommand) frame.listCommands[chosen - kPanelCommand].run(panel, list);
      break;
  }
}

DWORD ReplaceFileWithBytes(const WidePath& name, const char* bytes, std::size_t size) {
  constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (UsesWideCalls()) return WriteListFile<WideSaveCalls>(name, bytes, size, kReplace);
  char ansiName[kWidePathUnits];
  NarrowPath(name, ansiName);
  return WriteListFile<AnsiSaveCalls>(ansiName, bytes, size, kReplace);
}
