#include "tests/support/test_drives.h"

#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Wine's own control of its mount manager (its configuration tool defines drives with it).
constexpr DWORD kMountManagerType = 0x6D;
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(kMountManagerType, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};

// Defines `letter` as a drive of `kind` on `unixFolder`, or removes it when the folder is empty.
bool DefineUnixDrive(char letter, UINT kind, const std::string& unixFolder) {
  HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  std::vector<char> request(sizeof(UnixDriveRequest) + unixFolder.size() + 1, '\0');
  auto* drive = reinterpret_cast<UnixDriveRequest*>(request.data());
  drive->size = static_cast<ULONG>(request.size());
  drive->type = kind;
  drive->letter = static_cast<WCHAR>(letter);
  if (!unixFolder.empty()) {
    drive->mountPointOffset = sizeof(UnixDriveRequest);
    std::memcpy(request.data() + sizeof(UnixDriveRequest), unixFolder.c_str(), unixFolder.size());
  }
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(manager, kDefineUnixDrive, request.data(),
                                    static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
  CloseHandle(manager);
  return done != FALSE;
}

}  // namespace

TestDrive::TestDrive(char letter, UINT kind, const std::string& unixFolder) : letter_(letter) {
  defined_ = DefineUnixDrive(letter, kind, unixFolder);
  if (!defined_) ADD_FAILURE() << "could not define drive " << letter << ": on " << unixFolder;
}

TestDrive::~TestDrive() {
  if (defined_) DefineUnixDrive(letter_, DRIVE_NO_ROOT_DIR, "");
}

NotReadyDrive::NotReadyDrive(char letter) : device_{static_cast<wchar_t>(letter), L':', 0} {
  target_ = L"C:\\verolux-no-medium-" + std::wstring(1, static_cast<wchar_t>(letter));
  defined_ = DefineDosDeviceW(0, device_, target_.c_str()) != FALSE;
  if (!defined_) ADD_FAILURE() << "could not map drive " << letter << ":";
}

NotReadyDrive::~NotReadyDrive() {
  if (defined_) DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, device_, target_.c_str());
}

std::string UnixPathOf(const std::wstring& windowsPath) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  const auto toUnix = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return "";
  char* name = toUnix(windowsPath.c_str());
  if (!name) return "";
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

void WriteVolumeLabel(const std::wstring& folder, const char* label) {
  HANDLE file = CreateFileW((folder + L"\\.windows-label").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, label, static_cast<DWORD>(std::strlen(label)), &written, nullptr);
  CloseHandle(file);
}
