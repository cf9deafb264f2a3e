// Entry point of the Windows test programs. Besides running the tests it can act as the
// "other program" that some tests need: one that holds a file open for writing.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/run_state.h"
#include "shell/theme_api.h"
#include "tests/support/other_process.h"

namespace {

int HoldOpenForWriting(const wchar_t* path, const wchar_t* readyEvent, DWORD share) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyEvent);
  if (!ready) return 4;
  SetEvent(ready);
  Sleep(120000);  // the test ends this process when it is done
  CloseHandle(file);
  return 0;
}

int ReportThemeModules(const wchar_t* path) {
  std::wstring report;
  wchar_t name[MAX_PATH] = {};
  GetModuleFileNameW(g_themeApi.module(), name, MAX_PATH);
  report += std::wstring(g_themeApi.module() ? name : L"(none)") + L"\n";
  HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  MODULEENTRY32W module = {};
  module.dwSize = sizeof module;
  for (BOOL more = Module32FirstW(modules, &module); more; more = Module32NextW(modules, &module)) {
    if (lstrcmpiW(module.szModule, L"uxtheme.dll") == 0) report += std::wstring(module.szExePath) + L"\n";
  }
  CloseHandle(modules);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  WriteFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
  return 0;
}

// The major version that the Wine test bed was asked to report, 0 for its default.
int ExpectedOsMajorVersion() {
  const char* version = std::getenv("VEROLUX_WINE_VERSION");
  if (!version) return 0;
  const struct {
    const char* name;
    int major;
  } kVersions[] = {{"nt40", 4}, {"win2k", 5}, {"winxp", 5}, {"vista", 6}, {"win7", 6}, {"win10", 10}};
  for (const auto& known : kVersions) {
    if (std::strcmp(version, known.name) == 0) return known.major;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int wideCount = 0;
  wchar_t** wideArgs = CommandLineToArgvW(GetCommandLineW(), &wideCount);
  if (wideCount == 5 && lstrcmpW(wideArgs[1], kHoldOpenForWritingFlag) == 0) {
    return HoldOpenForWriting(wideArgs[2], wideArgs[3], static_cast<DWORD>(_wtoi(wideArgs[4])));
  }
  if (wideCount == 3 && lstrcmpW(wideArgs[1], kReportThemeModulesFlag) == 0) {
    return ReportThemeModules(wideArgs[2]);
  }

  testing::InitGoogleTest(&argc, argv);
  InitCommonControls();
  StoreOsMajorVersion();

  // A test run that asked for a particular Windows version must really get it, or its
  // tests would silently check the wrong variant.
  const int expected = ExpectedOsMajorVersion();
  if (expected != 0 && expected != g_osMajorVersion) {
    std::fprintf(stderr, "expected Windows major version %d, GetVersionExA reports %d\n", expected,
                 g_osMajorVersion);
    return 2;
  }
  return RUN_ALL_TESTS();
}
