#include "tests/support/disc_check_menu.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "tests/support/test_windows.h"

HWND ScanDrive(ProgramDriver& program, char letter) {
  HWND panel = program.PanelWith(IDC_DISC_START);
  ProgramDriver::DropFiles(panel, {10, 10}, {std::wstring(1, letter) + L":\\"});
  program.Click(GetDlgItem(panel, IDC_DISC_START));
  program.AnswerMessageBox();
  return panel;
}

SeenMessageBox RunListCommand(ProgramDriver& program, HWND panel, int filter, const std::wstring& name, int rows,
                              WORD key, const wchar_t* title) {
  HWND filterBox = GetDlgItem(panel, IDC_DISC_RESULTS_FILTER);
  SendMessageW(filterBox, CB_SETCURSEL, filter, 0);
  SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_DISC_RESULTS_FILTER, CBN_SELCHANGE), reinterpret_cast<LPARAM>(filterBox));
  HWND list = GetDlgItem(panel, filter == 0 ? IDC_DISC_READ_OK_LIST : IDC_DISC_READ_ERROR_LIST);
  ProgramDriver::Focus(list);
  if (rows == 0) {
    ProgramDriver::PressKeys({VK_CONTROL}, 'A');
  } else {
    ProgramDriver::PressKeys({}, VK_HOME);
    for (int i = 1; i < rows; ++i) ProgramDriver::PressKeys({VK_SHIFT}, VK_DOWN);
  }
  ProgramDriver::PressKeys({VK_SHIFT}, VK_F10);
  if (!program.WaitForPopupMenu()) {
    ADD_FAILURE() << "the list's menu did not open; the status line said: "
                  << Narrow(ProgramDriver::Text(GetDlgItem(panel, IDC_DISC_STATUS)));
    return {};
  }
  ProgramDriver::PressKeys({}, key);
  HWND dialog = program.WaitForFileDialog(title);
  if (!dialog) {
    ADD_FAILURE() << "no dialog \"" << Narrow(title) << "\" appeared";
    return {};
  }
  ProgramDriver::ChooseFile(dialog, name);
  return program.AnswerMessageBox();
}

