#include "salvage/rescue_destination.h"

#include <type_traits>

#include "salvage/destination_rules.h"
#include "salvage/variant_path.h"
#include "shell/results_list_commands.h"

namespace {

constexpr const char* kCaption = "Read Drive Check";

// Volume mount points came with Windows 2000: their calls are looked up at run time, so that
// the program still starts on Windows NT 4, where volumes are reached by their letters only.

// The mount point of the volume that holds `path`: "C:\mnt\stick\" for a folder below a volume
// mounted there. Where the system cannot tell, the root its text names; empty without one.
void VolumePathOf(const WidePath& path, WidePath& volumePath) {
  const bool found = OnPath(
      path,
      [&](const WCHAR* name) {
        auto call = Kernel32Call<decltype(&GetVolumePathNameW)>("GetVolumePathNameW");
        return call && call(name, volumePath, kWidePathUnits);
      },
      [&](const char* name) {
        char ansi[kWidePathUnits] = {};
        auto call = Kernel32Call<decltype(&GetVolumePathNameA)>("GetVolumePathNameA");
        if (!call || !call(name, ansi, kWidePathUnits)) return false;
        WidenPath(ansi, volumePath);
        return true;
      });
  volumePath[kWidePathUnits - 1] = 0;
  if (!found && !VolumeRootOfText(path, volumePath)) {
    volumePath[0] = 0;
    return;
  }
  // The volume calls take a mount point with its closing backslash; Wine gives a folder that
  // is one without it.
  const std::size_t length = BoundedLength(volumePath, kWidePathUnits);
  if (length > 0 && volumePath[length - 1] != '\\' && length + 1 < kWidePathUnits) {
    volumePath[length] = '\\';
    volumePath[length + 1] = 0;
  }
}

// Keeps a name the system gave if it is ASCII and fits, as volume GUID and file system names
// are; otherwise keeps nothing, since it could not be compared.
template <typename Unit, std::size_t kUnits>
void KeepAscii(const Unit* text, std::size_t capacity, char (&kept)[kUnits]) {
  kept[0] = 0;
  for (std::size_t i = 0; i < capacity && i < kUnits; ++i) {
    const unsigned unit = static_cast<std::make_unsigned_t<Unit>>(text[i]);
    if (unit >= 0x80) break;
    kept[i] = static_cast<char>(unit);
    if (unit == 0) return;
  }
  kept[0] = 0;
}

// The volume GUID name of the volume mounted at `volumePath`; empty for a share, a subst'd
// letter or a system without such names.
void VolumeNameOf(const WidePath& volumePath, char (&volumeName)[kVolumeNameUnits]) {
  volumeName[0] = 0;
  OnPath(
      volumePath,
      [&](const WCHAR* mountPoint) {
        WCHAR name[kVolumeNameUnits] = {};
        auto call = Kernel32Call<decltype(&GetVolumeNameForVolumeMountPointW)>("GetVolumeNameForVolumeMountPointW");
        if (call && call(mountPoint, name, kVolumeNameUnits)) KeepAscii(name, kVolumeNameUnits, volumeName);
        return 0;
      },
      [&](const char* mountPoint) {
        char name[kVolumeNameUnits] = {};
        auto call = Kernel32Call<decltype(&GetVolumeNameForVolumeMountPointA)>("GetVolumeNameForVolumeMountPointA");
        if (call && call(mountPoint, name, kVolumeNameUnits)) KeepAscii(name, kVolumeNameUnits, volumeName);
        return 0;
      });
}

// The file system name fits MAX_PATH + 1 units, as the call's own description asks.
constexpr DWORD kFileSystemNameUnits = MAX_PATH + 1;

// The serial and the file system name of the volume mounted at `volumePath`; false when the
// system cannot tell.
bool VolumeInformationOf(const WidePath& volumePath, std::uint32_t& serial, char (&fileSystem)[kFileSystemNameUnits]) {
  DWORD number = 0;
  fileSystem[0] = 0;
  const bool known = OnPath(
      volumePath,
      [&](const WCHAR* root) {
        WCHAR name[kFileSystemNameUnits] = {};
        if (!GetVolumeInformationW(root, nullptr, 0, &number, nullptr, nullptr, name, kFileSystemNameUnits)) {
          return false;
        }
        KeepAscii(name, kFileSystemNameUnits, fileSystem);
        return true;
      },
      [&](const char* root) {
        char name[kFileSystemNameUnits] = {};
        if (!GetVolumeInformationA(root, nullptr, 0, &number, nullptr, nullptr, name, kFileSystemNameUnits)) {
          return false;
        }
        KeepAscii(name, kFileSystemNameUnits, fileSystem);
        return true;
      });
  serial = known ? number : 0;
  return known;
}

VolumeIdentity IdentityOf(const WidePath& path) {
  VolumeIdentity volume;
  const WCHAR first = path[0];
  if (path[1] == ':' && ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) {
    volume.letter = static_cast<char>(first);
  }
  WidePath volumePath;
  VolumePathOf(path, volumePath);
  if (volumePath[0] == 0) return volume;
  VolumeNameOf(volumePath, volume.volumeName);
  char fileSystem[kFileSystemNameUnits];
  VolumeInformationOf(volumePath, volume.serial, fileSystem);
  return volume;
}

DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != NO_ERROR ? error : fallback;
}

// "vlx" and four hex digits, then ".tmp"; false when that does not fit after the folder.
bool NameProbe(const WidePath& folder, unsigned number, WidePath& probe) {
  const std::size_t length = BoundedLength(folder, kWidePathUnits);
  const bool separator = length > 0 && folder[length - 1] != '\\';
  char tail[16];
  wsprintfA(tail, "%svlx%04X.tmp", separator ? "\\" : "", number & 0xFFFFu);
  const std::size_t tailLength = lstrlenA(tail);
  if (length + tailLength >= kWidePathUnits) return false;
  for (std::size_t i = 0; i < kWidePathUnits; ++i) probe[i] = i < length ? folder[i] : 0;
  for (std::size_t i = 0; i < tailLength; ++i) probe[length + i] = static_cast<WCHAR>(tail[i]);
  return true;
}

HANDLE CreateProbe(const WidePath& probe) {
  // Made new, so that it is this program's to remove; the system removes it once its handle
  // closes, even should the program end in between.
  constexpr DWORD kFlags = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
  return OnPath(
      probe, [](const WCHAR* name) { return CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, kFlags, nullptr); },
      [](const char* name) { return CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, kFlags, nullptr); });
}

// A file system that ignores the removal on close (some network servers do) leaves the probe.
void RemoveIfLeft(const WidePath& probe) {
  if (OnPath(probe, GetFileAttributesW, GetFileAttributesA) == INVALID_FILE_ATTRIBUTES) return;
  OnPath(probe, DeleteFileW, DeleteFileA);
}

// Whether a file can be made in the folder: the system's reason when not, else NO_ERROR.
DWORD ProbeFolder(const WidePath& folder) {
  const unsigned start = GetTickCount();
  DWORD error = ERROR_FILE_EXISTS;
  // Another program's file may hold a probe's name.
  for (unsigned attempt = 0; attempt < 64 && (error == ERROR_FILE_EXISTS || error == ERROR_SHARING_VIOLATION);
       ++attempt) {
    WidePath probe;
    if (!NameProbe(folder, start + attempt, probe)) return ERROR_FILENAME_EXCED_RANGE;
    HANDLE file = CreateProbe(probe);
    if (file == INVALID_HANDLE_VALUE) {
      error = LastErrorOr(ERROR_ACCESS_DENIED);
      continue;
    }
    // Some media report a failed write only when the file is closed.
    error = CloseHandle(file) ? NO_ERROR : LastErrorOr(ERROR_WRITE_FAULT);
    RemoveIfLeft(probe);
  }
  return error;
}

// Why rescued files cannot go into the folder; NO_ERROR when they can.
DWORD WhyFolderUnusable(const WidePath& folder) {
  const DWORD attributes = OnPath(folder, GetFileAttributesW, GetFileAttributesA);
  // The system's own reason: a missing folder, a missing path to it, a medium gone.
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastErrorOr(ERROR_PATH_NOT_FOUND);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
  return ProbeFolder(folder);
}

void ShowRefusal(HWND owner, const char* text) { MessageBoxA(owner, text, kCaption, MB_OK | MB_ICONERROR); }

}  // namespace

bool OnVolumeOf(const WidePath& path, const WidePath& driveRoot) {
  return SameVolume(IdentityOf(path), IdentityOf(driveRoot));
}

bool RescueFolderRefused(HWND owner, const WidePath& folder, const WidePath& driveRoot) {
  // Writing to the failing medium could destroy what is still readable on it.
  if (OnVolumeOf(folder, driveRoot)) {
    ShowRefusal(owner,
                "The folder is on the drive being checked. Writing to a failing medium can destroy what is "
                "still readable on it: choose a folder on another drive.");
    return true;
  }
  const DWORD error = WhyFolderUnusable(folder);
  if (error == NO_ERROR) return false;
  char reason[512];
  FormatSystemReason(error, reason);
  char text[700];
  wsprintfA(text, "The folder does not exist or cannot be written.\n\n%s", reason);
  ShowRefusal(owner, text);
  return true;
}

bool FolderFreeSpace(const WidePath& folder, std::uint64_t& available) {
  ULARGE_INTEGER free, total, totalFree;
  const BOOL known = OnPath(
      folder, [&](const WCHAR* name) { return GetDiskFreeSpaceExW(name, &free, &total, &totalFree); },
      [&](const char* name) { return GetDiskFreeSpaceExA(name, &free, &total, &totalFree); });
  if (known) available = free.QuadPart;
  return known != FALSE;
}

std::uint64_t LargestFileIn(const WidePath& folder) {
  WidePath volumePath;
  VolumePathOf(folder, volumePath);
  std::uint32_t serial = 0;
  char fileSystem[kFileSystemNameUnits];
  if (volumePath[0] == 0 || !VolumeInformationOf(volumePath, serial, fileSystem)) return UINT64_MAX;
  return LargestFileOnFileSystem(fileSystem);
}
