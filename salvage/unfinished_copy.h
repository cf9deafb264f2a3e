// The files of one rescue in the chosen folder: the copy, which carries its final name only
// once its passes are done ("name.unfinished" until then), and its map beside it
// ("name.rescue-map.txt"), which a later run goes on from.
#pragma once

#include <windows.h>

#include "salvage/rescue_map.h"
#include "salvage/variant_path.h"
#include "shell/run_state.h"

enum class RescueFile { kFinished, kUnfinished, kMap };

// The name of the copy in that state, or of its map; false when it does not fit.
bool RescueFileName(const WidePath& destination, RescueFile which, WidePath& name);

bool PathExists(const WidePath& path);

// Moves a file of the rescue to a name that must be free: an existing file is never replaced.
bool MoveRescueFile(const WidePath& from, const WidePath& to);

enum class MapFileState { kMissing, kUnreadable, kRead };

MapFileState ReadRescueMapFile(const WidePath& mapName, RescueMap& map);

// Writes the map through a file of its own beside it, which then takes its place, so that a
// stop at any moment leaves the old map or the new one, never a part of either.
DWORD SaveRescueMapFile(const WidePath& mapName, const RescueMap& map);

// Moves an earlier copy (finished or not) and its map out of the way of a new rescue, to
// "name (earlier copy).ext" or "name (earlier copy N).ext"; `aside` is the new name of the
// copy. Nothing of it is ever deleted.
DWORD KeepEarlierCopy(const WidePath& destination, WidePath& aside);

// The source's path below the drive root as a map keeps it (UTF-8, empty when it cannot be
// told), and back.
void MapSourcePath(const WidePath& source, const WidePath& driveRoot, char (&path)[kMapPathBytes]);
bool SourceFromMapPath(const char* path, const WidePath& driveRoot, WidePath& source);
