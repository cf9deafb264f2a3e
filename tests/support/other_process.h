// Another Windows process that holds a file open for writing, for sharing-violation tests.
#pragma once

#include <windows.h>

#include <string>

constexpr wchar_t kHoldOpenForWritingFlag[] = L"--hold-open-for-writing";

// The test program run as another program that writes into a file the visual styles module
// its binding forwards to, then every UxTheme.dll loaded into it, one file name a line.
constexpr wchar_t kReportThemeModulesFlag[] = L"--report-theme-modules";

class FileHeldOpenForWriting {
 public:
  // `share`: what the other program lets others do with the file meanwhile.
  explicit FileHeldOpenForWriting(const std::wstring& path,
                                  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE);
  ~FileHeldOpenForWriting();
  FileHeldOpenForWriting(const FileHeldOpenForWriting&) = delete;
  FileHeldOpenForWriting& operator=(const FileHeldOpenForWriting&) = delete;

  // True once the other process has the file open.
  bool holding() const { return holding_; }

 private:
  PROCESS_INFORMATION process_ = {};
  bool holding_ = false;
};
