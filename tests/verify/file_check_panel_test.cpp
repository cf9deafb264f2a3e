#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/run_state.h"
#include "tests/support/bad_media.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_windows.h"

namespace {

// The Read File Check panel, shown, with its controls.
struct FileCheckPanel {
  explicit FileCheckPanel(ProgramDriver& program)
      : program(program), panel(program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START)) {}
  HWND control(int id) const { return GetDlgItem(panel, id); }
  void Choose(const std::wstring& path) { program.Browse(control(IDC_FILE_BROWSE), L"Select file", path); }
  void Start() { program.Click(control(IDC_FILE_START)); }
  std::vector<ListRow> rows() const { return ReadListRows(control(IDC_FILE_RESULTS)); }
  // What the user sees before pressing Cancel: the progress of the file being read.
  bool WaitUntilReading() const {
    return ProgramDriver::WaitUntil([&] {
      return ProgramDriver::Text(control(IDC_FILE_STATUS)).find(L" - READING ") != std::wstring::npos;
    });
  }

  ProgramDriver& program;
  HWND panel;
};

TEST(ReadFileCheck, SelectFileFirstBeforeAnyBrowse) {
  RunProgram([](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Start();
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Read File Check");
    EXPECT_EQ(box.text, L"Select file first.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_TRUE(panel.rows().empty());
  });
}

TEST(ReadFileCheck, ReadableFileGivesOneRowAndSaysSo) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"readable.bin", 10000);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(path);
    EXPECT_EQ(ProgramDriver::Text(panel.control(IDC_FILE_PATH)), path);
    panel.Start();
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Read File Check");
    EXPECT_EQ(box.text, L"File is readable.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], path);
    EXPECT_EQ(rows[0].cells[1], L"10000 bytes");
    EXPECT_EQ(rows[0].cells[2], L"READ OK");
  });
}

// What a run looks like while its closing message box is up, and once it is dismissed.
struct BusySnapshot {
  bool closeEnabled;
  bool browseEnabled;
  bool startEnabled;
  bool taskButtonsEnabled;
  bool busyIcons;
};

BusySnapshot TakeSnapshot(ProgramDriver& program, FileCheckPanel& panel) {
  BusySnapshot snapshot = {};
  snapshot.closeEnabled = program.CloseEnabled();
  snapshot.browseEnabled = IsWindowEnabled(panel.control(IDC_FILE_BROWSE)) != FALSE;
  snapshot.startEnabled = IsWindowEnabled(panel.control(IDC_FILE_START)) != FALSE;
  snapshot.taskButtonsEnabled = true;
  snapshot.busyIcons = true;
  for (int task = 0; task < kTaskCount; ++task) {
    HWND button = GetDlgItem(program.mainWindow(), kTaskButtonIds[task]);
    snapshot.taskButtonsEnabled = snapshot.taskButtonsEnabled && IsWindowEnabled(button);
    snapshot.busyIcons = snapshot.busyIcons && program.ButtonIcon(button) == g_busyTaskIcons[task] &&
                         g_busyTaskIcons[task] != nullptr;
  }
  return snapshot;
}

TEST(ReadFileCheck, BusyWhileTheClosingMessageIsUpAndRestoredAfterwards) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"busy.bin", 100);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(path);
    BusySnapshot idle = TakeSnapshot(program, panel);
    EXPECT_TRUE(idle.closeEnabled);
    EXPECT_TRUE(idle.browseEnabled);
    EXPECT_TRUE(idle.startEnabled);
    EXPECT_TRUE(idle.taskButtonsEnabled);
    EXPECT_FALSE(idle.busyIcons);

    panel.Start();
    HWND box = program.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    BusySnapshot busy = TakeSnapshot(program, panel);
    EXPECT_FALSE(busy.closeEnabled);
    EXPECT_FALSE(busy.browseEnabled);
    EXPECT_FALSE(busy.startEnabled);
    EXPECT_FALSE(busy.taskButtonsEnabled);
    EXPECT_TRUE(busy.busyIcons);
    EXPECT_TRUE(IsWindowEnabled(panel.control(IDC_FILE_PATH)));  // read-only anyway
    ProgramDriver::PressOk(box);

    // The last task button is the last thing the run gives back.
    HWND lastTask = GetDlgItem(program.mainWindow(), kTaskButtonIds[kTaskCount - 1]);
    ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return IsWindowEnabled(lastTask) != FALSE; }));
    BusySnapshot after = TakeSnapshot(program, panel);
    EXPECT_TRUE(after.closeEnabled);
    EXPECT_TRUE(after.browseEnabled);
    EXPECT_TRUE(after.startEnabled);
    EXPECT_TRUE(after.taskButtonsEnabled);
    for (int task = 0; task < kTaskCount; ++task) {
      EXPECT_EQ(program.ButtonIcon(GetDlgItem(program.mainWindow(), kTaskButtonIds[task])),
                g_normalTaskIcons[task]);
    }
  });
}

TEST(ReadFileCheck, EmptyFileIsReadable) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"empty.bin", 0);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(path);
    panel.Start();
    EXPECT_EQ(program.AnswerMessageBox().text, L"File is readable.");
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[1], L"0 bytes");
    EXPECT_EQ(rows[0].cells[2], L"READ OK");
  });
}

TEST(ReadFileCheck, UnreadableBlockMakesTheFileNotReadable) {
  REQUIRE_BAD_MEDIA();
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(BadMediaPath("gui/unreadable.bin"));
    panel.Start();
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Read File Check");
    EXPECT_EQ(box.text, L"File is not readable.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[1], L"65536 bytes");
    EXPECT_EQ(rows[0].cells[2], L"READ ERROR");
  });
}

TEST(ReadFileCheck, FileDeletedAfterItWasChosenHasUnknownSize) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"gone.bin", 5000);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(path);
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    panel.Start();
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.text, L"File is not readable.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[1], L"Unknown size");
    EXPECT_EQ(rows[0].cells[2], L"READ ERROR");
  });
}

TEST(ReadFileCheck, CancelWhileASlowFileIsRead) {
  REQUIRE_BAD_MEDIA();
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(BadMediaPath("gui/slow.bin"));
    panel.Start();
    HWND cancel = panel.control(IDC_FILE_CANCEL);
    // The user sees the progress, then presses Cancel.
    ASSERT_TRUE(panel.WaitUntilReading());
    EXPECT_TRUE(IsWindowVisible(cancel));
    program.Click(cancel);
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Read File Check");
    EXPECT_EQ(box.text, L"Operation cancelled.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(panel.rows().empty());
    EXPECT_FALSE(IsWindowVisible(cancel));
    EXPECT_EQ(ProgramDriver::Text(panel.control(IDC_FILE_STATUS)), L"");
  });
}

TEST(ReadFileCheck, CloseDuringARunIsRefusedAndTheNextRunStartsUncancelled) {
  REQUIRE_BAD_MEDIA();
  TempFolder folder;
  const std::wstring small = folder.CreateFileOfSize(L"small.bin", 10);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(BadMediaPath("gui/slow.bin"));
    panel.Start();
    ASSERT_TRUE(panel.WaitUntilReading());
    // Alt+F4 while the file is read: the program stays, the run goes on.
    PostMessageW(program.mainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageW(program.mainWindow(), WM_NULL, 0, 0);
    EXPECT_TRUE(IsWindowVisible(program.mainWindow()));
    EXPECT_TRUE(IsWindowVisible(panel.control(IDC_FILE_CANCEL)));
    program.Click(panel.control(IDC_FILE_CANCEL));
    EXPECT_EQ(program.AnswerMessageBox().text, L"Operation cancelled.");

    // The cancel of that run does not carry over into the next.
    panel.Choose(small);
    panel.Start();
    EXPECT_EQ(program.AnswerMessageBox().text, L"File is readable.");
    EXPECT_EQ(panel.rows().size(), 1u);
  });
}

TEST(ReadFileCheck, TwoRunsInARowLeaveOnlyTheSecondRow) {
  TempFolder folder;
  const std::wstring first = folder.CreateFileOfSize(L"first.bin", 10);
  const std::wstring second = folder.CreateFileOfSize(L"second.bin", 20);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(first);
    panel.Start();
    program.AnswerMessageBox();
    panel.Choose(second);
    panel.Start();
    program.AnswerMessageBox();
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], second);
    EXPECT_EQ(rows[0].cells[1], L"20 bytes");
  });
}

TEST(FileBrowse, CancellingTheDialogLeavesTheFieldUnchanged) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"kept.bin", 10);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    panel.Choose(path);
    program.Click(panel.control(IDC_FILE_BROWSE));
    HWND dialog = program.WaitForFileDialog(L"Select file");
    ASSERT_NE(dialog, nullptr);
    ProgramDriver::CancelDialog(dialog);
    EXPECT_EQ(ProgramDriver::Text(panel.control(IDC_FILE_PATH)), path);
    panel.Start();
    EXPECT_EQ(program.AnswerMessageBox().text, L"File is readable.");
    EXPECT_EQ(panel.rows().at(0).cells[0], path);
  });
}

TEST(FileBrowse, WideDialogOpensWithTheStoredPath) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"stored.bin", 10);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    program.Click(panel.control(IDC_FILE_BROWSE));
    HWND dialog = program.WaitForFileDialog(L"Select file");
    ASSERT_NE(dialog, nullptr);
    ProgramDriver::ChooseFile(dialog, path);

    program.Click(panel.control(IDC_FILE_BROWSE));
    dialog = program.WaitForFileDialog(L"Select file");
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(ProgramDriver::FileNameIn(dialog).find(L"stored.bin"), std::wstring::npos)
        << Narrow(ProgramDriver::FileNameIn(dialog));
    ProgramDriver::CancelDialog(dialog);
  });
}

// Run with Windows reporting major version 4: the file dialog is still the wide one, while
// the path field is read through the ANSI call.
TEST(AnsiVariant, FileCheckDialogIsWideAndHighBytePathStillReachesTheFile) {
  ASSERT_EQ(g_osMajorVersion, 4);
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"caf\u00e9-\u00fc.bin", 3000);
  RunProgram([&](ProgramDriver& program) {
    FileCheckPanel panel(program);
    program.Click(panel.control(IDC_FILE_BROWSE));
    HWND dialog = program.WaitForFileDialog(L"Select file");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowUnicode(dialog));
    ProgramDriver::ChooseFile(dialog, path);
    panel.Start();
    EXPECT_EQ(program.AnswerMessageBox().text, L"File is readable.");
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], path);
    EXPECT_EQ(rows[0].cells[1], L"3000 bytes");
  });
}

}  // namespace
