// The real Read Disc Check panel on 10,000 small files (500 to 3,500 bytes, 100 to a folder,
// in the page cache), driven as a user would: the READ OK list shown, against the same scan
// with it hidden (the results filter on READ ERROR). Run under Wine on a virtual display.
//
//   disc_check_bench.exe FOLDER [ROUNDS] [over|away]
//   FOLDER is made and filled on the first run; the pointer rests over the READ OK list
//   (as when a user watches it) or away from the window, as given (default: over).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/run_state.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_drives.h"

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;
constexpr int kFileCount = kFolders * kFilesPerFolder;
constexpr char kDriveLetter = 'V';

void MakeTree(const std::wstring& root) {
  const std::wstring last = root + L"\\d" + std::to_wstring(kFolders - 1) + L"\\f" +
                            std::to_wstring(kFilesPerFolder - 1) + L".bin";
  if (GetFileAttributesW(last.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  std::printf("making %d files in %d folders...\n", kFileCount, kFolders);
  CreateDirectoryW(root.c_str(), nullptr);
  static char content[3500];
  for (int folder = 0; folder < kFolders; ++folder) {
    const std::wstring path = root + L"\\d" + std::to_wstring(folder);
    CreateDirectoryW(path.c_str(), nullptr);
    for (int i = 0; i < kFilesPerFolder; ++i) {
      const std::wstring name = path + L"\\f" + std::to_wstring(i) + L".bin";
      HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      WriteFile(file, content, 500 + (folder * 37 + i * 101) % 3001, &written, nullptr);
      CloseHandle(file);
    }
  }
}

// Time the status line spends taking its texts, its own repaint included (a static control
// repaints as soon as its text is set): a subclass on the program's thread adds it up.
WNDPROC g_statusProc = nullptr;
std::atomic<long long> g_statusCounts{0};

LRESULT CALLBACK TimeStatusTexts(HWND line, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_SETTEXT) return CallWindowProcW(g_statusProc, line, message, wParam, lParam);
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  const LRESULT result = CallWindowProcW(g_statusProc, line, message, wParam, lParam);
  QueryPerformanceCounter(&end);
  g_statusCounts += end.QuadPart - start.QuadPart;
  return result;
}

// Starts a scan of the bench drive with the filter on `filterEntry` and returns its time, from
// the press of the start button to its summary, which it answers.
double TimedScan(ProgramDriver& program, HWND panel, int filterEntry) {
  HWND filter = GetDlgItem(panel, IDC_DISC_RESULTS_FILTER);
  SendMessageW(filter, CB_SETCURSEL, filterEntry, 0);
  SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_DISC_RESULTS_FILTER, CBN_SELCHANGE), reinterpret_cast<LPARAM>(filter));
  HWND drives = GetDlgItem(panel, IDC_DISC_DRIVE_LIST);
  const wchar_t tail[] = {L'(', kDriveLetter, L':', L')', 0};
  for (int i = 0; i < SendMessageW(drives, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t entry[260] = {};
    SendMessageW(drives, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
    if (wcsstr(entry, tail)) SendMessageW(drives, CB_SETCURSEL, i, 0);
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  program.Click(GetDlgItem(panel, IDC_DISC_START));
  HWND box = program.WaitForMessageBox(3600 * 1000);
  QueryPerformanceCounter(&end);
  const SeenMessageBox seen = ProgramDriver::ReadMessageBox(box);
  ProgramDriver::PressOk(box);
  HWND startButton = GetDlgItem(panel, IDC_DISC_START);
  ProgramDriver::WaitUntil([&] { return IsWindowEnabled(startButton) != FALSE; });
  if (seen.text.find(L"Files scanned\t\t: " + std::to_wstring(kFileCount)) == std::wstring::npos) {
    std::printf("unexpected summary: %ls\n", seen.text.c_str());
  }
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    std::fprintf(stderr, "usage: disc_check_bench FOLDER [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? _wtoi(argv[2]) : 3;
  const bool pointerOverList = argc <= 3 || wcscmp(argv[3], L"away") != 0;
  StoreOsMajorVersion();  // as the program does at start: the wide calls, as users above NT 4 get them
  InitCommonControls();
  const std::wstring root = argv[1];
  MakeTree(root);
  TestDrive drive(kDriveLetter, DRIVE_FIXED, UnixPathOf(root));
  if (!drive.defined()) return 1;

  std::vector<double> shown, hidden;
  double scansTotal = 0;
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    g_statusProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(GetDlgItem(panel, IDC_DISC_STATUS), GWLP_WNDPROC,
                                                               reinterpret_cast<LONG_PTR>(TimeStatusTexts)));
    if (pointerOverList) {
      ProgramDriver::MoveMouseOnto(GetDlgItem(panel, IDC_DISC_READ_OK_LIST));
    } else {
      SetCursorPos(0, 0);
    }
    scansTotal += TimedScan(program, panel, 1);  // the files into the page cache, the code paths warm
    for (int round = 0; round < rounds; ++round) {
      // Each round starts with the other one, so that neither always follows the same one.
      for (int turn = 0; turn < 2; ++turn) {
        const bool readOkShown = (round + turn) % 2 == 0;
        (readOkShown ? shown : hidden).push_back(TimedScan(program, panel, readOkShown ? 0 : 1));
        scansTotal += (readOkShown ? shown : hidden).back();
      }
      std::printf("round %d: READ OK list shown %.2f s, hidden %.2f s\n", round + 1, shown.back(), hidden.back());
      std::fflush(stdout);
    }
  });
  const double shownMedian = Median(shown), hiddenMedian = Median(hidden);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const double statusSeconds = static_cast<double>(g_statusCounts) / static_cast<double>(frequency.QuadPart);
  std::printf("%d files in %d folders, %d rounds (medians), pointer %s\n", kFileCount, kFolders, rounds,
              pointerOverList ? "over the READ OK list" : "away from the window");
  std::printf("READ OK list shown : %.2f s, %.0f files/s\n", shownMedian, kFileCount / shownMedian);
  std::printf("READ OK list hidden: %.2f s, %.0f files/s\n", hiddenMedian, kFileCount / hiddenMedian);
  std::printf("shown over hidden  : %.2fx\n", shownMedian / hiddenMedian);
  std::printf("status line texts : %.2f s in all %d scans, %.1f %% of their time\n", statusSeconds,
              2 * rounds + 1, statusSeconds / scansTotal * 100.0);
  return 0;
}
