#include "tests/support/test_windows.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "shell/run_state.h"
#include "tests/support/other_process.h"
#include "tests/support/test_drives.h"

namespace {

const wchar_t kPanelClass[] = L"VeroluxTestPanel";

void RegisterPanelClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kPanelClass;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassW(&windowClass);
  registered = true;
}

TestPanel* PanelOf(HWND window) {
  return reinterpret_cast<TestPanel*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

TestPanel::TestPanel() {
  RegisterPanelClass(PanelProc);
  window_ = CreateWindowExW(0, kPanelClass, L"Test panel", WS_OVERLAPPEDWINDOW, 0, 0, 760, 520,
                            nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!window_) ADD_FAILURE() << "could not create the test panel, error " << GetLastError();
  CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE, 10, 480, 80, 24, window_,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCancelId)), nullptr, nullptr);
}

TestPanel::~TestPanel() {
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK TestPanel::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  TestPanel* panel = PanelOf(window);
  if (panel && message >= WM_USER) panel->received_.push_back(message);
  if (message == WM_COMMAND && LOWORD(wParam) == kCancelId) g_cancelFlag = 1;
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TestPanel::StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TestPanel* panel = PanelOf(GetParent(window));
  if (message == WM_SETTEXT && panel) {
    // Record what the user would read: the control's text once it is set.
    LRESULT result = CallWindowProcW(panel->staticProc_, window, message, wParam, lParam);
    panel->statusTexts_.emplace_back(window, WindowTextOf(window));
    return result;
  }
  return CallWindowProcW(panel ? panel->staticProc_ : DefWindowProcW, window, message, wParam,
                         lParam);
}

std::vector<std::wstring> TestPanel::statusTexts(HWND line) const {
  std::vector<std::wstring> texts;
  for (const auto& [window, text] : statusTexts_) {
    if (window == line) texts.push_back(text);
  }
  return texts;
}

HWND TestPanel::AddResultsList() {
  HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT |
                                                     LVS_SINGLESEL,
                              10, 10, 720, 200, window_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)), nullptr,
                              nullptr);
  const char* titles[3] = {"File Name", "File Size", "Status"};
  const int widths[3] = {308, 120, 110};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = i == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = widths[i];
    column.pszText = const_cast<char*>(titles[i]);
    column.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  return list;
}

HWND TestPanel::AddStatusLine() {
  HWND line = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 450, 720, 16, window_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)), nullptr,
                              nullptr);
  staticProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(line, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StatusProc)));
  return line;
}

namespace {
const wchar_t kRecorderProperty[] = L"VeroluxWindowRecorder";
}  // namespace

WindowRecorder::WindowRecorder(HWND window) : window_(window) {
  SetPropW(window, kRecorderProperty, this);
  original_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
}

WindowRecorder::~WindowRecorder() {
  if (!IsWindow(window_)) return;
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
  RemovePropW(window_, kRecorderProperty);
}

LRESULT CALLBACK WindowRecorder::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* recorder = static_cast<WindowRecorder*>(GetPropW(window, kRecorderProperty));
  const LRESULT result = CallWindowProcW(recorder->original_, window, message, wParam, lParam);
  // What the user would read: the control's text once it is set.
  if (message == WM_SETTEXT) recorder->texts_.push_back(WindowTextOf(window));
  if (message == WM_SHOWWINDOW && wParam) ++recorder->timesShown_;
  return result;
}

std::vector<ListRow> ReadListRows(HWND list, int columns) {
  std::vector<ListRow> rows;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    ListRow result;
    for (int column = 0; column < columns; ++column) {
      wchar_t buffer[520];
      for (auto& unit : buffer) unit = L'?';
      buffer[519] = 0;
      LVITEMW item = {};
      item.iSubItem = column;
      item.pszText = buffer;
      item.cchTextMax = 519;
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
      result.cells[column] = buffer;
    }
    LVITEMW item = {};
    item.mask = LVIF_STATE | LVIF_PARAM;
    item.iItem = row;
    item.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    result.selected = (item.state & LVIS_SELECTED) != 0;
    result.itemData = item.lParam;
    rows.push_back(result);
  }
  return rows;
}

std::string ReadCellAnsi(HWND list, int row, int column) {
  char buffer[520];
  for (auto& byte : buffer) byte = '?';
  buffer[519] = 0;
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = 519;
  SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return buffer;
}

std::wstring WindowTextOf(HWND window) {
  wchar_t buffer[1100];
  for (auto& unit : buffer) unit = L'?';
  const int length = GetWindowTextW(window, buffer, 1100);
  return std::wstring(buffer, length > 0 ? length : 0);
}

std::vector<std::wstring> ComboEntries(HWND combo) {
  std::vector<std::wstring> entries;
  const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[300];
    for (auto& unit : text) unit = L'?';
    text[299] = 0;
    if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 299) {
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    }
    entries.push_back(text);
  }
  return entries;
}

void FlushMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  } while (GetTickCount() - start < milliseconds);
}

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  // Folders made within one tick of each other still get names of their own.
  static LONG made = 0;
  wchar_t name[MAX_PATH];
  wsprintfW(name, L"%sverolux-%lu-%lu-%ld", base, GetCurrentProcessId(), GetTickCount(),
            InterlockedIncrement(&made));
  CreateDirectoryW(name, nullptr);
  path_ = name;
}

namespace {

// Removes a folder with everything in it.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW((path + L"\\" + name).c_str());
      } else if (name != L"." && name != L"..") {
        RemoveTree(path + L"\\" + name);
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

TempFolder::~TempFolder() { RemoveTree(path_); }

namespace {

// A file of `size` bytes whose content was never written (it reads as zeros).
std::wstring CreateSparseFileAt(const std::wstring& path, LONGLONG size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << Narrow(path);
  LARGE_INTEGER end;
  end.QuadPart = size;
  SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  CloseHandle(file);
  return path;
}

}  // namespace

std::wstring TempFolder::CreateSparseFile(const wchar_t* name, LONGLONG size) {
  return CreateSparseFileAt(path_ + L"\\" + name, size);
}

std::wstring TempFolder::CreateFileOfSize(const wchar_t* name, DWORD size) {
  const std::wstring path = path_ + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << Narrow(path);
  std::string chunk(65536, '\0');
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7 + 3);
  DWORD left = size;
  while (left > 0) {
    const DWORD piece = left < chunk.size() ? left : static_cast<DWORD>(chunk.size());
    DWORD written = 0;
    WriteFile(file, chunk.data(), piece, &written, nullptr);
    left -= piece;
  }
  CloseHandle(file);
  return path;
}

std::wstring CreateLongestPathFile(const TempFolder& folder, LONGLONG size) {
  std::wstring directory = folder.path() + L"\\";
  const size_t nameLength = 14;  // "\\long-tail.bin" comes after the folder
  directory += std::wstring(259 - directory.size() - nameLength, L'd');
  CreateDirectoryW(directory.c_str(), nullptr);
  return CreateSparseFileAt(directory + L"\\long-tail.bin", size);
}

void RemoveLongestPathFile(const std::wstring& path) {
  DeleteFileW(path.c_str());
  RemoveDirectoryW(path.substr(0, path.rfind(L'\\')).c_str());
}

bool CreateFileWithHighBytes(const TempFolder& folder, DWORD size, char (&ansiPath)[260]) {
  lstrcpynA(ansiPath, Narrow(folder.path()).c_str(), 260);
  lstrcatA(ansiPath, "\\caf\xE9-\xFC-\x80-\xFF.bin");
  HANDLE file = CreateFileA(ansiPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string zeros(size, '\0');
  DWORD written = 0;
  WriteFile(file, zeros.data(), size, &written, nullptr);
  CloseHandle(file);
  return written == size;
}

// Shares everything: a test that reads a file while the program replaces it must not make
// the replacement fail.
std::string FileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) {
    bytes.append(buffer, got);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << Narrow(path);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool NotOpenForReading(const std::wstring& path) {
  // Another program may write to it; only a reader that is still there makes this fail.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
  CloseHandle(file);
  return true;
}

void ToWidePath(const std::wstring& text, WCHAR (&path)[260]) {
  for (auto& unit : path) unit = 0;
  for (size_t i = 0; i < text.size() && i < 259; ++i) path[i] = text[i];
}

std::wstring Widen(const std::string& utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring text(length > 0 ? length - 1 : 0, L'\0');
  if (length > 1) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), length);
  return text;
}

std::string Narrow(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(length > 0 ? length - 1 : 0, '\0');
  if (length > 1) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), length, nullptr, nullptr);
  }
  return utf8;
}



FileHeldOpenForWriting::FileHeldOpenForWriting(const std::wstring& path, DWORD share) {
  wchar_t eventName[64];
  wsprintfW(eventName, L"verolux-held-%lu-%lu", GetCurrentProcessId(), GetTickCount());
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + kHoldOpenForWritingFlag +
                             L" \"" + path + L"\" " + eventName + L" " + std::to_wstring(share);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process_)) {
    HANDLE waits[2] = {ready, process_.hProcess};
    holding_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
  }
  CloseHandle(ready);
}

FileHeldOpenForWriting::~FileHeldOpenForWriting() {
  if (!process_.hProcess) return;
  TerminateProcess(process_.hProcess, 0);
  WaitForSingleObject(process_.hProcess, 10000);
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

int RunUnixShell(const std::string& script, std::string& output) {
  output.clear();
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring base = std::wstring(temp) + L"unix-shell-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(GetTickCount());
  const std::wstring scriptName = base + L".sh", outName = base + L".out", codeName = base + L".code";
  const std::string outPath = UnixPathOf(outName), codePath = UnixPathOf(codeName);
  // Wine starts a Unix program without a process of its own to wait for: the script says when it is done.
  WriteFileBytes(scriptName, "(\n" + script + "\n) >'" + outPath + "' 2>&1\necho $? >'" + codePath + ".part'\nmv '" +
                                 codePath + ".part' '" + codePath + "'\n");
  std::wstring command = L"/bin/sh " + Widen(UnixPathOf(scriptName));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\sh", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    output = "the Unix shell could not be started: error " + std::to_string(GetLastError());
    return -1;
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  int code = -1;
  const DWORD start = GetTickCount();
  while (GetFileAttributesW(codeName.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 120000) Sleep(20);
  if (GetFileAttributesW(codeName.c_str()) != INVALID_FILE_ATTRIBUTES) {
    code = std::atoi(FileBytes(codeName).c_str());
    output = FileBytes(outName);
  } else {
    output = "the Unix shell did not finish";
  }
  for (const std::wstring& name : {scriptName, outName, codeName}) DeleteFileW(name.c_str());
  return code;
}
