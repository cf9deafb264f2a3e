#include "tests/support/program_driver.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/task_panel_frame.h"
#include "tests/support/test_windows.h"
#include "verolux_version.h"

namespace {

constexpr int kMessageBoxText = 0xFFFF;  // the static that holds a message box's text
constexpr int kMessageBoxIcon = 0x0440;  // the static that holds its icon
constexpr int kFileNameBox = 0x047C;     // cmb13, the file-name box of explorer-style dialogs
constexpr int kFileNameEdit = 0x0480;    // edt1, the older file-name box

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool IsDialogWindow(HWND window) { return ClassOf(window) == L"#32770"; }

// The window that has the keyboard focus in the thread of `window`.
HWND GetFocusedWindowOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

}  // namespace

namespace {

struct TopLevelSearch {
  const std::function<bool(HWND)>* match;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<TopLevelSearch*>(lParam);
  if (IsWindowVisible(window) && (*search->match)(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND ProgramDriver::FindTopLevel(const std::function<bool(HWND)>& match) const {
  TopLevelSearch search = {&match, nullptr};
  EnumThreadWindows(uiThread_, MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool ProgramDriver::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

bool ProgramDriver::WaitForMainWindow(DWORD timeoutMs) {
  WaitUntil(
      [&] {
        mainWindow_ = FindTopLevel([](HWND window) { return Text(window) == VEROLUX_CAPTION_W; });
        return mainWindow_ != nullptr;
      },
      timeoutMs);
  return mainWindow_ != nullptr;
}

HWND ProgramDriver::PanelWith(int controlId) const {
  for (HWND child = GetWindow(mainWindow_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsDialogWindow(child) && GetDlgItem(child, controlId)) return child;
  }
  return nullptr;
}

HWND ProgramDriver::ShowTask(int taskButtonId, int panelControlId) const {
  HWND panel = PanelWith(panelControlId);
  Click(GetDlgItem(mainWindow_, taskButtonId));
  if (!WaitUntil([&] { return IsWindowVisible(panel) != FALSE; })) return nullptr;
  // The panel shows before the others are hidden: a message sent now is answered once the
  // whole switch is done.
  SendMessageW(mainWindow_, WM_NULL, 0, 0);
  return panel;
}

void ProgramDriver::Click(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }

void ProgramDriver::MoveMouseOnto(HWND window, int nudge) {
  RECT rect;
  GetWindowRect(window, &rect);
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = ((rect.left + rect.right) / 2 + nudge) * 65535 / GetSystemMetrics(SM_CXSCREEN);
  move.mi.dy = ((rect.top + rect.bottom) / 2) * 65535 / GetSystemMetrics(SM_CYSCREEN);
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &move, sizeof move);
}

void ProgramDriver::PressKeys(std::initializer_list<WORD> modifiers, WORD key) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (vk == VK_APPS ? KEYEVENTF_EXTENDEDKEY : 0);
    inputs.push_back(input);
  };
  for (WORD modifier : modifiers) add(modifier, false);
  add(key, false);
  add(key, true);
  for (auto modifier = std::rbegin(modifiers); modifier != std::rend(modifiers); ++modifier) add(*modifier, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void ProgramDriver::Focus(HWND control) {
  // Keys go to the foreground window: a window shown just after another program's closed
  // (one this test started, say) may not be it yet.
  HWND root = GetAncestor(control, GA_ROOT);
  WaitUntil([&] { return GetForegroundWindow() == root || (SetForegroundWindow(root), false); }, 5000);
  PostMessageW(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  WaitUntil([&] { return GetFocusedWindowOf(control) == control; }, 5000);
}

void ProgramDriver::RestMouseOutside(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = (rect.left / 2) * 65535 / GetSystemMetrics(SM_CXSCREEN);
  move.mi.dy = (rect.top / 2) * 65535 / GetSystemMetrics(SM_CYSCREEN);
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &move, sizeof move);
  WaitUntil([&] {
    POINT at;
    GetCursorPos(&at);
    return !PtInRect(&rect, at);
  });
}

void ProgramDriver::RightClick(HWND window, POINT at) {
  // Not real input: a pointer move noticed between press and release starts a drag in the
  // list instead of opening its menu, and input can reach the window before or after a move.
  RestMouseOutside(GetAncestor(window, GA_ROOT));
  PostMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(window, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}

HWND ProgramDriver::WaitForPopupMenu(DWORD timeoutMs) const {
  HWND menu = nullptr;
  WaitUntil(
      [&] {
        menu = FindTopLevel([](HWND window) { return ClassOf(window) == L"#32768"; });
        return menu != nullptr;
      },
      timeoutMs);
  return menu;
}

std::vector<ProgramDriver::MenuItem> ProgramDriver::MenuItems(HWND menuWindow) {
  constexpr UINT kGetMenu = 0x01E1;  // MN_GETHMENU
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, kGetMenu, 0, 0));
  std::vector<MenuItem> items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
    items.push_back({text, !(state & MF_SEPARATOR) && (state & MF_GRAYED)});
  }
  return items;
}

void ProgramDriver::DropFiles(HWND window, POINT at, const std::vector<std::wstring>& names, bool wait) {
  size_t units = 1;
  for (const auto& name : names) units += name.size() + 1;
  HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
  auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
  files->pFiles = sizeof(DROPFILES);
  files->pt = at;
  files->fWide = TRUE;
  auto* next = reinterpret_cast<wchar_t*>(files + 1);
  for (const auto& name : names) next = std::copy(name.begin(), name.end(), next) + 1;
  GlobalUnlock(drop);
  if (wait) {
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  } else {
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  }
}

std::wstring ProgramDriver::ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"(clipboard busy)";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

void ProgramDriver::SetClipboardText(const std::wstring& text) {
  HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  auto* units = static_cast<wchar_t*>(GlobalLock(data));
  std::copy(text.c_str(), text.c_str() + text.size() + 1, units);
  GlobalUnlock(data);
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  SetClipboardData(CF_UNICODETEXT, data);
  CloseClipboard();
}

void ProgramDriver::PressKey(HWND window, WPARAM key) const {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

HWND ProgramDriver::WaitForMessageBox(DWORD timeoutMs) const {
  HWND box = nullptr;
  WaitUntil(
      [&] {
        box = FindTopLevel([](HWND window) {
          return IsDialogWindow(window) && GetDlgItem(window, kMessageBoxText) != nullptr;
        });
        return box != nullptr;
      },
      timeoutMs);
  return box;
}

SeenMessageBox ProgramDriver::ReadMessageBox(HWND box) {
  SeenMessageBox seen;
  seen.caption = Text(box);
  seen.text = Text(GetDlgItem(box, kMessageBoxText));
  const HICON icon = reinterpret_cast<HICON>(
      SendMessageW(GetDlgItem(box, kMessageBoxIcon), STM_GETICON, 0, 0));
  if (icon && icon == LoadIconA(nullptr, IDI_HAND)) seen.icon = MB_ICONERROR;
  if (icon && icon == LoadIconA(nullptr, IDI_EXCLAMATION)) seen.icon = MB_ICONWARNING;
  if (icon && icon == LoadIconA(nullptr, IDI_ASTERISK)) seen.icon = MB_ICONINFORMATION;
  return seen;
}

void ProgramDriver::PressOk(HWND box) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  // The box is gone once its owner's modal loop has ended it.
  WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
}

SeenMessageBox ProgramDriver::AnswerMessageBox(DWORD timeoutMs) {
  HWND box = WaitForMessageBox(timeoutMs);
  if (!box) {
    ADD_FAILURE() << "no message box appeared";
    return SeenMessageBox();
  }
  SeenMessageBox seen = ReadMessageBox(box);
  PressOk(box);
  return seen;
}

HWND ProgramDriver::WaitForFileDialog(const wchar_t* title, DWORD timeoutMs) const {
  HWND dialog = nullptr;
  WaitUntil(
      [&] {
        dialog = FindTopLevel([&](HWND window) {
          return IsDialogWindow(window) && window != mainWindow_ && Text(window) == title;
        });
        return dialog != nullptr;
      },
      timeoutMs);
  // The dialog fills its controls after it shows itself.
  if (dialog) Sleep(300);
  return dialog;
}

std::wstring ProgramDriver::FileNameIn(HWND dialog) {
  HWND box = GetDlgItem(dialog, kFileNameBox);
  if (!box || !IsWindowVisible(box)) box = GetDlgItem(dialog, kFileNameEdit);
  return Text(box);
}

void ProgramDriver::ChooseFile(HWND dialog, const std::wstring& path, bool replace) {
  // The folder browser of the systems before Vista: Wine's takes the folder from its tree
  // only, which the browser's own message selects.
  if (HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr)) {
    // Asked again until it holds: a selection made while the tree still fills itself is lost.
    WaitUntil([&] {
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
      Sleep(100);
      wchar_t name[MAX_PATH] = {};
      TVITEMW item = {};
      item.mask = TVIF_TEXT;
      item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
      item.pszText = name;
      item.cchTextMax = MAX_PATH;
      SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
      return name[0] && path.size() >= wcslen(name) &&
             path.compare(path.size() - wcslen(name), std::wstring::npos, name) == 0;
    }, 5000);
  } else {
    HWND box = GetDlgItem(dialog, kFileNameBox);
    if (!box || !IsWindowVisible(box)) box = GetDlgItem(dialog, kFileNameEdit);
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  }
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  if (replace) {
    ProgramDriver owner(GetWindowThreadProcessId(dialog, nullptr));
    HWND question = nullptr;
    WaitUntil([&] {
      // The dialog's question box, not another window it owns (a tooltip, say).
      question = owner.FindTopLevel([&](HWND window) {
        return GetWindow(window, GW_OWNER) == dialog && IsDialogWindow(window) && GetDlgItem(window, IDYES);
      });
      return question != nullptr;
    });
    if (question) PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  }
  if (!WaitUntil([&] { return !IsWindow(dialog); }, 10000)) ADD_FAILURE() << "the file dialog stayed open";
}

void ProgramDriver::CancelDialog(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  WaitUntil([&] { return !IsWindow(dialog); }, 10000);
}

void ProgramDriver::Browse(HWND button, const wchar_t* title, const std::wstring& path) {
  Click(button);
  HWND dialog = WaitForFileDialog(title);
  ASSERT_NE(dialog, nullptr) << "no file dialog";
  ChooseFile(dialog, path);
}

std::wstring ProgramDriver::Text(HWND window) {
  wchar_t text[1024];
  for (auto& unit : text) unit = L'?';
  const int length = GetWindowTextW(window, text, 1024);
  return std::wstring(text, length > 0 ? length : 0);
}

bool ProgramDriver::CloseEnabled() const {
  const UINT state = GetMenuState(GetSystemMenu(mainWindow_, FALSE), SC_CLOSE, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && !(state & MF_GRAYED);
}

HICON ProgramDriver::ButtonIcon(HWND button) const {
  return reinterpret_cast<HICON>(SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0));
}

void ProgramDriver::CloseProgram() {
  if (!mainWindow_) return;
  // Whatever a failed test left open goes first: dialogs and message boxes end their own
  // modal loops. A box that comes up while the window closes (a run's closing message) is
  // answered too, and said, so that a failure shows what the program was still doing.
  HWND said = nullptr;
  bool closeAsked = false;
  for (int attempt = 0; attempt < 300 && IsWindow(mainWindow_); ++attempt) {
    HWND other = FindTopLevel([&](HWND window) { return IsDialogWindow(window) && window != mainWindow_; });
    if (other) {
      if (other != said) {
        std::fprintf(stderr, "closing, left open: \"%s\" %s\n", Narrow(Text(other)).c_str(),
                     Narrow(ReadMessageBox(other).text).c_str());
        said = other;
      }
      PostMessageW(other, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      PostMessageW(other, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      closeAsked = false;
    } else if (!closeAsked || attempt % 50 == 49) {
      PostMessageW(mainWindow_, WM_CANCELMODE, 0, 0);  // ends a menu left open
      PostMessageW(mainWindow_, WM_SYSCOMMAND, SC_CLOSE, 0);
      closeAsked = true;
    }
    Sleep(100);
  }
}

namespace {
MessageBoxAnswerer* g_answerer = nullptr;  // the one installed on this thread
}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(std::function<void()> whileUp) : whileUp_(std::move(whileUp)) {
  g_answerer = this;
  hook_ = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
  if (!hook_) ADD_FAILURE() << "no CBT hook, error " << GetLastError();
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  if (hook_) UnhookWindowsHookEx(hook_);
  g_answerer = nullptr;
}

LRESULT CALLBACK MessageBoxAnswerer::OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  HWND box = reinterpret_cast<HWND>(wParam);
  MessageBoxAnswerer* self = g_answerer;
  // A box is activated once when it shows; it may be activated again before OK arrives.
  if (code == HCBT_ACTIVATE && self && box != self->lastBox_ && IsDialogWindow(box) &&
      GetDlgItem(box, kMessageBoxText)) {
    self->lastBox_ = box;
    self->seen_.push_back(ProgramDriver::ReadMessageBox(box));
    if (self->whileUp_) self->whileUp_();
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

Picture CaptureScreen(const RECT& rect) {
  Picture picture;
  picture.width = rect.right - rect.left;
  picture.height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, picture.width, picture.height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, picture.width, picture.height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = picture.width;
  header.biHeight = -picture.height;  // top row first
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  std::vector<RGBQUAD> pixels(picture.width * picture.height);
  GetDIBits(memory, bitmap, 0, picture.height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (const RGBQUAD& pixel : pixels) {
    picture.pixels.push_back(RGB(pixel.rgbRed, pixel.rgbGreen, pixel.rgbBlue));
  }
  return picture;
}

Picture CaptureClientArea(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return CaptureScreen(rect);
}

INT_PTR RunProgram(const std::function<void(ProgramDriver&)>& user) {
  g_instance = GetModuleHandleA(nullptr);  // as the entry point does
  ProgramDriver driver(GetCurrentThreadId());
  HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  INT_PTR result = 0;
  DWORD error = 0;
  std::atomic<bool> returned{false};
  std::thread userThread([&] {
    if (driver.WaitForMainWindow()) {
      user(driver);
    } else if (returned) {
      ADD_FAILURE() << "the main window did not appear: DialogBoxParamA returned " << result << ", error "
                    << error;
    } else {
      ADD_FAILURE() << "the main window did not appear, and DialogBoxParamA has not returned";
    }
    driver.CloseProgram();
    // A program that does not close is a failure of its own; don't hang the test run.
    if (WaitForSingleObject(finished, 60000) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "the program did not close within a minute\n");
      ExitProcess(3);
    }
  });
  result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  error = GetLastError();
  returned = true;
  // The next program of this process starts as a new process would: the lists' repaint
  // procedure of the windows just destroyed is forgotten, not put back on new ones.
  RemoveListRepaint(nullptr, nullptr);
  SetEvent(finished);
  userThread.join();
  CloseHandle(finished);
  return result;
}
