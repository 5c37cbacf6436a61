// Preparing the engine inside the launcher's runtime folder.
#pragma once

#include <windows.h>

namespace qx::engine {

// Loads "%QXSFXPATH%\qxlng.dat" into the language table and deletes the file.
// A file that cannot be read leaves the table empty and the language as it
// was.
void LoadLanguageTable();

// Keeps the module, normalises QXSFXPATH, loads the language table and the
// file-properties table and sets the built-in variables.
void InitSfx(HMODULE module);

}  // namespace qx::engine
