#include "shell/panel_frame.h"

#include <cwchar>

bool g_runInProgress = false;

bool RunInProgress() { return g_runInProgress; }

namespace {

// Whether the ANSI call that reads the field back gives `name` itself, within its 260 bytes.
bool SurvivesAnsiCodePage(const WCHAR* name) {
  char ansi[2 * kWidePathUnits];  // a double-byte code page takes up to two bytes a character
  const int bytes = WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, sizeof ansi, nullptr, nullptr);
  if (bytes == 0 || bytes > static_cast<int>(kWidePathUnits)) return false;
  WCHAR back[kWidePathUnits];
  if (!MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, kWidePathUnits)) return false;
  return std::wcscmp(back, name) == 0;
}

// The file's short (8.3) name in place of `name`, when it has one that the code page holds.
bool UseShortName(WCHAR (&name)[kWidePathUnits]) {
  WCHAR shortName[kWidePathUnits];
  const DWORD length = GetShortPathNameW(name, shortName, kWidePathUnits);
  if (length == 0 || length >= kWidePathUnits || !SurvivesAnsiCodePage(shortName)) return false;
  lstrcpynW(name, shortName, kWidePathUnits);
  return true;
}

}  // namespace

bool NameUsableHere(HWND panel, const char* caption, WCHAR (&name)[kWidePathUnits]) {
  // A name the ANSI read-back turns into '?' would name no file, and the task would call a
  // readable file unreadable.
  if (UsesWideCalls() || SurvivesAnsiCodePage(name) || UseShortName(name)) return true;
  MessageBoxA(panel,
              "The name of this file holds characters that this system cannot pass on, and "
              "the file has no short name to use instead. Rename the file or its folder, then "
              "choose it again.",
              caption, MB_OK | MB_ICONERROR);
  return false;
}

void ShowChosenName(HWND panel, const BrowseDialog& dialog, WidePath& storedName, const WCHAR* name) {
  HWND field = GetDlgItem(panel, dialog.fieldId);
  if (g_osMajorVersion >= dialog.wideFromMajorVersion) {
    lstrcpynW(storedName, name, kWidePathUnits);
    SetWindowTextW(field, storedName);
    return;
  }
  // As the ANSI dialog gives it: the name's bytes in the code page, widened.
  char ansi[kWidePathUnits] = {};
  WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, kWidePathUnits - 1, nullptr, nullptr);
  SetWindowTextA(field, ansi);
  WidenPath(ansi, storedName);
}
