#include "verify/drive_list.h"

namespace {

// The entry of a drive without a volume label.
const char* DriveKindFormat(UINT kind) {
  switch (kind) {
    case DRIVE_REMOVABLE:
      return "REMOVABLE (%c:)";
    case DRIVE_FIXED:
      return "HDD (%c:)";
    case DRIVE_REMOTE:
      return "NETWORK (%c:)";
    case DRIVE_CDROM:
      return "CD-DVD-BD (%c:)";
    case DRIVE_RAMDISK:
      return "RAMDISK (%c:)";
  }
  // The system could not tell the kind; the drive is still offered.
  return "UNKNOWN (%c:)";
}

// The start button takes the letter from in front of the entry's first colon, so a colon
// in a label would make it scan another drive; such colons are shown as '-'. The label is
// also cut so that the whole entry fits the 260 bytes in which it is read back.
void MakeLabelSafe(char* label) {
  constexpr int kLongestLabel = static_cast<int>(kWidePathUnits) - 1 - 5;  // " (X:)"
  if (lstrlenA(label) > kLongestLabel) label[kLongestLabel] = '\0';
  for (char* c = label; *c; ++c) {
    if (*c == ':') *c = '-';
  }
}

}  // namespace

void FillDriveList(HWND driveList) {
  const DWORD present = GetLogicalDrives();
  for (int drive = 0; drive < 26; ++drive) {
    if (!(present & (1u << drive))) continue;
    const char letter = static_cast<char>('A' + drive);
    char label[kWidePathUnits] = {};
    char root[8];
    wsprintfA(root, "%c:\\", letter);
    const UINT kind = GetDriveTypeA(root);
    char fileSystem[kWidePathUnits];
    DWORD serial = 0, longestName = 0, flags = 0;
    // Without a medium the query fails and the label stays empty: the kind names the drive.
    GetVolumeInformationA(root, label, sizeof label, &serial, &longestName, &flags, fileSystem,
                          sizeof fileSystem);
    label[kWidePathUnits - 1] = '\0';

    char entry[kWidePathUnits + 8];
    if (lstrlenA(label) != 0) {
      MakeLabelSafe(label);
      wsprintfA(entry, "%s (%c:)", label, letter);
    } else {
      wsprintfA(entry, DriveKindFormat(kind), letter);
    }
    SendMessageA(driveList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    SendMessageA(driveList, CB_SETCURSEL, 0, 0);
  }
}

bool IsDriveReady(const WidePath& driveRoot) {
  char root[4];
  for (int i = 0; i < 4; ++i) root[i] = static_cast<char>(driveRoot[i] & 0xFF);
  root[3] = '\0';
  // Room for any label: a label that did not fit would fail the query of a ready drive.
  char label[kWidePathUnits];
  return GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0) !=
         FALSE;
}

void DriveRootOfEntry(const char* entry, char (&root)[kWidePathUnits]) {
  for (auto& byte : root) byte = '\0';
  int colon = 0;
  while (entry[colon] != '\0' && entry[colon] != ':') ++colon;
  if (entry[colon] == ':' && colon > 0) {
    root[0] = entry[colon - 1];
    root[1] = ':';
    root[2] = '\\';
  } else {
    lstrcpynA(root, entry, kWidePathUnits);
  }
}

void SelectDriveOf(HWND driveList, const WCHAR* path) {
  auto upper = [](unsigned letter) { return letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter; };
  if (path[0] == 0 || path[1] != ':') return;
  const int count = static_cast<int>(SendMessageA(driveList, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char entry[kWidePathUnits] = {};
    const LRESULT length = SendMessageA(driveList, CB_GETLBTEXTLEN, i, 0);
    if (length < 0 || length >= static_cast<LRESULT>(kWidePathUnits)) continue;
    SendMessageA(driveList, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
    char root[kWidePathUnits];
    DriveRootOfEntry(entry, root);
    if (root[1] == ':' && upper(static_cast<unsigned char>(root[0])) == upper(path[0])) {
      SendMessageA(driveList, CB_SETCURSEL, i, 0);
      return;
    }
  }
}
