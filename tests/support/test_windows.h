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

// Records what happens to one window of this thread, in order: each text set on it (a status
// line) and each time it is shown (a Cancel button). It must outlive nothing but the window.
class WindowRecorder {
 public:
  explicit WindowRecorder(HWND window);
  ~WindowRecorder();
  WindowRecorder(const WindowRecorder&) = delete;
  WindowRecorder& operator=(const WindowRecorder&) = delete;

  const std::vector<std::wstring>& texts() const { return texts_; }
  int timesShown() const { return timesShown_; }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);

  HWND window_;
  WNDPROC original_;
  std::vector<std::wstring> texts_;
  int timesShown_ = 0;
};

struct ListRow {
  std::wstring cells[4];
  bool selected = false;
  LPARAM itemData = -1;
};

// Every row of a list view, read with LVM_GETITEMTEXTW into buffers filled with junk first,
// so that a cell that was never set shows up as junk rather than as an empty text.
std::vector<ListRow> ReadListRows(HWND list, int columns = 3);

// The same cell read through the ANSI message: the bytes the list holds in the ANSI code page.
std::string ReadCellAnsi(HWND list, int row, int column);

std::wstring WindowTextOf(HWND window);

// The entries of a combo box, in order.
std::vector<std::wstring> ComboEntries(HWND combo);

// Dispatches whatever is pending, without fixed sleeps.
void FlushMessages(DWORD milliseconds = 20);

// The files of a folder, by name.
std::vector<std::wstring> FilesIn(const std::wstring& folder);

// A fresh folder under the Windows temp folder, removed again with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::wstring& path() const { return path_; }
  // Creates a file of `size` bytes (repeating pattern) and returns its full path.
  std::wstring CreateFileOfSize(const wchar_t* name, DWORD size);
  // Creates a file of `size` zero bytes that takes no disk space (a run on it lasts long).
  std::wstring CreateSparseFile(const wchar_t* name, LONGLONG size);

 private:
  std::wstring path_;
};

// A file of `size` bytes (sparse) whose full path is 259 characters, the longest a wide path
// holds, in a folder of `folder` named to reach that length; RemoveLongestPathFile removes both.
std::wstring CreateLongestPathFile(const TempFolder& folder, LONGLONG size);
void RemoveLongestPathFile(const std::wstring& path);

// Creates a file of `size` zero bytes in `folder` through the ANSI call, its name holding the
// bytes 0xE9, 0xFC, 0x80 and 0xFF, and puts its full name, as those bytes, into `ansiPath`.
bool CreateFileWithHighBytes(const TempFolder& folder, DWORD size, char (&ansiPath)[260]);

// The whole content of a file, empty when it cannot be opened; a file made with `bytes`.
std::string FileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);

// Whether nobody holds the file open for reading (an open that refuses other readers works).
bool NotOpenForReading(const std::wstring& path);

// A text as the panels hand paths to the engines: zero-filled, at most 259 characters.
void ToWidePath(const std::wstring& text, WCHAR (&path)[260]);

std::wstring Widen(const std::string& utf8);

// Runs `script` with the Unix shell (from the process's Unix folder of its current
// directory) and gives its exit code and what it printed (standard output and error).
int RunUnixShell(const std::string& script, std::string& output);
std::string Narrow(const std::wstring& text);
