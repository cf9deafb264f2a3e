#include <windows.h>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "tests/support/bad_media.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_windows.h"

namespace {

// The Copy Unreadable File panel, shown, with its controls.
struct CopyPanel {
  explicit CopyPanel(ProgramDriver& program)
      : program(program), panel(program.ShowTask(IDC_TASK_COPY_UNREADABLE, IDC_COPY_START)) {}
  HWND control(int id) const { return GetDlgItem(panel, id); }
  void Choose(const std::wstring& source, const std::wstring& destination) {
    program.Browse(control(IDC_COPY_SOURCE_BROWSE), L"Select source file", source);
    program.Browse(control(IDC_COPY_DEST_BROWSE), L"Set destination name", destination);
  }
  SeenMessageBox CopyAndAnswer() {
    program.Click(control(IDC_COPY_START));
    return program.AnswerMessageBox();
  }
  std::vector<ListRow> rows() const { return ReadListRows(control(IDC_COPY_RESULTS)); }
  // How many of Close, the panel's own controls and the four task buttons can be used:
  // all 8 when idle, none during a copy.
  int Usable() const {
    int usable = program.CloseEnabled() ? 1 : 0;
    for (int id : {IDC_COPY_SOURCE_BROWSE, IDC_COPY_DEST_BROWSE, IDC_COPY_START}) {
      usable += IsWindowEnabled(control(id)) ? 1 : 0;
    }
    for (int task = 0; task < kTaskCount; ++task) {
      usable += IsWindowEnabled(GetDlgItem(program.mainWindow(), kTaskButtonIds[task])) ? 1 : 0;
    }
    return usable;
  }

  ProgramDriver& program;
  HWND panel;
};

TEST(CopyUnreadableFile, RowOfEachCopyReplacesTheLastAfterAFailedOneAndSameNamesAreRefused) {
  REQUIRE_BAD_MEDIA();
  TempFolder folder;
  const std::wstring empty = folder.CreateFileOfSize(L"empty.bin", 0);
  const std::wstring first = folder.path() + L"\\rescued.bin";
  const std::wstring second = folder.path() + L"\\empty-copy.bin";
  RunProgram([&](ProgramDriver& program) {
    CopyPanel panel(program);
    // The destination's medium goes away: the copy stops there and the panel is ready again.
    const std::wstring lost = BadMediaPath("out/medium-gone-panel") + L"\\copy.bin";
    panel.Choose(BadMediaPath("salvage/fault_source.bin"), lost);
    SeenMessageBox box = panel.CopyAndAnswer();
    EXPECT_EQ(box.text, L"Copy is incomplete: the destination could not be written after 614400 of 1048576 bytes.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(panel.rows().empty());
    EXPECT_FALSE(IsWindowVisible(panel.control(IDC_COPY_CANCEL)));
    EXPECT_TRUE(ProgramDriver::WaitUntil([&] { return panel.Usable() == 8; }));
    DeleteFileW(lost.c_str());

    panel.Choose(BadMediaPath("salvage/gui_unreadable.bin"), first);
    box = panel.CopyAndAnswer();
    EXPECT_EQ(box.caption, L"Copy Unreadable File");
    EXPECT_EQ(box.text, L"Copy is complete.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    auto rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], L"61440 bytes (93%)");
    EXPECT_EQ(rows[0].cells[1], L"4096 bytes (7%)");
    EXPECT_TRUE(ProgramDriver::WaitUntil([&] { return panel.Usable() == 8; }));

    panel.Choose(empty, second);
    EXPECT_EQ(panel.CopyAndAnswer().text, L"Copy is complete.");
    rows = panel.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], L"0 bytes (100%)");
    EXPECT_EQ(rows[0].cells[1], L"0 bytes (0%)");
    EXPECT_NE(GetFileAttributesW(second.c_str()), INVALID_FILE_ATTRIBUTES);

    // The destination dialog proposes the source itself; taking it is refused.
    program.Browse(panel.control(IDC_COPY_DEST_BROWSE), L"Set destination name", empty);
    box = panel.CopyAndAnswer();
    EXPECT_EQ(box.text, L"Source filepath and destination filepath are the same.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(panel.rows().size(), 1u);
  });
}

TEST(CopyUnreadableFile, BusyDuringASlowCopyAndCancelLeavesNoDestination) {
  REQUIRE_BAD_MEDIA();
  TempFolder folder;
  const std::wstring destination = folder.path() + L"\\slow-copy.bin";
  RunProgram([&](ProgramDriver& program) {
    CopyPanel panel(program);
    panel.Choose(BadMediaPath("salvage/slow.bin"), destination);
    program.Click(panel.control(IDC_COPY_START));
    HWND status = panel.control(IDC_COPY_STATUS);
    ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
      return ProgramDriver::Text(status).find(L" - COPYING ") != std::wstring::npos;
    }));
    HWND cancel = panel.control(IDC_COPY_CANCEL);
    EXPECT_TRUE(IsWindowVisible(cancel));
    EXPECT_EQ(panel.Usable(), 0);
    program.Click(cancel);
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.text, L"Operation cancelled.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(GetFileAttributesW(destination.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(panel.rows().empty());
    EXPECT_EQ(ProgramDriver::Text(status), L"");
    EXPECT_FALSE(IsWindowVisible(cancel));
    EXPECT_TRUE(ProgramDriver::WaitUntil([&] { return panel.Usable() == 8; }));
  });
}

}  // namespace
