// The operations that undo an installation's changes: registry keys, key
// trees and values, shared-file counters, a library's self-unregistration,
// and files, folders and INI keys. Texts arrive as they are to be used: the
// exports and the replay expand what must be expanded first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/core/text.h"

namespace qx::engine {

// The shared-file counters: one REG_DWORD per file, named by its path.
inline constexpr core::TextView kSharedFilesKey =
    u"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

struct RegistryKeyPath {
  HKEY root = nullptr;
  std::wstring subkey;
};

// False when the path does not begin with one of the five full root names.
bool SplitRegistryPath(core::TextView path, RegistryKeyPath& split);

// Deletes one key without subkeys. An empty subkey (a root itself) is refused.
bool DeleteRegistryKey(core::TextView path);
// Deletes a key with everything below it, as far as DeleteKeyTree gets.
void DeleteRegistryKeyTree(core::TextView path);
// Depth first: true when parent\name and all below it were deleted. Stops at
// the first subkey that cannot go; what was deleted before stays deleted.
bool DeleteKeyTree(HKEY parent, const wchar_t* name);
// An empty name is the key's default value.
bool DeleteRegistryValue(core::TextView key, core::TextView name);

// -1 when the key or value is missing, unreadable or not a REG_DWORD.
int32_t ReadRegistryDword(core::TextView key, core::TextView name);
void WriteRegistryDword(core::TextView key, core::TextView name, uint32_t value);
// Counts one user of a shared file down: true when the file may be deleted
// (no counter, or the last user), false when other installations keep it.
bool ReleaseSharedFile(core::TextView path);

// Runs DllRegisterServer or DllUnregisterServer of the library on a worker
// thread: 1 finished within |limit_ms|, -1 library not loadable, -2 no such
// entry point, -3 still running at the limit (the worker is terminated).
int RegisterServer(core::TextView library, bool do_register, int limit_ms);

// Deletes a file; a read-only one loses the attribute first. ERROR_SUCCESS
// when it is gone, else the platform's error (ERROR_DIRECTORY for a folder).
DWORD DeleteFileEntry(const std::wstring& path);
// After a delete that failed with |delete_error|: a file in use (a sharing
// violation, or a mapped image) is renamed into the uninstaller's folder on
// its volume, under a name of this run. The new path, or empty when the file
// stays where it is.
std::wstring MoveAside(const std::wstring& path, DWORD delete_error);
// Removes an empty folder, then pauses 200 ms whatever happened. False only
// when the folder is empty and still there (in use).
bool RemoveFolderEntry(const std::wstring& path);
// Removes one key from a section of an INI file.
void DeleteIniKey(core::TextView file, core::TextView section, core::TextView key);

}  // namespace qx::engine
