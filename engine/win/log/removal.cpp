#include "engine/win/log/removal.h"

#include "engine/core/registry_path.h"
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

// A library with the imports it keeps beside it (an app-local runtime, a
// sibling library): its own folder and the system folder are searched, and
// nothing else. That search needs a full path; a system without it rejects
// the flags and searches the library's folder first, then its usual places.
HMODULE LoadFromOwnFolder(const std::wstring& library) {
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(library.c_str(), MAX_PATH, full, nullptr);
  const wchar_t* path = length > 0 && length < MAX_PATH ? full : library.c_str();
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool IsEmptyFolder(const wchar_t* folder) {
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &entry));
  if (!listing) return false;
  do {
    const wchar_t* name = entry.cFileName;
    if (!(name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))) return false;
  } while (FindNextFileW(listing.get(), &entry));
  return true;
}

}  // namespace

bool NoSuchKeyName(const std::wstring& subkey) {
  constexpr size_t kLongestKeyName = 255;
  size_t start = 0;
  for (size_t end; (end = subkey.find(L'\\', start)) != std::wstring::npos; start = end + 1)
    if (end - start > kLongestKeyName) return true;
  return subkey.size() - start > kLongestKeyName;
}

bool SplitRegistryPath(core::TextView path, RegistryKeyPath& split) {
  const core::RegistryPath parsed = core::ParseRegistryPath(path);
  if (parsed.root == 0) return false;
  split.root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(parsed.root));
  split.subkey = ToWide(parsed.subkey);
  return true;
}

LONG DeleteRegistryKey(core::TextView path) {
  RegistryKeyPath split;
  if (!SplitRegistryPath(path, split) || split.subkey.empty()) return ERROR_BAD_PATHNAME;
  const LONG error = RegDeleteKeyW(split.root, split.subkey.c_str());
  if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) return error;
  if (NoSuchKeyName(split.subkey)) return ERROR_FILENAME_EXCED_RANGE;
  // The single-key delete refuses a key with subkeys.
  UniqueKey open;
  DWORD subkeys = 0;
  if (RegOpenKeyExW(split.root, split.subkey.c_str(), 0, KEY_QUERY_VALUE, open.put()) == ERROR_SUCCESS &&
      RegQueryInfoKeyW(open.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) == ERROR_SUCCESS &&
      subkeys > 0) {
    return ERROR_DIR_NOT_EMPTY;
  }
  return error;
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
  UniqueModule module(LoadFromOwnFolder(ToWide(library)));
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

DWORD DeleteFileEntry(const wchar_t* path) {
  if (DeleteFileW(path)) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED) return error;
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return error;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_DIRECTORY;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return error;
  // Cleared for good: should the file be in use too, the delete at the next
  // restart would fail on the attribute as well.
  SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  return DeleteFileW(path) ? ERROR_SUCCESS : GetLastError();
}

DWORD RemoveFolderEntry(const wchar_t* path) {
  DWORD error = RemoveDirectoryW(path) ? ERROR_SUCCESS : GetLastError();
  // A folder that is not there was never tried: no pause for it.
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return error;
  if (error != ERROR_SUCCESS && error != ERROR_DIRECTORY && !IsEmptyFolder(path)) error = ERROR_DIR_NOT_EMPTY;
  Sleep(kFolderPause);
  return error;
}

DWORD DeleteIniKey(core::TextView file, core::TextView section, core::TextView key) {
  return WritePrivateProfileStringW(ToWide(section).c_str(), ToWide(key).c_str(), nullptr, ToWide(file).c_str())
             ? ERROR_SUCCESS
             : GetLastError();
}

}  // namespace qx::engine
