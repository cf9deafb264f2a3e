// The program as a user gets it: verolux.exe unpacked from the release zip of the test's own
// processor, started as a process of its own, shows its main window and ends when closed.
// The test builds nothing of the program into itself; VEROLUX_PACKAGED_EXE names the
// unpacked file (a Linux path).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "resources/resource_ids.h"
#include "tests/support/program_driver.h"
#include "verolux_version.h"

namespace {

// The unpacked program's Linux path, as Wine's drive Z: shows it.
std::wstring PackagedProgram() {
  const char* path = std::getenv("VEROLUX_PACKAGED_EXE");
  if (!path) return L"";
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MAX_PATH);
  std::wstring program = std::wstring(L"Z:") + wide;
  for (wchar_t& unit : program) {
    if (unit == L'/') unit = L'\\';
  }
  return program;
}

class StartedProcess {
 public:
  explicit StartedProcess(const std::wstring& program) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + program + L"\"";
    started_ = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, nullptr, &startup, &process_);
  }
  ~StartedProcess() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  bool started() const { return started_ != FALSE; }
  const PROCESS_INFORMATION& info() const { return process_; }

 private:
  PROCESS_INFORMATION process_ = {};
  BOOL started_ = FALSE;
};

TEST(PackagedProgram, StartsShowsItsMainWindowSwitchesTasksAndExitsWhenClosed) {
  const std::wstring program = PackagedProgram();
  ASSERT_FALSE(program.empty()) << "VEROLUX_PACKAGED_EXE is not set";
  ASSERT_NE(GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES) << "no unpacked program";
  StartedProcess process(program);
  ASSERT_TRUE(process.started()) << "cannot start the packaged program, error " << GetLastError();

  // The program's UI runs on its first thread: a window found there is the packaged
  // program's own, not one of some other Verolux on the desktop.
  ProgramDriver driver(process.info().dwThreadId);
  ASSERT_TRUE(driver.WaitForMainWindow()) << "no window \"" VEROLUX_CAPTION "\" appeared";
  HWND mainWindow = driver.mainWindow();
  DWORD owner = 0;
  GetWindowThreadProcessId(mainWindow, &owner);
  EXPECT_EQ(owner, process.info().dwProcessId);
  EXPECT_EQ(ProgramDriver::Text(mainWindow), VEROLUX_CAPTION_W);
  EXPECT_TRUE(IsWindowVisible(mainWindow));

  // Its resources came along: the task buttons carry their icons, and a task button
  // brings up its panel.
  for (int button : {IDC_TASK_READ_DISC, IDC_TASK_READ_FILE, IDC_TASK_FILE_COMPARE, IDC_TASK_COPY_UNREADABLE}) {
    EXPECT_NE(driver.ButtonIcon(GetDlgItem(mainWindow, button)), nullptr) << "button " << button;
  }
  HWND panel = driver.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(IsWindowVisible(panel));

  driver.CloseProgram();
  ASSERT_EQ(WaitForSingleObject(process.info().hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = STILL_ACTIVE;
  GetExitCodeProcess(process.info().hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace
