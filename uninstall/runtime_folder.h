// The runtime folder: a fresh folder "qx" + 8 hexadecimal digits under the
// system temporary folder for each run, made with the protected access list
// (common/protected_access.h), and its removal at the end.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_resource.h"
#include "uninstall/paths.h"

namespace qx {

struct LauncherState;

// The first name seed: launchers of other processes or threads started in the
// same millisecond get other names.
uint32_t RuntimeFolderSeed(uint32_t tick_count, uint32_t thread_id, uint32_t process_id);

// Appends "qx" and |seed| as exactly 8 upper-case hexadecimal digits.
bool AppendRuntimeFolderName(PathBuffer& path, uint32_t seed);

// Creates the runtime folder below the temporary folder held in RuntimeFolder
// (RuntimeFolderLength long). On success RuntimeFolder holds the new folder
// with "\", RuntimeFolderLength its length and RunMarker the folder's
// marker, held open; on failure the temporary folder
// again. A taken name moves the seed on by the current tick count; at most
// 100 names are tried.
bool CreateRuntimeFolder(LauncherState& state);

// The same with the first seed and the clock given.
using TickSource = DWORD(WINAPI*)();
bool CreateRuntimeFolder(LauncherState& state, uint32_t seed, TickSource tick_count);

// Removes the runtime folders that earlier runs left (killed, for instance).
// Each run records its folder's identity under HKLM, which only
// administrators can write, as it makes the folder, and forgets it once the
// folder is gone: only a recorded folder that is still that very folder is
// removed, never a look-alike. Each run holds the marker file in its own
// folder open without delete sharing (RunMarker); a folder whose marker can
// be opened for deletion, or that has none, is no live run's.
void RemoveStaleRuntimeFolders();

// Deletes the marker as it is closed: a run that is removing its own folder
// is never taken for a stale one, whose removal would race its own.
void ReleaseRunMarker(UniqueFile& marker);

// Deletes the folder |path| (ending with "\") with everything in it, depth
// first, and stops at the first failure, whose platform error it returns
// (0 when all is gone). Read-only files are deleted too. Each entry is opened
// through its folder's handle without following a reparse point and checked
// through its own handle: a link is removed as a link, never entered, even
// one put in place while the removal runs. |path| is not changed.
DWORD RemoveFolderTree(const PathBuffer& path);

// RemoveFolderTree, and the folder's record once it is gone.
DWORD RemoveRuntimeFolder(const PathBuffer& path);

}  // namespace qx
