// Drives the real program from a test: the main window runs on the test's main thread,
// exactly as in verolux.exe, while the test acts as the user from a second thread.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

struct SeenMessageBox {
  std::wstring caption;
  std::wstring text;
  UINT icon = 0;  // MB_ICONERROR, MB_ICONWARNING, MB_ICONINFORMATION or 0
};

// Answers every message box that this thread shows with OK as soon as it is up, and keeps
// what each one said. `whileUp` runs with the box up, to look at the program as the user
// finds it then. For engines that end with a message box and run on the test's own thread.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(std::function<void()> whileUp = nullptr);
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  const std::vector<SeenMessageBox>& seen() const { return seen_; }

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);

  std::function<void()> whileUp_;
  std::vector<SeenMessageBox> seen_;
  HWND lastBox_ = nullptr;
  HHOOK hook_ = nullptr;
};

// Pixels, row by row from the top, as COLORREF values.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const { return pixels[y * width + x]; }
};

// What the screen shows in `rect` (screen coordinates).
Picture CaptureScreen(const RECT& rect);
// What the screen shows of a window's client area.
Picture CaptureClientArea(HWND window);

class ProgramDriver {
 public:
  explicit ProgramDriver(DWORD uiThread) : uiThread_(uiThread) {}

  HWND mainWindow() const { return mainWindow_; }
  // The task panel that holds the control with this id (ids of start buttons are unique).
  HWND PanelWith(int controlId) const;
  HWND Control(HWND parent, int id) const { return GetDlgItem(parent, id); }

  // Presses a task button and waits until its panel (found by a control of its own) shows.
  // Returns the panel, or null when it did not show.
  HWND ShowTask(int taskButtonId, int panelControlId) const;

  // A click as the button's own message: it acts only on an enabled button.
  void Click(HWND button) const;
  void PressKey(HWND window, WPARAM key) const;
  // Real mouse input: moves the pointer to the middle of `window` (`nudge` pixels right).
  static void MoveMouseOnto(HWND window, int nudge = 0);
  // Moves the pointer off `window` and waits until it has left: a test that drives states by
  // messages keeps the platform's own mouse tracking out of its way.
  static void RestMouseOutside(HWND window);

  // Waits for the next message box, records it and presses its OK button.
  SeenMessageBox AnswerMessageBox(DWORD timeoutMs = 60000);
  // Waits for a message box and leaves it open; null after the timeout.
  HWND WaitForMessageBox(DWORD timeoutMs = 60000) const;
  static SeenMessageBox ReadMessageBox(HWND box);
  static void PressOk(HWND box);

  // File dialogs, found by title.
  HWND WaitForFileDialog(const wchar_t* title, DWORD timeoutMs = 30000) const;
  static std::wstring FileNameIn(HWND dialog);
  // Types `path` into the dialog and confirms it; with `replace` it also answers Yes when the
  // dialog asks whether to replace an existing file.
  static void ChooseFile(HWND dialog, const std::wstring& path, bool replace = false);
  static void CancelDialog(HWND dialog);
  // Browse with this button, pick `path` in the dialog titled `title`.
  void Browse(HWND button, const wchar_t* title, const std::wstring& path);

  // Real keyboard input to whatever has the focus: `key` pressed with `modifiers` held.
  static void PressKeys(std::initializer_list<WORD> modifiers, WORD key);
  // Gives the keyboard focus to a control of a panel, as Tab would.
  static void Focus(HWND control);
  // A right click at a point of `window`'s client area, pressed and released there as the
  // window gets them from the mouse, with the pointer itself resting elsewhere.
  static void RightClick(HWND window, POINT at);

  // The shortcut menu that is open, null after the timeout; its items as the user reads them.
  struct MenuItem {
    std::wstring text;  // empty for a separator
    bool grayed;
    bool operator==(const MenuItem& other) const { return text == other.text && grayed == other.grayed; }
  };
  HWND WaitForPopupMenu(DWORD timeoutMs = 10000) const;
  static std::vector<MenuItem> MenuItems(HWND menuWindow);

  // Drops files onto `window`, at a point of its client area, as the file manager does. With
  // `wait` it returns once the drop was handled (for drops that show no message).
  static void DropFiles(HWND window, POINT at, const std::vector<std::wstring>& names, bool wait = true);

  static std::wstring ClipboardText();
  static void SetClipboardText(const std::wstring& text);

  static std::wstring Text(HWND window);
  bool CloseEnabled() const;
  HICON ButtonIcon(HWND button) const;

  // Polls until `condition` holds; false after the timeout.
  static bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 30000);

  // Used by RunProgram.
  bool WaitForMainWindow(DWORD timeoutMs = 30000);
  void CloseProgram();

 private:
  HWND FindTopLevel(const std::function<bool(HWND)>& match) const;

  DWORD uiThread_;
  HWND mainWindow_ = nullptr;
};

// Runs the real main window on this thread until `user` is done and the program closed.
// Returns the result of the main window's DialogBoxParamA.
INT_PTR RunProgram(const std::function<void(ProgramDriver&)>& user);
