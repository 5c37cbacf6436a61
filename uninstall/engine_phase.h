// The launcher's engine phase: the engine's variables, InitSFX, the run
// lock, InitUninstall and the guarded uninstall script.
#pragma once

#include "uninstall/launcher.h"

namespace qx {

// Runs the phase with the runtime folder complete. |start_folder| holds the
// current folder at start and is reused for ARCPATH. Returns 0, or
// StatusRuntime when the engine library could not be loaded or lacks an
// export; |exit_code| receives the run's exit code when the phase decided
// one (the script's result, a busy installation, a silent failed start),
// and stays 0 otherwise.
int RunEnginePhase(LauncherState& state, PathBuffer& start_folder, int& exit_code);

}  // namespace qx
