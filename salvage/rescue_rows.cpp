#include "salvage/rescue_rows.h"

#include <commctrl.h>

#include "salvage/unfinished_copy.h"

namespace {

constexpr const char* kNotOpenedWhenChecked = "could not be opened when the drive was checked";
constexpr const char* kNameTooLong = "name too long";

// The size as the scan listed it: "%1.0f bytes", or "Unknown size" for a file it could not open.
bool ReadRowSize(HWND list, int index, std::int64_t& size) {
  char sizeText[64] = {};
  LVITEMA cell = {};
  cell.iSubItem = 1;
  cell.pszText = sizeText;
  cell.cchTextMax = sizeof sizeText;
  SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&cell));
  size = 0;
  for (const char* digit = sizeText; *digit >= '0' && *digit <= '9'; ++digit) size = size * 10 + (*digit - '0');
  return sizeText[0] >= '0' && sizeText[0] <= '9';
}

// The row's place in the folder: the folder, then its path below the drive root.
void PlaceRow(const WidePath& driveRoot, const WidePath& folder, RescueRow& row) {
  const std::size_t rootLength = BoundedLength(driveRoot, kWidePathUnits);
  const std::size_t sourceLength = BoundedLength(row.source, kWidePathUnits);
  const WCHAR* below = row.source + (rootLength < sourceLength ? rootLength : sourceLength);
  if (!JoinPath(folder, below, kRescueNameSuffixUnits, row.destination) && !row.refusal) row.refusal = kNameTooLong;
}

}  // namespace

void ReadRowPath(HWND list, int index, WidePath& source) {
  if (UsesWideCalls()) {
    LVITEMW item = {};
    item.pszText = source;
    item.cchTextMax = kWidePathUnits;
    SendMessageW(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
  } else {
    // The ANSI variant lists the ANSI bytes of the names.
    char ansi[kWidePathUnits] = {};
    LVITEMA item = {};
    item.pszText = ansi;
    item.cchTextMax = kWidePathUnits;
    SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    WidenPath(ansi, source);
  }
  source[kWidePathUnits - 1] = 0;
}

bool JoinPath(const WidePath& first, const WCHAR* second, std::size_t reserve, WidePath& joined) {
  const std::size_t firstLength = BoundedLength(first, kWidePathUnits);
  const bool separator = firstLength > 0 && first[firstLength - 1] != '\\' && second[0] != '\\';
  const std::size_t secondLength = BoundedLength(second, kWidePathUnits);
  for (std::size_t i = 0; i < kWidePathUnits; ++i) joined[i] = 0;
  if (firstLength + separator + secondLength + reserve > kWidePathUnits - 1) return false;
  std::size_t n = 0;
  for (std::size_t i = 0; i < firstLength; ++i) joined[n++] = first[i];
  if (separator) joined[n++] = '\\';
  for (std::size_t i = 0; i < secondLength; ++i) joined[n++] = second[i];
  return true;
}

bool TakeSelectedRows(HWND list, const WidePath& driveRoot, const WidePath& folder, PlainArray<RescueRow>& rows) {
  const int count = static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0));
  rows.Reserve(count > 0 ? count : 0);
  for (int index = ListView_GetNextItem(list, -1, LVNI_SELECTED); index >= 0;
       index = ListView_GetNextItem(list, index, LVNI_SELECTED)) {
    RescueRow row;
    ReadRowPath(list, index, row.source);
    if (!ReadRowSize(list, index, row.listedSize)) row.refusal = kNotOpenedWhenChecked;
    PlaceRow(driveRoot, folder, row);
    rows.push_back(row);
  }
  return !rows.failed();
}

namespace {

struct WideFindCalls {
  using Unit = WCHAR;
  using Found = WIN32_FIND_DATAW;
  static HANDLE First(const Unit* pattern, Found* found) { return FindFirstFileW(pattern, found); }
  static BOOL Next(HANDLE find, Found* found) { return FindNextFileW(find, found); }
};

struct AnsiFindCalls {
  using Unit = char;
  using Found = WIN32_FIND_DATAA;
  static HANDLE First(const Unit* pattern, Found* found) { return FindFirstFileA(pattern, found); }
  static BOOL Next(HANDLE find, Found* found) { return FindNextFileA(find, found); }
};

constexpr char kMapSuffix[] = ".rescue-map.txt";

template <typename Unit>
bool EndsWithMapSuffix(const Unit* name) {
  const std::size_t length = BoundedLength(name, kWidePathUnits);
  const std::size_t suffix = sizeof kMapSuffix - 1;
  if (length <= suffix) return false;
  for (std::size_t i = 0; i < suffix; ++i) {
    Unit unit = name[length - suffix + i];
    if (unit >= 'A' && unit <= 'Z') unit = static_cast<Unit>(unit - 'A' + 'a');
    if (unit != static_cast<Unit>(kMapSuffix[i])) return false;
  }
  return true;
}

// One map found: the row it stands for, when its rescue still has something to do.
void TakeMap(const WidePath& mapName, const WidePath& driveRoot, PlainArray<RescueRow>& rows, int& unreadableMaps) {
  RescueMap map;
  if (ReadRescueMapFile(mapName, map) != MapFileState::kRead) {
    ++unreadableMaps;
    return;
  }
  RescueRow row;
  const std::size_t length = BoundedLength(mapName, kWidePathUnits);
  for (std::size_t i = 0; i + (sizeof kMapSuffix - 1) < length; ++i) row.destination[i] = mapName[i];
  if (!SourceFromMapPath(map.sourcePath, driveRoot, row.source)) {
    ++unreadableMaps;
    return;
  }
  row.listedSize = map.sourceSize;
  rows.push_back(row);
}

// Depth first, as the drive check lists a tree.
template <typename Calls>
void FindMaps(typename Calls::Unit (&folder)[kWidePathUnits], std::size_t length, const WidePath& driveRoot,
              PlainArray<RescueRow>& rows, int& unreadableMaps) {
  using Unit = typename Calls::Unit;
  if (length + 4 >= kWidePathUnits) return;
  const bool separator = length > 0 && folder[length - 1] != '\\';
  const std::size_t base = length + separator;
  if (separator) folder[length] = '\\';
  folder[base] = '*';
  folder[base + 1] = 0;
  typename Calls::Found found;
  HANDLE find = Calls::First(folder, &found);
  for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = Calls::Next(find, &found)) {
    const Unit* name = found.cFileName;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    const std::size_t nameLength = BoundedLength(name, MAX_PATH);
    if (base + nameLength >= kWidePathUnits) continue;
    for (std::size_t i = 0; i <= nameLength; ++i) folder[base + i] = name[i];
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A link back up the tree would be walked for ever.
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        FindMaps<Calls>(folder, base + nameLength, driveRoot, rows, unreadableMaps);
      }
    } else if (EndsWithMapSuffix(name)) {
      WidePath mapName = {};
      for (std::size_t i = 0; i < kWidePathUnits && folder[i] != 0; ++i) {
        mapName[i] = static_cast<WCHAR>(static_cast<short>(sizeof(Unit) == 1 ? static_cast<signed char>(folder[i])
                                                                              : folder[i]));
      }
      TakeMap(mapName, driveRoot, rows, unreadableMaps);
    }
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  folder[length] = 0;
}

}  // namespace

bool RowsFromMaps(const WidePath& folder, const WidePath& driveRoot, PlainArray<RescueRow>& rows,
                  int& unreadableMaps) {
  unreadableMaps = 0;
  const std::size_t length = BoundedLength(folder, kWidePathUnits);
  if (UsesWideCalls()) {
    WCHAR walk[kWidePathUnits] = {};
    for (std::size_t i = 0; i < length; ++i) walk[i] = folder[i];
    FindMaps<WideFindCalls>(walk, length, driveRoot, rows, unreadableMaps);
  } else {
    char walk[kWidePathUnits];
    NarrowPath(folder, walk);
    FindMaps<AnsiFindCalls>(walk, length, driveRoot, rows, unreadableMaps);
  }
  return !rows.failed();
}
