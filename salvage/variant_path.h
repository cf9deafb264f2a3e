// The call of the variant in use on a wide path, for the salvage files that touch the folder
// rescued files go into.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

// The ANSI form gets the path narrowed; both forms must return the same type.
template <typename Wide, typename Ansi>
auto OnPath(const WidePath& path, Wide wide, Ansi ansi) {
  if (UsesWideCalls()) return wide(path);
  char ansiPath[kWidePathUnits];
  NarrowPath(path, ansiPath);
  return ansi(ansiPath);
}
