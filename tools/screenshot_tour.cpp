// Shows the main window with each task panel in turn and saves a picture of it:
//
//   screenshot_tour.exe OUTPUT_FOLDER
//
// writes main-read-disc-check.bmp, main-read-file-check.bmp, main-file-compare.bmp and
// main-copy-unreadable-file.bmp. scripts/screenshots turns them into the PNGs of docs/.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/run_state.h"
#include "tests/support/program_driver.h"

namespace {

// The window as it is on screen, title bar and frame included, as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  std::string pixels(stride * height, '\0');
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

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
  int saved = 0;
  RunProgram([&](ProgramDriver& program) {
    for (const auto& stop : kTour) {
      program.Click(GetDlgItem(program.mainWindow(), stop.button));
      SendMessageW(program.mainWindow(), WM_NULL, 0, 0);
      RedrawWindow(program.mainWindow(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      Sleep(500);  // let the window finish painting
      if (SaveWindowPicture(program.mainWindow(), folder + L"\\" + stop.name)) ++saved;
    }
  });
  std::printf("saved %d pictures\n", saved);
  return saved == 4 ? 0 : 1;
}
