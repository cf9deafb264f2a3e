#include "tests/support/bad_media.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <vector>

#include "tests/support/test_windows.h"
#include "tools/bad_media_pattern.h"

std::wstring UnixToWindows(const std::string& unixPath) {
  std::wstring path = L"Z:" + Widen(unixPath);
  for (auto& unit : path) {
    if (unit == L'/') unit = L'\\';
  }
  return path;
}

namespace {

std::string ReadWholeFile(const std::wstring& path, std::uint64_t from) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(from);
  SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

std::uint64_t FileSizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The mount point and the read log of this build's test run.
std::string MountPoint() { return std::string(VEROLUX_BADMEDIA_DIR) + "/mnt"; }
std::wstring LogPath() { return UnixToWindows(std::string(VEROLUX_BADMEDIA_DIR) + "/reads.log"); }

}  // namespace

bool BadMediaMounted() {
  // The tree always holds this folder; an unmounted mount point is empty.
  const DWORD attributes = GetFileAttributesW((UnixToWindows(MountPoint()) + L"\\verify").c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring BadMediaPath(const char* relativePath) {
  return UnixToWindows(MountPoint() + "/" + relativePath);
}

std::string BadMediaUnixPath(const char* relativePath) { return MountPoint() + "/" + relativePath; }

std::wstring SalvageDisk(const char* name) {
  return UnixToWindows(std::string(VEROLUX_SALVAGE_DISKS_DIR) + "/" + name);
}

bool RestartMarginalCounts(const char* relativePath) {
  // The file system takes new times of a fixed file as that request. Wine opens a file for new
  // times with write access, which the tree refuses, so a Unix program gives them; Wine gives
  // no handle of such a program to wait on, so the read log tells when it is done.
  const BadMediaReadLog log;
  std::wstring command = L"touch -c \"" + Widen(BadMediaUnixPath(relativePath)) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\usr\\bin\\touch", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
    if (log.LinesOf(relativePath, "restart") > 0) return true;
  }
  return false;
}

BadMediaReadLog::BadMediaReadLog() : start_(FileSizeOf(LogPath())) {}

std::vector<BadMediaRead> BadMediaReadLog::ReadsOf(const char* relativePath) const {
  std::vector<BadMediaRead> reads;
  std::istringstream lines(ReadWholeFile(LogPath(), start_));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string path, result;
    BadMediaRead read = {};
    if (!(fields >> path >> read.offset >> read.length >> result)) continue;
    if (path != relativePath) continue;
    read.failed = result == "EIO";
    reads.push_back(read);
  }
  return reads;
}

int BadMediaReadLog::OpensOf(const char* relativePath) const { return LinesOf(relativePath, "open"); }

int BadMediaReadLog::LinesOf(const char* relativePath, const char* event) const {
  std::istringstream lines(ReadWholeFile(LogPath(), start_));
  const std::string opened = std::string(relativePath) + " " + event;
  int opens = 0;
  std::string line;
  while (std::getline(lines, line)) {
    if (line == opened) ++opens;
  }
  return opens;
}

std::int64_t FileLength(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::int64_t FirstWrongByte(const std::wstring& copy, const char* treePath,
                            const std::vector<ByteRange>& unreadable) {
  HANDLE file = CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const std::uint64_t seed = BadMediaDefaultSeed(treePath);
  std::vector<char> got(1 << 20), expected(1 << 20);
  std::int64_t offset = 0, wrong = -1;
  DWORD count = 0;
  while (wrong < 0 && ReadFile(file, got.data(), static_cast<DWORD>(got.size()), &count, nullptr) &&
         count > 0) {
    BadMediaFill(seed, offset, expected.data(), count);
    for (const auto& range : unreadable) {
      const std::int64_t from = std::max(range.start, offset), to = std::min(range.end, offset + count);
      if (from < to) std::memset(expected.data() + (from - offset), 0, to - from);
    }
    if (std::memcmp(got.data(), expected.data(), count) != 0) {
      for (DWORD i = 0; i < count && wrong < 0; ++i) {
        if (got[i] != expected[i]) wrong = offset + i;
      }
    }
    offset += count;
  }
  CloseHandle(file);
  return wrong;
}
