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

// The File Compare panel, shown, with its controls.
struct ComparePanel {
  explicit ComparePanel(ProgramDriver& program)
      : program(program), panel(program.ShowTask(IDC_TASK_FILE_COMPARE, IDC_COMPARE_START)) {}
  HWND control(int id) const { return GetDlgItem(panel, id); }
  void Choose(const std::wstring& first, const std::wstring& second) {
    program.Browse(control(IDC_COMPARE_FIRST_BROWSE), L"Select first file", first);
    program.Browse(control(IDC_COMPARE_SECOND_BROWSE), L"Select second file", second);
  }
  void Compare() { program.Click(control(IDC_COMPARE_START)); }
  std::vector<ListRow> rows() const { return ReadListRows(control(IDC_COMPARE_RESULTS)); }
  bool Enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
  bool TaskButtonsEnabled() const {
    for (int task = 0; task < kTaskCount; ++task) {
      if (!IsWindowEnabled(GetDlgItem(program.mainWindow(), kTaskButtonIds[task]))) return false;
    }
    return true;
  }

  ProgramDriver& program;
  HWND panel;
};

TEST(FileCompare, ComparesTwoChosenFilesAndSaysWhetherTheyAreEqual) {
  TempFolder folder;
  const std::wstring first = folder.CreateFileOfSize(L"first.bin", 9000);
  const std::wstring copy = folder.CreateFileOfSize(L"copy.bin", 9000);
  const std::wstring longer = folder.CreateFileOfSize(L"longer.bin", 9001);
  RunProgram([&](ProgramDriver& program) {
    ComparePanel panel(program);
    ASSERT_NE(panel.panel, nullptr);
    panel.Compare();
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Compare File");
    EXPECT_EQ(box.text, L"Select first and second file.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));

    panel.Choose(first, copy);
    EXPECT_EQ(ProgramDriver::Text(panel.control(IDC_COMPARE_FIRST_PATH)), first);
    EXPECT_EQ(ProgramDriver::Text(panel.control(IDC_COMPARE_SECOND_PATH)), copy);
    panel.Compare();
    // Busy while the closing message is up: Browse, Compare, the task buttons and Close.
    HWND boxWindow = program.WaitForMessageBox();
    ASSERT_NE(boxWindow, nullptr);
    box = ProgramDriver::ReadMessageBox(boxWindow);
    EXPECT_EQ(box.text, L"Files are equal.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    for (int id : {IDC_COMPARE_FIRST_BROWSE, IDC_COMPARE_SECOND_BROWSE, IDC_COMPARE_START}) {
      EXPECT_FALSE(panel.Enabled(id)) << id;
    }
    EXPECT_FALSE(panel.TaskButtonsEnabled());
    EXPECT_FALSE(program.CloseEnabled());
    ProgramDriver::PressOk(boxWindow);
    ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return panel.TaskButtonsEnabled(); }));
    for (int id : {IDC_COMPARE_FIRST_BROWSE, IDC_COMPARE_SECOND_BROWSE, IDC_COMPARE_START}) {
      EXPECT_TRUE(panel.Enabled(id)) << id;
    }
    EXPECT_TRUE(program.CloseEnabled());
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0].size(), 32u);
    EXPECT_EQ(rows[0].cells[0], rows[0].cells[1]);

    // A second run with another second file replaces the row.
    program.Browse(panel.control(IDC_COMPARE_SECOND_BROWSE), L"Select second file", longer);
    panel.Compare();
    box = program.AnswerMessageBox();
    EXPECT_EQ(box.text, L"Files are not equal.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
    auto second = panel.rows();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].cells[0], rows[0].cells[0]);
    EXPECT_NE(second[0].cells[1], rows[0].cells[1]);
    EXPECT_EQ(ProgramDriver::Text(panel.control(IDC_COMPARE_STATUS)), L"");
  });
}

TEST(FileCompare, CancelWhileASlowFileIsDigested) {
  REQUIRE_BAD_MEDIA();
  TempFolder folder;
  const std::wstring small = folder.CreateFileOfSize(L"small.bin", 10);
  RunProgram([&](ProgramDriver& program) {
    ComparePanel panel(program);
    panel.Choose(BadMediaPath("compare/slow_cancel.bin"), small);
    panel.Compare();
    HWND cancel = panel.control(IDC_COMPARE_CANCEL);
    // The user sees the progress, then presses Cancel.
    ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
      return ProgramDriver::Text(panel.control(IDC_COMPARE_STATUS)).find(L" - CALCULATING ") !=
             std::wstring::npos;
    }));
    EXPECT_TRUE(IsWindowVisible(cancel));
    program.Click(cancel);
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Compare File");
    EXPECT_EQ(box.text, L"Operation cancelled.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(panel.rows().empty());
    EXPECT_FALSE(IsWindowVisible(cancel));
    EXPECT_EQ(ProgramDriver::Text(panel.control(IDC_COMPARE_STATUS)), L"");
  });
}

// Run with Windows reporting major version 4: the Read File Check and File Compare dialogs
// are wide, while the path fields are read back through the ANSI code page. A name that the
// code page cannot hold is shown as the file's short name, which reaches the file.
TEST(AnsiVariant, NameOutsideTheCodePageReachesTheFileByItsShortName) {
  ASSERT_EQ(g_osMajorVersion, 4);
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"\u8aad\u307f\u53d6\u308a.bin", 5000);
  RunProgram([&](ProgramDriver& program) {
    const struct {
      int task, start, browse, field;
      const wchar_t* title;
      const wchar_t* outcome;
    } kPanels[] = {
        {IDC_TASK_READ_FILE, IDC_FILE_START, IDC_FILE_BROWSE, IDC_FILE_PATH, L"Select file",
         L"File is readable."},
        {IDC_TASK_FILE_COMPARE, IDC_COMPARE_START, IDC_COMPARE_FIRST_BROWSE, IDC_COMPARE_FIRST_PATH,
         L"Select first file", L"Files are equal."},
    };
    for (const auto& task : kPanels) {
      HWND panel = program.ShowTask(task.task, task.start);
      ASSERT_NE(panel, nullptr);
      program.Browse(GetDlgItem(panel, task.browse), task.title, path);
      if (task.task == IDC_TASK_FILE_COMPARE) {
        program.Browse(GetDlgItem(panel, IDC_COMPARE_SECOND_BROWSE), L"Select second file", path);
      }
      // What the ANSI read-back gets is the name shown, unchanged.
      char ansi[MAX_PATH] = {};
      GetWindowTextA(GetDlgItem(panel, task.field), ansi, MAX_PATH);
      const std::wstring shown = ProgramDriver::Text(GetDlgItem(panel, task.field));
      EXPECT_EQ(Widen(ansi), shown);
      EXPECT_NE(shown, path);
      EXPECT_NE(shown.find(L'~'), std::wstring::npos) << Narrow(shown);
      program.Click(GetDlgItem(panel, task.start));
      EXPECT_EQ(program.AnswerMessageBox().text, task.outcome);
    }
  });
}

}  // namespace
