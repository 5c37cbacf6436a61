#include "uninstall/runtime_folder.h"

#include "common/protected_access.h"
#include "common/unique_resource.h"
#include "uninstall/launcher.h"

namespace qx {
namespace {

constexpr int kMaxAttempts = 100;
constexpr wchar_t kMarkerName[] = L"qxrun.dat";

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Removes one listed entry whose name is already appended to |path|.
DWORD RemoveEntry(PathBuffer& path, const WIN32_FIND_DATAW& entry) {
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return RemoveDirectoryW(path.get()) ? 0 : GetLastError();
    }
    if (!path.append(L'\\')) return ERROR_FILENAME_EXCED_RANGE;
    return RemoveFolderTree(path);
  }
  // Attributes 0 lift read-only, hidden and system alike.
  SetFileAttributesW(path.get(), 0);
  return DeleteFileW(path.get()) ? 0 : GetLastError();
}

// The engine is loaded from this folder, by SYSTEM too, whose temporary
// folder every user may write in: only administrators may put anything into
// this one. A run without those rights cannot make a folder owned by
// Administrators; it gets the default access of its own temporary folder,
// which nobody else may write in, and its copy refuses to uninstall anyway.
bool CreateProtectedFolder(const wchar_t* path) {
  ProtectedDescriptor access;
  if (!access.valid()) return false;
  if (CreateDirectoryW(path, access.attributes())) return true;
  return GetLastError() == ERROR_INVALID_OWNER && CreateDirectoryW(path, nullptr);
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'); }

bool IsRuntimeFolderName(const wchar_t* name) {
  if (name[0] != L'q' || name[1] != L'x') return false;
  for (int i = 2; i < 10; ++i)
    if (!IsHexDigit(name[i])) return false;
  return name[10] == 0;
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
    if (CreateProtectedFolder(path.get())) {
      if (!path.append(L'\\')) {
        RemoveDirectoryW(path.get());
        break;
      }
      state.RuntimeFolderLength = static_cast<uint32_t>(path.length());
      state.RunMarker.reset(CreateMarker(path));
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    seed += tick_count();
  }
  path.truncate(state.RuntimeFolderLength);
  return false;
}

DWORD RemoveFolderTree(PathBuffer& path) {
  const size_t length = path.length();
  if (!path.append(L'*')) return ERROR_FILENAME_EXCED_RANGE;
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW(path.get(), &entry));
  path.truncate(length);
  if (!listing) return GetLastError();

  DWORD result = 0;
  for (;;) {
    if (!IsDotEntry(entry.cFileName)) {
      result = path.append(entry.cFileName) ? RemoveEntry(path, entry) : ERROR_FILENAME_EXCED_RANGE;
      path.truncate(length);
      if (result != 0) break;
    }
    if (!FindNextFileW(listing.get(), &entry)) {
      DWORD error = GetLastError();
      result = error == ERROR_NO_MORE_FILES ? 0 : error;
      break;
    }
  }
  listing.reset();
  if (result == 0 && !RemoveDirectoryW(path.get())) result = GetLastError();
  return result;
}

void ReleaseRunMarker(UniqueFile& marker) {
  if (!marker) return;
  FILE_DISPOSITION_INFO gone{TRUE};
  SetFileInformationByHandle(marker.get(), FileDispositionInfo, &gone, sizeof gone);
  marker.reset();
}

void RemoveStaleRuntimeFolders(PathBuffer& temp_folder) {
  const size_t length = temp_folder.length();
  if (!temp_folder.append(L"qx*")) return;
  WIN32_FIND_DATAW entry;
  UniqueFind listing(FindFirstFileW(temp_folder.get(), &entry));
  temp_folder.truncate(length);
  if (!listing) return;
  do {
    const DWORD attributes = entry.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !IsRuntimeFolderName(entry.cFileName)) {
      continue;
    }
    // A folder without its marker may be one that a run is only setting up.
    if (temp_folder.append(entry.cFileName) && temp_folder.append(L'\\')) {
      const size_t folder = temp_folder.length();
      if (temp_folder.append(kMarkerName) && DeleteFileW(temp_folder.get())) {
        temp_folder.truncate(folder);
        RemoveFolderTree(temp_folder);
      }
    }
    temp_folder.truncate(length);
  } while (FindNextFileW(listing.get(), &entry));
}

}  // namespace qx
