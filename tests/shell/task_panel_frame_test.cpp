#include "shell/task_panel_frame.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/support/test_windows.h"

namespace {

WNDPROC ProcedureOf(HWND window) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

TEST(ListRepaint, InstalledOnBothListsAndTakenOffAgain) {
  TestPanel panel;
  HWND readOk = panel.AddResultsList();
  HWND readError = panel.AddResultsList();
  ShowWindow(panel.window(), SW_SHOW);
  const WNDPROC listProc = ProcedureOf(readOk);
  ASSERT_FALSE(ListRepaintInstalled());

  InstallListRepaint(readOk, readError);
  EXPECT_TRUE(ListRepaintInstalled());
  EXPECT_EQ(ProcedureOf(readOk), ListRepaintProc);
  EXPECT_EQ(ProcedureOf(readError), ListRepaintProc);

  // The lists still work through it, and repainting them erases and paints without
  // starting over and over.
  wchar_t text[] = L"row";
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.pszText = text;
  SendMessageW(readOk, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(SendMessageW(readOk, LVM_GETITEMCOUNT, 0, 0), 1);
  RedrawWindow(readOk, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RedrawWindow(readError, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  FlushMessages();
  RECT update;
  EXPECT_FALSE(GetUpdateRect(readOk, &update, FALSE));  // nothing left to paint

  RemoveListRepaint(readOk, readError);
  EXPECT_FALSE(ListRepaintInstalled());
  EXPECT_EQ(ProcedureOf(readOk), listProc);
  EXPECT_EQ(ProcedureOf(readError), listProc);
}

}  // namespace
