#include "shell/dropped_files.h"

namespace {

constexpr UINT kFileCount = 0xFFFFFFFF;

void Refuse(HWND panel, const char* caption, const char* text) {
  MessageBoxA(panel, text, caption, MB_OK | MB_ICONERROR);
}

// The dropped name at `index`, when it names a file that the task can take.
bool TakeFileName(HWND panel, HDROP drop, UINT index, const char* caption,
                  WCHAR (&name)[kWidePathUnits]) {
  if (DragQueryFileW(drop, index, nullptr, 0) >= kWidePathUnits) {
    Refuse(panel, caption,
           "The name of the dropped file is longer than 259 characters, which this program "
           "cannot use. Move the file to a shorter path and drop it again.");
    return false;
  }
  DragQueryFileW(drop, index, name, kWidePathUnits);
  const DWORD attributes = GetFileAttributesW(name);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Refuse(panel, caption, "A folder was dropped. Only a file can be used here.");
    return false;
  }
  return NameUsableHere(panel, caption, name);
}

// The field that each dropped file fills: a drop on a field or its Browse button fills that
// field; elsewhere two or more files fill the first two fields in order, and one file the
// first empty field (the first field when none is empty). Returns how many are filled.
int FieldsToFill(HWND panel, HDROP drop, UINT count, const PanelFrame& frame, int (&fields)[2]) {
  POINT at;
  DragQueryPoint(drop, &at);
  HWND target = ChildWindowFromPoint(panel, at);
  const int targetId = target && target != panel ? GetDlgCtrlID(target) : 0;
  for (int i = 0; i < frame.dropFieldCount; ++i) {
    if (targetId == frame.dropFields[i].browse->fieldId || targetId == frame.dropFields[i].browseId) {
      fields[0] = i;
      return 1;
    }
  }
  if (count >= 2 && frame.dropFieldCount >= 2) {
    fields[0] = 0;
    fields[1] = 1;
    return 2;
  }
  fields[0] = 0;
  for (int i = 0; i < frame.dropFieldCount; ++i) {
    if (GetWindowTextLengthW(GetDlgItem(panel, frame.dropFields[i].browse->fieldId)) == 0) {
      fields[0] = i;
      break;
    }
  }
  return 1;
}

void TakeDroppedFiles(HWND panel, HDROP drop, const PanelFrame& frame) {
  const UINT count = DragQueryFileW(drop, kFileCount, nullptr, 0);
  if (count == 0) return;
  if (frame.takeDroppedName) {
    // Only the drive matters there, which a name cut short still tells.
    WCHAR name[kWidePathUnits] = {};
    DragQueryFileW(drop, 0, name, kWidePathUnits);
    frame.takeDroppedName(panel, name);
    return;
  }
  int fields[2];
  const int filled = FieldsToFill(panel, drop, count, frame, fields);
  // Every name is checked before any field changes: a refused drop changes nothing.
  WCHAR names[2][kWidePathUnits];
  for (int i = 0; i < filled; ++i) {
    if (!TakeFileName(panel, drop, static_cast<UINT>(i), frame.caption, names[i])) return;
  }
  for (int i = 0; i < filled; ++i) {
    const DropField& field = frame.dropFields[fields[i]];
    ShowChosenName(panel, *field.browse, *field.storedName, names[i]);
  }
}

}  // namespace

void OnDroppedFiles(HWND panel, HDROP drop, const PanelFrame& frame) {
  // A drop during a run would change the inputs of the run under way.
  if (!RunInProgress()) TakeDroppedFiles(panel, drop, frame);
  DragFinish(drop);
}
