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

// A key name longer than the registry's 255 characters names nothing.
bool NoSuchKeyName(const std::wstring& subkey);

// Deletes one key without subkeys: ERROR_SUCCESS, ERROR_BAD_PATHNAME for no
// known root or a root itself, ERROR_DIR_NOT_EMPTY for a key with subkeys,
// ERROR_FILENAME_EXCED_RANGE for a name no key can have, else the registry's
// error.
LONG DeleteRegistryKey(core::TextView path);
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
// when the platform reports it deleted, else the platform's error
// (ERROR_DIRECTORY for a folder).
DWORD DeleteFileEntry(const wchar_t* path);
// Removes an empty folder, then pauses 200 ms whatever happened, unless
// there was no folder to remove.
// ERROR_SUCCESS, ERROR_DIR_NOT_EMPTY when it holds anything, else the
// platform's error (an empty folder in use).
DWORD RemoveFolderEntry(const wchar_t* path);
// Removes one key from a section of an INI file: ERROR_SUCCESS, or the
// platform's error.
DWORD DeleteIniKey(core::TextView file, core::TextView section, core::TextView key);

}  // namespace qx::engine
