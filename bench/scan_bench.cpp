// Measures the drive scan against a bare walk that makes the same platform calls: 20,000
// small files in 1,000 folders, in the page cache; then what taking the READ OK list away
// costs (Select All with Copy, Save List As). Run under Wine by scripts/bench.
//
//   scan_bench.exe FOLDER [ROUNDS]     FOLDER is made and filled on the first run
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/wine_rounds.h"
#include "shell/results_list_commands.h"
#include "shell/task_panel_frame.h"
#include "verify/scan_directory.h"
#include "verify/verify_file.h"

namespace {

constexpr int kTopFolders = 50;
constexpr int kSubfoldersEach = 19;  // 50 + 50 x 19 = 1,000 folders
constexpr int kFilesPerFolder = 20;  // 20,000 files
constexpr int kFileCount = (kTopFolders + kTopFolders * kSubfoldersEach) * kFilesPerFolder;

void FillFolder(const std::wstring& folder, int seed) {
  CreateDirectoryW(folder.c_str(), nullptr);
  static char content[4000];
  for (int i = 0; i < kFilesPerFolder; ++i) {
    const std::wstring path = folder + L"\\file" + std::to_wstring(i) + L".bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    for (auto& byte : content) byte = static_cast<char>(seed + i);
    DWORD written = 0;
    WriteFile(file, content, 1000 + (seed * 37 + i * 101) % 3000, &written, nullptr);  // 1 block
    CloseHandle(file);
  }
}

void MakeTree(const std::wstring& root) {
  // The last file made tells that an earlier run finished the tree.
  const std::wstring last = root + L"\\top" + std::to_wstring(kTopFolders - 1) + L"\\sub" +
                            std::to_wstring(kSubfoldersEach - 1) + L"\\file" +
                            std::to_wstring(kFilesPerFolder - 1) + L".bin";
  if (GetFileAttributesW(last.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  std::printf("making %d files in %d folders...\n", kFileCount, kFileCount / kFilesPerFolder);
  CreateDirectoryW(root.c_str(), nullptr);
  int seed = 0;
  for (int top = 0; top < kTopFolders; ++top) {
    const std::wstring folder = root + L"\\top" + std::to_wstring(top);
    FillFolder(folder, seed++);
    for (int sub = 0; sub < kSubfoldersEach; ++sub) {
      FillFolder(folder + L"\\sub" + std::to_wstring(sub), seed++);
    }
  }
}

// The platform calls of the engine for one file, and with `rows` its row and status clear.
void BareFile(const WCHAR* path, bool rows) {
  const long long size = BareVerifyFile(path);
  if (!rows) return;
  HWND list = g_readReport.readOkList;
  LVITEMW item = {};
  item.mask = LVIF_TEXT | LVIF_STATE | LVIF_PARAM;
  item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  item.state = item.stateMask = LVIS_SELECTED;
  item.lParam = item.iItem;
  item.pszText = const_cast<LPWSTR>(path);
  const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  SendMessageA(list, LVM_SCROLL, 0, 16);
  char sizeText[32];
  std::snprintf(sizeText, sizeof sizeText, "%1.0f bytes", static_cast<double>(size));
  char verdict[] = "READ OK";
  LVITEMA cell = {};
  cell.iSubItem = 1;
  cell.pszText = sizeText;
  SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&cell));
  cell.iSubItem = 2;
  cell.pszText = verdict;
  SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&cell));
  SetWindowTextA(g_readReport.discStatusLine, "");
}

// The walk with the scan's own calls: change folder, list "*.*", test-open the folder for
// every folder entry, and every file as above.
void BareWalk(const std::wstring& folder, bool rows) {
  if (!SetCurrentDirectoryW(folder.c_str())) return;
  WIN32_FIND_DATAW entry;
  HANDLE listing = FindFirstFileW(L"*.*", &entry);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      HANDLE test = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      CloseHandle(test);
      if (lstrcmpW(entry.cFileName, L".") == 0 || lstrcmpW(entry.cFileName, L"..") == 0) continue;
      BareWalk(folder + entry.cFileName + L"\\", rows);
    } else {
      BareFile((folder + entry.cFileName).c_str(), rows);
    }
  } while (FindNextFileW(listing, &entry));
  FindClose(listing);
}

void EmptyLists() {
  SendMessageA(g_readReport.readOkList, LVM_DELETEALLITEMS, 0, 0);
  SendMessageA(g_readReport.readErrorList, LVM_DELETEALLITEMS, 0, 0);
}

struct Timing {
  std::vector<double> wall, cpu;
};

template <typename Run>
void Timed(Timing& timing, Run run) {
  EmptyLists();
  const RunTime time = TimeRun(run);
  timing.wall.push_back(time.wall);
  timing.cpu.push_back(time.cpu);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A list like the panel's: single selection, grid lines, full-row selection, its columns.
HWND MakeList(HWND panel, DWORD extraStyle) {
  HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_ALIGNLEFT,
                              0, 0, 600, 300, panel, nullptr, nullptr, nullptr);
  const ResultsColumn columns[] = {{"File Name", 291, LVCFMT_LEFT}, {"File Size", 120, LVCFMT_RIGHT},
                                   {"Status", 110, LVCFMT_LEFT}};
  SetUpResultsList(list, extraStyle, columns, 3);
  return list;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    std::fprintf(stderr, "usage: scan_bench FOLDER [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? _wtoi(argv[2]) : 5;
  InitCommonControls();
  StoreOsMajorVersion();
  std::wstring root = argv[1];
  MakeTree(root);
  if (root.back() != L'\\') root += L'\\';

  HWND panel = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                               nullptr, nullptr);
  g_readReport.readOkList = MakeList(panel, LVS_EX_DOUBLEBUFFER);
  g_readReport.readErrorList = MakeList(panel, 0);
  g_readReport.discStatusLine =
      CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 300, 600, 20, panel, nullptr, nullptr, nullptr);
  WidePath path = {};
  lstrcpynW(path, root.c_str(), kWidePathUnits);

  Timing warmUp, scan, walk, bare;
  Timed(warmUp, [&] { BareWalk(root, true); });  // the files into the cache, the code paths warm
  for (int round = 0; round < rounds; ++round) {
    // Each round starts with another of the three, so that none always follows the same one.
    for (int turn = 0; turn < 3; ++turn) {
      switch ((round + turn) % 3) {
        case 0:
          Timed(scan, [&] { ScanDirectory(path); });
          break;
        case 1:
          Timed(walk, [&] { BareWalk(root, true); });
          break;
        case 2:
          Timed(bare, [&] { BareWalk(root, false); });
          break;
      }
    }
    std::printf("round %d: scan %.3f s (CPU %.3f s), walk with rows %.3f s (CPU %.3f s), "
                "walk without rows %.3f s (CPU %.3f s)\n",
                round + 1, scan.wall.back(), scan.cpu.back(), walk.wall.back(), walk.cpu.back(),
                bare.wall.back(), bare.cpu.back());
  }
  const struct {
    const char* name;
    const Timing& timing;
  } kResults[] = {{"ScanDirectory          ", scan}, {"bare walk with rows    ", walk}, {"bare walk without rows ", bare}};
  std::printf("%d files in %d folders, %d rounds (medians)\n", kFileCount, kFileCount / kFilesPerFolder, rounds);
  for (const auto& result : kResults) {
    const double wall = Median(result.timing.wall), cpu = Median(result.timing.cpu);
    std::printf("%s: %.3f s, %.0f files/s; thread CPU %.3f s, %.0f files/s\n", result.name, wall,
                kFileCount / wall, cpu, kFileCount / cpu);
  }
  std::printf("scan over the walk with rows: %+.1f %% in time, %+.1f %% in thread CPU\n",
              (Median(scan.wall) / Median(walk.wall) - 1.0) * 100.0,
              (Median(scan.cpu) / Median(walk.cpu) - 1.0) * 100.0);

  // Taking the READ OK list away, as the scan filled it: Select All with Copy, and Save List As
  // to CSV, against what inserting the rows cost the walk.
  EmptyLists();
  ScanDirectory(path);
  HWND list = g_readReport.readOkList;
  const std::wstring csv = root + L"export.csv";
  std::vector<double> copy, save;
  for (int round = 0; round < rounds; ++round) {
    copy.push_back(TimeRun([&] {
                     SelectAllRows(list);
                     CopyRowsToClipboard(panel, list);
                   }).wall);
    save.push_back(TimeRun([&] { SaveListToFile(list, csv.c_str(), ListTextFormat::kCsv); }).wall);
  }
  DeleteFileW(csv.c_str());
  const double insertion = Median(walk.wall) - Median(bare.wall);
  std::printf("%d rows, inserted in %.3f s (walk with rows less walk without):\n",
              static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), insertion);
  std::printf("  Select All + Copy: median %.3f s, %.1f %% of the insertion\n", Median(copy),
              Median(copy) / insertion * 100.0);
  std::printf("  Save List As, CSV: median %.3f s, %.1f %% of the insertion\n", Median(save),
              Median(save) / insertion * 100.0);
  DestroyWindow(panel);
  return 0;
}
