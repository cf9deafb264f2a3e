// Paths of the drive scan: a directory path and an entry name joined into a wide path, and
// what to show for an entry whose path would not fit one.
#pragma once

#include <cstddef>

#include "shell/wide_path.h"

// Joins `directory` (a wide path, usually ending with a backslash) and `name` into `out`: the
// directory, a backslash unless it already ends with one, the name, and a closing backslash
// when `asFolder`. Returns true when the result fits a wide path (259 characters).
//
// When it does not fit, returns false and leaves in `out` what the user is shown instead: the
// drive root, "...", and the end of the path, 259 characters in all, so that the row still
// names the file or folder that could not be verified.
template <typename Unit>
bool JoinScanPath(const Unit* directory, const Unit* name, bool asFolder,
                  Unit (&out)[kWidePathUnits]) {
  constexpr std::size_t kLongest = kWidePathUnits - 1;
  const std::size_t directoryLength = BoundedLength(directory, kWidePathUnits);
  const std::size_t nameLength = BoundedLength(name, kWidePathUnits);
  const bool separator = directoryLength == 0 || directory[directoryLength - 1] != '\\';

  // Whole path: the pieces one after another, with the separators between them.
  const Unit* pieces[4];
  std::size_t lengths[4];
  const Unit backslash[1] = {static_cast<Unit>('\\')};
  std::size_t count = 0;
  pieces[count] = directory;
  lengths[count++] = directoryLength;
  if (separator) {
    pieces[count] = backslash;
    lengths[count++] = 1;
  }
  pieces[count] = name;
  lengths[count++] = nameLength;
  if (asFolder) {
    pieces[count] = backslash;
    lengths[count++] = 1;
  }
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) total += lengths[i];

  // The path's unit at `index`, for the shortened form.
  auto unitAt = [&](std::size_t index) {
    for (std::size_t i = 0; i < count; ++i) {
      if (index < lengths[i]) return pieces[i][index];
      index -= lengths[i];
    }
    return static_cast<Unit>(0);
  };

  const bool fits = total <= kLongest;
  std::size_t n = 0;
  if (fits) {
    for (std::size_t i = 0; i < total; ++i) out[n++] = unitAt(i);
  } else {
    constexpr std::size_t kHead = 3;  // the drive root, "X:\"
    const std::size_t head = directoryLength < kHead ? directoryLength : kHead;
    for (std::size_t i = 0; i < head; ++i) out[n++] = unitAt(i);
    for (int i = 0; i < 3; ++i) out[n++] = static_cast<Unit>('.');
    const std::size_t tail = kLongest - n;
    for (std::size_t i = total - tail; i < total; ++i) out[n++] = unitAt(i);
  }
  while (n < kWidePathUnits) out[n++] = 0;
  return fits;
}
