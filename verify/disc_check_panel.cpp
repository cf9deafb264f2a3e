#include "verify/disc_check_panel.h"

#include <commctrl.h>

#include "compare/save_checksums.h"
#include "compare/verify_checksums.h"
#include "resources/resource_ids.h"
#include "salvage/batch_salvage.h"
#include "shell/folder_chooser.h"
#include "shell/list_paint_pacing.h"
#include "shell/task_panel_frame.h"
#include "verify/drive_list.h"
#include "verify/scan_directory.h"
#include "verify/verify_file.h"

namespace {

// The root of the drive last scanned; kept for the program's life.
WidePath g_storedDriveRoot = {};

// Disabled while a drive is scanned, in this order.
const int kOwnControls[] = {IDC_DISC_DRIVE_LIST, IDC_DISC_RESULTS_FILTER, IDC_DISC_START, 0};

const ResultsColumn kColumns[] = {
    {"File Name", 291, LVCFMT_LEFT},
    {"File Size", 120, LVCFMT_RIGHT},
    {"Status", 110, LVCFMT_LEFT},
};

// Between runs the lists take the usual multiple selection, so that a folder's tree can be
// picked for Copy Files To; during a run every row it adds becomes the one selected.
void SetSingleSelection(bool single) {
  const HWND lists[] = {g_readReport.readOkList, g_readReport.readErrorList};
  for (HWND list : lists) {
    const LONG_PTR style = GetWindowLongPtrA(list, GWL_STYLE);
    SetWindowLongPtrA(list, GWL_STYLE, single ? style | LVS_SINGLESEL : style & ~LVS_SINGLESEL);
  }
}

void OnInitDialog(HWND panel) {
  g_readReport.readOkList = GetDlgItem(panel, IDC_DISC_READ_OK_LIST);
  g_readReport.readErrorList = GetDlgItem(panel, IDC_DISC_READ_ERROR_LIST);
  g_readReport.discStatusLine = GetDlgItem(panel, IDC_DISC_STATUS);
  // Double buffering keeps the visible list from flickering while rows stream in.
  SetUpResultsList(g_readReport.readOkList, LVS_EX_DOUBLEBUFFER, kColumns, 3);
  SetUpResultsList(g_readReport.readErrorList, 0, kColumns, 3);
  ShowWindow(g_readReport.readErrorList, SW_HIDE);

  HWND filter = GetDlgItem(panel, IDC_DISC_RESULTS_FILTER);
  SendMessageA(filter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Show \"READ OK\""));
  SendMessageA(filter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Show \"READ ERROR\""));
  SendMessageA(filter, CB_SETCURSEL, 0, 0);
  HideCancelButton(panel, IDC_DISC_CANCEL);
  SetSingleSelection(false);
  FillDriveList(GetDlgItem(panel, IDC_DISC_DRIVE_LIST));
}

// Both lists lie on top of each other; the filter shows one.
void ApplyResultsFilter(HWND panel) {
  const bool showReadOk = SendMessageA(GetDlgItem(panel, IDC_DISC_RESULTS_FILTER), CB_GETCURSEL, 0, 0) == 0;
  ResumeListDrawing();  // a list with drawing off during a run would not take the change
  ShowWindow(g_readReport.readOkList, showReadOk ? SW_SHOW : SW_HIDE);
  ShowWindow(g_readReport.readErrorList, showReadOk ? SW_HIDE : SW_SHOW);
}

// The root of the drive whose entry is selected.
void ReadSelectedDrive(HWND panel, WidePath& driveRoot) {
  HWND driveList = GetDlgItem(panel, IDC_DISC_DRIVE_LIST);
  char entry[kWidePathUnits] = {};
  const LRESULT selected = SendMessageA(driveList, CB_GETCURSEL, 0, 0);
  // CB_GETLBTEXT writes the whole entry, however long: only one that fits is read.
  const LRESULT length = SendMessageA(driveList, CB_GETLBTEXTLEN, selected, 0);
  if (length >= 0 && length < static_cast<LRESULT>(kWidePathUnits)) {
    SendMessageA(driveList, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(entry));
  }
  char root[kWidePathUnits];
  DriveRootOfEntry(entry, root);
  WidenPath(root, driveRoot);
}


void ShowOutcome(HWND panel, const char* text, UINT icon) {
  MessageBoxA(panel, text, "Read Drive Check", MB_OK | icon);
}

void ScanReadyDrive(HWND panel) {
  // The scan makes each folder current in turn; the one that was current before comes back.
  // The wide calls keep a folder name that the code page cannot hold.
  WCHAR wideSaved[kWidePathUnits] = {};
  char ansiSaved[kWidePathUnits] = {};
  const DWORD savedLength = UsesWideCalls() ? GetCurrentDirectoryW(kWidePathUnits, wideSaved)
                                            : GetCurrentDirectoryA(kWidePathUnits, ansiSaved);
  HWND cancel = GetDlgItem(panel, IDC_DISC_CANCEL);
  ShowWindow(cancel, SW_SHOW);
  BeginListPaintPacing(g_readReport.readOkList, g_readReport.readErrorList);
  ScanDirectory(g_storedDriveRoot);
  EndListPaintPacing();
  ShowWindow(cancel, SW_HIDE);
  // A directory that did not fit the buffer was not saved; restoring the buffer would
  // change to a wrong one.
  if (savedLength > 0 && savedLength < kWidePathUnits) {
    if (UsesWideCalls()) {
      SetCurrentDirectoryW(wideSaved);
    } else {
      SetCurrentDirectoryA(ansiSaved);
    }
  }

  if (g_cancelFlag == 1) {
    ShowOutcome(panel, "Operation cancelled.", MB_ICONERROR);
    return;
  }
  char summary[256];
  wsprintfA(summary,
            "Operation complete.\n\nFiles scanned\t\t: %d\nFiles \"READ OK\"\t\t: %d\n"
            "Files \"READ ERROR\"\t: %d",
            g_readErrorTally + g_readOkTally, g_readOkTally, g_readErrorTally);
  ShowOutcome(panel, summary, MB_ICONINFORMATION);
}

void OnStart(HWND panel) {
  ReadSelectedDrive(panel, g_storedDriveRoot);
  SetSingleSelection(true);
  SendMessageA(g_readReport.readOkList, LVM_DELETEALLITEMS, 0, 0);
  SendMessageA(g_readReport.readErrorList, LVM_DELETEALLITEMS, 0, 0);
  // Windows XP only: the lists repaint themselves between runs, never during one.
  if (g_osMajorVersion == 5) RemoveListRepaint(g_readReport.readOkList, g_readReport.readErrorList);
  EnterBusyState(panel, kOwnControls);
  g_readOkTally = 0;
  g_readErrorTally = 0;
  if (IsDriveReady(g_storedDriveRoot)) {
    ScanReadyDrive(panel);
  } else {
    ShowOutcome(panel, "Drive is not ready.", MB_ICONERROR);
  }
  LeaveBusyState(panel, kOwnControls);
  SetSingleSelection(false);
  if (g_osMajorVersion == 5) InstallListRepaint(g_readReport.readOkList, g_readReport.readErrorList);
}

// A dropped file or folder picks its drive, when the drive is listed.
void SelectDroppedDrive(HWND panel, const WCHAR* name) {
  SelectDriveOf(GetDlgItem(panel, IDC_DISC_DRIVE_LIST), name);
}

// A run from a list's menu: the panel busy around it, the lists' selection single.
template <typename Rescue>
void RunFromMenu(HWND panel, Rescue rescue) {
  if (g_osMajorVersion == 5) RemoveListRepaint(g_readReport.readOkList, g_readReport.readErrorList);
  EnterBusyState(panel, kOwnControls);
  SetSingleSelection(true);
  rescue(BatchSalvageWindows{g_readReport.discStatusLine, GetDlgItem(panel, IDC_DISC_CANCEL)});
  SetSingleSelection(false);
  LeaveBusyState(panel, kOwnControls);
  if (g_osMajorVersion == 5) InstallListRepaint(g_readReport.readOkList, g_readReport.readErrorList);
}

// Copy Files To... on a list's menu: its selected rows, into a folder the user chooses.
void CopySelectedFiles(HWND panel, HWND list) {
  WidePath folder = {};
  if (!ChooseFolder(panel, L"Copy Files To", "Copy Files To", folder)) return;
  RunFromMenu(panel, [&](const BatchSalvageWindows& windows) {
    SalvageCopyFiles(panel, list, g_storedDriveRoot, folder, windows);
  });
}

// Resume Rescue From...: the rescues a folder's maps say are unfinished, from the drive chosen
// in the drive list, with no new check of a drive that may be dying.
void ResumeRescuesInFolder(HWND panel, HWND) {
  WidePath folder = {};
  if (!ChooseFolder(panel, L"Resume Rescue From", "Resume Rescue From", folder)) return;
  WidePath driveRoot = {};
  ReadSelectedDrive(panel, driveRoot);
  RunFromMenu(panel, [&](const BatchSalvageWindows& windows) { ResumeRescues(panel, driveRoot, folder, windows); });
}

// Save Checksums As...: an MD5 list of the selected rows' files, from the drive last scanned.
void SaveSelectedChecksums(HWND panel, HWND list) {
  RunFromMenu(panel, [&](const BatchSalvageWindows& windows) {
    SaveChecksums(panel, list, g_storedDriveRoot, ChecksumWindows{windows.statusLine, windows.cancelButton});
  });
}

// Verify Checksums...: the files a list names, on the drive chosen in the drive list.
void VerifyListedChecksums(HWND panel, HWND) {
  WidePath driveRoot = {};
  ReadSelectedDrive(panel, driveRoot);
  RunFromMenu(panel, [&](const BatchSalvageWindows& windows) {
    VerifyChecksums(panel, GetParent(panel), driveRoot, ChecksumWindows{windows.statusLine, windows.cancelButton});
  });
}

const ListMenuCommand kListCommands[] = {{"Copy &Files To...", CopySelectedFiles, true},
                                         {"Save C&hecksums As...", SaveSelectedChecksums, true},
                                         {"&Verify Checksums...", VerifyListedChecksums, false},
                                         {"&Resume Rescue From...", ResumeRescuesInFolder, false},
                                         {nullptr, nullptr, false}};
const PanelFrame kFrame = {IDC_DISC_CANCEL, "Read Drive Check", nullptr, 0, SelectDroppedDrive, kListCommands};

void OnCommand(HWND panel, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDC_DISC_START:
      OnStart(panel);
      break;
    case IDC_DISC_RESULTS_FILTER:
      if (HIWORD(wParam) == CBN_SELCHANGE) ApplyResultsFilter(panel);
      break;
  }
}

}  // namespace

INT_PTR CALLBACK DiscCheckPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result;
  if (HandleFrameMessage(panel, message, wParam, lParam, kFrame, result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(panel);
      return FALSE;
    case WM_COMMAND:
      OnCommand(panel, wParam);
      return FALSE;
  }
  return FALSE;
}
