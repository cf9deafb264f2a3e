// Real windows for engine tests: list views and status lines like the panels', read back
// through the platform.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// A hidden top-level window standing in for a task panel: its Cancel button command
// sets the cancel flag, as the panels' do, and it records every message it receives.
class TestPanel {
 public:
  static constexpr int kCancelId = 1018;

  TestPanel();
  ~TestPanel();
  TestPanel(const TestPanel&) = delete;
  TestPanel& operator=(const TestPanel&) = delete;

  HWND window() const { return window_; }
  // A report-mode list view with the three columns of the read verification lists.
  HWND AddResultsList();
  // A static whose every text is recorded, in order.
  HWND AddStatusLine();

  const std::vector<UINT>& receivedMessages() const { return received_; }
  // Texts set on one status line of this panel, in order.
  std::vector<std::wstring> statusTexts(HWND line) const;

 private:
  static LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK StatusProc(HWND, UINT, WPARAM, LPARAM);

  HWND window_ = nullptr;
  std::vector<UINT> received_;
  std::vector<std::pair<HWND, std::wstring>> statusTexts_;
  WNDPROC staticProc_ = nullptr;
  int nextId_ = 2000;
};

struct ListRow {
  std::wstring cells[3];
  bool selected = false;
  LPARAM itemData = -1;
};

// Every row of a list view, read with LVM_GETITEMTEXTW into buffers filled with junk first,
// so that a cell that was never set shows up as junk rather than as an empty text.
std::vector<ListRow> ReadListRows(HWND list);

// The same cell read through the ANSI message: the bytes the list holds in the ANSI code page.
std::string ReadCellAnsi(HWND list, int row, int column);

std::wstring WindowTextOf(HWND window);

// Dispatches whatever is pending, without fixed sleeps.
void FlushMessages(DWORD milliseconds = 20);

// A fresh folder under the Windows temp folder, removed again with its files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::wstring& path() const { return path_; }
  // Creates a file of `size` bytes (repeating pattern) and returns its full path.
  std::wstring CreateFileOfSize(const wchar_t* name, DWORD size);

 private:
  std::wstring path_;
};

// A text as the panels hand paths to the engines: zero-filled, at most 259 characters.
void ToWidePath(const std::wstring& text, WCHAR (&path)[260]);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);
