// The files of a rescue as plain data, taken once when the run starts: the selected rows of
// a Read Disc Check list, or the rescues that maps in a folder say are unfinished. The run
// never reads a window afterwards, so a click in the list cannot change what it copies.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/plain_array.h"
#include "shell/run_state.h"

// The longest name the rescue adds to a copy's name (its map's), so that every name it
// makes fits a wide path.
constexpr std::size_t kRescueNameSuffixUnits = 15;

struct RescueRow {
  WidePath source = {};
  WidePath destination = {};  // the copy's name once its rescue is finished
  std::int64_t listedSize = 0;
  // Why the file cannot be rescued, known before anything is read; null when it can.
  const char* refusal = nullptr;
};

// The selected rows of `list`, in list order, each with its place below `folder` as it lay
// below `driveRoot`. False when there is no memory for them.
bool TakeSelectedRows(HWND list, const WidePath& driveRoot, const WidePath& folder, PlainArray<RescueRow>& rows);

// The rescues below `folder` whose maps say they are not done or still have unreadable
// parts, with their sources below `driveRoot`, in the order the folders list them. Maps that
// cannot be read are counted in `unreadableMaps`.
bool RowsFromMaps(const WidePath& folder, const WidePath& driveRoot, PlainArray<RescueRow>& rows,
                  int& unreadableMaps);

// The path in the first column of a row, as the variant in use lists names.
void ReadRowPath(HWND list, int index, WidePath& source);

// Both paths joined: `first`, a backslash where it has none, then `second`; false when the
// result with `reserve` more units would not fit a wide path.
bool JoinPath(const WidePath& first, const WCHAR* second, std::size_t reserve, WidePath& joined);
