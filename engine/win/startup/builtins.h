// The built-in variables that describe the machine's folders, the system,
// the user's rights, the date and the host process's command line.
#pragma once

#include "text.h"
#include "text_layer.h"

namespace qx::engine {

// The path of a shell folder (a CSIDL number), or the empty text when the
// shell has none.
core::Text SpecialFolderPath(int csidl);

// Sets the 36 built-in variables in their fixed order, each through the
// expanding store.
void SetBuiltinVariables(core::TextLayer& text);

}  // namespace qx::engine
