// The launcher's engine phase: the engine's variables, InitSFX, the run
// lock, InitUninstall and the guarded uninstall script.
#pragma once

#include "uninstall/launcher.h"

namespace qx {

// Runs the phase with the runtime folder complete. |start_folder| holds the
// current folder at start and is reused for ARCPATH. Returns 0, or
// StatusRuntime when the engine library could not be loaded or lacks an
// export; what the phase found out (a busy installation, InitUninstall's
// result, how the script ended) goes into state.Facts.
int RunEnginePhase(LauncherState& state, PathBuffer& start_folder);

}  // namespace qx
