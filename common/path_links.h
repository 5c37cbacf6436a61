// Whether a path reaches its last component through a symbolic link or a
// junction (a reparse point). Removal never goes through one: a link put in
// place of a logged folder would lead it into files that are not ours.
#pragma once

#include <windows.h>

#include "common/fixed_string.h"

namespace qx {

// The longest path the platform's wide calls take.
inline constexpr size_t kLongestPath = 32767;

// True when a folder on the way to |path|'s last component is a reparse
// point; the last component itself is not looked at, so a logged link is
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
    text[i] = separator;
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  }
  return false;
}

}  // namespace qx
