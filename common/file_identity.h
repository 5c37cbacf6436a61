// Whether two paths name the same file or folder, decided on the file
// itself: its volume's serial number and its index on that volume. Path
// texts differ for one file (short 8.3 names, letter case, "\\?\" prefixes,
// relative forms), so they are compared only where a file does not exist,
// and then as full long paths.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"

namespace qx {

struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
};

// False when |path| names nothing that can be opened for its attributes.
// A link is followed to what it names.
inline bool IdentifyFile(const wchar_t* path, FileIdentity& identity) {
  UniqueFile file(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return false;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index_high = info.nFileIndexHigh;
  identity.index_low = info.nFileIndexLow;
  return true;
}

// The full long form of |path| in |out| (|capacity| characters): relative
// parts resolved against the current folder, short names made long as far
// as the path exists. False when it does not fit.
__attribute__((noinline)) inline bool FullLongPath(const wchar_t* path, wchar_t* out, DWORD capacity) {
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  const DWORD long_length = GetLongPathNameW(full, out, capacity);
  if (long_length > 0 && long_length < capacity) return true;
  // A path that does not exist keeps its full form.
  if (length >= capacity) return false;
  lstrcpynW(out, full, static_cast<int>(capacity));
  return true;
}

// True when |a| and |b| name one file: by identity when both exist, else by
// their full long paths, letter case folded as the file system does.
__attribute__((noinline)) inline bool IsSameFile(const wchar_t* a, const wchar_t* b) {
  FileIdentity first, second;
  const bool first_exists = IdentifyFile(a, first);
  const bool second_exists = IdentifyFile(b, second);
  if (first_exists && second_exists)
    return first.volume == second.volume && first.index_high == second.index_high &&
           first.index_low == second.index_low;
  if (first_exists != second_exists) return false;
  wchar_t long_a[MAX_PATH], long_b[MAX_PATH];
  return FullLongPath(a, long_a, MAX_PATH) && FullLongPath(b, long_b, MAX_PATH) &&
         CompareStringOrdinal(long_a, -1, long_b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace qx
