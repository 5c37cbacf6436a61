// Where the delayed import of QXCore.dll comes from, and how it goes. The
// delay-load helper
// would load it by its plain name, and the platform searches the program's
// own folder before the library search folder: a stray QXCore.dll beside the
// installed uninstaller, or in the temporary folder that the restarted copy
// runs from, would be taken. The helper's pre-load hook loads the library by
// its full path in the runtime folder instead.
#pragma once

#include "uninstall/launcher.h"

namespace qx {

// The engine library's full path in |state|'s runtime folder; false when it
// does not fit.
bool EngineLibraryPath(const LauncherState& state, PathBuffer& path);

// Frees the engine, if the helper loaded it, and returns every one of its
// import slots to the helper's stub, so that a later call loads the library
// afresh instead of jumping into freed code.
void UnloadEngine();

}  // namespace qx
