#include "uninstall/script_guard.h"

namespace qx {

void FormatScriptError(DWORD code, ScriptErrorText& text) {
  wchar_t hex[9];
  size_t length = 0;
  do {
    hex[length++] = L"0123456789abcdef"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  text.assign(L"Unexpected error in script: code ");
  while (length > 0) text.append(hex[--length]);
  text.append(L".\nUninstaller execution aborted.");
}

}  // namespace qx
