// The frame of the four task panels as a user finds it: lists, hidden Cancel buttons, the
// results filter, and the Browse dialogs of both system variants.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/run_state.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_windows.h"

namespace {

struct Column {
  std::wstring title;
  int format;
};

Column ColumnOf(HWND list, int index) {
  wchar_t title[64];
  for (auto& unit : title) unit = L'?';
  LVCOLUMNW column = {};
  column.mask = LVCF_TEXT | LVCF_FMT;
  column.pszText = title;
  column.cchTextMax = 63;
  title[63] = 0;
  SendMessageW(list, LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
  return {title, column.fmt & LVCFMT_JUSTIFYMASK};
}

std::wstring ComboEntry(HWND combo, int index) {
  wchar_t text[64] = {};
  SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

TEST(FreshPanels, ListsColumnsAndIdleControls) {
  RunProgram([](ProgramDriver& program) {
    const struct {
      int start, cancel, status, list;
      DWORD extendedStyle;
      Column columns[3];
      int columnCount;
    } kPanels[] = {
        {IDC_DISC_START, IDC_DISC_CANCEL, IDC_DISC_STATUS, IDC_DISC_READ_OK_LIST, 0x10021,
         {{L"File Name", LVCFMT_LEFT}, {L"File Size", LVCFMT_RIGHT}, {L"Status", LVCFMT_LEFT}}, 3},
        {IDC_DISC_START, IDC_DISC_CANCEL, IDC_DISC_STATUS, IDC_DISC_READ_ERROR_LIST, 0x21,
         {{L"File Name", LVCFMT_LEFT}, {L"File Size", LVCFMT_RIGHT}, {L"Status", LVCFMT_LEFT}}, 3},
        {IDC_FILE_START, IDC_FILE_CANCEL, IDC_FILE_STATUS, IDC_FILE_RESULTS, 0x21,
         {{L"File Name", LVCFMT_LEFT}, {L"File Size", LVCFMT_RIGHT}, {L"Status", LVCFMT_LEFT}}, 3},
        {IDC_COMPARE_START, IDC_COMPARE_CANCEL, IDC_COMPARE_STATUS, IDC_COMPARE_RESULTS, 0x21,
         {{L"First File MD5-Hash", LVCFMT_LEFT}, {L"Second File MD5-Hash", LVCFMT_LEFT}}, 2},
        {IDC_COPY_START, IDC_COPY_CANCEL, IDC_COPY_STATUS, IDC_COPY_RESULTS, 0x21,
         {{L"Correct Bytes", LVCFMT_LEFT}, {L"Error Bytes", LVCFMT_LEFT}}, 2},
    };
    for (const auto& expected : kPanels) {
      HWND panel = program.PanelWith(expected.start);
      HWND list = GetDlgItem(panel, expected.list);
      EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
                static_cast<LRESULT>(expected.extendedStyle))
          << "list " << expected.list;
      EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), 0xFFFFFF);
      EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
      for (int i = 0; i < expected.columnCount; ++i) {
        const Column column = ColumnOf(list, i);
        EXPECT_EQ(column.title, expected.columns[i].title);
        EXPECT_EQ(column.format, expected.columns[i].format) << Narrow(column.title);
      }
      EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNWIDTH, expected.columnCount, 0))
          << "a column too many in list " << expected.list;
      EXPECT_FALSE(IsWindowVisible(GetDlgItem(panel, expected.cancel)));
      EXPECT_EQ(ProgramDriver::Text(GetDlgItem(panel, expected.status)), L"");
    }
  });
}

TEST(ResultsFilter, ShowsOneOfTheTwoListsAtATime) {
  RunProgram([](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    HWND filter = GetDlgItem(panel, IDC_DISC_RESULTS_FILTER);
    HWND readOk = GetDlgItem(panel, IDC_DISC_READ_OK_LIST);
    HWND readError = GetDlgItem(panel, IDC_DISC_READ_ERROR_LIST);
    EXPECT_EQ(ComboEntry(filter, 0), L"Show \"READ OK\"");
    EXPECT_EQ(ComboEntry(filter, 1), L"Show \"READ ERROR\"");
    EXPECT_EQ(SendMessageW(filter, CB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(readOk));
    EXPECT_FALSE(IsWindowVisible(readError));

    // The user picks the second entry, then the first again.
    for (int entry : {1, 0}) {
      SendMessageW(filter, CB_SETCURSEL, entry, 0);
      SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_DISC_RESULTS_FILTER, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(filter));
      EXPECT_EQ(IsWindowVisible(readOk) != FALSE, entry == 0);
      EXPECT_EQ(IsWindowVisible(readError) != FALSE, entry == 1);
    }
  });
}

// Opens the dialog of `button`, returns it with the name it offers and whether it is the
// wide-character dialog, and cancels it.
struct OfferedName {
  bool found = false;
  bool wide = false;
  std::wstring name;
};

OfferedName DialogOffer(ProgramDriver& program, HWND button, const wchar_t* title) {
  OfferedName offer;
  program.Click(button);
  HWND dialog = program.WaitForFileDialog(title);
  if (!dialog) return offer;
  offer.found = true;
  offer.wide = IsWindowUnicode(dialog) != FALSE;
  offer.name = ProgramDriver::FileNameIn(dialog);
  ProgramDriver::CancelDialog(dialog);
  return offer;
}

TEST(CopyBrowse, DestinationDialogProposesTheSourceName) {
  TempFolder folder;
  const std::wstring source = folder.CreateFileOfSize(L"failing-disc-photo.jpg", 10);
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.ShowTask(IDC_TASK_COPY_UNREADABLE, IDC_COPY_START);
    ASSERT_NE(panel, nullptr);
    OfferedName before = DialogOffer(program, GetDlgItem(panel, IDC_COPY_DEST_BROWSE),
                                     L"Set destination name");
    ASSERT_TRUE(before.found);
    EXPECT_EQ(before.name, L"");  // no source yet

    program.Browse(GetDlgItem(panel, IDC_COPY_SOURCE_BROWSE), L"Select source file", source);
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(panel, IDC_COPY_SOURCE_PATH)), source);
    OfferedName after = DialogOffer(program, GetDlgItem(panel, IDC_COPY_DEST_BROWSE),
                                    L"Set destination name");
    ASSERT_TRUE(after.found);
    EXPECT_NE(after.name.find(L"failing-disc-photo.jpg"), std::wstring::npos) << Narrow(after.name);
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(panel, IDC_COPY_DEST_PATH)), L"");  // cancelled

    const std::wstring destination = folder.path() + L"\\rescued.jpg";
    program.Browse(GetDlgItem(panel, IDC_COPY_DEST_BROWSE), L"Set destination name", destination);
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(panel, IDC_COPY_DEST_PATH)), destination);
  });
}

TEST(CompareBrowse, EachFieldGetsItsOwnFile) {
  TempFolder folder;
  const std::wstring first = folder.CreateFileOfSize(L"first.bin", 10);
  const std::wstring second = folder.CreateFileOfSize(L"second.bin", 10);
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.ShowTask(IDC_TASK_FILE_COMPARE, IDC_COMPARE_START);
    ASSERT_NE(panel, nullptr);
    program.Browse(GetDlgItem(panel, IDC_COMPARE_FIRST_BROWSE), L"Select first file", first);
    program.Browse(GetDlgItem(panel, IDC_COMPARE_SECOND_BROWSE), L"Select second file", second);
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(panel, IDC_COMPARE_FIRST_PATH)), first);
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(panel, IDC_COMPARE_SECOND_PATH)), second);
    OfferedName offer = DialogOffer(program, GetDlgItem(panel, IDC_COMPARE_FIRST_BROWSE),
                                    L"Select first file");
    EXPECT_NE(offer.name.find(L"first.bin"), std::wstring::npos) << Narrow(offer.name);
  });
}

// Run with Windows reporting major version 4: the Copy Unreadable File dialogs are the ANSI
// ones and open empty, while the File Compare dialogs are still wide.
TEST(AnsiVariant, CopyDialogsAreAnsiAndCompareDialogsWide) {
  ASSERT_EQ(g_osMajorVersion, 4);
  TempFolder folder;
  const std::wstring source = folder.CreateFileOfSize(L"source.bin", 10);
  RunProgram([&](ProgramDriver& program) {
    HWND copy = program.ShowTask(IDC_TASK_COPY_UNREADABLE, IDC_COPY_START);
    ASSERT_NE(copy, nullptr);
    program.Browse(GetDlgItem(copy, IDC_COPY_SOURCE_BROWSE), L"Select source file", source);
    EXPECT_EQ(ProgramDriver::Text(GetDlgItem(copy, IDC_COPY_SOURCE_PATH)), source);
    OfferedName sourceAgain = DialogOffer(program, GetDlgItem(copy, IDC_COPY_SOURCE_BROWSE),
                                          L"Select source file");
    ASSERT_TRUE(sourceAgain.found);
    EXPECT_FALSE(sourceAgain.wide);
    EXPECT_EQ(sourceAgain.name, L"");
    // The destination dialog proposes the source's name on this variant too.
    OfferedName destination = DialogOffer(program, GetDlgItem(copy, IDC_COPY_DEST_BROWSE),
                                          L"Set destination name");
    ASSERT_TRUE(destination.found);
    EXPECT_FALSE(destination.wide);
    EXPECT_NE(destination.name.find(L"source.bin"), std::wstring::npos) << Narrow(destination.name);

    HWND compare = program.ShowTask(IDC_TASK_FILE_COMPARE, IDC_COMPARE_START);
    ASSERT_NE(compare, nullptr);
    OfferedName first = DialogOffer(program, GetDlgItem(compare, IDC_COMPARE_FIRST_BROWSE),
                                    L"Select first file");
    ASSERT_TRUE(first.found);
    EXPECT_TRUE(first.wide);
  });
}

}  // namespace

namespace {

// Run with Windows reporting major version 5: every switched call is the wide one, so a name
// outside any ANSI code page is chosen, shown and read as it is.
TEST(XpVariant, DialogsAndPathFieldsAreWide) {
  ASSERT_EQ(g_osMajorVersion, 5);
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"\u8aad\u307f\u53d6\u308a.bin", 1234);
  RunProgram([&](ProgramDriver& program) {
    HWND copy = program.ShowTask(IDC_TASK_COPY_UNREADABLE, IDC_COPY_START);
    ASSERT_NE(copy, nullptr);
    OfferedName source = DialogOffer(program, GetDlgItem(copy, IDC_COPY_SOURCE_BROWSE),
                                     L"Select source file");
    ASSERT_TRUE(source.found);
    EXPECT_TRUE(source.wide);

    HWND fileCheck = program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    ASSERT_NE(fileCheck, nullptr);
    program.Browse(GetDlgItem(fileCheck, IDC_FILE_BROWSE), L"Select file", path);
    program.Click(GetDlgItem(fileCheck, IDC_FILE_START));
    EXPECT_EQ(program.AnswerMessageBox().text, L"File is readable.");
    auto rows = ReadListRows(GetDlgItem(fileCheck, IDC_FILE_RESULTS));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], path);
    EXPECT_EQ(rows[0].cells[1], L"1234 bytes");
  });
}

}  // namespace
