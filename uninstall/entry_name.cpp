#include "uninstall/entry_name.h"

#include <cstddef>

namespace qx {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t Upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool IsParentComponent(const wchar_t* part, size_t length) {
  size_t dots = 0;
  for (size_t i = 0; i < length; ++i) {
    if (part[i] == L'.') ++dots;
    else if (part[i] != L' ') return false;
  }
  return dots >= 2;
}

// The platform maps these names to devices whatever their extension, and
// ignores spaces before the extension.
bool IsDeviceComponent(const wchar_t* part, size_t length) {
  size_t base = 0;
  while (base < length && part[base] != L'.') ++base;
  while (base > 0 && part[base - 1] == L' ') --base;
  auto is = [&](const wchar_t* device) {
    size_t n = 0;
    while (device[n]) ++n;
    if (n != base) return false;
    for (size_t i = 0; i < n; ++i) {
      if (Upper(part[i]) != device[i]) return false;
    }
    return true;
  };
  if (is(L"CON") || is(L"PRN") || is(L"AUX") || is(L"NUL") || is(L"CONIN$") || is(L"CONOUT$")) return true;
  if (base == 4 && part[3] >= L'1' && part[3] <= L'9') {
    wchar_t a = Upper(part[0]), b = Upper(part[1]), c = Upper(part[2]);
    return (a == L'C' && b == L'O' && c == L'M') || (a == L'L' && b == L'P' && c == L'T');
  }
  return false;
}

}  // namespace

bool IsContainedEntryName(const wchar_t* name) {
  if (IsSeparator(name[0])) return false;
  size_t start = 0;
  for (size_t i = 0;; ++i) {
    wchar_t c = name[i];
    if (c == L':') return false;
    if (c == 0 || IsSeparator(c)) {
      if (IsParentComponent(name + start, i - start) || IsDeviceComponent(name + start, i - start)) {
        return false;
      }
      if (c == 0) return true;
      start = i + 1;
    }
  }
}

}  // namespace qx
