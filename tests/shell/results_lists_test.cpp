// What the user takes away from the results lists (the clipboard, saved files) and files
// dropped onto the panels, driven through the real program.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/run_state.h"
#include "tests/support/bad_media.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_drives.h"
#include "tests/support/test_windows.h"

namespace {

constexpr int kFileTypeBox = 0x0470;  // cmb1 of the file dialogs

// The drive X: holds a,b.bin, bad.bin (unreadable) and 日本.bin, listed in that order.
const std::wstring kCommaFile = L"X:\\a,b.bin";
const std::wstring kJapaneseFile = L"X:\\\u65e5\u672c.bin";

POINT CentreOf(HWND panel, int id) {
  RECT rect;
  GetWindowRect(GetDlgItem(panel, id), &rect);
  POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  ScreenToClient(panel, &centre);
  return centre;
}

// Drops names onto the results list, away from every path field.
void DropOnList(HWND panel, int listId, const std::vector<std::wstring>& names, bool wait = true) {
  ProgramDriver::DropFiles(panel, CentreOf(panel, listId), names, wait);
}

// Runs the task shown on `panel` with its start button and answers its closing message.
std::wstring RunTask(ProgramDriver& program, HWND panel, int startId) {
  program.Click(GetDlgItem(panel, startId));
  return program.AnswerMessageBox().text;
}

void SelectAllAndCopy(HWND list) {
  ProgramDriver::Focus(list);
  ProgramDriver::PressKeys({VK_CONTROL}, 'A');
  ProgramDriver::PressKeys({VK_CONTROL}, 'C');
}

// Shift+F10 on the list; the menu that opens, or null.
HWND OpenMenuFromKeyboard(ProgramDriver& program, HWND list) {
  ProgramDriver::Focus(list);
  ProgramDriver::PressKeys({VK_SHIFT}, VK_F10);
  return program.WaitForPopupMenu();
}

// Where the menu's top left corner lies in the list's client area.
POINT MenuCornerIn(HWND list, HWND menu) {
  RECT rect;
  GetWindowRect(menu, &rect);
  POINT corner = {rect.left, rect.top};
  ScreenToClient(list, &corner);
  return corner;
}

void CloseMenu(HWND menu) {
  ProgramDriver::PressKeys({}, VK_ESCAPE);
  ProgramDriver::WaitUntil([&] { return !IsWindowVisible(menu); }, 5000);
}

// Save List As chosen from the list's menu; the dialog, or null. Asked again when no dialog
// comes: keys pressed while a message box just answered hands the focus back can be lost.
HWND OpenSaveDialog(ProgramDriver& program, HWND list) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (HWND menu = OpenMenuFromKeyboard(program, list)) {
      ProgramDriver::PressKeys({}, 'S');
      if (HWND dialog = program.WaitForFileDialog(L"Save List As", 5000)) return dialog;
      if (IsWindowVisible(menu)) CloseMenu(menu);
    }
  }
  return nullptr;
}

std::vector<ProgramDriver::MenuItem> Menu(bool copy, bool selectAll, bool save) {
  return {{L"&Copy", !copy}, {L"Select &All", !selectAll}, {L"", false}, {L"&Save List As...", !save}};
}

// The Read Disc Check lists' menu ends with Copy Files To and Save Checksums As, which act on the
// selected rows, then Verify Checksums and Resume Rescue From, which need no selection: all only
// between runs, when `save` is offered too.
std::vector<ProgramDriver::MenuItem> DiscMenu(bool copy, bool selectAll, bool save, bool copyFiles,
                                              bool resume = true) {
  auto items = Menu(copy, selectAll, save);
  items.push_back({L"Copy &Files To...", !copyFiles});
  items.push_back({L"Save C&hecksums As...", !copyFiles});
  items.push_back({L"&Verify Checksums...", !resume});
  items.push_back({L"&Resume Rescue From...", !resume});
  return items;
}

void ShowResultsFilterEntry(HWND discPanel, int entry) {
  HWND filter = GetDlgItem(discPanel, IDC_DISC_RESULTS_FILTER);
  SendMessageW(filter, CB_SETCURSEL, entry, 0);
  SendMessageW(discPanel, WM_COMMAND, MAKEWPARAM(IDC_DISC_RESULTS_FILTER, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(filter));
}

std::wstring Line(const ListRow& row, int columns) {
  std::wstring line = row.cells[0];
  for (int i = 1; i < columns; ++i) line += L"\t" + row.cells[i];
  return line + L"\r\n";
}

TEST(ResultsLists, EveryListCopiesItsSelectedRowsAndOffersItsMenu) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('X', DRIVE_FIXED, BadMediaUnixPath("scan/export"));
  TempFolder folder;
  RunProgram([&](ProgramDriver& program) {
    // An empty list offers nothing; the keyboard puts the menu at its top left corner.
    HWND copyPanel = program.ShowTask(IDC_TASK_COPY_UNREADABLE, IDC_COPY_START);
    HWND copyList = GetDlgItem(copyPanel, IDC_COPY_RESULTS);
    HWND menu = OpenMenuFromKeyboard(program, copyList);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(MenuCornerIn(copyList, menu).x, 0);
    EXPECT_EQ(MenuCornerIn(copyList, menu).y, 0);
    EXPECT_EQ(ProgramDriver::MenuItems(menu), Menu(false, false, false));
    CloseMenu(menu);

    // One run of each task; the files come in by drops.
    DropOnList(copyPanel, IDC_COPY_RESULTS, {kCommaFile});
    program.Browse(GetDlgItem(copyPanel, IDC_COPY_DEST_BROWSE), L"Set destination name",
                   folder.path() + L"\\copy.bin");
    EXPECT_EQ(RunTask(program, copyPanel, IDC_COPY_START), L"Copy is complete.");
    HWND comparePanel = program.ShowTask(IDC_TASK_FILE_COMPARE, IDC_COMPARE_START);
    DropOnList(comparePanel, IDC_COMPARE_RESULTS, {kCommaFile, kJapaneseFile});
    EXPECT_EQ(RunTask(program, comparePanel, IDC_COMPARE_START), L"Files are not equal.");
    HWND filePanel = program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    DropOnList(filePanel, IDC_FILE_RESULTS, {kJapaneseFile});
    EXPECT_EQ(RunTask(program, filePanel, IDC_FILE_START), L"File is readable.");
    HWND discPanel = program.ShowTask(IDC_TASK_READ_DISC, IDC_DISC_START);
    DropOnList(discPanel, IDC_DISC_READ_OK_LIST, {kCommaFile});  // picks drive X:
    EXPECT_NE(RunTask(program, discPanel, IDC_DISC_START).find(L"Files scanned"), std::wstring::npos);

    HWND compareList = GetDlgItem(comparePanel, IDC_COMPARE_RESULTS);
    const auto digests = ReadListRows(compareList);
    ASSERT_EQ(digests.size(), 1u);
    const struct {
      int task, start;
      HWND list;
      std::wstring copied;
    } kLists[] = {
        {IDC_TASK_READ_DISC, IDC_DISC_START, GetDlgItem(discPanel, IDC_DISC_READ_OK_LIST),
         kCommaFile + L"\t10 bytes\tREAD OK\r\n" + kJapaneseFile + L"\t20 bytes\tREAD OK\r\n"},
        {IDC_TASK_READ_DISC, IDC_DISC_START, GetDlgItem(discPanel, IDC_DISC_READ_ERROR_LIST),
         L"X:\\bad.bin\t4096 bytes\tREAD ERROR\r\n"},
        {IDC_TASK_READ_FILE, IDC_FILE_START, GetDlgItem(filePanel, IDC_FILE_RESULTS),
         kJapaneseFile + L"\t20 bytes\tREAD OK\r\n"},
        {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, compareList, Line(digests[0], 2)},
        {IDC_TASK_COPY_UNREADABLE, IDC_COPY_START, copyList, L"10 bytes (100%)\t0 bytes (0%)\r\n"},
    };
    for (const auto& list : kLists) {
      SCOPED_TRACE(Narrow(list.copied));
      program.ShowTask(list.task, list.start);
      // The READ ERROR list shows when the filter picks it.
      ShowResultsFilterEntry(discPanel, list.list == GetDlgItem(discPanel, IDC_DISC_READ_ERROR_LIST) ? 1 : 0);
      ProgramDriver::SetClipboardText(L"before");
      // Held for a moment, as a clipboard viewer holds it after each change: the copy waits.
      ASSERT_TRUE(OpenClipboard(nullptr));
      SelectAllAndCopy(list.list);
      Sleep(150);
      CloseClipboard();
      EXPECT_TRUE(ProgramDriver::WaitUntil([&] { return ProgramDriver::ClipboardText() == list.copied; }, 5000))
          << Narrow(ProgramDriver::ClipboardText());
    }

    // With nothing selected Ctrl+C leaves the clipboard alone; a right click selects the row
    // under the mouse and its Copy takes that row only.
    HWND readOk = GetDlgItem(discPanel, IDC_DISC_READ_OK_LIST);
    program.ShowTask(IDC_TASK_READ_DISC, IDC_DISC_START);
    ShowResultsFilterEntry(discPanel, 0);
    LVITEMW none = {};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(readOk, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    ProgramDriver::SetClipboardText(L"kept");
    menu = OpenMenuFromKeyboard(program, readOk);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(ProgramDriver::MenuItems(menu), DiscMenu(false, true, true, false));
    CloseMenu(menu);
    ProgramDriver::PressKeys({VK_CONTROL}, 'C');
    RECT row = {LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(readOk, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
    ProgramDriver::RightClick(readOk, {row.left + 20, (row.top + row.bottom) / 2});
    menu = program.WaitForPopupMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(ProgramDriver::ClipboardText(), L"kept");
    EXPECT_EQ(ProgramDriver::MenuItems(menu), DiscMenu(true, true, true, true));
    ProgramDriver::PressKeys({}, 'C');
    EXPECT_TRUE(ProgramDriver::WaitUntil(
        [&] { return ProgramDriver::ClipboardText() == kJapaneseFile + L"\t20 bytes\tREAD OK\r\n"; }, 5000));

    // The keyboard menu opens at the focused row.
    menu = OpenMenuFromKeyboard(program, readOk);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(MenuCornerIn(readOk, menu).x, row.left > 0 ? row.left : 0);
    EXPECT_EQ(MenuCornerIn(readOk, menu).y, row.bottom);
    CloseMenu(menu);
  });
}

// During a run the rows so far can be copied, but not saved, and drops wait for its end.
TEST(ResultsLists, DuringARunRowsCanBeCopiedButNotSavedAndDropsAreIgnored) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('U', DRIVE_REMOVABLE, BadMediaUnixPath("scan/cancel"));
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    DropOnList(panel, IDC_DISC_READ_OK_LIST, {L"U:\\a-first.bin"});
    program.Click(GetDlgItem(panel, IDC_DISC_START));
    ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
      return ProgramDriver::Text(GetDlgItem(panel, IDC_DISC_STATUS)).find(L"m-slow.bin") != std::wstring::npos;
    }));
    SelectAllAndCopy(GetDlgItem(panel, IDC_DISC_READ_OK_LIST));
    EXPECT_TRUE(ProgramDriver::WaitUntil([&] {
      return ProgramDriver::ClipboardText() ==
             L"U:\\a-first.bin\t10 bytes\tREAD OK\r\nU:\\b\\a-first.bin\t10 bytes\tREAD OK\r\n"
             L"U:\\b\\c\\a-first.bin\t10 bytes\tREAD OK\r\n";
    }, 5000)) << Narrow(ProgramDriver::ClipboardText());
    HWND menu = OpenMenuFromKeyboard(program, GetDlgItem(panel, IDC_DISC_READ_OK_LIST));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(ProgramDriver::MenuItems(menu), DiscMenu(true, true, false, false, false));
    CloseMenu(menu);
    DropOnList(panel, IDC_DISC_READ_OK_LIST, {L"C:\\windows"});
    program.Click(GetDlgItem(panel, IDC_DISC_CANCEL));
    EXPECT_EQ(program.AnswerMessageBox().text, L"Operation cancelled.");
    EXPECT_NE(ProgramDriver::Text(GetDlgItem(panel, IDC_DISC_DRIVE_LIST)).find(L"(U:)"), std::wstring::npos);
  });
}

// Takes every byte that is left on the file system of `folder`; removed with the object.
struct Filler {
  explicit Filler(const std::wstring& folder) : path(folder + L"\\filler.bin") {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string block(4096, 'f');
    DWORD written = 4096;
    while (written == 4096 && WriteFile(file, block.data(), 4096, &written, nullptr)) {}
    CloseHandle(file);
  }
  ~Filler() { DeleteFileW(path.c_str()); }
  std::wstring path;
};

// The READ OK rows of drive X: saved as CSV (1) or as tab-separated text (2).
const std::string kSaved[] = {
    "\xEF\xBB\xBF" "File Name,File Size,Status\r\n\"X:\\a,b.bin\",10 bytes,READ OK\r\n"
    "X:\\\xE6\x97\xA5\xE6\x9C\xAC.bin,20 bytes,READ OK\r\n",
    "\xEF\xBB\xBF" "File Name\tFile Size\tStatus\r\nX:\\a,b.bin\t10 bytes\tREAD OK\r\n"
    "X:\\\xE6\x97\xA5\xE6\x9C\xAC.bin\t20 bytes\tREAD OK\r\n",
};

TEST(ResultsLists, SaveListAsWritesTheWholeListOrLeavesEverythingAsItWas) {
  REQUIRE_BAD_MEDIA();
  REQUIRE_SALVAGE_DISKS();
  TestDrive drive('X', DRIVE_FIXED, BadMediaUnixPath("scan/export"));
  TempFolder folder;
  WriteFileBytes(folder.path() + L"\\old.csv", "old list\r\n");
  const std::wstring existingLists[] = {SalvageDisk("full"), BadMediaPath("out/save-short"),
                                       BadMediaPath("out/save-full"), BadMediaPath("out/save-gone")};
  for (const auto& faulty : existingLists) WriteFileBytes(faulty + L"\\list.csv", "old list\r\n");
  Filler noRoomLeft(SalvageDisk("full"));
  const struct {
    std::wstring folder, typed;
    int type;
    std::wstring savedAs;  // the file the list goes to; it already exists when `replace`
    bool replace, saved;
  } kCases[] = {
      // The dialog adds the extension of the chosen type.
      {folder.path(), L"rows, \u65e5\u672c", 1, L"rows, \u65e5\u672c.csv", false, true},
      {folder.path(), L"rows", 2, L"rows.txt", false, true},
      {folder.path(), L"old", 1, L"old.csv", true, true},
      {SalvageDisk("readonly"), L"kept.txt", 2, L"kept.txt", true, false},
      {SalvageDisk("full"), L"list", 1, L"list.csv", true, false},
      // Writes cut short, a full disk, a medium that goes away.
      {BadMediaPath("out/save-short"), L"list", 1, L"list.csv", true, false},
      {BadMediaPath("out/save-full"), L"list", 1, L"list.csv", true, false},
      {BadMediaPath("out/save-gone"), L"list", 1, L"list.csv", true, false},
  };
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    DropOnList(panel, IDC_DISC_READ_OK_LIST, {kCommaFile});
    RunTask(program, panel, IDC_DISC_START);
    HWND list = GetDlgItem(panel, IDC_DISC_READ_OK_LIST);
    for (const auto& c : kCases) {
      SCOPED_TRACE(Narrow(c.folder + L"\\" + c.typed));
      const std::wstring target = c.folder + L"\\" + c.savedAs;
      const std::vector<std::wstring> filesBefore = FilesIn(c.folder);
      const std::string before = FileBytes(target);
      HWND dialog = OpenSaveDialog(program, list);
      ASSERT_NE(dialog, nullptr);
      HWND type = GetDlgItem(dialog, kFileTypeBox);
      SendMessageW(type, CB_SETCURSEL, c.type - 1, 0);
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kFileTypeBox, CBN_SELENDOK), reinterpret_cast<LPARAM>(type));
      ProgramDriver::ChooseFile(dialog, c.folder + L"\\" + c.typed, c.replace);
      if (c.saved) {
        // Read once the program has saved (it answers only then): a reader holding the old file
        // open makes the replacing of it fail.
        SendMessageW(program.mainWindow(), WM_NULL, 0, 0);
        EXPECT_EQ(FileBytes(target), kSaved[c.type - 1]);
      } else {
        const SeenMessageBox box = program.AnswerMessageBox();
        EXPECT_EQ(box.caption, L"Read Drive Check");
        EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(box.text.rfind(L"The list was not saved.\n\n", 0), 0u) << Narrow(box.text);
        EXPECT_GT(box.text.size(), 30u) << "no reason given";
        EXPECT_EQ(FileBytes(target), before);
      }
      // Nothing of the writing stays behind.
      std::vector<std::wstring> filesAfter = filesBefore;
      if (!c.replace && c.saved) filesAfter.push_back(c.savedAs);
      std::sort(filesAfter.begin(), filesAfter.end());
      EXPECT_EQ(FilesIn(c.folder), filesAfter);
    }
  });
  for (const auto& faulty : existingLists) DeleteFileW((faulty + L"\\list.csv").c_str());
}

// A drop fills what the Browse button beside it would; a folder or an over-long name is refused
// and changes nothing.
TEST(DroppedFiles, EachPanelTakesThemAsItsBrowseButtonWould) {
  TempFolder folder;
  const std::wstring a = folder.CreateFileOfSize(L"a.bin", 10);
  const std::wstring b = folder.CreateFileOfSize(L"b.bin", 20);
  const std::wstring c = folder.CreateFileOfSize(L"c.bin", 30);
  const std::wstring tooLong = folder.path() + L"\\" + std::wstring(260, L'x') + L".bin";
  const wchar_t* kFolderRefused = L"A folder was dropped. Only a file can be used here.";
  const wchar_t* kTooLong =
      L"The name of the dropped file is longer than 259 characters, which this program cannot use. "
      L"Move the file to a shorter path and drop it again.";
  const struct {
    int task, start;
    int target;  // the control dropped on; 0: the results list
    std::vector<std::wstring> names;
    int fields[2];
    std::wstring shown[2];  // the fields afterwards
    const wchar_t* refusal;
  } kDrops[] = {
      {IDC_TASK_READ_FILE, IDC_FILE_START, 0, {a, b}, {IDC_FILE_PATH}, {a}, nullptr},
      {IDC_TASK_READ_FILE, IDC_FILE_START, 0, {folder.path()}, {IDC_FILE_PATH}, {a}, kFolderRefused},
      {IDC_TASK_READ_FILE, IDC_FILE_START, IDC_FILE_PATH, {tooLong}, {IDC_FILE_PATH}, {a}, kTooLong},
      {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, 0, {a}, {IDC_COMPARE_FIRST_PATH, IDC_COMPARE_SECOND_PATH}, {a, L""}, nullptr},
      {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, 0, {b}, {IDC_COMPARE_FIRST_PATH, IDC_COMPARE_SECOND_PATH}, {a, b}, nullptr},
      {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, 0, {c}, {IDC_COMPARE_FIRST_PATH, IDC_COMPARE_SECOND_PATH}, {c, b}, nullptr},
      {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, IDC_COMPARE_SECOND_PATH, {a}, {IDC_COMPARE_FIRST_PATH, IDC_COMPARE_SECOND_PATH}, {c, a}, nullptr},
      {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, IDC_COMPARE_FIRST_BROWSE, {b}, {IDC_COMPARE_FIRST_PATH, IDC_COMPARE_SECOND_PATH}, {b, a}, nullptr},
      {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, 0, {c, b, a}, {IDC_COMPARE_FIRST_PATH, IDC_COMPARE_SECOND_PATH}, {c, b}, nullptr},
      {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, 0, {a, folder.path()}, {IDC_COMPARE_FIRST_PATH, IDC_COMPARE_SECOND_PATH}, {c, b}, kFolderRefused},
      {IDC_TASK_COPY_UNREADABLE, IDC_COPY_START, IDC_COPY_DEST_PATH, {a}, {IDC_COPY_SOURCE_PATH, IDC_COPY_DEST_PATH}, {a, L""}, nullptr},
      // Read Disc Check: a file or folder picks its drive; a name on no listed drive nothing.
      {IDC_TASK_READ_DISC, IDC_DISC_START, 0, {L"Z:\\tmp"}, {IDC_DISC_DRIVE_LIST}, {L"(Z:)"}, nullptr},
      {IDC_TASK_READ_DISC, IDC_DISC_START, 0, {L"\\\\server\\share\\a.bin"}, {IDC_DISC_DRIVE_LIST}, {L"(Z:)"}, nullptr},
      {IDC_TASK_READ_DISC, IDC_DISC_START, 0, {a}, {IDC_DISC_DRIVE_LIST}, {L"(C:)"}, nullptr},
  };
  RunProgram([&](ProgramDriver& program) {
    for (const auto& drop : kDrops) {
      SCOPED_TRACE(Narrow(drop.names[0]));
      HWND panel = program.ShowTask(drop.task, drop.start);
      const int lists[] = {IDC_FILE_RESULTS, IDC_COMPARE_RESULTS, IDC_COPY_RESULTS, IDC_DISC_READ_OK_LIST};
      const int list = lists[drop.task == IDC_TASK_READ_DISC ? 3 : drop.task - IDC_TASK_READ_FILE];
      const POINT at = CentreOf(panel, drop.target ? drop.target : list);
      ProgramDriver::DropFiles(panel, at, drop.names, !drop.refusal);
      if (drop.refusal) {
        const SeenMessageBox box = program.AnswerMessageBox();
        EXPECT_EQ(box.caption, drop.task == IDC_TASK_READ_FILE ? L"Read File Check" : L"Compare File");
        EXPECT_EQ(box.text, drop.refusal);
        EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
      }
      for (int i = 0; i < 2 && drop.fields[i]; ++i) {
        const std::wstring shown = ProgramDriver::Text(GetDlgItem(panel, drop.fields[i]));
        if (drop.fields[i] == IDC_DISC_DRIVE_LIST) {
          EXPECT_NE(shown.find(drop.shown[i]), std::wstring::npos) << Narrow(shown);
        } else {
          EXPECT_EQ(shown, drop.shown[i]);
        }
      }
    }
    // As though chosen with Browse: the file reaches the task.
    HWND filePanel = program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    EXPECT_EQ(RunTask(program, filePanel, IDC_FILE_START), L"File is readable.");
  });
}

// Windows NT 4: the dropped name comes as its short name when the code page cannot hold it,
// on the panels with wide dialogs and on the one with ANSI dialogs alike; a list is saved
// through the ANSI dialog.
TEST(AnsiVariant, DroppedNameOutsideTheCodePageReachesTheFileAndListsSaveThroughTheAnsiDialog) {
  ASSERT_EQ(g_osMajorVersion, 4);
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"\u8aad\u307f\u53d6\u308a.bin", 5000);
  RunProgram([&](ProgramDriver& program) {
    const struct {
      int task, start, list, field;
      const wchar_t* outcome;
    } kPanels[] = {
        {IDC_TASK_READ_FILE, IDC_FILE_START, IDC_FILE_RESULTS, IDC_FILE_PATH, L"File is readable."},
        {IDC_TASK_COPY_UNREADABLE, IDC_COPY_START, IDC_COPY_RESULTS, IDC_COPY_SOURCE_PATH, L"Copy is complete."},
    };
    for (const auto& task : kPanels) {
      HWND panel = program.ShowTask(task.task, task.start);
      DropOnList(panel, task.list, {path});
      char ansi[MAX_PATH] = {};
      GetWindowTextA(GetDlgItem(panel, task.field), ansi, MAX_PATH);
      EXPECT_NE(std::string(ansi).find('~'), std::string::npos) << ansi;
      EXPECT_NE(GetFileAttributesA(ansi), INVALID_FILE_ATTRIBUTES) << ansi;
      if (task.task == IDC_TASK_COPY_UNREADABLE) {
        program.Browse(GetDlgItem(panel, IDC_COPY_DEST_BROWSE), L"Set destination name", folder.path() + L"\\copy.bin");
      }
      EXPECT_EQ(RunTask(program, panel, task.start), task.outcome);
    }
    // The list is saved through the ANSI dialog and calls of this system.
    HWND fileList = GetDlgItem(program.PanelWith(IDC_FILE_START), IDC_FILE_RESULTS);
    program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    HWND dialog = OpenSaveDialog(program, fileList);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowUnicode(dialog));
    ProgramDriver::ChooseFile(dialog, folder.path() + L"\\list");
    const std::string header = "\xEF\xBB\xBF" "File Name,File Size,Status\r\n";
    EXPECT_TRUE(ProgramDriver::WaitUntil([&] {
      return FileBytes(folder.path() + L"\\list.csv").rfind(header, 0) == 0;
    }, 5000));
  });
}

}  // namespace
