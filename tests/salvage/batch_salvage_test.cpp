// Copy Files To... on the Read Disc Check lists: the rows of a scanned bad-media drive rescued
// into a folder through the real panel, its folder chooser and its closing messages.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/run_state.h"
#include "tests/support/bad_media.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_drives.h"
#include "tests/support/test_windows.h"

namespace {

// Scans `letter` on the Read Disc Check panel and answers its summary.
HWND ScanDrive(ProgramDriver& program, char letter) {
  HWND panel = program.PanelWith(IDC_DISC_START);
  ProgramDriver::DropFiles(panel, {10, 10}, {std::wstring(1, letter) + L":\\"});
  program.Click(GetDlgItem(panel, IDC_DISC_START));
  program.AnswerMessageBox();
  return panel;
}

// Selects every row of the READ OK (0) or READ ERROR (1) list and copies them into `folder`
// with the list's menu; the closing message.
SeenMessageBox CopyRowsTo(ProgramDriver& program, HWND panel, int filter, const std::wstring& folder) {
  HWND filterBox = GetDlgItem(panel, IDC_DISC_RESULTS_FILTER);
  SendMessageW(filterBox, CB_SETCURSEL, filter, 0);
  SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_DISC_RESULTS_FILTER, CBN_SELCHANGE), reinterpret_cast<LPARAM>(filterBox));
  HWND list = GetDlgItem(panel, filter == 0 ? IDC_DISC_READ_OK_LIST : IDC_DISC_READ_ERROR_LIST);
  ProgramDriver::Focus(list);
  ProgramDriver::PressKeys({VK_CONTROL}, 'A');
  ProgramDriver::PressKeys({VK_SHIFT}, VK_F10);
  if (!program.WaitForPopupMenu()) return {};
  ProgramDriver::PressKeys({}, 'F');
  HWND dialog = program.WaitForFileDialog(L"Copy Files To");
  if (!dialog) return {};
  ProgramDriver::ChooseFile(dialog, folder);
  return program.AnswerMessageBox();
}

std::wstring Counts(int whole, int withErrors, int already, int notCopied, int unread) {
  return L"Files copied whole\t\t\t: " + std::to_wstring(whole) + L"\nFiles copied with unreadable parts\t: " +
         std::to_wstring(withErrors) + L"\nFiles already there\t\t\t: " + std::to_wstring(already) +
         L"\nFiles not copied\t\t\t: " + std::to_wstring(notCopied) + L"\n\nBytes that could not be read: " +
         std::to_wstring(unread) + L"\nReport: ";
}

// The reports in `folder`, oldest first, each checked for its name and its header line.
std::vector<std::string> Reports(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const auto& name : FilesIn(folder)) {
    // "Copy report YYYY-MM-DD HH-MM-SS.csv", or " (2)" and on before ".csv" within one second.
    if (name.rfind(L"Copy report ", 0) == 0) names.push_back(name.substr(0, name.size() - 4));
    EXPECT_TRUE(name.size() == 35 || name.size() == 39 || name.rfind(L"Copy report ", 0) != 0) << Narrow(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> reports;
  for (const auto& name : names) {
    const std::string text = FileBytes(folder + L"\\" + name + L".csv");
    const std::string header = "\xEF\xBB\xBF" "File Name,Copied To,File Size,Correct Bytes,Error Bytes,Result\r\n";
    EXPECT_EQ(text.rfind(header, 0), 0u) << text;
    reports.push_back(text.substr(header.size()));
  }
  return reports;
}

// Whether two files have the same creation and last-write times.
bool SameTimes(const std::wstring& a, const std::wstring& b) {
  WIN32_FILE_ATTRIBUTE_DATA first = {}, second = {};
  GetFileAttributesExW(a.c_str(), GetFileExInfoStandard, &first);
  GetFileAttributesExW(b.c_str(), GetFileExInfoStandard, &second);
  return CompareFileTime(&first.ftCreationTime, &second.ftCreationTime) == 0 &&
         CompareFileTime(&first.ftLastWriteTime, &second.ftLastWriteTime) == 0;
}

TEST(CopyFilesTo, RescuesTheUnreadableThenTheReadableFilesAndLeavesCopiesAlreadyThere) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('W', DRIVE_REMOVABLE, BadMediaUnixPath("scan/rescue"));
  TempFolder folder;
  const std::wstring to = folder.path();
  const std::string t = Narrow(to);
  const struct {
    const char* file;  // in the tree, below scan/rescue/
    std::int64_t length;
    std::vector<ByteRange> unreadable;
  } kCopies[] = {{"bad-middle.bin", 40960, {{20480, 24576}}}, {"bad-last.bin", 8192, {}},
                 {"ok.bin", 10000, {}}, {"empty.bin", 0, {}}, {"a/b/c/deep.bin", 5000, {}},
                 {"\xE6\x97\xA5\xE6\x9C\xAC.bin", 20, {}}};
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'W');
    SeenMessageBox box = CopyRowsTo(program, panel, 1, to);
    EXPECT_EQ(box.caption, L"Read Drive Check");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(0, 2, 0, 0, 4096 + 1808) + to + L"\\Copy report ", 0), 0u)
        << Narrow(box.text);
    box = CopyRowsTo(program, panel, 0, to);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(4, 0, 0, 0, 0), 0), 0u) << Narrow(box.text);
  });
  const std::vector<std::string> reports = Reports(to);
  ASSERT_EQ(reports.size(), 2u);
  // In list order, which is the file system's listing order.
  EXPECT_EQ(reports[0], "W:\\bad-last.bin," + t + "\\bad-last.bin,10000,8192,1808,COPIED WITH ERRORS\r\n"
                        "W:\\bad-middle.bin," + t + "\\bad-middle.bin,40960,36864,4096,COPIED WITH ERRORS\r\n");
  EXPECT_EQ(reports[1], "W:\\a\\b\\c\\deep.bin," + t + "\\a\\b\\c\\deep.bin,5000,5000,0,COPIED\r\nW:\\empty.bin," + t +
                        "\\empty.bin,0,0,0,COPIED\r\nW:\\ok.bin," + t + "\\ok.bin,10000,10000,0,COPIED\r\n"
                        "W:\\\xE6\x97\xA5\xE6\x9C\xAC.bin," + t + "\\\xE6\x97\xA5\xE6\x9C\xAC.bin,20,20,0,COPIED\r\n");
  for (const auto& copy : kCopies) {
    std::wstring below = Widen(copy.file);
    for (auto& unit : below) unit = unit == L'/' ? L'\\' : unit;
    const std::string tree = std::string("scan/rescue/") + copy.file;
    SCOPED_TRACE(tree);
    EXPECT_EQ(FileLength(to + L"\\" + below), copy.length);
    EXPECT_EQ(FirstWrongByte(to + L"\\" + below, tree.c_str(), copy.unreadable), -1);
    EXPECT_TRUE(SameTimes(to + L"\\" + below, BadMediaPath(tree.c_str())));
  }

  // Again into the same folder: every file is there already, and no source is opened.
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'W');
    const BadMediaReadLog afterScan;
    EXPECT_EQ(CopyRowsTo(program, panel, 1, to).text.rfind(L"Copy complete.\n\n" + Counts(0, 0, 2, 0, 0), 0), 0u);
    EXPECT_EQ(CopyRowsTo(program, panel, 0, to).text.rfind(L"Copy complete.\n\n" + Counts(0, 0, 4, 0, 0), 0), 0u);
    for (const auto& copy : kCopies) {
      EXPECT_EQ(afterScan.OpensOf((std::string("scan/rescue/") + copy.file).c_str()), 0) << copy.file;
    }
  });
  EXPECT_EQ(Reports(to).size(), 4u);
}

TEST(CopyFilesTo, CancelDeletesTheFileInHandAndKeepsTheFilesBefore) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('U', DRIVE_REMOVABLE, BadMediaUnixPath("scan/cancel"));
  TempFolder folder;
  const std::string t = Narrow(folder.path());
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'U');
    HWND status = GetDlgItem(panel, IDC_DISC_STATUS);
    std::thread user([&] {
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
        return ProgramDriver::Text(status).rfind(L"Copying file 4 of 7: U:\\b\\c\\m-slow.bin - ", 0) == 0;
      }));
      program.Click(GetDlgItem(panel, IDC_DISC_CANCEL));
    });
    const SeenMessageBox box = CopyRowsTo(program, panel, 0, folder.path());
    user.join();
    EXPECT_EQ(box.text, L"Operation cancelled.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
  });
  EXPECT_EQ(FilesIn(folder.path() + L"\\b\\c"), std::vector<std::wstring>{L"a-first.bin"});
  const std::vector<std::string> reports = Reports(folder.path());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "U:\\a-first.bin," + t + "\\a-first.bin,10,10,0,COPIED\r\nU:\\b\\a-first.bin," + t +
                        "\\b\\a-first.bin,10,10,0,COPIED\r\nU:\\b\\c\\a-first.bin," + t +
                        "\\b\\c\\a-first.bin,10,10,0,COPIED\r\nU:\\b\\c\\m-slow.bin,,4194304,,,CANCELLED\r\n"
                        "U:\\b\\c\\z-after.bin,,10,,,NOT REACHED\r\nU:\\b\\z-after.bin,,10,,,NOT REACHED\r\n"
                        "U:\\z-after.bin,,10,,,NOT REACHED\r\n");
}

// A full disk and a medium that goes away while b-big.bin is written; a folder on the checked
// drive, one too small and one that cannot be written are refused with nothing written.
TEST(CopyFilesTo, AFailedWriteStopsTheRunAndUnfitFoldersAreRefused) {
  REQUIRE_BAD_MEDIA();
  REQUIRE_SALVAGE_DISKS();
  TestDrive drive('V', DRIVE_REMOVABLE, BadMediaUnixPath("scan/rescue-fault"));
  const struct {
    std::wstring folder, message;
    std::vector<std::wstring> filesAfter;
  } kCases[] = {
      {BadMediaPath("out/rescue-full"), L"Copying stopped: the folder could not be written.\n\n", {L"a-small.bin"}},
      {BadMediaPath("out/rescue-gone"), L"Copying stopped: the folder could not be written.\n\n", {L"a-small.bin"}},
      {L"V:\\", L"The folder is on the drive being checked. Writing to a failing medium can destroy what is still "
                L"readable on it: choose a folder on another drive.", {}},
      {SalvageDisk("full"), L"There is not enough free space in the folder.\n\nNeeded: 1058826 bytes\nFree: ", {}},
      {SalvageDisk("readonly"), L"The folder does not exist or cannot be written.\n\n", {}},
  };
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'V');
    for (const auto& c : kCases) {
      SCOPED_TRACE(Narrow(c.folder));
      const std::vector<std::wstring> before = FilesIn(c.folder);
      const SeenMessageBox box = CopyRowsTo(program, panel, 0, c.folder);
      EXPECT_EQ(box.text.rfind(c.message, 0), 0u) << Narrow(box.text);
      EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
      std::vector<std::wstring> after = FilesIn(c.folder);
      if (c.filesAfter.empty()) {
        EXPECT_EQ(after, before);
        continue;
      }
      EXPECT_NE(box.text.find(Counts(1, 0, 0, 2, 0)), std::wstring::npos) << Narrow(box.text);
      EXPECT_EQ(FirstWrongByte(c.folder + L"\\a-small.bin", "scan/rescue-fault/a-small.bin", {}), -1);
      EXPECT_EQ(FileLength(c.folder + L"\\a-small.bin"), 10240);
      EXPECT_EQ(FileLength(c.folder + L"\\b-big.bin"), -1);
      for (const auto& name : after) DeleteFileW((c.folder + L"\\" + name).c_str());
    }
  });
}

// Windows NT 4: the ANSI folder browser and ANSI calls; a name outside the code page was
// listed without a size and is not copied.
TEST(AnsiVariant, CopyFilesToGoesThroughTheAnsiCalls) {
  REQUIRE_BAD_MEDIA();
  ASSERT_EQ(g_osMajorVersion, 4);
  TestDrive drive('W', DRIVE_REMOVABLE, BadMediaUnixPath("scan/rescue"));
  TempFolder folder;
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'W');
    const SeenMessageBox box = CopyRowsTo(program, panel, 1, folder.path());
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(0, 2, 0, 1, 4096 + 1808), 0), 0u) << Narrow(box.text);
  });
  EXPECT_EQ(FirstWrongByte(folder.path() + L"\\bad-middle.bin", "scan/rescue/bad-middle.bin", {{20480, 24576}}), -1);
  const std::vector<std::string> reports = Reports(folder.path());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("W:\\??.bin,,,,,NOT COPIED: size unknown\r\n"), std::string::npos) << reports[0];
}

}  // namespace
