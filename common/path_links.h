// Whether a path reaches its last component through a symbolic link, a
// junction or a mount point, and whether its volume lets anything wait for
// the restart: the platform's facts, read with common/volume_rules.h. Removal
// never goes through a link: one put in place of a logged folder would lead
// it into files that are not ours.
#pragma once

#include <windows.h>

#include <string_view>

#include "common/fixed_string.h"
#include "common/unique_resource.h"
#include "common/volume_rules.h"

namespace qx {

// The longest path the platform's wide calls take.
inline constexpr size_t kLongestPath = 32767;

// Whether the reparse point |path| is a link, by its tag: a folder that a
// cloud placeholder or deduplication stands for is the folder itself. One
// whose tag cannot be read counts as a link.
inline bool IsLinkReparsePoint(const wchar_t* path) {
  WIN32_FIND_DATAW entry;
  UniqueFind found(FindFirstFileW(path, &entry));
  return !found || !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsLinkReparseTag(entry.dwReserved0);
}

// True when a folder on the way to |path|'s last component is a link; the
// last component itself is not looked at, so a logged link is
// still removed as a link. Drive and share roots are not looked at either. A
// path too long to look at counts as linked; a missing folder ends the walk,
// as nothing lies beyond it.
inline bool PassesThroughLink(const wchar_t* path) {
  FixedString<wchar_t, kLongestPath + 1> walk;
  if (!walk.assign(path)) return true;
  wchar_t* text = walk.writable();
  const bool share = text[0] == L'\\' && text[1] == L'\\';
  size_t separators = 0;
  for (size_t i = 0; i < walk.length(); ++i) {
    if (text[i] != L'\\' && text[i] != L'/') continue;
    ++separators;
    // "\\server\share" (or "\\?\C:") and "C:" are roots.
    const bool root = i == 0 || text[i - 1] == L':' || (share && separators < 4);
    if (root) continue;
    const wchar_t separator = text[i];
    text[i] = 0;
    const DWORD attributes = GetFileAttributesW(text);
    const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      IsLinkReparsePoint(text);
    text[i] = separator;
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (link) return true;
  }
  return false;
}

// Opens the folder |path| itself, never what a link leads to, with |access|
// and without delete sharing: while |held| stays open nobody can delete,
// rename or replace it. False for anything but a folder that is no reparse
// point; |held| then tells whether anything was opened at all.
inline bool HoldFolder(const wchar_t* path, DWORD access, UniqueFile& held) {
  held.reset(CreateFileW(path, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FILE_ATTRIBUTE_TAG_INFO opened;
  return held && GetFileInformationByHandleEx(held.get(), FileAttributeTagInfo, &opened, sizeof opened) &&
         (opened.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
             FILE_ATTRIBUTE_DIRECTORY;
}

// False for a file on another machine's volume (a network path, or a drive
// the system reports as remote): the system cannot delete it at restart, so
// nothing there is moved aside or scheduled.
inline bool CanActAtRestart(const wchar_t* path) {
  const std::u16string_view text(reinterpret_cast<const char16_t*>(path));
  const size_t root = DriveRootLength(text);
  wchar_t drive[] = L"?:\\";
  if (root != 0) drive[0] = path[root - 3];
  return CanActAtRestart(text, root != 0 && GetDriveTypeW(drive) == DRIVE_REMOTE);
}

}  // namespace qx
