#include "engine/win/log/removal.h"

#include <algorithm>
#include <vector>

#include "engine/win/platform/engine_state.h"
#include "common/path_links.h"
#include "engine/core/registry_path.h"
#include "engine/core/uninstall_log_format.h"
#include "common/unique_resource.h"
#include "engine/win/platform/wide.h"

namespace qx::engine {

namespace {

// A subkey name longer than this cannot be read: DeleteKeyTree then fails
// on its parent, so that key and every key above it on the way stay whole.
constexpr DWORD kKeyNameCapacity = 512;
constexpr DWORD kTypeQueryBytes = 255;
constexpr DWORD kFolderPause = 200;
constexpr DWORD kPollInterval = 2;
constexpr int kAsideAttempts = 64;

// Where in-use files go: one folder per volume root, made on first use, and
// the count that names the files moved there.
struct AsideFolders {
  std::vector<core::Text> folders;
  uint32_t count = 0;
} g_aside;

bool OpenKey(core::TextView path, REGSAM access, UniqueKey& key) {
  RegistryKeyPath split;
  if (!SplitRegistryPath(path, split)) return false;
  return RegOpenKeyExW(split.root, split.subkey.c_str(), 0, access, key.put()) == ERROR_SUCCESS;
}

// The entry points take no argument, unlike a thread procedure; calling one
// from a procedure of the right shape keeps the worker's stack balanced.
DWORD WINAPI RunEntryPoint(void* entry) {
  using EntryPoint = HRESULT(STDAPICALLTYPE*)();
  return static_cast<DWORD>(reinterpret_cast<EntryPoint>(entry)());
}

bool IsEmptyFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!listing) return false;
  do {
    const wchar_t* name = entry.cFileName;
    if (!(name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))) return false;
  } while (FindNextFileW(listing.get(), &entry));
  return true;
}

}  // namespace

bool SplitRegistryPath(core::TextView path, RegistryKeyPath& split) {
  const core::RegistryPath parsed = core::ParseRegistryPath(path);
  if (parsed.root == 0) return false;
  split.root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(parsed.root));
  split.subkey = ToWide(parsed.subkey);
  return true;
}

bool DeleteRegistryKey(core::TextView path) {
  RegistryKeyPath split;
  if (!SplitRegistryPath(path, split) || split.subkey.empty()) return false;
  return RegDeleteKeyW(split.root, split.subkey.c_str()) == ERROR_SUCCESS;
}

void DeleteRegistryKeyTree(core::TextView path) {
  RegistryKeyPath split;
  if (SplitRegistryPath(path, split)) DeleteKeyTree(split.root, split.subkey.c_str());
}

bool DeleteKeyTree(HKEY parent, const wchar_t* name) {
  if (!name || !name[0]) return false;
  UniqueKey key;
  if (RegOpenKeyExW(parent, name, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) return false;
  wchar_t subkey[kKeyNameCapacity];
  for (;;) {
    // Always index 0: each deleted subkey's place is taken by the next one.
    DWORD length = kKeyNameCapacity;
    const LONG status = RegEnumKeyExW(key.get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return RegDeleteKeyW(parent, name) == ERROR_SUCCESS;
    if (status != ERROR_SUCCESS || !DeleteKeyTree(key.get(), subkey)) return false;
  }
}

bool DeleteRegistryValue(core::TextView key_path, core::TextView name) {
  UniqueKey key;
  if (!OpenKey(key_path, KEY_ALL_ACCESS, key)) return false;
  return RegDeleteValueW(key.get(), ToWide(name).c_str()) == ERROR_SUCCESS;
}

int32_t ReadRegistryDword(core::TextView key_path, core::TextView name) {
  UniqueKey key;
  if (!OpenKey(key_path, KEY_ALL_ACCESS, key)) return -1;
  BYTE data[kTypeQueryBytes];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key.get(), ToWide(name).c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS) return -1;
  if (type != REG_DWORD || size != sizeof(DWORD)) return -1;
  DWORD value;
  CopyMemory(&value, data, sizeof value);
  return static_cast<int32_t>(value);
}

void WriteRegistryDword(core::TextView key_path, core::TextView name, uint32_t value) {
  UniqueKey key;
  if (!OpenKey(key_path, KEY_ALL_ACCESS, key)) return;
  const DWORD data = value;
  RegSetValueExW(key.get(), ToWide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

bool ReleaseSharedFile(core::TextView path) {
  const int32_t count = ReadRegistryDword(kSharedFilesKey, path);
  if (count == -1) return true;
  const int64_t left = int64_t{count} - 1;
  if (left < 1) {
    // The same name that was read: expanding it again could name another value.
    DeleteRegistryValue(kSharedFilesKey, path);
    return true;
  }
  WriteRegistryDword(kSharedFilesKey, path, static_cast<uint32_t>(left));
  return false;
}

int RegisterServer(core::TextView library, bool do_register, int limit_ms) {
  UniqueModule module(LoadLibraryW(ToWide(library).c_str()));
  if (!module) return -1;
  FARPROC entry = GetProcAddress(module.get(), do_register ? "DllRegisterServer" : "DllUnregisterServer");
  if (!entry) return -2;
  UniqueHandle worker(CreateThread(nullptr, 0, RunEntryPoint, reinterpret_cast<void*>(entry), 0, nullptr));
  // Never started, so never finished in time.
  if (!worker) return -3;
  // Unsigned subtraction measures the time across the counter's wrap-around.
  const DWORD start = GetTickCount();
  const DWORD limit = limit_ms > 0 ? static_cast<DWORD>(limit_ms) : 0;
  for (;;) {
    if (WaitForSingleObject(worker.get(), 0) == WAIT_OBJECT_0) return 1;
    if (GetTickCount() - start >= limit) break;
    Sleep(kPollInterval);
  }
  TerminateThread(worker.get(), 0);
  // A terminated thread may have stopped anywhere inside the library, holding
  // its locks or leaving its own work half done: unloading the code under it
  // is unsafe, so the library stays loaded until the process ends. Its file
  // is then mapped: the replay cannot delete it, and it goes to the restart
  // list with the other files left behind.
  module.release();
  return -3;
}

DWORD DeleteFileEntry(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED) return error;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return error;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_DIRECTORY;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return error;
  // Cleared for good: should the file be in use too, the delete at the next
  // restart would fail on the attribute as well.
  SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  return DeleteFileW(path.c_str()) ? ERROR_SUCCESS : GetLastError();
}

std::wstring MoveAside(const std::wstring& path, DWORD delete_error) {
  if (delete_error != ERROR_SHARING_VIOLATION && delete_error != ERROR_ACCESS_DENIED) return std::wstring();
  const core::Text temp_folder = Expand(u"%TMP%");
  const core::Text folder = core::AsideFolderFor(FromWide(path.c_str()), temp_folder);
  if (folder.empty()) return std::wstring();
  const std::wstring wide_folder = ToWide(folder);
  if (std::find(g_aside.folders.begin(), g_aside.folders.end(), folder) == g_aside.folders.end()) {
    if (!CreateDirectoryW(wide_folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return std::wstring();
    // A folder planted as a link would carry the file somewhere else.
    if (PassesThroughLink(wide_folder.c_str())) return std::wstring();
    if (!core::StartsWithNoCase(folder, temp_folder))
      SetFileAttributesW(wide_folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    g_aside.folders.push_back(folder);
  }
  // A name taken by an earlier run that still waits for its restart moves
  // the count on; any other refusal leaves the file where it is.
  for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
    const std::wstring target = ToWide(core::AsideName(folder, GetCurrentProcessId(), ++g_aside.count));
    if (MoveFileExW(path.c_str(), target.c_str(), 0)) return target;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  return std::wstring();
}

bool RemoveFolderEntry(const std::wstring& path) {
  const bool removed = RemoveDirectoryW(path.c_str()) != 0;
  Sleep(kFolderPause);
  return removed || !IsEmptyFolder(path);
}

void DeleteIniKey(core::TextView file, core::TextView section, core::TextView key) {
  WritePrivateProfileStringW(ToWide(section).c_str(), ToWide(key).c_str(), nullptr, ToWide(file).c_str());
}

}  // namespace qx::engine
