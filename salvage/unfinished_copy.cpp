#include "salvage/unfinished_copy.h"

#include <cstdlib>
#include <cstring>

#include "salvage/rescue_rows.h"
#include "shell/results_list_commands.h"

namespace {

constexpr const WCHAR* kSuffixes[] = {L"", L".unfinished", L".rescue-map.txt"};

bool Append(const WidePath& base, const WCHAR* tail, WidePath& joined) {
  const std::size_t baseLength = BoundedLength(base, kWidePathUnits);
  const std::size_t tailLength = BoundedLength(tail, kWidePathUnits);
  if (baseLength + tailLength >= kWidePathUnits) return false;
  for (std::size_t i = 0; i < kWidePathUnits; ++i) joined[i] = i < baseLength ? base[i] : 0;
  for (std::size_t i = 0; i < tailLength; ++i) joined[baseLength + i] = tail[i];
  return true;
}

bool MoveIfThere(const WidePath& from, const WidePath& to, DWORD& error) {
  if (!PathExists(from)) return true;
  const bool moved = MoveRescueFile(from, to);
  if (!moved) error = GetLastError() != NO_ERROR ? GetLastError() : ERROR_ACCESS_DENIED;
  return moved;
}

// "name (earlier copy N).ext": the number goes before the extension, so that the kept copy
// still opens with its program.
bool AsideName(const WidePath& destination, int number, WidePath& aside) {
  const std::size_t length = BoundedLength(destination, kWidePathUnits);
  std::size_t dot = length;
  for (std::size_t i = length; i > 0 && destination[i - 1] != '\\'; --i) {
    if (destination[i - 1] == '.') {
      dot = i - 1;
      break;
    }
  }
  WCHAR mark[32];
  if (number == 1) {
    lstrcpyW(mark, L" (earlier copy)");
  } else {
    wsprintfW(mark, L" (earlier copy %d)", number);
  }
  const std::size_t markLength = lstrlenW(mark);
  if (length + markLength + kRescueNameSuffixUnits >= kWidePathUnits) return false;
  std::size_t n = 0;
  for (std::size_t i = 0; i < dot; ++i) aside[n++] = destination[i];
  for (std::size_t i = 0; i < markLength; ++i) aside[n++] = mark[i];
  for (std::size_t i = dot; i < length; ++i) aside[n++] = destination[i];
  while (n < kWidePathUnits) aside[n++] = 0;
  return true;
}

}  // namespace

bool RescueFileName(const WidePath& destination, RescueFile which, WidePath& name) {
  return Append(destination, kSuffixes[static_cast<int>(which)], name);
}

bool PathExists(const WidePath& path) {
  return OnPath(path, GetFileAttributesW, GetFileAttributesA) != INVALID_FILE_ATTRIBUTES;
}

bool MoveRescueFile(const WidePath& from, const WidePath& to) {
  return OnPath(
             from, [&](const WCHAR* name) { return MoveFileW(name, to); },
             [&](const char* name) {
               char ansiTo[kWidePathUnits];
               NarrowPath(to, ansiTo);
               return MoveFileA(name, ansiTo);
             }) != FALSE;
}

MapFileState ReadRescueMapFile(const WidePath& mapName, RescueMap& map) {
  HANDLE file = OnPath(
      mapName,
      [](const WCHAR* name) {
        return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      },
      [](const char* name) {
        return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      });
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? MapFileState::kMissing
                                                                           : MapFileState::kUnreadable;
  }
  // A map is a few lines a damaged area; one far larger than any map is not one.
  constexpr DWORD kLargestMap = 64u << 20;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  PlainArray<char> text;
  bool read = size != INVALID_FILE_SIZE && high == 0 && size <= kLargestMap && text.Resize(size);
  if (read) {
    DWORD got = 0;
    read = size == 0 || (ReadFile(file, text.data(), size, &got, nullptr) && got == size);
  }
  CloseHandle(file);
  return read && ParseRescueMap(text.data(), text.size(), map) ? MapFileState::kRead : MapFileState::kUnreadable;
}

DWORD SaveRescueMapFile(const WidePath& mapName, const RescueMap& map) {
  const PlainText text = FormatRescueMap(map);
  if (text.failed()) return ERROR_NOT_ENOUGH_MEMORY;
  return ReplaceFileWithBytes(mapName, text.data(), text.size());
}

DWORD KeepEarlierCopy(const WidePath& destination, WidePath& aside) {
  for (int number = 1; number < 1000; ++number) {
    if (!AsideName(destination, number, aside)) return ERROR_FILENAME_EXCED_RANGE;
    WidePath taken[3];
    bool free = true;
    for (int which = 0; which < 3; ++which) {
      free = free && RescueFileName(aside, static_cast<RescueFile>(which), taken[which]) && !PathExists(taken[which]);
    }
    if (!free) continue;
    DWORD error = NO_ERROR;
    for (int which = 0; which < 3; ++which) {
      WidePath from;
      RescueFileName(destination, static_cast<RescueFile>(which), from);
      if (!MoveIfThere(from, taken[which], error)) return error;
    }
    // The kept copy's name as the user will look for it: finished or not.
    if (!PathExists(taken[0])) lstrcpyW(aside, taken[1]);
    return NO_ERROR;
  }
  return ERROR_FILE_EXISTS;
}

void MapSourcePath(const WidePath& source, const WidePath& driveRoot, char (&path)[kMapPathBytes]) {
  const std::size_t rootLength = BoundedLength(driveRoot, kWidePathUnits);
  WCHAR wide[kWidePathUnits];
  const WCHAR* below = source + rootLength - (rootLength > 0 && driveRoot[rootLength - 1] == '\\' ? 1 : 0);
  if (UsesWideCalls()) {
    lstrcpynW(wide, below, kWidePathUnits);
  } else {
    char ansi[kWidePathUnits];
    NarrowPath(source, ansi);
    const char* ansiBelow = ansi + (below - source);
    if (!MultiByteToWideChar(CP_ACP, 0, ansiBelow, -1, wide, kWidePathUnits)) wide[0] = 0;
  }
  if (!WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, sizeof path, nullptr, nullptr)) path[0] = 0;
}

bool SourceFromMapPath(const char* path, const WidePath& driveRoot, WidePath& source) {
  WCHAR wide[kWidePathUnits];
  // Only a path below the root: a map must not lead the rescue anywhere else (Windows takes
  // '/' for a separator too; ':' would name a stream or a drive).
  if (path[0] != '\\' || std::strstr(path, "\\..") || std::strpbrk(path, "/:") ||
      !MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, kWidePathUnits)) {
    return false;
  }
  WidePath root = {};
  const std::size_t rootLength = BoundedLength(driveRoot, kWidePathUnits);
  // The root without its closing backslash: the map's path begins with one.
  for (std::size_t i = 0; i < rootLength; ++i) root[i] = driveRoot[i];
  if (rootLength > 0 && root[rootLength - 1] == '\\') root[rootLength - 1] = 0;
  if (UsesWideCalls()) return Append(root, wide, source);
  char ansi[kWidePathUnits];
  BOOL lost = FALSE;
  if (!WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, kWidePathUnits, nullptr, &lost) || lost) return false;
  WidePath widened = {};
  char padded[kWidePathUnits] = {};
  lstrcpynA(padded, ansi, kWidePathUnits);
  WidenPath(padded, widened);
  return Append(root, widened, source);
}
