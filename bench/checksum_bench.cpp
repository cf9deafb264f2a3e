// Measures what Verify Checksums adds to the bare platform calls it makes for the files of an
// MD5 list: per file open, size, and for every 4096-byte block a seek, a read, a tick, the
// digest and a message drain, then close and the comparison with the listed digest. The list
// lies in the folder of its files, as md5sum leaves one. Run under Wine by scripts/bench.
//
//   checksum_bench.exe LIST [ROUNDS]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/wine_rounds.h"
#include "compare/checksum_list.h"
#include "compare/md5.h"
#include "compare/verify_checksums.h"
#include "shell/main_window.h"

namespace {

struct Listed {
  std::wstring path;
  std::uint8_t digest[16];
};

std::vector<Listed> ReadList(const wchar_t* listName, const std::wstring& folder) {
  std::vector<Listed> files;
  HANDLE file = CreateFileW(listName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string text(GetFileSize(file, nullptr), '\0');
  DWORD got = 0;
  ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &got, nullptr);
  CloseHandle(file);
  ForEachChecksumLine(text.data(), text.size(), [&](int, const char* line, std::size_t length) {
    Listed listed;
    PlainText name;
    if (ParseChecksumLine(line, length, listed.digest, name) != ChecksumLine::kEntry) return;
    listed.path = folder + std::wstring(name.c_str(), name.c_str() + name.size());
    files.push_back(listed);
  });
  return files;
}

// The bare loop: the verification engine's calls with the digest, and the comparison.
int BareVerifyList(const std::vector<Listed>& files) {
  int ok = 0;
  for (const Listed& listed : files) {
    Md5State state;
    Md5Start(state);
    BareVerifyFile(listed.path.c_str(), [&](const char* block, DWORD got) { Md5Add(state, block, got); });
    std::uint8_t digest[16];
    Md5Finish(digest, state);
    ok += std::memcmp(digest, listed.digest, 16) == 0;
  }
  return ok;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    std::fprintf(stderr, "usage: checksum_bench LIST [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? _wtoi(argv[2]) : 5;
  InitCommonControls();
  StoreOsMajorVersion();
  g_instance = GetModuleHandleW(nullptr);

  // A hidden stand-in for the main window, which owns the results window, with the status
  // line and the Cancel button the engine writes to.
  HWND main = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
  HWND status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 600, 20, main, nullptr, nullptr, nullptr);
  HWND cancel = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD, 0, 0, 80, 20, main, nullptr, nullptr, nullptr);
  AnswerMessageBoxes(true);

  WidePath listName = {}, driveRoot = {};
  GetFullPathNameW(argv[1], kWidePathUnits, listName, nullptr);
  lstrcpynW(driveRoot, listName, 4);
  std::wstring folder = listName;
  folder.erase(folder.rfind(L'\\') + 1);
  const std::vector<Listed> files = ReadList(listName, folder);
  double mib = 0;
  for (const Listed& listed : files) mib += FileMiB(listed.path.c_str());
  std::printf("files: %zu, OK by the bare loop: %d\n", files.size(), BareVerifyList(files));
  RunAlternatingRounds(
      rounds, mib, "VerifyChecksums", [&] { BareVerifyList(files); },
      [&] { VerifyChecksumList(main, main, driveRoot, listName, ChecksumWindows{status, cancel}); });
  DestroyWindow(main);
  return 0;
}
