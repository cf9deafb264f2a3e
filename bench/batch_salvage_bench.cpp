// Measures Copy Files To (SalvageCopyFiles) against a bare loop of the same platform calls per
// file: 2,000 files of 16 KiB in 100 folders, and one file of 512 MiB, in the page cache;
// first the process's peak memory after runs of 20, 200 and 2,000 files. Run under Wine by
// scripts/bench.
//
//   batch_salvage_bench.exe SOURCES DESTINATIONS [ROUNDS]
//       SOURCES (on Z:) is made and filled on the first run; DESTINATIONS must be on another
//       drive, since the engine refuses a folder on the drive it copies from
//   batch_salvage_bench.exe rescue FOLDER DESTINATION
//       one run of Copy Files To over the files of FOLDER (on Z:, not below it) into
//       DESTINATION, for bench/rescue_anchor.sh; prints the closing message
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/wine_rounds.h"
#include "salvage/batch_salvage.h"

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 20;
constexpr DWORD kSmallSize = 16384;
constexpr long long kBigSize = 512ll << 20;

std::wstring SmallFile(const std::wstring& sources, int folder, int file) {
  wchar_t name[64];
  wsprintfW(name, L"\\tree\\d%03d\\f%04d.bin", folder, file);
  return sources + name;
}

void MakeSources(const std::wstring& sources) {
  if (GetFileAttributesW((sources + L"\\big.bin").c_str()) != INVALID_FILE_ATTRIBUTES) return;
  CreateDirectoryW(sources.c_str(), nullptr);
  CreateDirectoryW((sources + L"\\tree").c_str(), nullptr);
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  DWORD written = 0;
  for (int folder = 0; folder < kFolders; ++folder) {
    const std::wstring first = SmallFile(sources, folder, 0);
    CreateDirectoryW(first.substr(0, first.rfind(L'\\')).c_str(), nullptr);
    for (int file = 0; file < kFilesPerFolder; ++file) {
      HANDLE out = CreateFileW(SmallFile(sources, folder, file).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      WriteFile(out, block.data() + file, kSmallSize, &written, nullptr);
      CloseHandle(out);
    }
  }
  HANDLE big = CreateFileW((sources + L"\\big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  for (long long done = 0; done < kBigSize; done += block.size()) {
    WriteFile(big, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
  }
  CloseHandle(big);
}

// The platform calls that the engine makes for one file, and nothing else: the folders below
// the destination, open, size, create, per block a seek, a read, a seek, a write and a tick
// (the engine reads on a thread of its own, which drains no messages), the times, close. `durable` adds what a rescue needs to survive a power cut: the copy
// written under a name of its own, flushed to the disk, then given its final name.
void BareCopy(const std::wstring& source, const std::wstring& destination, size_t folderLength, bool durable = false) {
  for (size_t at = destination.find(L'\\', folderLength + 1); at != std::wstring::npos;
       at = destination.find(L'\\', at + 1)) {
    CreateDirectoryW(destination.substr(0, at).c_str(), nullptr);
  }
  GetFileAttributesW(destination.c_str());
  const std::wstring written = durable ? destination + L".unfinished" : destination;
  BareSalvageFile(source.c_str(), written.c_str(), CREATE_NEW, [&](HANDLE in, HANDLE out) {
    FILETIME created, lastWritten;
    GetFileTime(in, &created, nullptr, &lastWritten);
    SetFileTime(out, &created, nullptr, &lastWritten);
    if (durable) FlushFileBuffers(out);
  }, false);
  if (durable) MoveFileW(written.c_str(), destination.c_str());
}

// A list like the Read Disc Check lists, its rows all selected.
struct Rows {
  HWND panel, list, status, cancel;
  std::vector<std::wstring> paths;
};

void FillList(Rows& rows, const std::vector<std::wstring>& paths, long long size,
              const std::vector<long long>& sizes = {}) {
  SendMessageW(rows.list, LVM_DELETEALLITEMS, 0, 0);
  rows.paths = paths;
  wchar_t sizeText[32];
  for (size_t i = 0; i < paths.size(); ++i) {
    wsprintfW(sizeText, L"%I64d bytes", sizes.empty() ? size : sizes[i]);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = static_cast<int>(i);
    item.state = item.stateMask = LVIS_SELECTED;
    item.pszText = const_cast<wchar_t*>(paths[i].c_str());
    SendMessageW(rows.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 1;
    item.pszText = sizeText;
    SendMessageW(rows.list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
  }
}

// Copies the listed rows into a fresh folder `destination`, by the engine or by the bare loop.
void CopyRows(const Rows& rows, const std::wstring& destination, bool engine, bool durable = false) {
  CreateDirectoryW(destination.substr(0, destination.rfind(L'\\')).c_str(), nullptr);
  CreateDirectoryW(destination.c_str(), nullptr);
  if (engine) {
    WidePath driveRoot = {L'Z', L':', L'\\'}, folder = {};
    lstrcpynW(folder, destination.c_str(), kWidePathUnits);
    SalvageCopyFiles(rows.panel, rows.list, driveRoot, folder, {rows.status, rows.cancel});
    return;
  }
  for (const auto& path : rows.paths) BareCopy(path, destination + path.substr(2), destination.size(), durable);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\" + name);
      } else {
        DeleteFileW((path + L"\\" + name).c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

// The most memory the process has held so far, private bytes and working set, in MiB.
void PrintPeakMemory(const char* when) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("%-28s: peak private %.2f MiB, peak working set %.2f MiB\n", when,
              counters.PeakPagefileUsage / 1048576.0, counters.PeakWorkingSetSize / 1048576.0);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3) {
    std::fprintf(stderr, "usage: batch_salvage_bench SOURCES DESTINATIONS [ROUNDS] | rescue FOLDER DESTINATION\n");
    return 2;
  }
  const bool rescue = argc == 4 && lstrcmpW(argv[1], L"rescue") == 0;
  if (rescue) ++argv;
  const std::wstring sources = argv[1], destinations = argv[2];
  const int rounds = !rescue && argc > 3 ? _wtoi(argv[3]) : 5;
  InitCommonControls();
  StoreOsMajorVersion();
  AnswerMessageBoxes(rescue);
  if (!rescue) MakeSources(sources);
  CreateDirectoryW(destinations.c_str(), nullptr);

  Rows rows = {};
  rows.panel = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
  rows.list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 600, 300, rows.panel, nullptr,
                              nullptr, nullptr);
  rows.status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 300, 600, 20, rows.panel, nullptr, nullptr, nullptr);
  rows.cancel = CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD, 0, 320, 80, 20, rows.panel, nullptr, nullptr, nullptr);
  for (int column = 0; column < 3; ++column) {
    LVCOLUMNW header = {};
    header.mask = LVCF_WIDTH;
    header.cx = 200;
    SendMessageW(rows.list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
  }

  if (rescue) {
    std::vector<std::wstring> paths;
    std::vector<long long> sizes;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((sources + L"\\*").c_str(), &entry);
    while (find != INVALID_HANDLE_VALUE) {
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        paths.push_back(sources + L"\\" + entry.cFileName);
        sizes.push_back((static_cast<long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
      }
      if (!FindNextFileW(find, &entry)) break;
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    FillList(rows, paths, 0, sizes);
    CreateDirectoryW(destinations.c_str(), nullptr);
    WidePath driveRoot = {}, folder = {};
    lstrcpynW(driveRoot, sources.c_str(), kWidePathUnits);
    lstrcpynW(folder, destinations.c_str(), kWidePathUnits);
    SalvageCopyFiles(rows.panel, rows.list, driveRoot, folder, {rows.status, rows.cancel});
    DestroyWindow(rows.panel);
    return 0;
  }

  std::vector<std::wstring> small;
  for (int folder = 0; folder < kFolders; ++folder) {
    for (int file = 0; file < kFilesPerFolder; ++file) small.push_back(SmallFile(sources, folder, file));
  }
  int run = 0;
  const auto fresh = [&] { return destinations + L"\\run" + std::to_wstring(++run); };
  // The list of 2,000 rows is made first, so that what grows after is the engine's.
  std::printf("== memory\n");
  g_printMessageBoxes = true;  // the closing messages show that every run copied its files
  FillList(rows, small, kSmallSize);
  PrintPeakMemory("before the runs");
  for (size_t count : {size_t(20), size_t(200), size_t(2000)}) {
    for (int row = 0; row < static_cast<int>(small.size()); ++row) {
      ListView_SetItemState(rows.list, row, row < static_cast<int>(count) ? LVIS_SELECTED : 0, LVIS_SELECTED);
    }
    CopyRows(rows, fresh(), true);
    char when[64];
    std::snprintf(when, sizeof when, "after a run of %zu files", count);
    PrintPeakMemory(when);
  }
  g_printMessageBoxes = false;
  RemoveTree(destinations);

  std::printf("== 2,000 files of 16 KiB in 100 folders\n");
  FillList(rows, small, kSmallSize);
  RunAlternatingRounds(
      rounds, small.size() * kSmallSize / 1048576.0, "SalvageCopyFiles",
      [&] { CopyRows(rows, fresh(), false); }, [&] { CopyRows(rows, fresh(), true); });
  RemoveTree(destinations);
  std::printf("== the same, the bare loop with the flush and the final rename\n");
  RunAlternatingRounds(
      rounds, small.size() * kSmallSize / 1048576.0, "SalvageCopyFiles",
      [&] { CopyRows(rows, fresh(), false, true); }, [&] { CopyRows(rows, fresh(), true); });
  RemoveTree(destinations);

  std::printf("== one file of 512 MiB\n");
  FillList(rows, {sources + L"\\big.bin"}, kBigSize);
  const std::wstring big = destinations + L"\\big";
  const auto again = [&](bool engine) {
    RemoveTree(big);
    CopyRows(rows, big, engine);
  };
  RunAlternatingRounds(rounds, kBigSize / 1048576.0, "SalvageCopyFiles", [&] { again(false); },
                       [&] { again(true); });
  RemoveTree(destinations);
  DestroyWindow(rows.panel);
  return 0;
}
