// Whether two paths name the same file or folder, decided on the file and
// never on the text: short (8.3) forms, letter case, "\\?\" prefixes, "."
// and ".." and relative paths all give the same answer. An existing file is
// known by its volume's serial number and its index on that volume; a path
// that cannot be opened is compared in its full long form.
#pragma once

#include <windows.h>

#include "common/fixed_string.h"
#include "common/unique_resource.h"

namespace qx {

struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;

  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index_high == other.index_high && index_low == other.index_low;
  }
};

// The identity of the file or folder open as |file|. False when it cannot be
// read, or when its file system gives no index (index 0): then it names no
// file for sure.
__attribute__((noinline)) inline bool IdentityOf(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return identity.index_high != 0 || identity.index_low != 0;
}

// The identity of the file or folder at |path|. It is opened for no access
// (backup semantics, so folders open too, and every sharing mode), so a file
// that another process holds is identified as well.
__attribute__((noinline)) inline bool IdentityOf(const wchar_t* path, FileIdentity& identity) {
  UniqueFile file(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && IdentityOf(file.get(), identity);
}

// The full long form of |path|: relative to the current folder when it is
// relative, without a "\\?\" prefix ("\\?\UNC\" becomes "\\"), "." and ".."
// resolved, and every existing component in its long form (the components
// after the last existing one stay as written). False when it does not fit.
template <size_t Capacity>
bool FullLongPath(const wchar_t* path, FixedString<wchar_t, Capacity>& out) {
  FixedString<wchar_t, Capacity> given;
  const bool unc = path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\' &&
                   (path[4] == L'U' || path[4] == L'u') && (path[5] == L'N' || path[5] == L'n') &&
                   (path[6] == L'C' || path[6] == L'c') && path[7] == L'\\';
  const bool prefixed = path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\';
  if (unc) {
    if (!given.assign(L"\\\\") || !given.append(path + 8)) return false;
  } else if (!given.assign(prefixed ? path + 4 : path)) {
    return false;
  }
  const DWORD capacity = static_cast<DWORD>(Capacity);
  if (!out.commit(GetFullPathNameW(given.get(), capacity, out.writable(), nullptr)) || out.empty()) return false;
  // The longest existing leading part in its long form, then the rest as it was.
  size_t cut = out.length();
  for (;;) {
    if (!given.assign(out.get(), cut)) return false;
    const DWORD length = GetLongPathNameW(given.get(), given.writable(), capacity);
    if (length != 0 && given.commit(length)) break;
    while (cut > 0 && out[cut - 1] != L'\\') --cut;
    // Only the root is left (or nothing exists at all): the full path as it is.
    if (cut <= 3) return true;
    --cut;
  }
  return given.append(out.get() + cut, out.length() - cut) && out.assign(given.get());
}

// Two texts equal without regard to letter case (the platform's upper case,
// character by character, as file systems compare names).
__attribute__((noinline)) inline bool EqualPathText(const wchar_t* a, size_t a_length, const wchar_t* b,
                                                    size_t b_length) {
  if (a_length != b_length) return false;
  for (size_t i = 0; i < a_length; ++i) {
    if (a[i] == b[i]) continue;
    const auto upper = [](wchar_t c) {
      return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<wchar_t*>(c))));
    };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// Whether |a| and |b| name the same file or folder: by identity when both
// can be opened, else by their full long forms (of at most MAX_PATH
// characters: a longer one is never the same).
__attribute__((noinline)) inline bool IsSameFile(const wchar_t* a, const wchar_t* b) {
  FileIdentity x, y;
  if (IdentityOf(a, x) && IdentityOf(b, y)) return x == y;
  FixedString<wchar_t, MAX_PATH> long_a, long_b;
  return FullLongPath(a, long_a) && FullLongPath(b, long_b) &&
         EqualPathText(long_a.get(), long_a.length(), long_b.get(), long_b.length());
}

}  // namespace qx
