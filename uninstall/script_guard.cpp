#include "uninstall/script_guard.h"

namespace qx {

void FormatScriptError(DWORD code, ScriptErrorText& text) {
  wchar_t hex[9];
  size_t length = 0;
  do {
    hex[length++] = L"0123456789abcdef"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  static constexpr wchar_t kBefore[] = L"Unexpected error in script: code ";
  static constexpr wchar_t kAfter[] = L".\nUninstaller execution aborted.";
  static_assert(sizeof kBefore / sizeof(wchar_t) + 8 + sizeof kAfter / sizeof(wchar_t) < ScriptErrorText::capacity());
  bool fits = text.assign(kBefore);
  while (length > 0) fits = fits && text.append(hex[--length]);
  fits = fits && text.append(kAfter);
  if (!fits) text.clear();
}

}  // namespace qx
