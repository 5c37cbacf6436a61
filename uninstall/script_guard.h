// The uninstall script's exception report. The script runs inside the one
// structured exception guard (common/structured_guard.h).
#pragma once

#include <windows.h>

#include "common/fixed_string.h"
#include "common/structured_guard.h"

namespace qx {

using ScriptErrorText = FixedString<wchar_t, 8192>;

// "Unexpected error in script: code <code in lower-case hex>.\n
// Uninstaller execution aborted."
void FormatScriptError(DWORD code, ScriptErrorText& text);

}  // namespace qx
