#include "shell/run_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "shell/progress_text.h"
#include "tests/support/test_windows.h"

namespace {

constexpr UINT kMessage1276 = 1276;

bool Received(const TestPanel& panel, UINT message) {
  const auto& received = panel.receivedMessages();
  return std::find(received.begin(), received.end(), message) != received.end();
}

TEST(PumpMessages, DispatchesEveryPendingMessageOfTheThread) {
  TestPanel first;
  TestPanel second;
  PostMessageW(first.window(), WM_APP + 1, 0, 0);
  PostMessageW(second.window(), kMessage1276, 0, 0);
  PumpMessages();
  EXPECT_TRUE(Received(first, WM_APP + 1));
  EXPECT_TRUE(Received(second, kMessage1276));
  MSG left;
  EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(PumpMessages, HeldBackMessageIsRemovedWithoutDispatching) {
  TestPanel panel;
  PostMessageW(panel.window(), kMessage1276, 0, 0);
  PostMessageW(panel.window(), WM_APP + 2, 0, 0);
  PostMessageW(panel.window(), kMessage1276, 0, 0);
  PumpMessages(kMessage1276);
  EXPECT_TRUE(Received(panel, WM_APP + 2));
  EXPECT_FALSE(Received(panel, kMessage1276));
  MSG left;
  EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(PumpMessages, CancelButtonClickSetsTheFlag) {
  TestPanel panel;
  g_cancelFlag = 0;
  HWND cancel = GetDlgItem(panel.window(), TestPanel::kCancelId);
  PostMessageW(cancel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageW(cancel, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  PumpMessages();
  EXPECT_EQ(g_cancelFlag, 1);
}

TEST(StatusLine, ProgressTextShowsPathAndPercentage) {
  ASSERT_TRUE(UsesWideCalls());
  TestPanel panel;
  HWND line = panel.AddStatusLine();
  WidePath path;
  ToWidePath(L"Z:\\donn\u00e9es\\\u00fcber \u4e2d.bin", path);
  ShowProgressText(line, "File: %s - COPYING %d%%", L"File: %s - COPYING %d%%", path, 42);
  EXPECT_EQ(WindowTextOf(line), L"File: Z:\\donn\u00e9es\\\u00fcber \u4e2d.bin - COPYING 42%");
  ClearStatusLine(line);
  EXPECT_EQ(WindowTextOf(line), L"");
}

TEST(StatusLine, LongestPathIsShortenedNotOverrun) {
  TestPanel panel;
  HWND line = panel.AddStatusLine();
  std::wstring longest = L"C:\\" + std::wstring(247, L'x') + L"\\tail.bin";
  ASSERT_EQ(longest.size(), 259u);
  WidePath path;
  ToWidePath(longest, path);
  ShowProgressText(line, "Current File: %s - CALCULATING %d%%",
                   L"Current File: %s - CALCULATING %d%%", path, 99);
  const std::wstring text = WindowTextOf(line);
  EXPECT_LE(text.size(), kStatusTextUnits - 1);
  EXPECT_EQ(text.compare(0, 20, L"Current File: C:\\..."), 0) << Narrow(text);
  EXPECT_EQ(text.substr(text.size() - 27), L"\\tail.bin - CALCULATING 99%");
}

// Run in a prefix that reports Windows NT 4.
TEST(AnsiVariant, ProgressTextCarriesTheAnsiBytesOfThePath) {
  ASSERT_FALSE(UsesWideCalls());
  TestPanel panel;
  HWND line = panel.AddStatusLine();
  char ansi[kWidePathUnits] = "C:\\caf\xE9\\\x80\xFF.bin";
  WidePath path;
  WidenPath(ansi, path);
  ShowProgressText(line, "File: %s - READING %d%%", L"File: %s - READING %d%%", path, 5);
  char text[300] = {};
  GetWindowTextA(line, text, sizeof text);
  EXPECT_STREQ(text, "File: C:\\caf\xE9\\\x80\xFF.bin - READING 5%");
}

}  // namespace
