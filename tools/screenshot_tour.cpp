// Shows the main window with each task panel in turn and saves a picture of it:
//
//   screenshot_tour.exe OUTPUT_FOLDER
//
// writes main-read-disc-check.bmp, main-read-file-check.bmp, main-file-compare.bmp and
// main-copy-unreadable-file.bmp, then main-task-button-hot.bmp (the mouse over a task
// button) and main-during-a-run.bmp (a file being read). scripts/screenshots turns them
// into the PNGs of docs/.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/run_state.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_windows.h"

namespace {

// The window as it is on screen, title bar and frame included, as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const Picture picture = CaptureScreen(rect);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = picture.width;
  header.biHeight = picture.height;  // bottom row first
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const int stride = ((picture.width * 3 + 3) / 4) * 4;
  std::string pixels(stride * picture.height, '\0');
  for (int y = 0; y < picture.height; ++y) {
    char* row = &pixels[(picture.height - 1 - y) * stride];
    for (int x = 0; x < picture.width; ++x) {
      const COLORREF colour = picture.At(x, y);
      row[3 * x] = static_cast<char>(GetBValue(colour));
      row[3 * x + 1] = static_cast<char>(GetGValue(colour));
      row[3 * x + 2] = static_cast<char>(GetRValue(colour));
    }
  }

  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
            WriteFile(out, &header, sizeof header, &written, nullptr) &&
            WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(out);
  return ok;
}

void LetThePaintingFinish(HWND window) {
  SendMessageW(window, WM_NULL, 0, 0);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(500);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenshot_tour OUTPUT_FOLDER\n");
    return 2;
  }
  const std::wstring folder = argv[1];
  InitCommonControls();
  StoreOsMajorVersion();

  const struct {
    int button;
    const wchar_t* name;
  } kTour[] = {
      {IDC_TASK_READ_DISC, L"main-read-disc-check.bmp"},
      {IDC_TASK_READ_FILE, L"main-read-file-check.bmp"},
      {IDC_TASK_FILE_COMPARE, L"main-file-compare.bmp"},
      {IDC_TASK_COPY_UNREADABLE, L"main-copy-unreadable-file.bmp"},
  };
  TempFolder files;
  const std::wstring bigFile = files.CreateSparseFile(L"big-file.bin", 4LL << 30);
  int saved = 0;
  RunProgram([&](ProgramDriver& program) {
    HWND mainWindow = program.mainWindow();
    const auto save = [&](const wchar_t* name) {
      if (SaveWindowPicture(mainWindow, folder + L"\\" + name)) ++saved;
    };
    // The mouse rests in the task window, away from the task buttons.
    ProgramDriver::MoveMouseOnto(GetDlgItem(mainWindow, IDC_TASK_WINDOW_GROUP));
    for (const auto& stop : kTour) {
      program.Click(GetDlgItem(mainWindow, stop.button));
      LetThePaintingFinish(mainWindow);
      save(stop.name);
    }

    ProgramDriver::MoveMouseOnto(GetDlgItem(mainWindow, IDC_TASK_READ_FILE));
    LetThePaintingFinish(mainWindow);
    save(L"main-task-button-hot.bmp");

    HWND panel = program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    ProgramDriver::MoveMouseOnto(GetDlgItem(panel, IDC_FILE_RESULTS));
    program.Browse(GetDlgItem(panel, IDC_FILE_BROWSE), L"Select file", bigFile);
    program.Click(GetDlgItem(panel, IDC_FILE_START));
    ProgramDriver::WaitUntil([&] {
      return ProgramDriver::Text(GetDlgItem(panel, IDC_FILE_STATUS)).find(L" - READING ") !=
             std::wstring::npos;
    });
    Sleep(500);
    save(L"main-during-a-run.bmp");
    program.Click(GetDlgItem(panel, IDC_FILE_CANCEL));
    program.AnswerMessageBox();
  });
  std::printf("saved %d pictures\n", saved);
  return saved == 6 ? 0 : 1;
}
