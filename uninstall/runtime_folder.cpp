#include "uninstall/runtime_folder.h"

#include <winternl.h>

#include "common/file_identity.h"
#include "common/path_links.h"
#include "common/protected_access.h"
#include "common/unique_resource.h"
#include "uninstall/launcher.h"

namespace qx {
namespace {

constexpr int kMaxAttempts = 100;
constexpr wchar_t kMarkerName[] = L"qxrun.dat";
// One value per live or left folder: its path, and its identity.
constexpr wchar_t kRecordKey[] = L"Software\\QXUninstall\\RuntimeFolders";
// Deeper trees are not ours: the payload has no folders of that depth.
constexpr int kMaxDepth = 64;
constexpr DWORD kListingBytes = 2048;
// What removing an entry needs; nobody else may delete, rename or replace
// what is held with it.
constexpr ACCESS_MASK kRemoveAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kHeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// NtOpenFile's options: the entry itself (a link is not followed), folders
// too, calls that complete before they return.
constexpr ULONG kOpenEntry = 0x00200000 /* FILE_OPEN_REPARSE_POINT */ | 0x00004000 /* FILE_OPEN_FOR_BACKUP_INTENT */ |
                             0x00000020 /* FILE_SYNCHRONOUS_IO_NONALERT */;
constexpr DWORD kHideAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

using NtOpenFileFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
using StatusToErrorFunction = ULONG(NTAPI*)(NTSTATUS);

template <typename Function>
Function NtFunction(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll");
  FARPROC proc = ntdll ? GetProcAddress(ntdll, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

// Opens |name| (|bytes| long) inside the folder held by |folder|, never
// through a path: whatever becomes of the folder's name meanwhile, the entry
// is this folder's.
DWORD OpenEntry(HANDLE folder, const wchar_t* name, ULONG bytes, ACCESS_MASK access, ULONG sharing,
                UniqueHandle& entry) {
  static const auto open = NtFunction<NtOpenFileFunction>("NtOpenFile");
  static const auto to_error = NtFunction<StatusToErrorFunction>("RtlNtStatusToDosError");
  if (!open || !to_error) return ERROR_PROC_NOT_FOUND;
  UNICODE_STRING text{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), const_cast<wchar_t*>(name)};
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = folder;
  attributes.ObjectName = &text;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  IO_STATUS_BLOCK status{};
  HANDLE opened = nullptr;
  const NTSTATUS result = open(&opened, access, &attributes, &status, sharing, kOpenEntry);
  if (result < 0) return to_error(result);
  entry.reset(opened);
  return 0;
}

// What the sweep and the record hold a folder with (common/path_links.h).
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | kRemoveAccess;

DWORD DeleteHeld(HANDLE entry) {
  FILE_DISPOSITION_INFO gone{TRUE};
  return SetFileInformationByHandle(entry, FileDispositionInfo, &gone, sizeof gone) ? 0 : GetLastError();
}

bool IsDotEntry(const wchar_t* name, ULONG bytes) {
  return (bytes == 2 && name[0] == L'.') || (bytes == 4 && name[0] == L'.' && name[1] == L'.');
}

DWORD RemoveContents(HANDLE folder, int depth);

// Removes one entry of |folder|. Only what the listing showed as a folder is
// opened so that it can be listed, and only what its own handle shows as a
// folder and no reparse point is entered; anything else is deleted as
// itself, a link as a link.
DWORD RemoveEntry(HANDLE folder, const FILE_ID_BOTH_DIR_INFO& listed, int depth) {
  const bool listed_folder = (listed.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                             FILE_ATTRIBUTE_DIRECTORY;
  UniqueHandle entry;
  DWORD error = OpenEntry(folder, listed.FileName, listed.FileNameLength,
                          kRemoveAccess | (listed_folder ? FILE_LIST_DIRECTORY : 0), kHeldSharing, entry);
  if (error != 0) return error;
  FILE_ATTRIBUTE_TAG_INFO held;
  if (!GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &held, sizeof held)) return GetLastError();
  // Listed as a link, opened as none: the platform followed it (Wine does),
  // and what the handle holds is not this folder's.
  if ((listed.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !(held.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return ERROR_CANT_ACCESS_FILE;
  const bool is_folder = held.FileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  if (is_folder && listed_folder && !(held.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    error = RemoveContents(entry.get(), depth + 1);
    if (error != 0) return error;
  } else if (!is_folder && (held.FileAttributes & kHideAttributes)) {
    FILE_BASIC_INFO plain{};
    plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(entry.get(), FileBasicInfo, &plain, sizeof plain);
  }
  return DeleteHeld(entry.get());
}

// Lists |folder| through its handle from the start each round, so that what
// was deleted meanwhile never shifts the listing, until a round finds
// nothing left. An entry whose deletion was accepted and that is still
// listed in the next round cannot go (its name was changed under the
// handle): the removal stops there rather than loop.
DWORD RemoveContents(HANDLE folder, int depth) {
  if (depth > kMaxDepth) return ERROR_FILENAME_EXCED_RANGE;
  alignas(LONGLONG) BYTE batch[kListingBytes];
  constexpr size_t kMostPerBatch = kListingBytes / sizeof(FILE_ID_BOTH_DIR_INFO) + 1;
  LONGLONG removed[kMostPerBatch];
  size_t removed_count = 0;
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, FileIdBothDirectoryRestartInfo, batch, sizeof batch)) {
      const DWORD error = GetLastError();
      return error == ERROR_NO_MORE_FILES ? 0 : error;
    }
    const size_t earlier = removed_count;
    removed_count = 0;
    for (DWORD offset = 0;;) {
      const auto& listed = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(batch + offset);
      if (!IsDotEntry(listed.FileName, listed.FileNameLength)) {
        for (size_t i = 0; i < earlier; ++i)
          if (removed[i] == listed.FileId.QuadPart) return ERROR_DIR_NOT_EMPTY;
        const DWORD error = RemoveEntry(folder, listed, depth);
        if (error != 0) return error;
        if (removed_count < kMostPerBatch) removed[removed_count++] = listed.FileId.QuadPart;
      }
      if (listed.NextEntryOffset == 0) break;
      offset += listed.NextEntryOffset;
    }
    if (removed_count == 0) return 0;
  }
}

// The folder's path as its record's value name: without the trailing "\".
bool RecordName(const PathBuffer& folder, PathBuffer& name) {
  if (folder.length() < 2 || !name.assign(folder.get())) return false;
  name.truncate(name.length() - 1);
  return true;
}

// Only an administrator's run can write the record; another's folder lies in
// its own temporary folder, which nobody else may write in, and is not swept.
void RecordRuntimeFolder(const PathBuffer& folder) {
  UniqueFile held;
  FileIdentity identity;
  PathBuffer name;
  UniqueKey key;
  if (HoldFolder(folder.get(), kFolderAccess, held) && IdentityOf(held.get(), identity) && RecordName(folder, name) &&
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) ==
          ERROR_SUCCESS) {
    RegSetValueExW(key.get(), name.get(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&identity), sizeof identity);
  }
}

// Removes the recorded folder |name| when it is still the folder recorded and
// no live run holds its marker. True when its record may go: the folder is
// removed, or gone, or something else now stands at its path.
bool RemoveStaleFolder(const wchar_t* name, const FileIdentity& recorded) {
  UniqueFile folder;
  if (!HoldFolder(name, kFolderAccess, folder)) {
    const DWORD error = GetLastError();
    return folder || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  FileIdentity found;
  if (!IdentityOf(folder.get(), found)) return false;
  if (!(found == recorded)) return true;
  UniqueHandle marker;
  const DWORD error = OpenEntry(folder.get(), kMarkerName, sizeof kMarkerName - sizeof(wchar_t), DELETE,
                                kHeldSharing | FILE_SHARE_DELETE, marker);
  if (error != 0 && error != ERROR_FILE_NOT_FOUND) return false;
  marker.reset();
  return RemoveContents(folder.get(), 0) == 0 && DeleteHeld(folder.get()) == 0;
}

// Held without delete sharing: while the run lasts nobody can delete it.
HANDLE CreateMarker(const PathBuffer& folder) {
  PathBuffer path;
  if (!path.assign(folder.get()) || !path.append(kMarkerName)) return INVALID_HANDLE_VALUE;
  return CreateFileW(path.get(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

uint32_t RuntimeFolderSeed(uint32_t tick_count, uint32_t thread_id, uint32_t process_id) {
  return (tick_count << 12) ^ (thread_id << 14) ^ process_id;
}

bool AppendRuntimeFolderName(PathBuffer& path, uint32_t seed) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  wchar_t name[10] = {L'q', L'x'};
  for (int i = 0; i < 8; ++i) name[2 + i] = kDigits[(seed >> (28 - 4 * i)) & 0xF];
  return path.append(name, 10);
}

bool CreateRuntimeFolder(LauncherState& state) {
  return CreateRuntimeFolder(state, RuntimeFolderSeed(GetTickCount(), GetCurrentThreadId(), GetCurrentProcessId()),
                             &GetTickCount);
}

bool CreateRuntimeFolder(LauncherState& state, uint32_t seed, TickSource tick_count) {
  PathBuffer& path = state.RuntimeFolder;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    path.truncate(state.RuntimeFolderLength);
    if (!AppendRuntimeFolderName(path, seed)) break;
    if (PathExists(path.get())) {
      seed += tick_count();
      continue;
    }
    // The engine is loaded from this folder, by SYSTEM too, whose temporary
    // folder every user may write in: only administrators may put anything
    // into this one.
    if (CreateProtectedFolder(path.get())) {
      if (!path.append(L'\\')) {
        RemoveDirectoryW(path.get());
        break;
      }
      state.RuntimeFolderLength = static_cast<uint32_t>(path.length());
      state.RunMarker.reset(CreateMarker(path));
      RecordRuntimeFolder(path);
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    seed += tick_count();
  }
  path.truncate(state.RuntimeFolderLength);
  return false;
}

DWORD RemoveFolderTree(const PathBuffer& path) {
  UniqueFile folder;
  if (!HoldFolder(path.get(), kFolderAccess, folder)) return folder ? ERROR_DIRECTORY : GetLastError();
  const DWORD error = RemoveContents(folder.get(), 0);
  return error != 0 ? error : DeleteHeld(folder.get());
}

DWORD RemoveRuntimeFolder(const PathBuffer& path) {
  const DWORD error = RemoveFolderTree(path);
  PathBuffer name;
  UniqueKey key;
  if (error == 0 && RecordName(path, name) &&
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
    RegDeleteValueW(key.get(), name.get());
  }
  return error;
}

void ReleaseRunMarker(UniqueFile& marker) {
  if (!marker) return;
  FILE_DISPOSITION_INFO gone{TRUE};
  SetFileInformationByHandle(marker.get(), FileDispositionInfo, &gone, sizeof gone);
  marker.reset();
}

void RemoveStaleRuntimeFolders() {
  UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
    return;
  // A value that goes shifts the ones after it down to its index.
  for (DWORD index = 0;;) {
    PathBuffer name;
    DWORD name_length = kPlatformPathLength;
    DWORD type = 0;
    FileIdentity recorded;
    DWORD size = sizeof recorded;
    const LSTATUS status = RegEnumValueW(key.get(), index, name.writable(), &name_length, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&recorded), &size);
    if (status == ERROR_NO_MORE_ITEMS) return;
    if (status == ERROR_SUCCESS && name.commit(name_length) && type == REG_BINARY && size == sizeof recorded &&
        RemoveStaleFolder(name.get(), recorded) && RegDeleteValueW(key.get(), name.get()) == ERROR_SUCCESS) {
      continue;
    }
    ++index;
  }
}

}  // namespace qx
