#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_windows.h"
#include "verolux_version.h"

namespace {

// Start buttons, one per panel, in panel order: they tell the panels apart.
const int kStartIds[kTaskCount] = {IDC_DISC_START, IDC_FILE_START, IDC_COMPARE_START, IDC_COPY_START};

POINT PositionInMainWindow(ProgramDriver& program, HWND panel) {
  RECT rect;
  GetWindowRect(panel, &rect);
  POINT corner = {rect.left, rect.top};
  ScreenToClient(program.mainWindow(), &corner);
  return corner;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

int ColumnWidth(HWND list, int column) {
  return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

TEST(MainWindow, StartsWithTheReadDiscCheckPanelShownAndTheOthersHidden) {
  ASSERT_EQ(ScreenDpi(), 96);
  RunProgram([](ProgramDriver& program) {
    EXPECT_EQ(ProgramDriver::Text(program.mainWindow()), VEROLUX_CAPTION_W);
    EXPECT_EQ(g_displayScale, 1.0f);
    for (int task = 0; task < kTaskCount; ++task) {
      HWND panel = program.PanelWith(kStartIds[task]);
      ASSERT_NE(panel, nullptr);
      EXPECT_EQ(IsWindowVisible(panel) != FALSE, task == 0) << "panel " << task;
      const POINT at = PositionInMainWindow(program, panel);
      EXPECT_EQ(at.x, 139);
      EXPECT_EQ(at.y, 18);
    }
  });
}

TEST(MainWindow, TaskSwitchingShowsOnePanelAndKeepsEveryPanelsContents) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"kept.bin", 42);
  RunProgram([&](ProgramDriver& program) {
    HWND fileCheck = program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    ASSERT_NE(fileCheck, nullptr);
    program.Browse(GetDlgItem(fileCheck, IDC_FILE_BROWSE), L"Select file", path);
    program.Click(GetDlgItem(fileCheck, IDC_FILE_START));
    program.AnswerMessageBox();

    // Every task in turn, the shown one twice: exactly its panel is visible.
    const int order[] = {2, 0, 3, 3, 1};
    for (int task : order) {
      ASSERT_NE(program.ShowTask(kTaskButtonIds[task], kStartIds[task]), nullptr);
      for (int other = 0; other < kTaskCount; ++other) {
        EXPECT_EQ(IsWindowVisible(program.PanelWith(kStartIds[other])) != FALSE, other == task);
      }
    }
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(fileCheck, IDC_FILE_PATH)), path);
    auto rows = ReadListRows(GetDlgItem(fileCheck, IDC_FILE_RESULTS));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[1], L"42 bytes");
  });
}

TEST(MainWindow, EnterAndEscDoNotCloseTheProgramCloseDoes) {
  HWND mainWindow = nullptr;
  const INT_PTR result = RunProgram([&](ProgramDriver& program) {
    mainWindow = program.mainWindow();
    HWND button = GetDlgItem(mainWindow, IDC_TASK_READ_DISC);
    program.PressKey(button, VK_RETURN);
    program.PressKey(button, VK_ESCAPE);
    PostMessageW(mainWindow, WM_COMMAND, IDOK, 0);
    PostMessageW(mainWindow, WM_COMMAND, IDCANCEL, 0);
    // Anything queued is handled before this cross-thread call returns.
    SendMessageW(mainWindow, WM_NULL, 0, 0);
    Sleep(200);
    SendMessageW(mainWindow, WM_NULL, 0, 0);
    EXPECT_TRUE(IsWindow(mainWindow));
    EXPECT_TRUE(IsWindowVisible(mainWindow));
  });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(IsWindow(mainWindow));
}

TEST(MainWindow, ProgramExitsWithZeroWhenClosed) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring program = path;
  program = program.substr(0, program.rfind(L'\\') + 1) + L"verolux.exe";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::wstring commandLine = L"\"" + program + L"\"";
  ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process))
      << "cannot start " << Narrow(program);
  HWND window = nullptr;
  EXPECT_TRUE(ProgramDriver::WaitUntil([&] {
    window = FindWindowW(L"#32770", VEROLUX_CAPTION_W);
    return window != nullptr;
  }));
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1234;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  if (exitCode == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
}

TEST(RowShading, EvenRowsWhiteOddRowsLightGreyAlsoAfterInsertingAtTheTop) {
  RunProgram([](ProgramDriver& program) {
    HWND panel = program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    ASSERT_NE(panel, nullptr);
    HWND list = GetDlgItem(panel, IDC_FILE_RESULTS);
    for (int row = 0; row < 5; ++row) {
      wchar_t text[] = L"x";
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = 0;  // always at the top, as a single file check inserts
      item.pszText = text;
      SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    SendMessageW(list, WM_NULL, 0, 0);
    Sleep(200);
    HDC context = GetDC(list);
    for (int row = 0; row < 5; ++row) {
      RECT rect = {};
      rect.left = LVIR_BOUNDS;
      SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
      // Inside the "Status" column, where the row holds no text.
      const int x = ColumnWidth(list, 0) + ColumnWidth(list, 1) + 20;
      const COLORREF colour = GetPixel(context, x, (rect.top + rect.bottom) / 2);
      const COLORREF white = 0xFFFFFF, lightGrey = 0xF5F5F5;
      EXPECT_EQ(colour, row % 2 ? lightGrey : white) << "row " << row;
    }
    ReleaseDC(list, context);
  });
}

// The same checks at other display resolutions; each suite runs with its DPI set.
void CheckScaleAndPosition(int dpi, float factor, int x, int y) {
  ASSERT_EQ(ScreenDpi(), dpi);
  RunProgram([&](ProgramDriver& program) {
    EXPECT_FLOAT_EQ(g_displayScale, factor);
    for (int task = 0; task < kTaskCount; ++task) {
      const POINT at = PositionInMainWindow(program, program.PanelWith(kStartIds[task]));
      EXPECT_EQ(at.x, x) << "panel " << task;
      EXPECT_EQ(at.y, y) << "panel " << task;
    }
  });
}

TEST(At72Dpi, FactorBelowOneIsUsedUnchanged) { CheckScaleAndPosition(72, 0.75f, 104, 13); }
TEST(At97Dpi, SixPerCentStepAppliesAboveOnePointZeroOne) {
  CheckScaleAndPosition(97, 1.0710417f, 148, 19);
}
TEST(At144Dpi, FactorAndPanelPositions) { CheckScaleAndPosition(144, 1.59f, 221, 28); }
TEST(At192Dpi, FactorAndPanelPositions) { CheckScaleAndPosition(192, 2.1199999f, 294, 38); }

TEST(At120Dpi, FactorPanelPositionsAndColumnWidths) {
  CheckScaleAndPosition(120, 1.325f, 184, 23);
  RunProgram([](ProgramDriver& program) {
    const struct {
      int panelStart;
      int listId;
      int widths[3];
      int columns;
    } kLists[] = {
        {IDC_DISC_START, IDC_DISC_READ_OK_LIST, {385, 159, 145}, 3},
        {IDC_DISC_START, IDC_DISC_READ_ERROR_LIST, {385, 159, 145}, 3},
        {IDC_FILE_START, IDC_FILE_RESULTS, {408, 159, 145}, 3},
        {IDC_COMPARE_START, IDC_COMPARE_RESULTS, {356, 356, 0}, 2},
        {IDC_COPY_START, IDC_COPY_RESULTS, {356, 356, 0}, 2},
    };
    for (const auto& expected : kLists) {
      HWND list = GetDlgItem(program.PanelWith(expected.panelStart), expected.listId);
      for (int column = 0; column < expected.columns; ++column) {
        EXPECT_EQ(ColumnWidth(list, column), expected.widths[column])
            << "list " << expected.listId << " column " << column;
      }
    }
  });
}

}  // namespace

namespace {

HCURSOR CurrentCursor() {
  CURSORINFO info = {};
  info.cbSize = sizeof info;
  GetCursorInfo(&info);
  return info.hCursor;
}

// Moves the mouse onto `window` and waits until the cursor is `expected` (the program answers
// the move on its own thread). Returns whether it became that cursor.
bool CursorBecomes(HWND window, HCURSOR expected) {
  for (int nudge = 0; nudge < 10; ++nudge) {
    ProgramDriver::MoveMouseOnto(window, nudge % 2);
    if (ProgramDriver::WaitUntil([&] { return CurrentCursor() == expected; }, 300)) return true;
  }
  return false;
}

TEST(WebLink, HandCursorOverTheLinkOnly) {
  RunProgram([](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    SetForegroundWindow(program.mainWindow());
    const HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
    const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(panel, IDC_WEB_LINK)), L"www.verolux.example");
    EXPECT_TRUE(CursorBecomes(GetDlgItem(panel, IDC_WEB_LINK), hand));
    EXPECT_TRUE(CursorBecomes(GetDlgItem(panel, IDC_DISC_DRIVE_LABEL), arrow));
    EXPECT_TRUE(CursorBecomes(GetDlgItem(panel, IDC_DISC_STATUS), arrow));
    EXPECT_TRUE(CursorBecomes(GetDlgItem(panel, IDC_WEB_LINK), hand));
  });
}

}  // namespace
